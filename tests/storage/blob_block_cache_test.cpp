// The block cache of a BLOB file: lookups, read-ahead, eviction, growth,
// trimming, dropping, the free-block chain and block data access, counted
// through an in-memory BLOB file.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "memory_blob_block_file.h"
#include "storage/blob_blocks.h"
#include "storage_error_code.h"

namespace telvora::storage {
namespace {

using testing::BlockRun;
using testing::ErrorCodeOf;
using testing::TMemoryBlobBlockFile;

// A file holding `count` blocks whose key is their own number.
void FillBlocks(TMemoryBlobBlockFile& file, std::int32_t count) {
  for (std::int32_t n = 1; n <= count; ++n) file.PutBlock(n, {.blob_key = n});
}

TEST(BlobBlockCacheTest, CapacityIsTheSmallerOfBytesPerBlockAndCount) {
  struct Case {
    std::uint16_t block_size;
    TBlobCacheSettings settings;
    std::size_t capacity;
  };
  const Case cases[] = {
      {512, {}, 64},                 // 32,768 / 512
      {64, {}, 512},                 // 32,768 / 64
      {64, {32768, 100}, 100},       // the count bounds it
      {4096, {4096 * 3 + 5, 8192}, 3},
  };
  for (const Case& c : cases) {
    TMemoryBlobBlockFile file(c.block_size);
    TBlobBlocks blocks(file, c.settings);
    EXPECT_EQ(blocks.Capacity(), c.capacity) << "B=" << c.block_size;
  }
}

TEST(BlobBlockCacheTest, BlockSizeBelowTheMinimumIsRefused) {
  TMemoryBlobBlockFile file(63);
  EXPECT_EQ(ErrorCodeOf([&] { TBlobBlocks blocks(file, {}); }), VORA_BLOBLIMIT);
}

TEST(BlobBlockCacheTest, ReadAheadCountIsBoundedByBytesNeedAndFileEnd) {
  struct Case {
    std::uint16_t block_size;
    std::int32_t blocks_in_file;
    std::int32_t n;
    std::int32_t wanted;
    std::int32_t read_count;
  };
  const Case cases[] = {
      {512, 40, 1, 1, 1},       // no read-ahead asked for
      {512, 40, 1, 0, 1},       // a count below 1 still reads the block
      {512, 40, 1, 10, 10},     // what the caller still needs
      {512, 40, 1, 100, 32},    // 16,384 / 512
      {4096, 10, 2, 100, 4},    // 16,384 / 4096
      {512, 40, 37, 100, 4},    // never past the last block
      {32768, 3, 1, 3, 1},      // 16,384 / 32,768 rounds to 0: at least 1
  };
  for (const Case& c : cases) {
    TMemoryBlobBlockFile file(c.block_size);
    FillBlocks(file, c.blocks_in_file);
    TBlobBlocks blocks(file, {.blob_buffer_bytes = 1 << 20, .blob_buffer_count = 8192});
    TBlock* block = blocks.GetBlock(c.n, c.wanted);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->Number(), c.n);
    EXPECT_EQ(block->BlobKey(), c.n);
    blocks.ReleaseBlock(block);
    EXPECT_EQ(file.reads, (std::vector<BlockRun>{{c.n, c.read_count}})) << "B=" << c.block_size << " n=" << c.n;
    EXPECT_EQ(blocks.CachedCount(), static_cast<std::size_t>(c.read_count));
  }
}

TEST(BlobBlockCacheTest, BlocksBroughtInByReadAheadAreServedFromTheCache) {
  TMemoryBlobBlockFile file;
  FillBlocks(file, 8);
  TBlobBlocks blocks(file, {});
  blocks.ReleaseBlock(blocks.GetBlock(1, 8));
  for (std::int32_t n = 8; n >= 1; --n) {
    TBlock* block = blocks.GetBlock(n);
    EXPECT_EQ(block->BlobKey(), n);
    EXPECT_EQ(block->PinCount(), 1);
    blocks.ReleaseBlock(block);
  }
  EXPECT_EQ(file.reads.size(), 1u);
  EXPECT_EQ(file.change_checks, 1);  // only the disk read ran change detection
  // The last one asked for is the most recent.
  EXPECT_EQ(blocks.RecencyOrder().front(), 1);
}

TEST(BlobBlockCacheTest, FullCacheEvictsTheLeastRecentlyUsedCleanBlock) {
  TMemoryBlobBlockFile file;
  FillBlocks(file, 6);
  TBlobBlocks blocks(file, {.blob_buffer_bytes = 3 * 512, .blob_buffer_count = 8192});
  for (std::int32_t n : {1, 2, 3}) blocks.ReleaseBlock(blocks.GetBlock(n));
  blocks.ReleaseBlock(blocks.GetBlock(1));  // 2 is now the least recent
  blocks.ReleaseBlock(blocks.GetBlock(4));
  EXPECT_EQ(blocks.CachedCount(), 3u);
  EXPECT_EQ(blocks.Peek(2), nullptr);
  EXPECT_EQ(blocks.RecencyOrder(), (std::vector<std::int32_t>{4, 1, 3}));
  EXPECT_EQ(blocks.Capacity(), 3u);

  file.reads.clear();
  blocks.ReleaseBlock(blocks.GetBlock(2));  // read again
  EXPECT_EQ(file.reads, (std::vector<BlockRun>{{2, 1}}));
}

TEST(BlobBlockCacheTest, PinnedAndModifiedBlocksAreNotEvicted) {
  TMemoryBlobBlockFile file;
  FillBlocks(file, 4);
  TBlobBlocks blocks(file, {.blob_buffer_bytes = 2 * 512, .blob_buffer_count = 8192});
  TBlock* pinned = blocks.GetBlock(1);
  TBlock* modified = blocks.GetBlock(2);
  modified->SetBlobKey(20);
  blocks.ReleaseBlock(modified);
  // Nothing clean: the modified block is written, then evicted.
  blocks.ReleaseBlock(blocks.GetBlock(3));
  EXPECT_EQ(file.writes, (std::vector<BlockRun>{{2, 1}}));
  EXPECT_EQ(file.StoredHeader(2).blob_key, 20);
  EXPECT_NE(blocks.Peek(1), nullptr);
  EXPECT_EQ(blocks.Peek(2), nullptr);
  blocks.ReleaseBlock(pinned);
}

TEST(BlobBlockCacheTest, LockedTableGrowsTheCacheInsteadOfWriting) {
  TMemoryBlobBlockFile file;
  file.table_locked = true;
  TBlobBlocks blocks(file, {.blob_buffer_bytes = 2 * 512, .blob_buffer_count = 8192});
  for (int i = 0; i < 3; ++i) blocks.ReleaseBlock(blocks.NewBlock());
  EXPECT_TRUE(file.writes.empty());
  EXPECT_EQ(blocks.CachedCount(), 3u);
  EXPECT_EQ(blocks.Capacity(), 2u + TBlobBlocks::kCapacityGrowth);

  // Trimming while the table is still locked keeps every change.
  blocks.Trim();
  EXPECT_EQ(blocks.CachedCount(), 3u);
  EXPECT_TRUE(file.writes.empty());

  // Once the table may write (the transaction committed) trimming writes
  // and brings the cache back to its size.
  file.table_locked = false;
  blocks.Trim();
  EXPECT_EQ(file.writes, (std::vector<BlockRun>{{1, 3}}));
  EXPECT_EQ(blocks.CachedCount(), 2u);
  EXPECT_EQ(blocks.Capacity(), 2u);
}

TEST(BlobBlockCacheTest, AllBlocksPinnedGrowsTheCapacityByThirtyTwo) {
  TMemoryBlobBlockFile file;
  FillBlocks(file, 3);
  TBlobBlocks blocks(file, {.blob_buffer_bytes = 2 * 512, .blob_buffer_count = 8192});
  std::vector<TBlock*> held;
  for (std::int32_t n = 1; n <= 3; ++n) held.push_back(blocks.GetBlock(n));
  EXPECT_EQ(blocks.Capacity(), 2u + 32u);
  for (std::int32_t n = 1; n <= 3; ++n) EXPECT_EQ(held[n - 1]->BlobKey(), n);
  for (TBlock* block : held) blocks.ReleaseBlock(block);
}

TEST(BlobBlockCacheTest, ModifiedBlocksAreWrittenInRunsOfConsecutiveNumbers) {
  TMemoryBlobBlockFile file;
  FillBlocks(file, 8);
  TBlobBlocks blocks(file, {});
  blocks.ReleaseBlock(blocks.GetBlock(1, 8));
  TBlock* still_pinned = blocks.GetBlock(6);
  still_pinned->SetBlobKey(60);
  for (std::int32_t n : {2, 3, 4, 7, 8}) {
    TBlock* block = blocks.GetBlock(n);
    block->SetBlobKey(n * 10);
    blocks.ReleaseBlock(block);
  }
  EXPECT_TRUE(blocks.WriteModifiedBlocks());
  EXPECT_EQ(file.writes, (std::vector<BlockRun>{{2, 3}, {7, 2}}));
  EXPECT_EQ(file.StoredHeader(8).blob_key, 80);
  EXPECT_EQ(file.StoredHeader(6).blob_key, 6);  // pinned: not written yet
  EXPECT_FALSE(blocks.Peek(3)->Modified());

  blocks.ReleaseBlock(still_pinned);
  file.writes.clear();
  EXPECT_TRUE(blocks.WriteModifiedBlocks());
  EXPECT_EQ(file.writes, (std::vector<BlockRun>{{6, 1}}));
  EXPECT_FALSE(blocks.WriteModifiedBlocks());
}

TEST(BlobBlockCacheTest, ChangeFoundBeforeADiskReadDropsTheCacheAndReportsNotObtained) {
  TMemoryBlobBlockFile file;
  FillBlocks(file, 4);
  TBlobBlocks blocks(file, {});
  file.cache = &blocks;
  blocks.ReleaseBlock(blocks.GetBlock(1));
  TBlock* held = blocks.GetBlock(2);
  file.changes_to_report = 1;
  EXPECT_EQ(blocks.GetBlock(3), nullptr);
  EXPECT_EQ(blocks.CachedCount(), 0u);
  // A block pinned across the drop stays usable for its holder.
  EXPECT_EQ(held->BlobKey(), 2);
  blocks.ReleaseBlock(held);
  TBlock* again = blocks.GetBlock(3);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->BlobKey(), 3);
  blocks.ReleaseBlock(again);
}

