#pragma once
// A contacts table for the dataset tests, made and read through the engine
// alone, so that what the table component wrote is checked by other code:
// Id (auto-increment, primary key), Name (String 60, index "ByName"),
// Family (String 70, required), Tel1 (String 12, unique index "ByTel").
// Byte order.
//
// ContactsTest opens a fresh folder per test and deactivates the default
// session afterwards, so that no test sees another's databases.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dataset/vora_session.h"
#include "dataset/vora_session_list.h"
#include "dataset/vora_table.h"
#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/table_creation_checks.h"
#include "engine/value_text_conversion.h"
#include "storage/field_specs.h"
#include "storage/field_types.h"
#include "storage/record_image.h"
#include "storage/sample_tables.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::dataset::testing {

inline constexpr char kContacts[] = "Contacts";

struct Contact {
  std::string name;
  std::string family;
  std::string tel;
};

inline storage::TIndexDescriptor ContactsIndex(const char* name, std::uint16_t field, bool unique) {
  return storage::SingleFieldIndex(name, field, unique);
}

inline engine::TTableDescription ContactsDescription() {
  engine::TTableDescription d;
  d.fields = storage::testing::MakeDescriptors({{"Id", storage::kTypeInteger, storage::kSubtypeAutoInc, 0, 0},
                                                {"Name", storage::kTypeString, 0, 60, 0},
                                                {"Family", storage::kTypeString, 0, 70, 0},
                                                {"Tel1", storage::kTypeString, 0, 12, 0}});
  d.fields[2].SetRequired(true);
  d.indexes = {ContactsIndex("", 1, true), ContactsIndex("ByName", 2, false), ContactsIndex("ByTel", 4, true)};
  return d;
}

// Creates the table in the folder with the given records (encrypted when a
// password is given).
inline void CreateContacts(const std::filesystem::path& folder, const std::vector<Contact>& rows,
                           const std::string& password = "") {
  engine::TDataSession session;
  session.AddPassword(password);
  engine::TDataDirectory& directory = session.OpenDirectory("", folder.string());
  engine::TTableDescription description = ContactsDescription();
  description.password = password;
  engine::CreateCheckedTable(directory, kContacts, description, false, false);
  {
    engine::TDataCursor cursor(directory);
    cursor.SetTableName(kContacts);
    cursor.OpenCursor();
    for (const Contact& row : rows) {
      std::vector<std::uint8_t> buffer(cursor.RecordSize());
      cursor.InitRecord(buffer);
      storage::TRecordImage image(buffer);
      engine::StoreValueText(cursor.Fields()[1], row.name, {}, image);
      engine::StoreValueText(cursor.Fields()[2], row.family, {}, image);
      engine::StoreValueText(cursor.Fields()[3], row.tel, {}, image);
      cursor.InsertRecord(buffer, false);
    }
  }
  session.CloseDirectory(directory);
}

// The stored records as "name/family/tel", in the order of an index (""
// the primary index).
inline std::vector<std::string> StoredRows(const std::filesystem::path& folder, const std::string& index = "") {
  engine::TDataSession session;
  engine::TDataDirectory& directory = session.OpenDirectory("", folder.string());
  std::vector<std::string> names;
  {
    engine::TDataCursor cursor(directory);
    cursor.SetTableName(kContacts);
    cursor.OpenCursor();
    cursor.SelectIndex(index);
    cursor.MoveFirst();
    std::vector<std::uint8_t> buffer(cursor.RecordSize());
    auto text = [&](int field) {
      return storage::TRecordImage(buffer).GetString(storage::TFieldLayout::Of(cursor.Fields()[field]));
    };
    while (cursor.MoveNext(buffer) == 0) names.push_back(text(1) + "/" + text(2) + "/" + text(3));
  }
  session.CloseDirectory(directory);
  return names;
}

class ContactsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Session().SetActive(false);
    Session().SetLockRetryCount(TVoraSession::kDefaultLockRetryCount);
    Session().SetLockWaitTime(TVoraSession::kDefaultLockWaitTime);
    Session().SetStrictChangeDetection(false);
  }

  // A table component on the folder's contacts table (closed).
  std::unique_ptr<TVoraTable> MakeTable() {
    auto table = std::make_unique<TVoraTable>(nullptr);
    table->SetDatabaseName(dir_.path().string());
    table->SetTableName(kContacts);
    return table;
  }

  std::filesystem::path TablePath() const { return dir_ / kContacts; }

  telvora::testing::TempDir dir_;
};

}  // namespace telvora::dataset::testing
