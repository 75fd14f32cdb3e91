#include "dataset/vora_data_set.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "dataset/application_error_handler.h"
#include "dataset/index_def.h"
#include "dataset/temp_state.h"

#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "storage/field_types.h"

namespace telvora::dataset {
namespace {

constexpr std::size_t kRecNoSize = 4;
constexpr std::size_t kFlagSize = 1;
// The cursor keeps at most this many BLOB values open, so no value needs
// more closes than this.
constexpr int kMaxBlobCloses = 128;

}  // namespace

TVoraDataSet::TVoraDataSet(platform::TComponent* AOwner) : TComponent(AOwner) {}

TVoraDataSet::~TVoraDataSet() {
  // Subclasses close in their own destructors, where their hooks still
  // run; this is the last resort.
  if (Active()) {
    state_ = TDataSetState::Closed;
    try {
      CloseCursor();
    } catch (...) {
    }
  }
  while (!sources_.empty()) sources_.back()->SetDataSet(nullptr);
  for (TField* field : fields_) field->dataset_ = nullptr;
}

// --- Properties ---

void TVoraDataSet::SetActive(bool value) {
  if (value) {
    Open();
  } else {
    Close();
  }
}

bool TVoraDataSet::CanModify() const { return cursor_ != nullptr && !cursor_->ReadOnly(); }

void TVoraDataSet::CheckInactive() const {
  if (Active()) DatabaseError(kDataSetOpen);
}

void TVoraDataSet::CheckActive() const {
  if (!Active()) DatabaseError(kDataSetClosed);
}

void TVoraDataSet::CheckCanModify() const {
  if (!CanModify()) DatabaseError(kDataSetReadOnly);
}

std::string TVoraDataSet::ContextDatabaseName() const {
  return cursor_ != nullptr ? cursor_->directory().path() : std::string();
}

std::string TVoraDataSet::ContextTableName() const { return cursor_ != nullptr ? cursor_->TableName() : std::string(); }

bool TVoraDataSet::IsIndexField(const TField& field) const {
  for (int i = 0; i < index_info_.key_field_count; ++i) {
    if (index_info_.field_numbers[static_cast<std::size_t>(i)] == field.FieldNo()) return true;
  }
  return false;
}

// --- Opening and closing ---

void TVoraDataSet::Open() {
  if (Active()) return;
  BeforeOpen(*this);
  SetState(TDataSetState::Opening);
  try {
    OpenCursor();
    field_defs_ = FieldDefsFromDescriptors(cursor_->Fields());
    ReadIndexInfo();
    BindFields();
    AllocateBuffers();
    BuildExpressionFilter();
    if (on_filter_record_) BuildRecordFilter();
    if (filtered_) ActivateFilters(true);
    CursorReady();
    ClearBuffers();
    cursor_->MoveFirst();
    GetNextRecords();
    bof_ = true;
  } catch (...) {
    SetState(TDataSetState::Closed);
    CloseCursor();
    throw;
  }
  SetState(TDataSetState::Browsing);
  AfterOpen(*this);
}

void TVoraDataSet::Close() {
  if (!Active()) return;
  const bool destroying = destroying_ || Destroying();
  if (!destroying) BeforeClose(*this);
  SetState(TDataSetState::Closed);
  CloseCursor();
  if (!destroying) AfterClose(*this);
}

void TVoraDataSet::OpenCursor() {
  cursor_ = CreateHandle();
  AfterHandleCreated();
}

void TVoraDataSet::CloseCursor() {
  FreeBuffers();
  UnbindFields();
  FreeSearchCursor();
  index_info_ = {};
  // The cursor frees its filters with itself.
  expression_filter_ = nullptr;
  record_filter_ = nullptr;
  filters_active_ = false;
  std::unique_ptr<engine::TDataCursor> cursor = std::move(cursor_);
  try {
    cursor.reset();
  } catch (...) {
  }
  DestroyHandle();
}

const std::vector<TFieldDef>& TVoraDataSet::FieldDefs() {
  if (cursor_ != nullptr) return field_defs_;
  // A short-lived cursor, as a closed table's definitions are needed.
  std::unique_ptr<engine::TDataCursor> cursor;
  try {
    cursor = CreateHandle();
    field_defs_ = FieldDefsFromDescriptors(cursor->Fields());
  } catch (...) {
    cursor.reset();
    DestroyHandle();
    throw;
  }
  cursor.reset();
  DestroyHandle();
  return field_defs_;
}

std::span<const storage::TFieldDescriptor> TVoraDataSet::EngineFields() const { return cursor_->Fields(); }

void TVoraDataSet::BindFields() {
  const auto descriptors = cursor_->Fields();
  auto descriptor_of = [&](const TFieldDef& def) -> const storage::TFieldDescriptor& {
    return descriptors[static_cast<std::size_t>(def.FieldNo - 1)];
  };
  if (!fields_.empty()) {
    for (TField* field : fields_) {
      if (field->Calculated()) continue;
      auto def = std::find_if(field_defs_.begin(), field_defs_.end(),
                              [&](const TFieldDef& d) { return SameText(d.Name, field->FieldName()); });
      if (def == field_defs_.end()) DatabaseErrorFmt(kFieldNotFound, field->FieldName());
      field->BindData(*def, descriptor_of(*def));
    }
    return;
  }
  for (const TFieldDef& def : field_defs_) {
    auto field = std::make_unique<TField>(nullptr);
    field->field_name_ = def.Name;
    field->dataset_ = this;
    field->BindData(def, descriptor_of(def));
    fields_.push_back(field.get());
    default_fields_.push_back(std::move(field));
  }
}

void TVoraDataSet::UnbindFields() {
  for (const auto& field : default_fields_) std::erase(fields_, field.get());
  default_fields_.clear();
  for (TField* field : fields_) field->Unbind();
}

void TVoraDataSet::AllocateBuffers() {
  record_size_ = cursor_->RecordSize();
  calc_size_ = 0;
  for (TField* field : fields_) {
    if (!field->Calculated()) continue;
    field->BindCalculated(static_cast<std::uint16_t>(calc_size_));
    calc_size_ += static_cast<std::size_t>(field->CalculatedSize());
  }
  bookmark_size_ = cursor_->BookmarkSize();
  buffer_size_ = record_size_ + calc_size_ + kRecNoSize + kFlagSize + bookmark_size_;
  int count = 1;
  for (const TDataSource* source : sources_) {
    for (const TDataLink* link : source->links_) count = std::max(count, link->BufferCount());
  }
  buffer_count_ = count;
  buffers_.assign(static_cast<std::size_t>(buffer_count_ + 1), std::vector<std::uint8_t>(buffer_size_, 0));
  old_values_.assign(record_size_, 0);
  for (TKeyBuffer& key : key_buffers_) key = TKeyBuffer{false, 0, std::vector<std::uint8_t>(record_size_, 0)};
  record_count_ = 0;
  active_record_ = 0;
  current_record_ = -1;
}

void TVoraDataSet::FreeBuffers() {
  buffers_.clear();
  old_values_.clear();
  for (TKeyBuffer& key : key_buffers_) key = TKeyBuffer{};
  buffer_count_ = 0;
  record_count_ = 0;
  active_record_ = 0;
  current_record_ = -1;
  bof_ = eof_ = true;
}

void TVoraDataSet::UpdateBufferCount() {
  if (!Active() || state_ == TDataSetState::Opening || IsEditMode(state_)) return;
  int count = 1;
  for (const TDataSource* source : sources_) {
    for (const TDataLink* link : source->links_) count = std::max(count, link->BufferCount());
  }
  if (count == buffer_count_) return;
  UpdateCursorPos();
  buffer_count_ = count;
  buffers_.assign(static_cast<std::size_t>(buffer_count_ + 1), std::vector<std::uint8_t>(buffer_size_, 0));
  const int active = std::min(active_record_, buffer_count_ - 1);
  record_count_ = 0;
  current_record_ = -1;
  active_record_ = active;
  Resync(false);
}

void TVoraDataSet::IndexChanged() {
  ReadIndexInfo();
  // The cursor dropped its range with the old index.
  for (TKeyIndex index : {kiCurRangeStart, kiCurRangeEnd}) {
    key_buffers_[index] = TKeyBuffer{false, 0, std::vector<std::uint8_t>(record_size_, 0)};
  }
  bookmark_size_ = cursor_->BookmarkSize();
  buffer_size_ = record_size_ + calc_size_ + kRecNoSize + kFlagSize + bookmark_size_;
  const int active = active_record_;
  buffers_.assign(static_cast<std::size_t>(buffer_count_ + 1), std::vector<std::uint8_t>(buffer_size_, 0));
  record_count_ = 0;
  current_record_ = -1;
  active_record_ = active;
  Resync(false);
}

// --- Buffer parts ---

std::span<std::uint8_t> TVoraDataSet::ImageOf(std::span<std::uint8_t> buffer) const {
  return buffer.subspan(0, record_size_);
}

std::span<std::uint8_t> TVoraDataSet::CalcOf(std::span<std::uint8_t> buffer) const {
  return buffer.subspan(record_size_, calc_size_);
}

std::int32_t TVoraDataSet::RecNoOf(std::span<const std::uint8_t> buffer) const {
  std::int32_t value = 0;
  std::memcpy(&value, buffer.data() + record_size_ + calc_size_, kRecNoSize);
  return value;
}

void TVoraDataSet::SetRecNoOf(std::span<std::uint8_t> buffer, std::int32_t value) const {
  std::memcpy(buffer.data() + record_size_ + calc_size_, &value, kRecNoSize);
}

TBookmarkFlag TVoraDataSet::FlagOf(std::span<const std::uint8_t> buffer) const {
  return static_cast<TBookmarkFlag>(buffer[record_size_ + calc_size_ + kRecNoSize]);
}

void TVoraDataSet::SetFlagOf(std::span<std::uint8_t> buffer, TBookmarkFlag flag) const {
  buffer[record_size_ + calc_size_ + kRecNoSize] = static_cast<std::uint8_t>(flag);
}

std::span<std::uint8_t> TVoraDataSet::BookmarkOf(std::span<std::uint8_t> buffer) const {
  return buffer.subspan(record_size_ + calc_size_ + kRecNoSize + kFlagSize, bookmark_size_);
}

// --- Reading records into the window ---

void TVoraDataSet::RaiseWithContext(const std::exception& error) const {
  storage::RaiseForCursor(storage::EngineErrorCodeOf(error), ContextDatabaseName(), ContextTableName(), error.what());
  throw EDatabaseError(error.what());  // not reached: a caught error's code is never 0
}

void TVoraDataSet::CheckResult(int code) const {
  storage::RaiseForCursor(static_cast<std::uint16_t>(code), ContextDatabaseName(), ContextTableName(), "");
}

TVoraDataSet::GetResult TVoraDataSet::ReadRecord(std::span<std::uint8_t> buffer, GetMode mode) {
  const auto image = ImageOf(buffer);
  int code = 0;
  try {
    switch (mode) {
      case GetMode::gmCurrent: code = cursor_->GetCurrentRecord(image); break;
      case GetMode::gmNext: code = cursor_->MoveNext(image); break;
      case GetMode::gmPrior: code = cursor_->MovePrior(image); break;
    }
  } catch (const storage::EVoraEngineError& e) {
    RaiseWithContext(e);
  }
  if (code == storage::VORA_BOF) return GetResult::grBOF;
  if (code == storage::VORA_EOF || code == storage::VORA_NOCURRREC) return GetResult::grEOF;
  CheckResult(code);
  SetRecNoOf(buffer, cursor_->GetRecordNumber());
  SetFlagOf(buffer, TBookmarkFlag::bfCurrent);
  cursor_->GetBookmark(BookmarkOf(buffer));
  ComputeCalcFields(buffer);
  return GetResult::grOK;
}

TVoraDataSet::GetResult TVoraDataSet::GetRecord(std::span<std::uint8_t> buffer, GetMode mode) {
  // The cursor's filters pass over refused records.
  return ReadRecord(buffer, mode);
}

void TVoraDataSet::ComputeCalcFields(std::span<std::uint8_t> buffer) {
  if (calc_size_ == 0) return;
  std::fill_n(buffer.begin() + static_cast<std::ptrdiff_t>(record_size_), calc_size_, 0);
  if (!OnCalcFields.Assigned()) return;
  const std::span<std::uint8_t> saved = state_buffer_;
  state_buffer_ = buffer;
  TempState temp(state_, TDataSetState::Calculating);
  try {
    OnCalcFields(*this);
  } catch (...) {
    state_buffer_ = saved;
    throw;
  }
  state_buffer_ = saved;
}

void TVoraDataSet::MoveBuffer(int from, int to) {
  if (from == to) return;
  auto first = buffers_.begin();
  if (from < to) {
    std::rotate(first + from, first + from + 1, first + to + 1);
  } else {
    std::rotate(first + to, first + from, first + from + 1);
  }
}

void TVoraDataSet::ClearBuffers() {
  record_count_ = 0;
  active_record_ = 0;
  current_record_ = -1;
  bof_ = eof_ = true;
}

void TVoraDataSet::ActivateBuffers() {
  record_count_ = 1;
  active_record_ = 0;
  current_record_ = 0;
  bof_ = eof_ = false;
}

void TVoraDataSet::SetCurrentRecord(int index) {
  if (current_record_ == index) return;
  auto buffer = Buffer(index);
  switch (FlagOf(buffer)) {
    case TBookmarkFlag::bfCurrent:
    case TBookmarkFlag::bfInserted: cursor_->GotoBookmark(BookmarkOf(buffer), true); break;
    case TBookmarkFlag::bfBOF: cursor_->MoveFirst(); break;
    case TBookmarkFlag::bfEOF: cursor_->MoveLast(); break;
  }
  current_record_ = index;
}

void TVoraDataSet::UpdateCursorPos() {
  if (record_count_ > 0) SetCurrentRecord(active_record_);
}

bool TVoraDataSet::GetNextRecord() {
  if (record_count_ > 0) SetCurrentRecord(record_count_ - 1);
  if (GetRecord(Buffer(record_count_), GetMode::gmNext) != GetResult::grOK) {
    CursorPosChanged();
    return false;
  }
  if (record_count_ == 0) {
    ActivateBuffers();
  } else if (record_count_ < buffer_count_) {
    ++record_count_;
  } else {
    MoveBuffer(0, record_count_);
    // The window moved down by one: the active record's row follows it.
    if (active_record_ > 0) --active_record_;
  }
  current_record_ = record_count_ - 1;
  return true;
}

bool TVoraDataSet::GetPriorRecord() {
  if (record_count_ > 0) SetCurrentRecord(0);
  if (GetRecord(Buffer(record_count_), GetMode::gmPrior) != GetResult::grOK) {
    CursorPosChanged();
    return false;
  }
  if (record_count_ == 0) {
    ActivateBuffers();
  } else {
    MoveBuffer(record_count_, 0);
    if (record_count_ < buffer_count_) {
      ++record_count_;
      ++active_record_;
    } else if (active_record_ < record_count_ - 1) {
      ++active_record_;
    }
  }
  current_record_ = 0;
  return true;
}

int TVoraDataSet::GetNextRecords() {
  int n = 0;
  while (record_count_ < buffer_count_ && GetNextRecord()) ++n;
  return n;
}

int TVoraDataSet::GetPriorRecords() {
  int n = 0;
  while (record_count_ < buffer_count_ && GetPriorRecord()) ++n;
  return n;
}

void TVoraDataSet::Resync(bool exact) {
  auto spare = Buffer(record_count_);
  if (exact) {
    CursorPosChanged();
    if (GetRecord(spare, GetMode::gmCurrent) != GetResult::grOK) {
      ClearBuffers();
      DataEvent(TDataEvent::deDataSetChange);
      return;
    }
  } else if (GetRecord(spare, GetMode::gmCurrent) != GetResult::grOK &&
             GetRecord(spare, GetMode::gmNext) != GetResult::grOK &&
             GetRecord(spare, GetMode::gmPrior) != GetResult::grOK) {
    ClearBuffers();
    DataEvent(TDataEvent::deDataSetChange);
    return;
  }
  // The record read stays on the active record's row when it can.
  int before = std::min(active_record_, buffer_count_ - 1);
  MoveBuffer(record_count_, 0);
  ActivateBuffers();
  try {
    while (before > 0 && GetPriorRecord()) --before;
    GetNextRecords();
    GetPriorRecords();
  } catch (...) {
    DataEvent(TDataEvent::deDataSetChange);
    throw;
  }
  DataEvent(TDataEvent::deDataSetChange);
}

// --- State and notifications ---

void TVoraDataSet::SetState(TDataSetState value) {
  if (state_ == value) return;
  state_ = value;
  modified_ = false;
  DataEvent(TDataEvent::deUpdateState);
}

void TVoraDataSet::DataEvent(TDataEvent event, TField* field, int info) {
  if (event == TDataEvent::deFieldChange && field != nullptr) {
    if (field->FieldKind() == TFieldKind::fkData || field->FieldKind() == TFieldKind::fkInternalCalc) {
      modified_ = true;
    }
    if (calc_size_ > 0 && auto_calc_fields_ && (state_ == TDataSetState::Editing || state_ == TDataSetState::Inserting)) {
      ComputeCalcFields(ActiveBuffer());
    }
  }
  const std::vector<TDataSource*> sources = sources_;
  for (TDataSource* source : sources) {
    if (std::find(sources_.begin(), sources_.end(), source) != sources_.end()) source->DataEvent(event, field, info);
  }
}

void TVoraDataSet::AddDataSource(TDataSource* source) { sources_.push_back(source); }

void TVoraDataSet::RemoveDataSource(TDataSource* source) {
  std::erase(sources_, source);
  UpdateBufferCount();
}

int TVoraDataSet::SetActiveRecordIndex(int index) {
  const int old = active_record_;
  if (index >= 0 && index < std::max(record_count_, 1)) active_record_ = index;
  return old;
}

// --- Navigation ---

void TVoraDataSet::First() {
  CheckBrowseMode();
  BeforeScroll(*this);
  ClearBuffers();
  try {
    cursor_->MoveFirst();
    GetNextRecords();
  } catch (...) {
    bof_ = true;
    DataEvent(TDataEvent::deDataSetChange);
    throw;
  }
  bof_ = true;
  DataEvent(TDataEvent::deDataSetChange);
  AfterScroll(*this);
}

void TVoraDataSet::Last() {
  CheckBrowseMode();
  BeforeScroll(*this);
  ClearBuffers();
  try {
    cursor_->MoveLast();
    GetPriorRecords();
  } catch (...) {
    eof_ = true;
    DataEvent(TDataEvent::deDataSetChange);
    throw;
  }
  eof_ = true;
  DataEvent(TDataEvent::deDataSetChange);
  AfterScroll(*this);
}

int TVoraDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  int moved = 0;
  BeforeScroll(*this);
  if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
    bof_ = eof_ = false;
    const int old_count = record_count_;
    int scrolled = 0;
    auto notify = [&] {
      if (record_count_ != old_count) {
        DataEvent(TDataEvent::deDataSetChange);
      } else {
        DataEvent(TDataEvent::deDataSetScroll, nullptr, scrolled);
      }
    };
    try {
      while (distance > 0) {
        if (active_record_ < record_count_ - 1) {
          ++active_record_;
        } else {
          const int shift = record_count_ < buffer_count_ ? 0 : 1;
          if (!GetNextRecord()) {
            eof_ = true;
            break;
          }
          scrolled -= shift;
          active_record_ = record_count_ - 1;
        }
        --distance;
        ++moved;
      }
      while (distance < 0) {
        if (active_record_ > 0) {
          --active_record_;
        } else {
          const int shift = record_count_ < buffer_count_ ? 0 : 1;
          if (!GetPriorRecord()) {
            bof_ = true;
            break;
          }
          scrolled += shift;
          active_record_ = 0;
        }
        ++distance;
        --moved;
      }
    } catch (...) {
      notify();
      throw;
    }
    notify();
  }
  AfterScroll(*this);
  return moved;
}