TEST(BlobBlockCacheTest, ReadRefreshesCleanBlocksButNeverModifiedOrPinnedOnes) {
  TMemoryBlobBlockFile file;
  FillBlocks(file, 4);
  TBlobBlocks blocks(file, {});
  file.cache = &blocks;
  blocks.ReleaseBlock(blocks.GetBlock(2));
  TBlock* modified = blocks.GetBlock(3);
  modified->SetBlobKey(33);
  blocks.ReleaseBlock(modified);
  TBlock* pinned = blocks.GetBlock(4);
  // Another program rewrites blocks 2 to 4 behind the cache.
  for (std::int32_t n = 2; n <= 4; ++n) file.PutBlock(n, {.blob_key = 100 + n});
  blocks.ReleaseBlock(blocks.GetBlock(1, 4));
  EXPECT_EQ(blocks.Peek(2)->BlobKey(), 102);
  EXPECT_EQ(blocks.Peek(3)->BlobKey(), 33);
  EXPECT_EQ(blocks.Peek(4)->BlobKey(), 4);
  blocks.ReleaseBlock(pinned);
}

TEST(BlobBlockCacheTest, BlockNumbersOutsideTheFileAreCorrupt) {
  TMemoryBlobBlockFile file;
  FillBlocks(file, 3);
  TBlobBlocks blocks(file, {});
  for (std::int32_t n : {0, -1, 4, 1000}) {
    EXPECT_EQ(ErrorCodeOf([&] { blocks.GetBlock(n); }), VORA_MEMOCORRUPT) << n;
  }
  EXPECT_TRUE(file.reads.empty());
}

