#pragma once
// Writes records into a cursor test table the way the cursor's write half
// will: a record slot with the next record id, its key in every index, its
// record-id key (status 0, id) in the record-slot index and the active count
// moved on; a delete takes the keys out again and moves the record-id key to
// status 1. Built on the table files and index trees directly, so that the
// reading half can be tested before the writing half exists; the tests
// check every table written here with the table checker.
//
// The test table: Id (Integer, unique primary key), Name (String 20) and
// City (String 12); secondary non-unique indexes "ByName" (Name) and
// "ByCityName" (City, Name). Byte order (language id 0).
//
// Callers hold the table's write lock (or have it exclusively) and flush
// afterwards.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/data_directory.h"
#include "storage/data_table.h"
#include "storage/field_types.h"
#include "storage/index_file_header.h"
#include "storage/index_key.h"
#include "storage/index_tree.h"
#include "storage/open_table_support.h"
#include "storage/record_image.h"
#include "storage/sample_tables.h"

namespace telvora::engine::testing {

inline constexpr int kByNameSlot = 1;
inline constexpr int kByCityNameSlot = 2;

inline const std::vector<storage::testing::FieldDef>& CursorTableFields() {
  static const std::vector<storage::testing::FieldDef> fields = {{"Id", storage::kTypeInteger, 0, 0, 0},
                                                                 {"Name", storage::kTypeString, 0, 20, 0},
                                                                 {"City", storage::kTypeString, 0, 12, 0}};
  return fields;
}

inline storage::TIndexDescriptor SecondaryIndex(const char* name, int slot, std::vector<std::uint16_t> field_numbers) {
  storage::TIndexDescriptor index;
  index.SetName(name);
  index.SetUnique(false);
  index.SetKeyFieldCount(static_cast<std::uint8_t>(field_numbers.size()));
  for (std::size_t i = 0; i < field_numbers.size(); ++i) index.SetKeyFieldNumber(static_cast<int>(i), field_numbers[i]);
  const auto definition = storage::DefineIndexKey(index, slot, storage::testing::MakeDescriptors(CursorTableFields()),
                                                  true, false, "T");
  index.SetKeyLength(static_cast<std::int16_t>(definition.key_length));
  return index;
}

inline TTableDefinition CursorTableDefinition() {
  TTableDefinition d;
  d.fields = storage::testing::MakeDescriptors(CursorTableFields());
  d.primary = storage::testing::IntegerPrimaryKey(1);
  d.secondary = {SecondaryIndex("ByName", kByNameSlot, {2}), SecondaryIndex("ByCityName", kByCityNameSlot, {3, 2})};
  return d;
}

// What a test record holds.
struct TestRecord {
  std::int32_t id = 0;
  std::string name;
  std::string city;
};

inline int IndexSlotCount(storage::TDataTable& table) {
  return 1 + table.index_file().Header().SecondaryIndexCount();
}

inline std::vector<std::uint8_t> RecordImageOf(storage::TDataTable& table, std::int32_t n) {
  storage::TRecord* record = table.data_file().GetRecord(n);
  EXPECT_NE(record, nullptr);
  if (record == nullptr) return {};
  std::vector<std::uint8_t> image(record->Image().begin(), record->Image().end());
  table.data_file().ReleaseRecord(record);
  return image;
}

inline std::int32_t RecordIdOf(std::vector<std::uint8_t> image) { return storage::TRecordImage(image).RecordId(); }

inline std::vector<std::uint8_t> KeyOf(storage::TDataTable& table, int slot, std::vector<std::uint8_t> image) {
  return storage::BuildKey(table.IndexKey(slot), storage::TRecordImage(image), {});
}

// Appends the record with all its keys; returns its record number.
inline std::int32_t AppendRecord(storage::TDataTable& table, const TestRecord& r) {
  const auto layouts = storage::testing::Layouts(table);
  // A new record takes the first deleted slot back; that slot's record-id
  // entry (status 1, its old id) goes.
  const std::int32_t reused = table.data_file().Header().DeletedChainHead();
  const std::int32_t old_id = reused != 0 ? RecordIdOf(RecordImageOf(table, reused)) : 0;
  const std::int32_t n = storage::testing::InsertRecord(table, [&](storage::TRecordImage& image) {
    image.SetInteger(layouts[0], r.id);
    image.SetString(layouts[1], r.name, {});
    image.SetString(layouts[2], r.city, {});
  });
  if (reused != 0 && n == reused) {
    EXPECT_TRUE(table.IndexTree(storage::kRecordIdIndexSlot).DeleteKey(storage::RecordIdIndexKey(true, old_id).data()));
  }
  const std::vector<std::uint8_t> image = RecordImageOf(table, n);
  for (int slot = 0; slot < IndexSlotCount(table); ++slot) table.IndexTree(slot).AddKey(KeyOf(table, slot, image).data(), n);
  const std::int32_t id = RecordIdOf(image);
  table.IndexTree(storage::kRecordIdIndexSlot).AddKey(storage::RecordIdIndexKey(false, id).data(), n);
  return n;
}

inline void DeleteRecord(storage::TDataTable& table, std::int32_t n) {
  const std::vector<std::uint8_t> image = RecordImageOf(table, n);
  for (int slot = 0; slot < IndexSlotCount(table); ++slot) {
    ASSERT_TRUE(table.IndexTree(slot).DeleteKey(KeyOf(table, slot, image).data()));
  }
  const std::int32_t id = RecordIdOf(image);
  storage::TIndexTree ids = table.IndexTree(storage::kRecordIdIndexSlot);
  ASSERT_TRUE(ids.DeleteKey(storage::RecordIdIndexKey(false, id).data()));
  ids.AddKey(storage::RecordIdIndexKey(true, id).data(), n);
  storage::testing::DeleteRecordAt(table, n);
}

}  // namespace telvora::engine::testing
