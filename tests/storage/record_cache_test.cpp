// The record cache of a data file: read-ahead stays within the file's slots,
// least recently used clean records make room, a cache of pinned records
// grows by 64, records dropped while pinned stay usable, and an encrypted
// table scrambles every slot on its own and unscrambles before it trusts
// bytes 1 to 4.

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "file_handler_support.h"
#include "open_table_support.h"
#include "storage/scrambler.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::storage {
namespace {

const std::vector<testing::FieldDef> kOneSmallInt = {{"Small", kTypeSmallInt, 0, 0, 0}};
constexpr std::size_t kSmallRecordSize = 12;

// A table of `count` records whose SmallInt holds the record number.
void MakeNumberedTable(const std::filesystem::path& dir, const std::string& name, int count,
                       const TDataFileCreation& creation = {}) {
  testing::CreateTable(dir, name, kOneSmallInt, creation);
  auto table = testing::OpenTable(dir, name, /*exclusive=*/true);
  const TFieldLayout small = testing::Layouts(*table)[0];
  for (int i = 1; i <= count; ++i) {
    testing::InsertRecord(*table, [&](TRecordImage& r) { r.SetSmallInt(small, static_cast<std::int16_t>(i)); });
  }
  testing::WriteRecordIdIndex(*table);
  table->CloseFiles();
  EXPECT_TABLE_SOUND(dir / name);
}

std::set<std::int32_t> CachedNumbers(TDataFile& data, std::int32_t up_to) {
  std::set<std::int32_t> numbers;
  for (std::int32_t n = 1; n <= up_to; ++n) {
    if (data.FindCached(n) != nullptr) numbers.insert(n);
  }
  return numbers;
}

class RecordCacheTest : public ::testing::Test {
 protected:
  telvora::testing::TempDir dir_;
};

TEST_F(RecordCacheTest, ReadAheadNeverPassesTheNextRecordNumber) {
  MakeNumberedTable(dir_.path(), "Ahead", 10);
  struct Case {
    const char* what;
    std::int32_t n;
    ReadDirection direction;
    bool read_ahead;
    std::optional<std::int32_t> cursor_count;
    std::set<std::int32_t> cached;
  };
  // The header claims 5 slots while the file holds 10: a read that went
  // past slot 5 would succeed and show up in the cache.
  const Case cases[] = {
      {"no read-ahead", 2, ReadDirection::kForward, false, {}, {2}},
      {"default count forward", 2, ReadDirection::kForward, true, {}, {2, 3, 4, 5}},
      {"cursor count forward", 4, ReadDirection::kForward, true, 100, {4, 5}},
      {"cursor count within the end", 1, ReadDirection::kForward, true, 2, {1, 2}},
      {"backward", 3, ReadDirection::kBackward, true, 100, {1, 2, 3}},
      {"backward default", 5, ReadDirection::kBackward, true, {}, {5}},
  };
  TTableSettings settings = testing::QuickLockSettings();
  settings.StrictChangeDetection = true;
  auto table = testing::OpenTable(dir_.path(), "Ahead", false, settings);
  TDataFile& data = table->data_file();
  data.MutableHeader().SetNextRecordNumber(6);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    data.DropCache();
    TRecord* record = data.GetRecord(c.n, c.direction, c.read_ahead, c.cursor_count);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->RecordNumber(), c.n);
    EXPECT_EQ(TRecordImage(record->MutableImage()).GetSmallInt(testing::Layouts(*table)[0]), c.n);
    data.ReleaseRecord(record);
    EXPECT_EQ(CachedNumbers(data, 10), c.cached);
  }
  table->CloseFiles();
}