TEST(BlobBlockCacheTest, ShortReadIsAnErrorUnlessTheTableMayHaveUnwrittenBlocks) {
  TMemoryBlobBlockFile file;
  FillBlocks(file, 2);
  file.SetNextBlockNumber(5);  // blocks 3 and 4 exist only in another cache
  TBlobBlocks blocks(file, {});
  EXPECT_EQ(ErrorCodeOf([&] { blocks.GetBlock(2, 3); }), VORA_READERR);
  file.allow_short_reads = true;
  TBlock* block = blocks.GetBlock(2, 3);
  EXPECT_EQ(block->BlobKey(), 2);
  blocks.ReleaseBlock(block);
  // Block 3 is not on the file: it cannot be had.
  EXPECT_EQ(ErrorCodeOf([&] { blocks.GetBlock(3); }), VORA_MEMOCORRUPT);
}

TEST(BlobBlockCacheTest, NewBlocksComeFromTheFreeChainBeforeTheFileGrows) {
  TMemoryBlobBlockFile file;
  TBlobBlocks blocks(file, {});
  std::vector<TBlock*> taken;
  for (int i = 0; i < 3; ++i) taken.push_back(blocks.NewBlock());
  EXPECT_EQ(taken[2]->Number(), 3);
  EXPECT_EQ(file.NextBlockNumber(), 4);
  for (TBlock* block : taken) {
    block->SetBlobKey(9);
    blocks.WriteData(*block, 0, std::vector<std::uint8_t>(10, 0xAA));
  }

  blocks.FreeBlock(*taken[0]);  // chain: 1
  blocks.FreeBlock(*taken[2]);  // chain: 3 -> 1
  EXPECT_EQ(file.FreeChainHead(), 3);
  EXPECT_EQ(taken[2]->Next(), 1);
  EXPECT_EQ(taken[0]->Next(), 0);
  for (TBlock* block : taken) blocks.ReleaseBlock(block);

  TBlock* reused = blocks.NewBlock();
  EXPECT_EQ(reused->Number(), 3);
  EXPECT_EQ(reused->Header(), TBlobBlockHeader{});  // cleared
  EXPECT_EQ(reused->Data()[0], 0);
  EXPECT_EQ(file.FreeChainHead(), 1);
  TBlock* reused_too = blocks.NewBlock();
  EXPECT_EQ(reused_too->Number(), 1);
  EXPECT_EQ(file.FreeChainHead(), 0);
  TBlock* fresh = blocks.NewBlock();
  EXPECT_EQ(fresh->Number(), 4);
  EXPECT_EQ(file.NextBlockNumber(), 5);
  for (TBlock* block : {reused, reused_too, fresh}) blocks.ReleaseBlock(block);
}