int TVoraDataSet::RecNo() const {
  if (!Active() || record_count_ == 0) return state_ == TDataSetState::Inserting ? -1 : 0;
  auto& self = const_cast<TVoraDataSet&>(*this);
  return self.RecNoOf(self.Buffer(active_record_));
}

void TVoraDataSet::SetRecNo(int value) {
  CheckBrowseMode();
  if (value == RecNo()) return;
  BeforeScroll(*this);
  cursor_->SetRecordNumber(value);
  Resync(false);
  AfterScroll(*this);
}

int TVoraDataSet::RecordCount() {
  CheckActive();
  return cursor_->GetRecordCount();
}

std::vector<std::uint8_t> TVoraDataSet::GetBookmark() {
  if (!Active() || record_count_ == 0) return {};
  auto buffer = ActiveBuffer();
  if (FlagOf(buffer) != TBookmarkFlag::bfCurrent) return {};
  const auto bookmark = BookmarkOf(buffer);
  return {bookmark.begin(), bookmark.end()};
}

void TVoraDataSet::GotoBookmark(std::span<const std::uint8_t> bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  BeforeScroll(*this);
  cursor_->GotoBookmark(bookmark, true);
  Resync(false);
  AfterScroll(*this);
}

int TVoraDataSet::CompareBookmarks(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  if (a.empty() && b.empty()) return 0;
  if (a.empty()) return -1;
  if (b.empty()) return 1;
  return cursor_->CompareBookmarks(a, b);
}

