// A table whose index file was lost: the first cursor that opens it rebuilds
// the record-id index over every record slot, counts the active slots, and
// leaves a table the independent checker finds sound.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "storage/field_types.h"
#include "storage/index_key.h"
#include "storage/open_table_support.h"
#include "storage/sample_tables.h"
#include "storage/table_file_names.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::engine {
namespace {

namespace fs = std::filesystem;
using storage::TDataTable;

constexpr int kSlots = 700;

TTableDefinition PeopleDefinition() {
  TTableDefinition d;
  d.fields = storage::testing::MakeDescriptors({{"Id", storage::kTypeInteger, 0, 0, 0},
                                                {"Name", storage::kTypeString, 0, 30, 0}});
  d.primary = storage::testing::IntegerPrimaryKey(1);
  return d;
}

bool IsDeleted(int i) { return i % 4 == 1; }

class RecordIdIndexRebuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = &session_.OpenDirectory("People", dir_.path().string());
    directory_->CreateTable("People", PeopleDefinition(), false, false);
  }
  void TearDown() override { session_.CloseDirectory(*directory_); }

  // Writes kSlots records, some deleted again, straight into the record
  // slots; returns the number of active ones.
  int WriteRecords() {
    TDataTable& table = directory_->OpenTableForCursor("People", {});
    table.WriteLock();
    const auto layouts = storage::testing::Layouts(table);
    std::vector<std::int32_t> numbers;
    for (int i = 0; i < kSlots; ++i) {
      numbers.push_back(storage::testing::InsertRecord(table, [&](storage::TRecordImage& image) {
        image.SetInteger(layouts[0], i);
        image.SetString(layouts[1], "Person " + std::to_string(i), {});
      }));
    }
    int active = kSlots;
    for (int i = 0; i < kSlots; ++i) {
      if (!IsDeleted(i)) continue;
      storage::testing::DeleteRecordAt(table, numbers[static_cast<std::size_t>(i)]);
      --active;
    }
    table.Flush();
    table.WriteUnlock();
    directory_->CloseTable(table);
    return active;
  }

  fs::path IndexFile() const { return storage::MakeTableFileNames(dir_.path().string(), "People").index; }

  testing::TempDir dir_;
  TDataSession session_;
  TDataDirectory* directory_ = nullptr;
};

TEST_F(RecordIdIndexRebuildTest, FirstCursorAfterALostIndexFileRebuildsTheRecordIdIndex) {
  const int active = WriteRecords();
  ASSERT_TRUE(fs::remove(IndexFile()));

  TDataTable& table = directory_->OpenTableForCursor("People", {});
  EXPECT_FALSE(table.index_rebuilt());
  EXPECT_TRUE(table.index_file().PrimaryIndexUnavailable());
  EXPECT_EQ(table.index_file().ActiveRecordCount(), active);

  // Every slot, deleted ones included, is found under its own key.
  storage::TIndexTree ids = table.IndexTree(storage::kRecordIdIndexSlot);
  EXPECT_EQ(ids.KeyCount(), kSlots);
  storage::TDataFile& data = table.data_file();
  for (std::int32_t n = 1; n <= data.PhysicalRecordCount(); ++n) {
    storage::TRecord* record = data.GetRecord(n);
    ASSERT_NE(record, nullptr);
    const auto key = storage::RecordIdIndexKey(record->Deleted(), record->AutoIncWord());
    data.ReleaseRecord(record);
    const auto found = ids.Find(key.data(), key.size(), true);
    ASSERT_TRUE(found.has_value()) << "slot " << n;
    EXPECT_EQ(found->record_number, n);
  }
  directory_->CloseTable(table);
  EXPECT_TABLE_SOUND(dir_.path() / "People");

  // Done once: the next first cursor finds the index in place.
  TDataTable& again = directory_->OpenTableForCursor("People", {});
  EXPECT_EQ(again.index_file().ActiveRecordCount(), active);
  EXPECT_EQ(again.IndexTree(storage::kRecordIdIndexSlot).KeyCount(), kSlots);
  directory_->CloseTable(again);
  EXPECT_TABLE_SOUND(dir_.path() / "People");
}

}  // namespace
}  // namespace telvora::engine
