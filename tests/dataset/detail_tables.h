#pragma once
// Two more tables for the dataset tests, made through the engine alone:
//   Calls  Id (auto-increment, primary key), Contact (String 60, index
//          "ByContact"), Note (String 20): the detail of the contacts.
//   Notes  Id (auto-increment, primary key), Title (String 20), Body (BLOB
//          memo): a table with a BLOB field, its rows' bodies left null.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "contacts_table.h"

namespace telvora::dataset::testing {

inline constexpr char kCalls[] = "Calls";
inline constexpr char kNotes[] = "Notes";

// Creates a table and stores rows of string values for fields 2, 3, ...
inline void CreateTableWithRows(const std::filesystem::path& folder, const std::string& name,
                                const engine::TTableDescription& description,
                                const std::vector<std::vector<std::string>>& rows) {
  engine::TDataSession session;
  engine::TDataDirectory& directory = session.OpenDirectory("", folder.string());
  engine::CreateCheckedTable(directory, name, description, false, false);
  {
    engine::TDataCursor cursor(directory);
    cursor.SetTableName(name);
    cursor.OpenCursor();
    for (const auto& row : rows) {
      std::vector<std::uint8_t> buffer(cursor.RecordSize());
      cursor.InitRecord(buffer);
      storage::TRecordImage image(buffer);
      for (std::size_t i = 0; i < row.size(); ++i) {
        engine::StoreValueText(cursor.Fields()[i + 1], row[i], {}, image);
      }
      cursor.InsertRecord(buffer, false);
    }
  }
  session.CloseDirectory(directory);
}

// Calls rows: {contact, note}.
inline void CreateCalls(const std::filesystem::path& folder, const std::vector<std::vector<std::string>>& rows) {
  engine::TTableDescription d;
  d.fields = storage::testing::MakeDescriptors({{"Id", storage::kTypeInteger, storage::kSubtypeAutoInc, 0, 0},
                                                {"Contact", storage::kTypeString, 0, 60, 0},
                                                {"Note", storage::kTypeString, 0, 20, 0}});
  d.indexes = {ContactsIndex("", 1, true), ContactsIndex("ByContact", 2, false)};
  CreateTableWithRows(folder, kCalls, d, rows);
}

// Notes rows: {title}.
inline void CreateNotes(const std::filesystem::path& folder, const std::vector<std::vector<std::string>>& rows) {
  engine::TTableDescription d;
  d.fields = storage::testing::MakeDescriptors({{"Id", storage::kTypeInteger, storage::kSubtypeAutoInc, 0, 0},
                                                {"Title", storage::kTypeString, 0, 20, 0},
                                                {"Body", storage::kTypeBlob, storage::kSubtypeMemo, 0, 0}});
  d.indexes = {ContactsIndex("", 1, true)};
  CreateTableWithRows(folder, kNotes, d, rows);
}

}  // namespace telvora::dataset::testing
