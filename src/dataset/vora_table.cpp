#include "dataset/vora_table.h"

#include <algorithm>

#include "dataset/vora_database.h"
#include "dataset/vora_session.h"

namespace telvora::dataset {

TVoraTable::TVoraTable(platform::TComponent* AOwner) : TVoraDBDataSet(AOwner) {
  master_link_.OnMasterChange = [this] { MasterChanged(); };
  master_link_.OnMasterDisable = [this] { MasterDisabled(); };
}

TVoraTable::~TVoraTable() {
  CloseForDestroy();
  master_link_.SetDataSource(nullptr);
}

std::string TVoraTable::EngineVersion() const { return kEngineVersion; }

bool TVoraTable::CanModify() const { return TVoraDataSet::CanModify() && !read_only_; }

void TVoraTable::SetTableName(const std::string& value) {
  CheckInactive();
  std::string name = NormalizeSeparators(value);
  // A path: the folder becomes the database, the file name the table.
  const std::size_t cut = name.find_last_of(std::string{':', kPathSeparator});
  if (cut != std::string::npos) {
    SetDatabaseName(name.substr(0, cut + 1));
    name = name.substr(cut + 1);
  }
  table_name_ = name;
}

void TVoraTable::SetExclusive(bool value) {
  if (value == exclusive_) return;
  CheckInactive();
  exclusive_ = value;
}

void TVoraTable::SetReadOnly(bool value) {
  if (value == read_only_) return;
  CheckInactive();
  read_only_ = value;
}

void TVoraTable::SetIndexName(const std::string& value) { SetIndex(value, false); }

void TVoraTable::SetIndexFieldNames(const std::string& value) { SetIndex(value, true); }

void TVoraTable::SetIndex(const std::string& value, bool field_names) {
  if (Active()) CheckBrowseMode();
  const std::string& current = field_names ? index_field_names_ : index_name_;
  const bool same_kind = field_names ? !index_field_names_.empty() || index_name_.empty()
                                     : !index_name_.empty() || index_field_names_.empty();
  if (value == current && same_kind) return;
  if (Active()) {
    engine::TDataCursor& cursor = *Handle();
    // The index is found before anything changes, so that a refused name
    // leaves the order and any range as they were.
    std::uint8_t slot = engine::TDataCursor::kPrimaryIndex;
    if (field_names && !value.empty()) {
      slot = static_cast<std::uint8_t>(IndexForFields(IndexDefs(), value).Slot);
    } else if (!value.empty()) {
      const std::vector<TIndexDef>& defs = IndexDefs();
      const auto def = std::find_if(defs.begin(), defs.end(), [&](const TIndexDef& d) { return SameText(d.Name, value); });
      if (def == defs.end()) {
        // Unknown here (or added since the definitions were read): the
        // cursor decides, and refuses an unknown name with 10022.
        cursor.SelectIndex(value);
        slot = cursor.CurrentIndex();
      } else {
        slot = static_cast<std::uint8_t>(def->Slot);
      }
    }
    cursor.CancelRange();
    // The cursor switches on the dataset's current record.
    if (WindowRecordCount() > 0) {
      const std::vector<std::uint8_t> bookmark = GetBookmark();
      if (!bookmark.empty()) cursor.GotoBookmark(bookmark, true);
    }
    cursor.SelectIndexNumber(slot);
    try {
      IndexChanged();
    } catch (...) {
      Close();
      throw;
    }
  }
  index_name_ = field_names ? std::string() : value;
  index_field_names_ = field_names ? value : std::string();
  if (Active()) MasterChanged();
}

const std::vector<TIndexDef>& TVoraTable::IndexDefs() {
  const std::string source = SessionName() + '\n' + DatabaseName() + '\n' + table_name_;
  if (index_defs_read_ && source == index_defs_source_) return index_defs_;
  if (Handle() != nullptr) {
    index_defs_ = CursorIndexDefs();
  } else {
    // A short-lived cursor, as a closed table's definitions are needed.
    std::unique_ptr<engine::TDataCursor> cursor;
    try {
      cursor = CreateHandle();
      const storage::TIndexFile& file = cursor->table().index_file();
      index_defs_ = IndexDefsFromHeader(file.Header(), file.PrimaryIndexUnavailable(), cursor->Fields());
    } catch (...) {
      cursor.reset();
      DestroyHandle();
      throw;
    }
    cursor.reset();
    DestroyHandle();
  }
  index_defs_source_ = source;
  index_defs_read_ = true;
  return index_defs_;
}

void TVoraTable::SetMasterSource(TDataSource* value) {
  // A source whose dataset is this table, or the detail of a chain that
  // leads back to it, would make every record change feed itself.
  for (TDataSource* source = value; source != nullptr;) {
    TVoraDataSet* dataset = source->DataSet();
    if (dataset == this) DatabaseError(kCircularDataLink);
    auto* table = dynamic_cast<TVoraTable*>(dataset);
    source = table != nullptr ? table->MasterSource() : nullptr;
  }
  master_link_.SetDataSource(value);
}

void TVoraTable::SetMasterFields(const std::string& value) {
  master_link_.SetFieldNames(value);
  MasterChanged();
}

std::vector<TVariant> TVoraTable::MasterValues() const {
  std::vector<TVariant> values;
  TVoraDataSet* master = master_link_.DataSet();
  for (const std::string& name : SplitFieldNames(master_link_.FieldNames())) {
    values.push_back(master->FieldByName(name).Value());
  }
  return values;
}

void TVoraTable::MasterChanged() {
  if (!Active() || !master_link_.Active() || master_link_.FieldNames().empty()) return;
  SetLinkRange(MasterValues());
}

void TVoraTable::MasterDisabled() {
  if (!Active() || State() == TDataSetState::Opening) return;
  CancelRange();
}

void TVoraTable::CursorReady() {
  if (master_link_.Active()) MasterChanged();
}

void TVoraTable::NewRecordStep() {
  if (master_link_.Active() && !master_link_.FieldNames().empty()) {
    const std::vector<TVariant> values = MasterValues();
    for (std::size_t i = 0; i < values.size(); ++i) IndexFields(static_cast<int>(i)).SetValue(values[i]);
  }
  TVoraDataSet::NewRecordStep();
}

std::unique_ptr<engine::TDataCursor> TVoraTable::CreateHandle() {
  if (table_name_.empty()) DatabaseError(kMissingTableName);
  TVoraDatabase& database = OpenDatabase();
  if (database.Handle() == nullptr) DatabaseError(kCreateHandleFailed);
  TVoraSession& session = *database.Session();
  session.LockSession();
  std::unique_ptr<engine::TDataCursor> cursor;
  try {
    cursor = std::make_unique<engine::TDataCursor>(*database.Handle());
    cursor->SetTableName(table_name_);
    cursor->SetExclusive(exclusive_);
    cursor->SetReadOnly(read_only_);
    cursor->OpenCursor();
  } catch (...) {
    cursor.reset();
    session.UnlockSession();
    throw;
  }
  session.UnlockSession();
  read_only_ = cursor->ReadOnly();
  return cursor;
}

void TVoraTable::AfterHandleCreated() {
  if (!index_field_names_.empty()) {
    Handle()->SelectIndexNumber(static_cast<std::uint8_t>(IndexForFields(CursorIndexDefs(), index_field_names_).Slot));
  } else if (!index_name_.empty()) {
    Handle()->SelectIndex(index_name_);
  }
}

}  // namespace telvora::dataset
