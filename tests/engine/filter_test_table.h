#pragma once
// Tables for the filter tests: created through a cursor, written through
// cursors, read back as field texts.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/table_creation_checks.h"
#include "engine/value_text_conversion.h"
#include "storage/field_types.h"
#include "storage/index_descriptor.h"
#include "storage/record_image.h"
#include "storage/sample_tables.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::engine::testing {

struct IndexDef {
  const char* name;
  std::vector<std::uint16_t> fields;
  bool unique = false;
  bool case_insensitive = false;
  bool descending = false;
};

inline storage::TIndexDescriptor MakeIndex(const IndexDef& def) {
  storage::TIndexDescriptor index;
  index.SetName(def.name);
  index.SetUnique(def.unique);
  index.SetCaseInsensitive(def.case_insensitive);
  index.SetDescending(def.descending);
  index.SetKeyFieldCount(static_cast<std::uint8_t>(def.fields.size()));
  for (std::size_t i = 0; i < def.fields.size(); ++i) index.SetKeyFieldNumber(static_cast<int>(i), def.fields[i]);
  return index;
}

// fields; the primary index (no fields: none) and the secondary ones.
inline TTableDescription MakeDescription(std::uint16_t language_id, const std::vector<storage::testing::FieldDef>& fields,
                                         const IndexDef& primary, const std::vector<IndexDef>& secondary) {
  TTableDescription d;
  d.language_id = language_id;
  d.fields = storage::testing::MakeDescriptors(fields);
  d.indexes.push_back(primary.fields.empty() ? storage::TIndexDescriptor{} : MakeIndex(primary));
  for (const IndexDef& index : secondary) d.indexes.push_back(MakeIndex(index));
  return d;
}

// A folder of tables and the cursors opened on them.
class FilterTables {
 public:
  FilterTables() { directory_ = &session_.OpenDirectory("Test", dir_.path().string()); }
  ~FilterTables() {
    cursors_.clear();
    session_.CloseDirectory(*directory_);
  }

  void Create(const std::string& name, const TTableDescription& description) {
    TDataCursor creator(*directory_);
    creator.SetTableName(name);
    creator.SetExclusive(true);
    creator.CreateTable(description, false);
  }

  // index: "" the primary index, "natural" natural order, else its name.
  TDataCursor& Open(const std::string& name, const std::string& index = "natural", bool exclusive = false) {
    cursors_.push_back(std::make_unique<TDataCursor>(*directory_));
    TDataCursor& cursor = *cursors_.back();
    cursor.SetTableName(name);
    cursor.SetExclusive(exclusive);
    cursor.SetOpenInNaturalOrder(index == "natural");
    cursor.OpenCursor();
    if (!index.empty() && index != "natural") cursor.SelectIndex(index);
    return cursor;
  }

  void CloseAll() { cursors_.clear(); }

  std::filesystem::path Table(const std::string& name) const { return dir_.path() / name; }

 private:
  telvora::testing::TempDir dir_;
  TDataSession session_;
  TDataDirectory* directory_ = nullptr;
  std::vector<std::unique_ptr<TDataCursor>> cursors_;
};

inline Locale CursorLocale(TDataCursor& cursor) {
  return {cursor.table().data_file().LanguageId(), cursor.table().data_file().SortId()};
}

// A record of the cursor's table with the given field texts ("" = NULL).
inline std::vector<std::uint8_t> MakeRecord(TDataCursor& cursor,
                                            const std::vector<std::pair<std::uint16_t, std::string>>& values) {
  std::vector<std::uint8_t> buffer(cursor.RecordSize());
  cursor.InitRecord(buffer);
  storage::TRecordImage image(buffer);
  for (const auto& [number, text] : values) {
    const storage::TFieldDescriptor& field = cursor.Fields()[number - 1];
    if (text.empty()) {
      image.SetNull(storage::TFieldLayout::Of(field));
    } else {
      StoreValueText(field, text, CursorLocale(cursor), image);
    }
  }
  return buffer;
}

inline std::string FieldText(TDataCursor& cursor, std::span<const std::uint8_t> record, std::uint16_t number) {
  std::vector<std::uint8_t> copy(record.begin(), record.end());
  return storage::TRecordImage(copy).GetString(storage::TFieldLayout::Of(cursor.Fields()[number - 1]));
}

// The string field of every visible record, in the cursor's order.
inline std::vector<std::string> VisibleTexts(TDataCursor& cursor, std::uint16_t number) {
  std::vector<std::string> texts;
  std::vector<std::uint8_t> buffer(cursor.RecordSize());
  cursor.MoveFirst();
  while (cursor.MoveNext(buffer) == 0) texts.push_back(FieldText(cursor, buffer, number));
  return texts;
}

}  // namespace telvora::engine::testing