// --- Editing ---

void TVoraDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(TDataEvent::deCheckBrowseMode);
  switch (state_) {
    case TDataSetState::Editing:
    case TDataSetState::Inserting:
      UpdateRecord();
      if (modified_) {
        Post();
      } else {
        Cancel();
      }
      break;
    case TDataSetState::KeyEditing: Post(); break;
    default: break;
  }
}

void TVoraDataSet::UpdateRecord() {
  if (IsEditMode(state_)) DataEvent(TDataEvent::deUpdateRecord);
}

void TVoraDataSet::InitRecord(std::span<std::uint8_t> buffer) {
  std::fill(buffer.begin(), buffer.end(), 0);
  try {
    cursor_->InitRecord(ImageOf(buffer));
  } catch (const storage::EVoraEngineError& e) {
    RaiseWithContext(e);
  }
  SetRecNoOf(buffer, -1);
  SetFlagOf(buffer, TBookmarkFlag::bfInserted);
}

void TVoraDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  BeforeInsert(*this);
  BeforeScroll(*this);
}

void TVoraDataSet::EndInsertAppend() {
  SetState(TDataSetState::Inserting);
  try {
    NewRecordStep();
  } catch (...) {
    UpdateCursorPos();
    SetState(TDataSetState::Browsing);
    Resync(false);
    throw;
  }
  modified_ = false;
  DataEvent(TDataEvent::deDataSetChange);
  AfterInsert(*this);
  AfterScroll(*this);
}