TEST(BlobBlockCacheTest, FreeChainFaultsAreCorrupt) {
  struct Case {
    const char* what;
    std::int32_t free_head;
    bool pin_head;
  };
  const Case cases[] = {
      {"head past the last block", 9, false},
      {"negative head", -3, false},
      {"head block pinned by another user", 2, true},
  };
  for (const Case& c : cases) {
    TMemoryBlobBlockFile file;
    FillBlocks(file, 3);
    TBlobBlocks blocks(file, {});
    TBlock* other = c.pin_head ? blocks.GetBlock(c.free_head) : nullptr;
    file.SetFreeChainHead(c.free_head);
    EXPECT_EQ(ErrorCodeOf([&] { blocks.ReleaseBlock(blocks.NewBlock()); }), VORA_MEMOCORRUPT) << c.what;
    EXPECT_EQ(file.FreeChainHead(), c.free_head) << c.what;
    blocks.ReleaseBlock(other);
  }
}

TEST(BlobBlockCacheTest, FreeingTheHeadAgainIsRefused) {
  TMemoryBlobBlockFile file;
  TBlobBlocks blocks(file, {});
  TBlock* block = blocks.NewBlock();
  blocks.FreeBlock(*block);
  EXPECT_EQ(ErrorCodeOf([&] { blocks.FreeBlock(*block); }), VORA_MEMOCORRUPT);
  EXPECT_EQ(block->Next(), 0);
  blocks.ReleaseBlock(block);
}