TEST_F(RecordCacheTest, LeastRecentlyUsedCleanRecordMakesRoom) {
  MakeNumberedTable(dir_.path(), "Lru", 5);
  TTableSettings settings = testing::QuickLockSettings();
  settings.DataBufferBytes = 2 * kSmallRecordSize;  // room for two records
  auto table = testing::OpenTable(dir_.path(), "Lru", true, settings);
  TDataFile& data = table->data_file();
  ASSERT_EQ(data.CacheCapacity(), 2u);
  for (const std::int32_t n : {1, 2, 1, 3}) data.ReleaseRecord(data.GetRecord(n));
  EXPECT_EQ(CachedNumbers(data, 5), (std::set<std::int32_t>{1, 3}));
  EXPECT_EQ(data.CacheCapacity(), 2u);
  table->CloseFiles();
}

TEST_F(RecordCacheTest, PinnedRecordsMakeTheCacheGrowBy64) {
  MakeNumberedTable(dir_.path(), "Pinned", 5);
  TTableSettings settings = testing::QuickLockSettings();
  settings.DataBufferBytes = 2 * kSmallRecordSize;
  auto table = testing::OpenTable(dir_.path(), "Pinned", true, settings);
  TDataFile& data = table->data_file();
  TRecord* one = data.GetRecord(1);
  TRecord* two = data.GetRecord(2);
  TRecord* three = data.GetRecord(3);
  ASSERT_NE(three, nullptr);
  EXPECT_EQ(data.CacheCapacity(), 2u + 64u);
  EXPECT_EQ(CachedNumbers(data, 5), (std::set<std::int32_t>{1, 2, 3}));
  for (TRecord* r : {one, two, three}) data.ReleaseRecord(r);
  data.TrimCache();
  EXPECT_EQ(data.CacheCapacity(), 2u);
  EXPECT_EQ(data.CachedRecordCount(), 2u);
  table->CloseFiles();
}

TEST_F(RecordCacheTest, AReadAheadNeverEvictsItsOwnRecords) {
  MakeNumberedTable(dir_.path(), "Own", 5);
  TTableSettings settings = testing::QuickLockSettings();
  settings.DataBufferBytes = 2 * kSmallRecordSize;
  auto table = testing::OpenTable(dir_.path(), "Own", true, settings);
  TDataFile& data = table->data_file();
  TRecord* held = data.GetRecord(1);
  // Room for one more record, a read of two: the second must not push out
  // the first, which is the one asked for.
  TRecord* three = data.GetRecord(3, ReadDirection::kForward, true, 2);
  ASSERT_NE(three, nullptr);
  EXPECT_EQ(three->RecordNumber(), 3);
  EXPECT_EQ(CachedNumbers(data, 5), (std::set<std::int32_t>{1, 3, 4}));
  data.ReleaseRecord(three);
  data.ReleaseRecord(held);
  table->CloseFiles();
}

TEST_F(RecordCacheTest, RecordsDroppedWhilePinnedStayUsableUntilReleased) {
  MakeNumberedTable(dir_.path(), "Drop", 3);
  auto table = testing::OpenTable(dir_.path(), "Drop", true);
  TDataFile& data = table->data_file();
  TRecord* held = data.GetRecord(2);
  data.DropCache();
  EXPECT_EQ(data.CachedRecordCount(), 0u);
  EXPECT_EQ(held->RecordNumber(), 2);
  EXPECT_FALSE(held->Deleted());
  // A fresh copy comes from the file; the dropped one is still the holder's.
  TRecord* fresh = data.GetRecord(2);
  EXPECT_NE(fresh, held);
  data.ReleaseRecord(held);
  data.ReleaseRecord(fresh);
  table->CloseFiles();
}

