// Open BLOB values: reading at offsets across block boundaries, changing
// them in memory, posting them under a new key, stale readers, and the
// limit of open values per cursor.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "memory_blob_block_file.h"
#include "storage/blob_blocks.h"
#include "storage/blob_buffer.h"
#include "storage/blob_buffer_list.h"
#include "storage/blob_chain.h"
#include "storage_error_code.h"

namespace telvora::storage {
namespace {

using testing::ErrorCodeOf;
using testing::TMemoryBlobBlockFile;

constexpr std::uint16_t kField = 3;
constexpr std::int32_t kRecord = 12;

std::vector<std::uint8_t> Counting(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  return bytes;
}

class BlobBufferTest : public ::testing::Test {
 protected:
  // A value of `length` counting bytes posted through a buffer; returns the
  // buffer (first block and key as the record would hold them).
  TBlobBuffer PostNew(std::size_t length) {
    TBlobBuffer buffer(kField, kRecord, 0, 0);
    buffer.Write(0, Counting(length));
    buffer.Post(blocks_, kRecord);
    blocks_.WriteModifiedBlocks();
    return buffer;
  }

  TMemoryBlobBlockFile file_{512};
  TBlobBlocks blocks_{file_, {}};
};

TEST_F(BlobBufferTest, ReadsAtOffsetsCrossBlockBoundaries) {
  const TBlobBuffer posted = PostNew(1000);
  TBlobBlocks cold(file_, {});
  TBlobBuffer reader(kField, kRecord, posted.FirstBlock(), posted.BlobKey());
  reader.Load(cold);
  ASSERT_EQ(reader.Length(), 1000u);

  struct Case {
    std::size_t offset;
    std::size_t count;
    std::size_t copied;
  };
  const Case cases[] = {
      {0, 10, 10},     {490, 10, 10},  // across the end of block 1 (494)
      {493, 2, 2},     {980, 15, 15},  // across the end of block 2 (988)
      {0, 1000, 1000}, {995, 10, 5},   // the value ends first
      {1000, 5, 0},    {2000, 5, 0},
  };
  const std::vector<std::uint8_t> expected = Counting(1000);
  for (const Case& c : cases) {
    std::vector<std::uint8_t> out(c.count, 0xEE);
    EXPECT_EQ(reader.Read(c.offset, c.count, out), c.copied) << c.offset;
    for (std::size_t i = 0; i < c.copied; ++i) ASSERT_EQ(out[i], expected[c.offset + i]) << c.offset << "+" << i;
  }
}

TEST_F(BlobBufferTest, WritesGrowTheValueWithZerosAndTruncateCutsIt) {
  TBlobBuffer buffer(kField, kRecord, 0, 0);
  EXPECT_FALSE(buffer.Modified());
  buffer.Write(4, std::vector<std::uint8_t>{9, 9});
  EXPECT_EQ(std::vector<std::uint8_t>(buffer.Value().begin(), buffer.Value().end()),
            (std::vector<std::uint8_t>{0, 0, 0, 0, 9, 9}));
  EXPECT_TRUE(buffer.Modified());
  buffer.Truncate(5);
  EXPECT_EQ(buffer.Length(), 5u);
  buffer.Truncate(8);
  EXPECT_EQ(buffer.Value()[6], 0);
}

TEST_F(BlobBufferTest, TruncatingToTheSameLengthIsNoChange) {
  TBlobBuffer buffer(kField, kRecord, 0, 0);
  buffer.Truncate(0);
  EXPECT_FALSE(buffer.Modified());
}

TEST_F(BlobBufferTest, EachPostGivesTheValueANewKeyStampedOnEveryBlock) {
  TBlobBuffer buffer = PostNew(1000);
  const std::int32_t first_key = buffer.BlobKey();
  EXPECT_EQ(first_key, 1);
  EXPECT_EQ(file_.DataHeader().LastBlobKey(), 1);

  buffer.Write(0, std::vector<std::uint8_t>{42});
  buffer.Post(blocks_, kRecord);
  blocks_.WriteModifiedBlocks();
  EXPECT_EQ(buffer.BlobKey(), 2);
  EXPECT_FALSE(buffer.Modified());
  for (std::int32_t n = 1; n <= 3; ++n) EXPECT_EQ(file_.StoredHeader(n).blob_key, 2) << n;

  // An unchanged value is not written again and keeps its key.
  file_.writes.clear();
  buffer.Post(blocks_, kRecord);
  EXPECT_EQ(buffer.BlobKey(), 2);
  EXPECT_FALSE(blocks_.WriteModifiedBlocks());
}

TEST_F(BlobBufferTest, KeysWrapFromTheLargestValueToOne) {
  file_.DataHeader().SetLastBlobKey(2147483647);
  const TBlobBuffer buffer = PostNew(10);
  EXPECT_EQ(buffer.BlobKey(), 1);
}

TEST_F(BlobBufferTest, StaleReaderOfAChangedValueGets8708) {
  const TBlobBuffer original = PostNew(1000);
  // A second program read the record: it holds the first block and key.
  const std::int32_t seen_first = original.FirstBlock();
  const std::int32_t seen_key = original.BlobKey();

  TBlobBuffer writer(kField, kRecord, seen_first, seen_key);
  writer.Load(blocks_);
  writer.Write(500, std::vector<std::uint8_t>{1, 2, 3});
  writer.Post(blocks_, kRecord);
  blocks_.WriteModifiedBlocks();
  EXPECT_EQ(writer.FirstBlock(), seen_first);  // same chain, new key

  TBlobBlocks other_program(file_, {});
  TBlobBuffer stale(kField, kRecord, seen_first, seen_key);
  EXPECT_EQ(ErrorCodeOf([&] { stale.Load(other_program); }), VORA_KEYORRECDELETED);
  TBlobBuffer current(kField, kRecord, writer.FirstBlock(), writer.BlobKey());
  current.Load(other_program);
  EXPECT_EQ(std::vector<std::uint8_t>(current.Value().begin(), current.Value().end()),
            std::vector<std::uint8_t>(writer.Value().begin(), writer.Value().end()));
}

TEST_F(BlobBufferTest, EmptiedValueFreesItsChainAndLeavesTheFieldEmpty) {
  TBlobBuffer buffer = PostNew(1000);
  buffer.Truncate(0);
  buffer.Post(blocks_, kRecord);
  EXPECT_EQ(buffer.FirstBlock(), 0);
  EXPECT_EQ(file_.FreeChainHead(), 3);
  // A stale reader of the old chain meets the freeing key.
  blocks_.WriteModifiedBlocks();
  TBlobBlocks other_program(file_, {});
  TBlobBuffer stale(kField, kRecord, 1, 1);
  EXPECT_EQ(ErrorCodeOf([&] { stale.Load(other_program); }), VORA_KEYORRECDELETED);
}

TEST_F(BlobBufferTest, PostingForAnotherRecordIsCorrupt) {
  TBlobBuffer buffer(kField, kRecord, 0, 0);
  buffer.Write(0, std::vector<std::uint8_t>{1});
  EXPECT_EQ(ErrorCodeOf([&] { buffer.Post(blocks_, kRecord + 1); }), VORA_MEMOCORRUPT);
  EXPECT_EQ(file_.NextBlockNumber(), 1);
  EXPECT_EQ(file_.DataHeader().LastBlobKey(), 0);
}

TEST_F(BlobBufferTest, OpenCountNeverGoesBelowZero) {
  TBlobBuffer buffer(kField, kRecord, 0, 0);
  buffer.AddOpen();
  EXPECT_EQ(buffer.ReleaseOpen(), 1);
  EXPECT_EQ(buffer.ReleaseOpen(), 0);
  EXPECT_EQ(buffer.ReleaseOpen(), 0);
}

TEST(BlobBufferListTest, HoldsAtMost128OpenValuesWithDistinctNegativeHandles) {
  TBlobBufferList list("Contacts");
  std::set<std::int32_t> handles;
  for (std::size_t i = 0; i < TBlobBufferList::kMaxOpenBlobs; ++i) {
    const std::int32_t handle =
        list.Add(std::make_unique<TBlobBuffer>(static_cast<std::uint16_t>(i + 1), 1, 0, 0));
    EXPECT_LT(handle, 0);
    handles.insert(handle);
  }
  EXPECT_EQ(handles.size(), 128u);
  EXPECT_EQ(ErrorCodeOf([&] { list.Add(std::make_unique<TBlobBuffer>(200, 1, 0, 0)); }), VORA_OPENBLOBLIMIT);
  EXPECT_EQ(list.Count(), 128u);

  const std::int32_t freed = *handles.begin();
  list.Remove(freed);
  EXPECT_EQ(list.Find(freed), nullptr);
  const std::int32_t again = list.Add(std::make_unique<TBlobBuffer>(201, 1, 0, 0));
  EXPECT_EQ(list.Find(again)->FieldNumber(), 201);
  for (std::int32_t handle : list.Handles()) EXPECT_LT(handle, 0);
}

}  // namespace
}  // namespace telvora::storage