void TVoraDataSet::NewRecordStep() {
  auto image = ImageOf(ActiveBuffer());
  bool copied = false;
  if (copy_on_append_) {
    // The record the cursor stands on is the one the window was read
    // around; CopyCurrentForAppend answers 8709 when there is none.
    std::vector<std::uint8_t> copy(record_size_, 0);
    if (cursor_->CopyCurrentForAppend(copy) == 0) {
      std::copy(copy.begin(), copy.end(), image.begin());
      SetRecNoOf(ActiveBuffer(), -1);
      copied = true;
    }
  }
  if (!copied) std::fill(old_values_.begin(), old_values_.end(), 0);
  OnNewRecord(*this);
}

void TVoraDataSet::Append() {
  std::vector<std::uint8_t> copy_source;
  BeginInsertAppend();
  if (copy_on_append_) UpdateCursorPos();
  const std::vector<std::uint8_t> current = copy_on_append_ ? GetBookmark() : std::vector<std::uint8_t>();
  ClearBuffers();
  auto buffer = Buffer(0);
  InitRecord(buffer);
  SetFlagOf(buffer, TBookmarkFlag::bfEOF);
  record_count_ = 1;
  bof_ = false;
  GetPriorRecords();
  if (!current.empty()) {
    cursor_->GotoBookmark(current, true);
    CursorPosChanged();
  }
  EndInsertAppend();
}