TEST(BlobBlockCacheTest, FullFileRefusesANewBlockAndLeavesTheHeader) {
  struct Case {
    std::uint16_t block_size;
    std::int32_t next_block;
    int code;
  };
  const Case cases[] = {
      {512, 7812499, 0},
      {512, 7812500, VORA_TABLEFULL},
      {64, 62499992, 0},
      {64, 62499993, VORA_TABLEFULL},
  };
  for (const Case& c : cases) {
    TMemoryBlobBlockFile file(c.block_size);
    file.SetNextBlockNumber(c.next_block);
    TBlobBlocks blocks(file, {});
    EXPECT_EQ(ErrorCodeOf([&] { blocks.ReleaseBlock(blocks.NewBlock()); }), c.code) << c.next_block;
    EXPECT_EQ(file.NextBlockNumber(), c.code == 0 ? c.next_block + 1 : c.next_block);
  }
}

TEST(BlobBlockCacheTest, DataAccessStaysInsideTheDataPart) {
  struct Case {
    std::size_t offset;
    std::size_t count;
    int code;
  };
  // B = 512: 494 data bytes.
  const Case cases[] = {
      {0, 494, 0},
      {490, 4, 0},
      {0, 495, VORA_INVALIDBLOBLEN},
      {490, 5, VORA_INVALIDBLOBLEN},
      {495, 0, VORA_INVALIDBLOBLEN},
  };
  TMemoryBlobBlockFile file;
  TBlobBlocks blocks(file, {});
  TBlock* block = blocks.NewBlock();
  std::vector<std::uint8_t> buffer(600, 0x5A);
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorCodeOf([&] { blocks.WriteData(*block, c.offset, std::span(buffer).first(c.count)); }), c.code)
        << "write " << c.offset << "+" << c.count;
    EXPECT_EQ(ErrorCodeOf([&] { blocks.ReadData(*block, c.offset, c.count, buffer); }), c.code)
        << "read " << c.offset << "+" << c.count;
  }
  blocks.ReleaseBlock(block);
}

TEST(BlobBlockCacheTest, WritingDataSetsTheUsedBytesAndReadingStopsThere) {
  TMemoryBlobBlockFile file;
  TBlobBlocks blocks(file, {});
  TBlock* block = blocks.NewBlock();
  const std::vector<std::uint8_t> bytes = {1, 2, 3, 4, 5};
  blocks.WriteData(*block, 10, bytes);
  EXPECT_EQ(block->UsedBytes(), 15);
  EXPECT_TRUE(block->Modified());

  std::vector<std::uint8_t> out(20, 0xFF);
  EXPECT_EQ(blocks.ReadData(*block, 12, 20, out), 3u);
  EXPECT_EQ(out[0], 3);
  EXPECT_EQ(out[2], 5);
  EXPECT_EQ(out[3], 0xFF);
  EXPECT_EQ(blocks.ReadData(*block, 15, 5, out), 0u);
  blocks.ReleaseBlock(block);
}

}  // namespace
}  // namespace telvora::storage
