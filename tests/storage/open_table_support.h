#pragma once
// Helpers for the tests of open tables: creating a table's files through
// TDataTable, opening it with small lock waits, inserting and deleting
// records the way the cursor does (slot, record id, active count), and the
// record-id index that the table checker expects of a table with records.
//
// The record-id index is written here as one root leaf page built from the
// page and key formats (kind 3, entries of key + record number, key = deleted
// flag + record id big-endian with the sign bit inverted); the index code
// proper is not part of these tests. It holds up to 453 slots.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sample_tables.h"
#include "storage/byte_image.h"
#include "storage/data_table.h"
#include "storage/file_list.h"
#include "storage/index_file.h"
#include "storage/lock_map.h"
#include "storage/record_image.h"

namespace telvora::storage::testing {

// Settings that keep lock waits short.
inline TTableSettings QuickLockSettings(std::uint32_t retries = 2, std::uint32_t wait_ms = 5) {
  TTableSettings settings;
  settings.LockRetryCount = retries;
  settings.LockWaitTime = wait_ms;
  return settings;
}

// Creates the table's files and closes them again.
inline void CreateTable(const std::filesystem::path& dir, const std::string& name,
                        const std::vector<FieldDef>& fields, const TDataFileCreation& creation = {},
                        const TIndexDescriptor& primary = {}) {
  TDataTable table;
  table.set_directory(dir.string());
  table.set_table_name(name);
  table.CreateFiles(creation, MakeDescriptors(fields), primary);
  table.CloseFiles();
}

inline std::unique_ptr<TDataTable> OpenTable(const std::filesystem::path& dir, const std::string& name,
                                             bool exclusive = false,
                                             const TTableSettings& settings = QuickLockSettings()) {
  auto table = std::make_unique<TDataTable>();
  table->set_directory(dir.string());
  table->set_table_name(name);
  table->set_exclusive(exclusive);
  table->set_settings(settings);
  table->OpenFiles();
  return table;
}

// A new record as the cursor makes one: a slot, the next record id, the
// fields filled by `fill`, the active count moved on. Returns its number.
inline std::int32_t InsertRecord(TDataTable& table, const std::function<void(TRecordImage&)>& fill = {}) {
  TDataFile& data = table.data_file();
  TRecord* record = data.NewRecordSlot();
  EXPECT_NE(record, nullptr);
  if (record == nullptr) return 0;
  record->SetAutoIncWord(data.NextAutoIncValue());
  TRecordImage image(record->MutableImage());
  if (fill) fill(image);
  record->SetModified(true);
  table.index_file().IncrementActiveRecordCount();
  const std::int32_t n = record->RecordNumber();
  data.ReleaseRecord(record);
  return n;
}

inline void DeleteRecordAt(TDataTable& table, std::int32_t n) {
  TDataFile& data = table.data_file();
  TRecord* record = data.GetRecord(n);
  ASSERT_NE(record, nullptr);
  data.DeleteRecord(record);
  table.index_file().DecrementActiveRecordCount();
  data.ReleaseRecord(record);
}

inline constexpr std::uint8_t kRootLeafPage = 3;
inline constexpr std::size_t kPageEntriesOffset = 13;

struct LeafEntry {
  std::vector<std::uint8_t> key;
  std::int32_t record;
};

// A signed 32-bit value as a key: big-endian with the sign bit inverted.
inline void AppendIntegerKey(std::vector<std::uint8_t>& key, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value) ^ 0x80000000u;
  for (int i = 0; i < 4; ++i) key.push_back(static_cast<std::uint8_t>(bits >> (24 - 8 * i)));
}

// Writes the entries (sorted here) as the one root leaf of index `slot`.
inline void WriteRootLeaf(TDataTable& table, int slot_number, std::vector<LeafEntry> entries) {
  TIndexFile& index = table.index_file();
  std::sort(entries.begin(), entries.end(), [](const LeafEntry& a, const LeafEntry& b) { return a.key < b.key; });
  TIndexFileHeader& header = index.MutableHeader();
  TIndexDescriptor slot = header.Descriptor(slot_number);
  if (entries.empty()) return;
  std::int32_t page = slot.RootPage();
  if (page == 0) page = index.TakeNextPageNumber();
  std::array<std::uint8_t, kIndexPageSize> image{};
  image[0] = kRootLeafPage;
  StoreLittle<std::uint16_t>(image, 1, static_cast<std::uint16_t>(entries.size()));
  std::size_t at = kPageEntriesOffset;
  for (const LeafEntry& entry : entries) {
    std::copy(entry.key.begin(), entry.key.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
    at += entry.key.size();
    StoreLittle<std::int32_t>(image, at, entry.record);
    at += 4;
  }
  index.WritePageImage(page, image);
  slot.SetRootPage(page);
  header.SetDescriptor(slot_number, slot);
}

// Slot 31 over every slot: deleted flag + record id.
inline void WriteRecordIdIndex(TDataTable& table) {
  TDataFile& data = table.data_file();
  std::vector<LeafEntry> entries;
  for (std::int32_t n = 1; n <= data.PhysicalRecordCount(); ++n) {
    TRecord* record = data.GetRecord(n);
    ASSERT_NE(record, nullptr);
    LeafEntry entry{{static_cast<std::uint8_t>(record->Deleted() ? 1 : 0)}, n};
    AppendIntegerKey(entry.key, record->AutoIncWord());
    entries.push_back(entry);
    data.ReleaseRecord(record);
  }
  WriteRootLeaf(table, kRecordIdIndexSlot, std::move(entries));
}

// The primary index over one Integer field: flag + value, active records.
inline void WriteIntegerPrimaryIndex(TDataTable& table, const TFieldLayout& field) {
  TDataFile& data = table.data_file();
  std::vector<LeafEntry> entries;
  for (std::int32_t n = 1; n <= data.PhysicalRecordCount(); ++n) {
    TRecord* record = data.GetRecord(n);
    ASSERT_NE(record, nullptr);
    if (!record->Deleted()) {
      TRecordImage image(record->MutableImage());
      LeafEntry entry{{static_cast<std::uint8_t>(image.IsNull(field) ? 0 : 1)}, n};
      AppendIntegerKey(entry.key, image.GetInteger(field));
      entries.push_back(entry);
    }
    data.ReleaseRecord(record);
  }
  WriteRootLeaf(table, kPrimaryIndexSlot, std::move(entries));
}

// A unique primary index on one Integer field.
inline TIndexDescriptor IntegerPrimaryKey(std::uint16_t field_number) {
  TIndexDescriptor primary;
  primary.SetKeyLength(5);
  primary.SetUnique(true);
  primary.SetKeyFieldCount(1);
  primary.SetKeyFieldNumber(0, field_number);
  return primary;
}

// The field layouts of an open table, by position (0-based).
inline std::vector<TFieldLayout> Layouts(TDataTable& table) {
  std::vector<TFieldLayout> layouts;
  for (const TFieldDescriptor& d : table.data_file().Descriptors()) layouts.push_back(TFieldLayout::Of(d));
  return layouts;
}

// Lowers the fixed-wait loops for one test.
class QuickFixedWait {
 public:
  QuickFixedWait() { SetFixedWaitLockPolicy({5, std::chrono::milliseconds(1)}); }
  ~QuickFixedWait() { SetFixedWaitLockPolicy({}); }
};

}  // namespace telvora::storage::testing