TEST_F(RecordCacheTest, ModifiedRecordsAreWrittenInRunsWithoutTouchingOthers) {
  MakeNumberedTable(dir_.path(), "Runs", 8);
  auto table = testing::OpenTable(dir_.path(), "Runs", true);
  TDataFile& data = table->data_file();
  const TFieldLayout small = testing::Layouts(*table)[0];
  for (const std::int32_t n : {2, 3, 4, 7}) {
    TRecord* r = data.GetRecord(n);
    TRecordImage(r->MutableImage()).SetSmallInt(small, static_cast<std::int16_t>(100 + n));
    r->SetModified(true);
    data.ReleaseRecord(r);
  }
  // A pinned modified record waits for its holder.
  TRecord* pinned = data.GetRecord(5);
  TRecordImage(pinned->MutableImage()).SetSmallInt(small, 105);
  pinned->SetModified(true);
  EXPECT_TRUE(data.WriteModifiedRecords());
  EXPECT_TRUE(pinned->Modified());
  data.ReleaseRecord(pinned);
  data.DropCache();  // record 5's change is discarded

  const std::string bytes = test::ReadFileBytes((dir_ / "Runs.DAT").string());
  for (std::int32_t n = 1; n <= 8; ++n) {
    const std::size_t value_at = 127 + 768 + (n - 1) * kSmallRecordSize + 10;
    const auto value = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[value_at]) |
                                                 static_cast<std::uint8_t>(bytes[value_at + 1]) << 8);
    const bool changed = n == 2 || n == 3 || n == 4 || n == 7;
    EXPECT_EQ(value, changed ? 100 + n : n) << "record " << n;
  }
  table->CloseFiles();
  EXPECT_TABLE_SOUND(dir_ / "Runs");
}

TEST_F(RecordCacheTest, EncryptedSlotsAreScrambledEachFromTheKey) {
  TDataFileCreation creation;
  creation.encrypted = true;
  creation.password = "pw";
  MakeNumberedTable(dir_.path(), "Secret", 3, creation);
  const std::string path = (dir_ / "Secret.DAT").string();
  std::string bytes = test::ReadFileBytes(path);
  const std::size_t first_slot = 127 + 768;
  ASSERT_EQ(bytes.size(), first_slot + 3 * kSmallRecordSize);
  for (std::int32_t n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    std::vector<std::uint8_t> slot(bytes.begin() + static_cast<std::ptrdiff_t>(first_slot + (n - 1) * kSmallRecordSize),
                                   bytes.begin() + static_cast<std::ptrdiff_t>(first_slot + n * kSmallRecordSize));
    Scramble(slot, kDataKey);
    const std::vector<std::uint8_t> plain = {0, static_cast<std::uint8_t>(n), 0, 0, 0, static_cast<std::uint8_t>(n),
                                             0, 0, 0, 1, static_cast<std::uint8_t>(n), 0};
    EXPECT_EQ(slot, plain);
  }
  // The record-id index page is scrambled as a whole.
  const std::string index = test::ReadFileBytes((dir_ / "Secret.IDX").string());
  ASSERT_EQ(index.size(), 2u * 4096u);
  std::vector<std::uint8_t> page(index.begin() + 4096, index.end());
  Scramble(page, kDataKey);
  EXPECT_EQ(page[0], testing::kRootLeafPage);
  EXPECT_EQ(page[1], 3);

  // Slot 2 with a wrong number in bytes 1-4: read back, the number is the
  // slot's, and the rest is unscrambled intact.
  {
    std::vector<std::uint8_t> slot = {0, 0xE7, 0x03, 0, 0, 2, 0, 0, 0, 1, 2, 0};
    Scramble(slot, kDataKey);
    bytes.replace(first_slot + kSmallRecordSize, kSmallRecordSize, std::string(slot.begin(), slot.end()));
    test::WriteFileBytes(path, bytes);
  }
  auto table = testing::OpenTable(dir_.path(), "Secret", true);
  TDataFile& data = table->data_file();
  TRecord* record = data.GetRecord(2);
  EXPECT_EQ(record->Link(), 2);
  EXPECT_EQ(record->AutoIncWord(), 2);
  EXPECT_EQ(TRecordImage(record->MutableImage()).GetSmallInt(testing::Layouts(*table)[0]), 2);
  record->SetModified(true);  // written back with its own number
  data.ReleaseRecord(record);
  table->CloseFiles();
  EXPECT_TABLE_SOUND(dir_ / "Secret");
}

}  // namespace
}  // namespace telvora::storage