void TVoraDataSet::Insert() {
  BeginInsertAppend();
  if (record_count_ > 0) UpdateCursorPos();
  const std::vector<std::uint8_t> old_current = GetBookmark();
  MoveBuffer(record_count_, active_record_);
  auto buffer = ActiveBuffer();
  InitRecord(buffer);
  if (record_count_ == 0) {
    SetFlagOf(buffer, TBookmarkFlag::bfBOF);
  } else if (!old_current.empty()) {
    std::copy(old_current.begin(), old_current.end(), BookmarkOf(buffer).begin());
  }
  if (record_count_ < buffer_count_) ++record_count_;
  EndInsertAppend();
}

void TVoraDataSet::Edit() {
  if (state_ == TDataSetState::Editing || state_ == TDataSetState::Inserting) return;
  CheckActive();
  if (record_count_ == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  BeforeEdit(*this);
  CheckOperation([this] { InternalEdit(); }, OnEditError);
  ComputeCalcFields(ActiveBuffer());
  SetState(TDataSetState::Editing);
  DataEvent(TDataEvent::deRecordChange);
  AfterEdit(*this);
}

void TVoraDataSet::InternalEdit() {
  auto image = ImageOf(ActiveBuffer());
  // The engine compares the record as this dataset last read it with the
  // stored one; the lock and the fresh record come back in the same call.
  std::vector<std::uint8_t> as_read(image.begin(), image.end());
  int code = 0;
  try {
    code = cursor_->GetCurrentRecord(as_read, true);
  } catch (const storage::EVoraEngineError& e) {
    RaiseWithContext(e);
  }
  CheckResult(code);
  std::copy(as_read.begin(), as_read.end(), image.begin());
  old_values_.assign(image.begin(), image.end());
  edit_locked_ = cursor_->LockedRecord() != 0;
}

void TVoraDataSet::CheckOperation(const std::function<void()>& op, const TDataSetErrorEvent& error_event) {
  for (;;) {
    try {
      UpdateCursorPos();
      op();
      return;
    } catch (const EDatabaseError& e) {
      TDataAction action = TDataAction::daFail;
      error_event(*this, e, action);
      if (action == TDataAction::daFail) throw;
      if (action == TDataAction::daAbort) throw EAbort();
    }
  }
}

void TVoraDataSet::CheckRequiredFields() {
  for (TField* field : fields_) {
    if (field->FieldKind() != TFieldKind::fkData || !field->Required() || field->ReadOnly()) continue;
    if (field->IsNull()) {
      field->FocusControl();
      DatabaseErrorFmt(kFieldRequired, field->DisplayName());
    }
  }
}

void TVoraDataSet::Post() {
  UpdateRecord();
  if (state_ == TDataSetState::KeyEditing) {
    SetState(TDataSetState::Browsing);
    return;
  }
  if (state_ != TDataSetState::Editing && state_ != TDataSetState::Inserting) return;
  DataEvent(TDataEvent::deCheckBrowseMode);
  BeforePost(*this);
  CheckRequiredFields();
  CheckOperation([this] { InternalPost(); }, OnPostError);
  SetState(TDataSetState::Browsing);
  Resync(false);
  AfterPost(*this);
}

void TVoraDataSet::InternalPost() {
  auto image = ImageOf(ActiveBuffer());
  if (state_ == TDataSetState::Editing) {
    cursor_->ModifyRecord(image, edit_locked_, true);
  } else {
    cursor_->InsertRecord(image, true);
  }
  edit_locked_ = false;
  CursorPosChanged();
  CloseOpenBlobs(image);
}

void TVoraDataSet::Cancel() {
  if (state_ == TDataSetState::KeyEditing) {
    key_buffers_[key_index_] = key_buffers_[kiSave];
    SetState(TDataSetState::Browsing);
    return;
  }
  if (state_ != TDataSetState::Editing && state_ != TDataSetState::Inserting) return;
  DataEvent(TDataEvent::deCheckBrowseMode);
  BeforeCancel(*this);
  const bool inserting = state_ == TDataSetState::Inserting;
  if (inserting) BeforeScroll(*this);
  UpdateCursorPos();
  InternalCancel();
  SetState(TDataSetState::Browsing);
  Resync(false);
  AfterCancel(*this);
  if (inserting) AfterScroll(*this);
}

void TVoraDataSet::InternalCancel() {
  if (state_ == TDataSetState::Editing) cursor_->CancelEdit();
  edit_locked_ = false;
  CloseOpenBlobs(ImageOf(ActiveBuffer()));
}

void TVoraDataSet::CloseOpenBlobs(std::span<std::uint8_t> image) {
  for (const auto& descriptor : cursor_->Fields()) {
    if (descriptor.Type() != storage::kTypeBlob) continue;
    const storage::TFieldLayout layout = storage::TFieldLayout::Of(descriptor);
    // A negative reference is the handle of a value open in the cursor;
    // each close lowers its open count, the last one frees it.
    for (int guard = 0; guard < kMaxBlobCloses && storage::TRecordImage(image).GetBlobFirstBlock(layout) < 0; ++guard) {
      if (cursor_->CloseBlob(descriptor.FieldNumber(), image) != 0) break;
    }
  }
}

void TVoraDataSet::Delete() {
  CheckActive();
  if (state_ == TDataSetState::Inserting || state_ == TDataSetState::KeyEditing) {
    Cancel();
    return;
  }
  if (record_count_ == 0) DatabaseError(kDataSetEmpty);
  DataEvent(TDataEvent::deCheckBrowseMode);
  BeforeDelete(*this);
  BeforeScroll(*this);
  CheckOperation([this] { InternalDelete(); }, OnDeleteError);
  SetState(TDataSetState::Browsing);
  Resync(false);
  AfterDelete(*this);
  AfterScroll(*this);
}

void TVoraDataSet::InternalDelete() {
  auto image = ImageOf(ActiveBuffer());
  if (state_ == TDataSetState::Editing) {
    // The record as it was read, not as the user changed it.
    cursor_->DeleteRecord(old_values_, true);
    CloseOpenBlobs(image);
  } else {
    cursor_->DeleteRecord(image, true);
  }
  edit_locked_ = false;
  CursorPosChanged();
}

void TVoraDataSet::Refresh() {
  CheckActive();
  BeforeRefresh(*this);
  CheckBrowseMode();
  UpdateCursorPos();
  try {
    cursor_->RefreshCursor();
    if (search_cursor_ != nullptr) search_cursor_->RefreshCursor();
  } catch (...) {
    CursorPosChanged();
    Resync(false);
    throw;
  }
  CursorPosChanged();
  Resync(false);
  AfterRefresh(*this);
}

// --- Fields ---

TField* TVoraDataSet::FindField(const std::string& name) const {
  for (TField* field : fields_) {
    if (SameText(field->FieldName(), name)) return field;
  }
  return nullptr;
}

TField& TVoraDataSet::FieldByName(const std::string& name) const {
  TField* field = FindField(name);
  if (field == nullptr) DatabaseErrorFmt(kFieldNotFound, name);
  return *field;
}

TVariant TVoraDataSet::FieldValues(const std::string& name) const { return FieldByName(name).Value(); }

std::vector<TVariant> TVoraDataSet::FieldValuesList(const std::string& names) const {
  std::vector<TVariant> values;
  for (const std::string& name : SplitFieldNames(names)) values.push_back(FieldByName(name).Value());
  return values;
}

void TVoraDataSet::SetFieldValues(const std::string& name, const TVariant& value) { FieldByName(name).SetValue(value); }

void TVoraDataSet::AddField(TField* field) {
  CheckInactive();
  fields_.push_back(field);
  DataEvent(TDataEvent::deLayoutChange);
}

void TVoraDataSet::RemoveField(TField* field) {
  std::erase(fields_, field);
  if (!Destroying()) DataEvent(TDataEvent::deLayoutChange);
}

engine::Locale TVoraDataSet::TableLocale() const {
  if (cursor_ == nullptr) return {};
  const auto& header = cursor_->table().data_file().Header();
  return engine::Locale{header.LanguageId(), header.SortId()};
}

std::span<std::uint8_t> TVoraDataSet::FieldImage(const TField& field) {
  if (validate_field_ == &field) return validate_image_;
  std::span<std::uint8_t> image;
  std::span<std::uint8_t> calc;
  switch (state_) {
    case TDataSetState::Closed:
    case TDataSetState::Opening: return {};
    case TDataSetState::Calculating:
    case TDataSetState::InternalCalculating:
      image = ImageOf(state_buffer_);
      calc = CalcOf(state_buffer_);
      break;
    case TDataSetState::Filtering:
      image = state_buffer_;
      break;
    case TDataSetState::KeyEditing:
      image = key_buffers_[key_index_].image;
      break;
    default:
      if (record_count_ == 0) return {};
      image = ImageOf(ActiveBuffer());
      calc = CalcOf(ActiveBuffer());
      if (state_ == TDataSetState::OldValues) image = old_values_;
      break;
  }
  return field.Calculated() ? calc : image;
}

void TVoraDataSet::WriteFieldValue(TField& field, const std::function<void(storage::TRecordImage&)>& store) {
  if (state_ == TDataSetState::OldValues) DatabaseErrorFmt(kFieldReadOnly, field.DisplayName());
  if (!IsWriteMode(state_)) DatabaseError(kNotEditing);
  if (state_ == TDataSetState::KeyEditing && !IsIndexField(field)) {
    DatabaseErrorFmt(kNotIndexField, field.DisplayName());
  }
  const bool computing = state_ == TDataSetState::Calculating || state_ == TDataSetState::InternalCalculating ||
                         state_ == TDataSetState::Filtering;
  if (field.ReadOnly() && !computing) DatabaseErrorFmt(kFieldReadOnly, field.DisplayName());
  const std::span<std::uint8_t> target = FieldImage(field);
  if (target.empty()) DatabaseError(kNotEditing);
  // The new value goes into a copy first, so that OnValidate reads it and
  // a refusal leaves the record untouched.
  std::vector<std::uint8_t> copy(target.begin(), target.end());
  storage::TRecordImage image(copy);
  store(image);
  if (field.OnValidate.Assigned()) {
    validate_field_ = &field;
    validate_image_ = copy;
    try {
      field.OnValidate(field);
    } catch (...) {
      validate_field_ = nullptr;
      validate_image_ = {};
      throw;
    }
    validate_field_ = nullptr;
    validate_image_ = {};
  }
  std::copy(copy.begin(), copy.end(), target.begin());
  if (state_ == TDataSetState::KeyEditing) key_buffers_[key_index_].modified = true;
  if (!computing && state_ != TDataSetState::NewValues) DataEvent(TDataEvent::deFieldChange, &field);
  field.OnChange(field);
}

// --- Filters ---

void TVoraDataSet::SetOnFilterRecord(TFilterRecordHandler handler) {
  if (!Active()) {
    on_filter_record_ = std::move(handler);
    return;
  }
  CheckBrowseMode();
  FreeSearchCursor();
  DropRecordFilter();
  on_filter_record_ = std::move(handler);
  if (on_filter_record_) {
    BuildRecordFilter();
    if (filters_active_) cursor_->ActivateFilter(record_filter_);
  }
  if (filtered_) First();
}

bool TVoraDataSet::AcceptRecord(std::span<const std::uint8_t> record) {
  if (!on_filter_record_) return true;
  bool accept = true;
  // The event reads the tested record through the fields; a copy, so that
  // a field write inside it cannot reach the cursor's own image.
  filter_record_.assign(record.begin(), record.end());
  filter_record_.resize(record_size_, 0);
  const std::span<std::uint8_t> saved = state_buffer_;
  state_buffer_ = filter_record_;
  TempState temp(state_, TDataSetState::Filtering);
  try {
    on_filter_record_(*this, accept);
  } catch (const std::exception& e) {
    // The move goes on: the user is shown the error and the record counts
    // as the event left it.
    HandleApplicationException(e);
  }
  state_buffer_ = saved;
  return accept;
}

void TVoraDataSet::SetFilter(const std::string& value) {
  if (!Active()) {
    filter_text_ = value;
    return;
  }
  CheckBrowseMode();
  if (value != filter_text_) ReplaceExpressionFilter(value, filter_options_);
  if (filtered_) First();
}

void TVoraDataSet::SetFilterOptions(TFilterOptions value) {
  if (!Active()) {
    filter_options_ = value;
    return;
  }
  CheckBrowseMode();
  if (!(value == filter_options_)) ReplaceExpressionFilter(filter_text_, value);
  if (filtered_) First();
}

void TVoraDataSet::ReplaceExpressionFilter(const std::string& text, TFilterOptions options) {
  const std::string old_text = filter_text_;
  const TFilterOptions old_options = filter_options_;
  FreeSearchCursor();
  DropExpressionFilter();
  filter_text_ = text;
  filter_options_ = options;
  try {
    BuildExpressionFilter();
  } catch (...) {
    // The refused text is not kept, and the filter that was there before
    // stays in force: Filter never names an expression the cursor does
    // not apply.
    filter_text_ = old_text;
    filter_options_ = old_options;
    BuildExpressionFilter();
    throw;
  }
}

void TVoraDataSet::SetFiltered(bool value) {
  if (Active()) {
    CheckBrowseMode();
    if (value != filtered_) {
      FreeSearchCursor();
      ActivateFilters(value);
      filtered_ = value;
    }
    First();
    return;
  }
  filtered_ = value;
}

void TVoraDataSet::ActivateFilters(bool active) {
  for (engine::TFilter* filter : {expression_filter_, record_filter_}) {
    if (filter == nullptr) continue;
    if (active) {
      cursor_->ActivateFilter(filter);
    } else {
      cursor_->DeactivateFilter(filter);
    }
  }
  filters_active_ = active;
}

void TVoraDataSet::BuildExpressionFilter() {
  if (filter_text_.empty()) return;
  engine::TFilterSwitches switches;
  switches.options.case_insensitive = filter_options_.foCaseInsensitive;
  switches.options.no_partial_compare = filter_options_.foNoPartialCompare;
  expression_filter_ = cursor_->AddFilter(filter_text_, switches);
  if (filters_active_) cursor_->ActivateFilter(expression_filter_);
}

void TVoraDataSet::DropExpressionFilter() {
  if (expression_filter_ == nullptr) return;
  engine::TFilter* filter = std::exchange(expression_filter_, nullptr);
  cursor_->DropFilter(filter);
}

void TVoraDataSet::BuildRecordFilter() {
  record_filter_ = cursor_->AddFilter(
      [this](void*, engine::TDataCursor&, std::span<const std::uint8_t> record, std::int32_t) {
        return AcceptRecord(record);
      },
      this, engine::TFilterSwitches{});
}

void TVoraDataSet::DropRecordFilter() {
  if (record_filter_ == nullptr) return;
  engine::TFilter* filter = std::exchange(record_filter_, nullptr);
  cursor_->DropFilter(filter);
}

bool TVoraDataSet::FindRecord(bool restart, bool forward) {
  CheckBrowseMode();
  BeforeScroll(*this);
  found_ = false;
  const bool was_active = filters_active_;
  ActivateFilters(true);
  try {
    UpdateCursorPos();
    if (restart) {
      if (forward) {
        cursor_->MoveFirst();
      } else {
        cursor_->MoveLast();
      }
    }
    auto spare = Buffer(record_count_);
    found_ = GetRecord(spare, forward ? GetMode::gmNext : GetMode::gmPrior) == GetResult::grOK;
  } catch (...) {
    ActivateFilters(was_active);
    CursorPosChanged();
    throw;
  }
  ActivateFilters(was_active);
  CursorPosChanged();
  if (found_) {
    Resync(false);
    AfterScroll(*this);
  }
  return found_;
}

bool TVoraDataSet::FindFirst() { return FindRecord(true, true); }
bool TVoraDataSet::FindLast() { return FindRecord(true, false); }
bool TVoraDataSet::FindNext() { return FindRecord(false, true); }
bool TVoraDataSet::FindPrior() { return FindRecord(false, false); }

}  // namespace telvora::dataset

