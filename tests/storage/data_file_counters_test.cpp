// The counters of the data file header: auto-increment values, BLOB keys,
// the deleted-record chain head and the change counter, with the modified
// marker each of them sets.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "storage/data_file_header.h"

namespace telvora::storage {
namespace {

struct CounterCase {
  const char* what;
  std::function<std::int32_t(TDataFileHeader&)> next;
  std::function<void(TDataFileHeader&, std::int32_t)> set;
  std::size_t offset;
};

const CounterCase kCounters[] = {
    {"auto-increment", [](TDataFileHeader& h) { return h.NextAutoIncValue(); },
     [](TDataFileHeader& h, std::int32_t v) { h.SetLastAutoIncValue(v); }, 17},
    {"BLOB key", [](TDataFileHeader& h) { return h.NextBlobKey(); },
     [](TDataFileHeader& h, std::int32_t v) { h.SetLastBlobKey(v); }, 112},
};

std::int32_t StoredAt(const TDataFileHeader& header, std::size_t offset) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(header.Image()[offset + i]) << (8 * i);
  return static_cast<std::int32_t>(v);
}

TEST(DataFileCountersTest, NextValueCountsOnAndWrapsAfterTheLargestInteger) {
  for (const CounterCase& c : kCounters) {
    TDataFileHeader header;
    EXPECT_EQ(c.next(header), 1) << c.what;
    EXPECT_EQ(c.next(header), 2) << c.what;
    EXPECT_EQ(StoredAt(header, c.offset), 2) << c.what;
    EXPECT_TRUE(header.Modified()) << c.what;

    c.set(header, 2147483646);
    EXPECT_EQ(c.next(header), 2147483647) << c.what;
    EXPECT_EQ(c.next(header), 1) << c.what;
    EXPECT_EQ(StoredAt(header, c.offset), 1) << c.what;
  }
}

TEST(DataFileCountersTest, SettingTheLastValueMarksOnlyAChange) {
  for (const CounterCase& c : kCounters) {
    TDataFileHeader header;
    c.set(header, 0);
    EXPECT_FALSE(header.Modified()) << c.what;
    c.set(header, 500);
    EXPECT_TRUE(header.Modified()) << c.what;
    EXPECT_EQ(StoredAt(header, c.offset), 500) << c.what;
  }
}

TEST(DataFileCountersTest, ChainHeadAndNextRecordNumberSetTheMarker) {
  TDataFileHeader header;
  header.SetNextRecordNumber(5);
  EXPECT_TRUE(header.Modified());
  EXPECT_EQ(StoredAt(header, 13), 5);
  EXPECT_EQ(header.PhysicalRecordCount(), 4);
  header.ClearModified();
  header.SetDeletedChainHead(3);
  EXPECT_TRUE(header.Modified());
  EXPECT_EQ(StoredAt(header, 9), 3);
}

TEST(DataFileCountersTest, MarkModifiedMovesTheChangeCounterWithoutStamping) {
  TDataFileHeader header;
  header.MarkModified();
  header.MarkModified();
  EXPECT_EQ(StoredAt(header, 0), 2);
  EXPECT_TRUE(header.Modified());
  EXPECT_EQ(header.EngineVersion(), 0);
  EXPECT_EQ(header.LastUpdateStamp(), 0.0);
}

}  // namespace
}  // namespace telvora::storage
