#include "dataset/data_link.h"

#include <algorithm>

#include "dataset/vora_data_set.h"

namespace telvora::dataset {

// --- TDataLink ---

TDataLink::~TDataLink() { SetDataSource(nullptr); }

void TDataLink::SetDataSource(TDataSource* value) {
  if (value == source_) return;
  if (source_ != nullptr) source_->RemoveLink(this);
  if (value != nullptr) value->AddLink(this);
  UpdateState();
  if (TVoraDataSet* ds = DataSet()) ds->UpdateBufferCount();
}

TVoraDataSet* TDataLink::DataSet() const { return source_ != nullptr ? source_->DataSet() : nullptr; }

void TDataLink::SetBufferCount(int value) {
  value = std::max(1, value);
  if (value == buffer_count_) return;
  buffer_count_ = value;
  if (TVoraDataSet* ds = DataSet()) ds->UpdateBufferCount();
}

int TDataLink::ActiveRecord() const {
  const TVoraDataSet* ds = DataSet();
  return ds != nullptr && active_ ? ds->ActiveRecordIndex() - first_record_ : 0;
}

bool TDataLink::Edit() {
  TVoraDataSet* ds = DataSet();
  if (ds == nullptr || !active_) return false;
  if (!IsEditMode(ds->State())) ds->Edit();
  return IsEditMode(ds->State());
}

void TDataLink::UpdateRecord() {
  updating_ = true;
  try {
    UpdateData();
  } catch (...) {
    updating_ = false;
    throw;
  }
  updating_ = false;
}

void TDataLink::UpdateState() {
  const TVoraDataSet* ds = DataSet();
  const bool active = ds != nullptr && source_->Enabled() && ds->State() != TDataSetState::Closed &&
                      ds->State() != TDataSetState::Opening;
  if (active != active_) {
    active_ = active;
    first_record_ = 0;
    ActiveChanged();
  }
  const bool editing = active_ && IsEditMode(ds->State());
  if (editing != editing_) {
    editing_ = editing;
    EditingChanged();
  }
}

void TDataLink::DataEvent(TDataEvent event, TField* field, int info) {
  if (event == TDataEvent::deUpdateState) {
    UpdateState();
    return;
  }
  if (!active_) return;
  // Keep the active record inside this link's rows.
  const int active = DataSet()->ActiveRecordIndex();
  if (active < first_record_) first_record_ = active;
  if (active >= first_record_ + buffer_count_) first_record_ = active - buffer_count_ + 1;
  switch (event) {
    case TDataEvent::deFieldChange:
    case TDataEvent::deRecordChange:
      if (!updating_) RecordChanged(field);
      break;
    case TDataEvent::deDataSetChange: DataSetChanged(); break;
    case TDataEvent::deDataSetScroll: DataSetScrolled(info); break;
    case TDataEvent::deLayoutChange: LayoutChanged(); break;
    case TDataEvent::deUpdateRecord: UpdateRecord(); break;
    case TDataEvent::deCheckBrowseMode: CheckBrowseMode(); break;
    case TDataEvent::deFocusControl: FocusControl(field); break;
    case TDataEvent::deUpdateState: break;
  }
}

// --- TDataSource ---

TDataSource::TDataSource(platform::TComponent* AOwner) : TComponent(AOwner) {}

TDataSource::~TDataSource() {
  SetDataSet(nullptr);
  while (!links_.empty()) links_.back()->SetDataSource(nullptr);
}

void TDataSource::SetDataSet(TVoraDataSet* value) {
  if (value == dataset_) return;
  if (dataset_ != nullptr) dataset_->RemoveDataSource(this);
  dataset_ = value;
  if (dataset_ != nullptr) dataset_->AddDataSource(this);
  DataEvent(TDataEvent::deUpdateState, nullptr, 0);
  if (dataset_ != nullptr) dataset_->UpdateBufferCount();
}

void TDataSource::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  DataEvent(TDataEvent::deUpdateState, nullptr, 0);
}

TDataSetState TDataSource::State() const {
  return dataset_ != nullptr && enabled_ ? dataset_->State() : TDataSetState::Closed;
}

void TDataSource::DataEvent(TDataEvent event, TField* field, int info) {
  if (event == TDataEvent::deUpdateState) {
    const TDataSetState now = State();
    if (now != state_) {
      state_ = now;
      OnStateChange(*this);
    }
  } else if (!enabled_) {
    return;
  }
  // A handler may detach links: walk a copy.
  const std::vector<TDataLink*> links = links_;
  for (TDataLink* link : links) {
    if (std::find(links_.begin(), links_.end(), link) != links_.end()) link->DataEvent(event, field, info);
  }
  switch (event) {
    case TDataEvent::deFieldChange:
    case TDataEvent::deRecordChange:
    case TDataEvent::deDataSetChange:
    case TDataEvent::deDataSetScroll:
      OnDataChange(*this, field);
      break;
    case TDataEvent::deUpdateRecord: OnUpdateData(*this); break;
    default: break;
  }
}

void TDataSource::AddLink(TDataLink* link) {
  links_.push_back(link);
  link->source_ = this;
}

void TDataSource::RemoveLink(TDataLink* link) {
  std::erase(links_, link);
  link->source_ = nullptr;
}

void TDataSource::DataSetGone() {
  dataset_ = nullptr;
  DataEvent(TDataEvent::deUpdateState, nullptr, 0);
}

}  // namespace telvora::dataset