namespace telvora::dataset {
namespace {

// BLOB open modes of the cursor.
constexpr int kBlobRead = 1;
constexpr int kBlobWrite = 2;

}  // namespace

TVariant TVoraDataSet::OldValueOf(const TField& field) {
  if (state_ != TDataSetState::Editing || field.Calculated()) return field.Value();
  TempState temp(state_, TDataSetState::OldValues);
  return field.Value();
}

std::string TVoraDataSet::ReadBlobValue(const TField& field, std::span<const std::uint8_t> image) {
  if (cursor_ == nullptr) return {};
  std::vector<std::uint8_t> copy(image.begin(), image.end());
  const auto number = static_cast<std::uint16_t>(field.FieldNo());
  std::size_t size = 0;
  CheckResult(cursor_->OpenBlob(number, copy, kBlobRead, false, size));
  std::string value(size, '\0');
  std::size_t read = 0;
  const std::uint16_t code =
      cursor_->ReadBlob(number, copy, 0, size, reinterpret_cast<std::uint8_t*>(value.data()), read);
  cursor_->CloseBlob(number, copy);
  if (code != storage::VORA_ENDOFBLOB) CheckResult(code);
  value.resize(read);
  return value;
}

void TVoraDataSet::StoreBlobValue(const TField& field, std::span<std::uint8_t> image, const std::string& value) {
  const auto number = static_cast<std::uint16_t>(field.FieldNo());
  const storage::TFieldLayout layout = storage::TFieldLayout::Of(cursor_->Fields()[number - 1]);
  std::size_t size = 0;
  // A value already open for this record is written again in place.
  if (storage::TRecordImage(image).GetBlobFirstBlock(layout) >= 0) {
    CheckResult(cursor_->OpenBlob(number, image, kBlobWrite, false, size));
  }
  CheckResult(cursor_->TruncateBlob(number, image, 0));
  if (!value.empty()) {
    CheckResult(cursor_->WriteBlob(number, image, 0, value.size(), reinterpret_cast<const std::uint8_t*>(value.data())));
  }
}

}  // namespace telvora::dataset
