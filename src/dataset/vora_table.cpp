#include "dataset/vora_table.h"

#include "dataset/vora_database.h"
#include "dataset/vora_session.h"

namespace telvora::dataset {

TVoraTable::TVoraTable(platform::TComponent* AOwner) : TVoraDBDataSet(AOwner) {}

TVoraTable::~TVoraTable() { CloseForDestroy(); }

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

void TVoraTable::SetIndexName(const std::string& value) {
  if (value == index_name_ && index_field_names_.empty()) return;
  if (Active()) {
    CheckBrowseMode();
    // The cursor switches on the dataset's current record.
    if (WindowRecordCount() > 0) {
      const std::vector<std::uint8_t> bookmark = GetBookmark();
      if (!bookmark.empty()) Handle()->GotoBookmark(bookmark, true);
    }
    Handle()->SelectIndex(value);
  }
  index_name_ = value;
  index_field_names_.clear();
  if (Active()) IndexChanged();
}

void TVoraTable::SetIndexFieldNames(const std::string& value) {
  CheckInactive();
  index_field_names_ = value;
  index_name_.clear();
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
  if (!index_name_.empty()) Handle()->SelectIndex(index_name_);
}

}  // namespace telvora::dataset
