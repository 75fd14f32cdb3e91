// BLOB value chains: how a value is laid out in blocks, written over its old
// chain, shortened, freed and read back, and every error on the way.

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "memory_blob_block_file.h"
#include "storage/blob_blocks.h"
#include "storage/blob_chain.h"
#include "storage_error_code.h"

namespace telvora::storage {
namespace {

using testing::BlockRun;
using testing::ErrorCodeOf;
using testing::TMemoryBlobBlockFile;

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed = 1) {
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(seed >> 16);
  }
  return bytes;
}

// The block numbers of a chain as stored, following the next links.
std::vector<std::int32_t> StoredChain(const TMemoryBlobBlockFile& file, std::int32_t first) {
  std::vector<std::int32_t> chain;
  for (std::int32_t n = first; n != 0 && chain.size() < 100; n = file.StoredHeader(n).next) chain.push_back(n);
  return chain;
}

class BlobValueChainsTest : public ::testing::Test {
 protected:
  // Writes value under key, flushes, and returns the first block.
  std::int32_t Store(std::span<const std::uint8_t> value, std::int32_t key, std::int32_t first = 0) {
    WriteBlobChain(blocks_, first, key, value);
    blocks_.WriteModifiedBlocks();
    return first;
  }

  TMemoryBlobBlockFile file_{512};
  TBlobBlocks blocks_{file_, {}};
};

TEST_F(BlobValueChainsTest, ThousandBytesInBlocksOf512Take494Plus494Plus12) {
  const std::vector<std::uint8_t> value = Pattern(1000);
  const std::int32_t first = Store(value, 5);
  EXPECT_EQ(first, 1);
  ASSERT_EQ(StoredChain(file_, first), (std::vector<std::int32_t>{1, 2, 3}));

  const TBlobBlockHeader expected[] = {
      {.previous = 0, .next = 2, .used_bytes = 494, .blob_key = 5, .total_length = 1000},
      {.previous = 1, .next = 3, .used_bytes = 494, .blob_key = 5, .total_length = 0},
      {.previous = 2, .next = 0, .used_bytes = 12, .blob_key = 5, .total_length = 0},
  };
  for (std::int32_t n = 1; n <= 3; ++n) EXPECT_EQ(file_.StoredHeader(n), expected[n - 1]) << "block " << n;
  const std::vector<std::uint8_t> third = file_.PlainImage(3);
  EXPECT_TRUE(std::equal(value.begin() + 988, value.end(), third.begin() + kBlobBlockHeaderSize));
  EXPECT_EQ(file_.NextBlockNumber(), 4);

  // Read back through a cold cache: the first block alone, then the two
  // blocks still needed in one read.
  TBlobBlocks cold(file_, {});
  file_.reads.clear();
  file_.change_checks = 0;
  EXPECT_EQ(ReadBlobChain(cold, first, 5), value);
  EXPECT_EQ(file_.reads, (std::vector<BlockRun>{{1, 1}, {2, 2}}));
}

TEST_F(BlobValueChainsTest, ValuesRoundTripAtEveryBlockBoundary) {
  struct Case {
    std::uint16_t block_size;
    std::size_t length;
    std::size_t blocks;
  };
  const Case cases[] = {
      {512, 1, 1},   {512, 493, 1},  {512, 494, 1},   {512, 495, 2},
      {512, 988, 2}, {512, 989, 3},  {64, 46, 1},     {64, 47, 2},
      {64, 1000, 22}, {4096, 4078, 1}, {4096, 20000, 5},
  };
  for (const Case& c : cases) {
    TMemoryBlobBlockFile file(c.block_size);
    const std::vector<std::uint8_t> value = Pattern(c.length, static_cast<std::uint32_t>(c.length));
    std::int32_t first = 0;
    {
      TBlobBlocks blocks(file, {});
      WriteBlobChain(blocks, first, 11, value);
      blocks.WriteModifiedBlocks();
    }
    EXPECT_EQ(StoredChain(file, first).size(), c.blocks) << "B=" << c.block_size << " L=" << c.length;
    TBlobBlocks cold(file, {});
    EXPECT_EQ(ReadBlobChain(cold, first, 11), value) << "B=" << c.block_size << " L=" << c.length;
  }
}

TEST_F(BlobValueChainsTest, ShorteningFreesTheTailWithTheLastBlockAtTheFreeChainHead) {
  std::int32_t first = Store(Pattern(1000), 5);
  const std::vector<std::uint8_t> shorter = Pattern(100, 9);
  first = Store(shorter, 6, first);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(StoredChain(file_, 1), (std::vector<std::int32_t>{1}));
  EXPECT_EQ(file_.StoredHeader(1).total_length, 100);
  EXPECT_EQ(file_.StoredHeader(1).used_bytes, 100);
  // Freed in chain order: 2 first, then 3, which is now the head.
  EXPECT_EQ(file_.FreeChainHead(), 3);
  EXPECT_EQ(file_.StoredHeader(3).next, 2);
  EXPECT_EQ(file_.StoredHeader(2).next, 0);
  EXPECT_EQ(ReadBlobChain(blocks_, first, 6), shorter);

  // The next new block taken by any value is the last one freed.
  std::int32_t other = 0;
  WriteBlobChain(blocks_, other, 7, Pattern(600, 4));
  EXPECT_EQ(other, 3);
  blocks_.WriteModifiedBlocks();
  EXPECT_EQ(StoredChain(file_, other), (std::vector<std::int32_t>{3, 2}));
  EXPECT_EQ(file_.FreeChainHead(), 0);
  EXPECT_EQ(file_.NextBlockNumber(), 4);  // the file did not grow
}

TEST_F(BlobValueChainsTest, LongerValueReusesTheOldChainAndExtendsIt) {
  std::int32_t first = Store(Pattern(600), 5);
  std::int32_t other = Store(Pattern(10), 6);  // block 3, after the value's two
  ASSERT_EQ(other, 3);
  const std::vector<std::uint8_t> longer = Pattern(1200, 2);
  first = Store(longer, 8, first);
  EXPECT_EQ(StoredChain(file_, first), (std::vector<std::int32_t>{1, 2, 4}));
  EXPECT_EQ(file_.StoredHeader(4).previous, 2);
  for (std::int32_t n : {1, 2, 4}) EXPECT_EQ(file_.StoredHeader(n).blob_key, 8);
  EXPECT_EQ(file_.StoredHeader(1).total_length, 1200);
  TBlobBlocks cold(file_, {});
  EXPECT_EQ(ReadBlobChain(cold, first, 8), longer);
  EXPECT_EQ(ReadBlobChain(cold, other, 6), Pattern(10));
}

TEST_F(BlobValueChainsTest, EmptyValueFreesTheWholeChain) {
  std::int32_t first = Store(Pattern(1000), 5);
  first = Store({}, 6, first);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(file_.FreeChainHead(), 3);
  EXPECT_EQ(StoredChain(file_, 3), (std::vector<std::int32_t>{3, 2, 1}));
  EXPECT_TRUE(ReadBlobChain(blocks_, 0, 6).empty());
}

TEST_F(BlobValueChainsTest, FreeingRestampsOldKeysOnlyWhenRepairing) {
  const std::int32_t first = Store(Pattern(1000), 5);
  // The blocks carry the old key 5; freeing under the new key 6 without
  // repair is a mismatch.
  EXPECT_EQ(ErrorCodeOf([&] { FreeBlobChain(blocks_, first, 6, /*repair=*/false); }), VORA_MEMOCORRUPT);
  EXPECT_EQ(file_.FreeChainHead(), 0);

  FreeBlobChain(blocks_, first, 6, /*repair=*/true);
  blocks_.WriteModifiedBlocks();
  for (std::int32_t n = 1; n <= 3; ++n) EXPECT_EQ(file_.StoredHeader(n).blob_key, 6) << n;
  // A reader still holding the old key now finds it replaced.
  TBlobBlocks cold(file_, {});
  EXPECT_EQ(ErrorCodeOf([&] { ReadBlobChain(cold, first, 5); }), VORA_KEYORRECDELETED);
}

TEST_F(BlobValueChainsTest, ChangeFoundDuringAReadStartsTheReadAgain) {
  const std::vector<std::uint8_t> value = Pattern(1000);
  const std::int32_t first = Store(value, 5);
  TBlobBlocks cold(file_, {});
  file_.cache = &cold;
  TBlock* first_block = cold.GetBlock(first);
  cold.ReleaseBlock(first_block);  // block 1 cached; the next fetch goes to disk
  file_.changes_to_report = 1;
  file_.reads.clear();
  file_.change_checks = 0;
  EXPECT_EQ(ReadBlobChain(cold, first, 5), value);
  // Block 2's fetch found the change and dropped the cache; the read began
  // again at block 1.
  EXPECT_EQ(file_.reads, (std::vector<BlockRun>{{1, 1}, {2, 2}}));
  EXPECT_EQ(file_.change_checks, 3);
  EXPECT_EQ(file_.changes_to_report, 0);
}

// Damaged or concurrently changed chains, laid out by hand: each case
// stores blocks and reads (or frees) the value starting at block 1 with
// key 5.
struct FaultCase {
  const char* what;
  std::vector<TBlobBlockHeader> blocks;  // block n = blocks[n - 1]
  enum Action { kRead, kFree, kWrite } action;
  int code;
  bool pin_block_2 = false;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.what; }

class BlobChainFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(BlobChainFaultTest, RaisesTheErrorOfTheFault) {
  const FaultCase& c = GetParam();
  TMemoryBlobBlockFile file(64);  // 46 data bytes per block
  const std::vector<std::uint8_t> data(46, 0x42);
  for (std::size_t i = 0; i < c.blocks.size(); ++i) {
    file.PutBlock(static_cast<std::int32_t>(i + 1), c.blocks[i], data);
  }
  TBlobBlocks blocks(file, {});
  TBlock* other_user = c.pin_block_2 ? blocks.GetBlock(2) : nullptr;
  const int code = ErrorCodeOf([&] {
    switch (c.action) {
      case FaultCase::kRead:
        ReadBlobChain(blocks, 1, 5);
        break;
      case FaultCase::kFree:
        FreeBlobChain(blocks, 1, 5, /*repair=*/false);
        break;
      case FaultCase::kWrite: {
        std::int32_t first = 1;
        WriteBlobChain(blocks, first, 6, std::vector<std::uint8_t>(200, 1));
        break;
      }
    }
  });
  EXPECT_EQ(code, c.code) << c.what;
  blocks.ReleaseBlock(other_user);
}

TBlobBlockHeader Block(std::int32_t previous, std::int32_t next, std::uint16_t used, std::int32_t key,
                       std::int32_t total = 0) {
  return {.previous = previous, .next = next, .used_bytes = used, .blob_key = key, .total_length = total};
}

INSTANTIATE_TEST_SUITE_P(
    EveryFault, BlobChainFaultTest,
    ::testing::Values(
        FaultCase{"sound chain reads", {Block(0, 2, 46, 5, 60), Block(1, 0, 14, 5)}, FaultCase::kRead, 0},
        FaultCase{"first block of another value", {Block(0, 2, 46, 4, 60), Block(1, 0, 14, 4)}, FaultCase::kRead,
                  VORA_KEYORRECDELETED},
        FaultCase{"later block of another value", {Block(0, 2, 46, 5, 60), Block(1, 0, 14, 9)}, FaultCase::kRead,
                  VORA_KEYORRECDELETED},
        FaultCase{"next link past the file", {Block(0, 7, 46, 5, 60)}, FaultCase::kRead, VORA_MEMOCORRUPT},
        FaultCase{"negative next link", {Block(0, -2, 46, 5, 60)}, FaultCase::kRead, VORA_MEMOCORRUPT},
        FaultCase{"block pinned elsewhere during the read", {Block(0, 2, 46, 5, 60), Block(1, 0, 14, 5)},
                  FaultCase::kRead, VORA_MEMOCORRUPT, true},
        FaultCase{"chain ends before the total length", {Block(0, 2, 46, 5, 100), Block(1, 0, 14, 5)},
                  FaultCase::kRead, VORA_ENDOFBLOB},
        FaultCase{"inner block not full", {Block(0, 2, 40, 5, 60), Block(1, 0, 20, 5)}, FaultCase::kRead,
                  VORA_ENDOFBLOB},
        FaultCase{"negative total length", {Block(0, 0, 10, 5, -1)}, FaultCase::kRead, VORA_ENDOFBLOB},
        // Without a check the read would go round until it had the claimed
        // two gigabytes.
        FaultCase{"chain running into itself under a huge length", {Block(0, 2, 46, 5, 0x7fffffff), Block(1, 1, 46, 5)},
                  FaultCase::kRead, VORA_MEMOCORRUPT},
        FaultCase{"sound chain frees", {Block(0, 2, 46, 5, 60), Block(1, 0, 14, 5)}, FaultCase::kFree, 0},
        FaultCase{"key mismatch while freeing", {Block(0, 2, 46, 5, 60), Block(1, 0, 14, 8)}, FaultCase::kFree,
                  VORA_MEMOCORRUPT},
        FaultCase{"free link past the file", {Block(0, 9, 46, 5, 60)}, FaultCase::kFree, VORA_MEMOCORRUPT},
        FaultCase{"chain running into itself while freeing", {Block(0, 2, 46, 5, 60), Block(1, 1, 46, 5)},
                  FaultCase::kFree, VORA_MEMOCORRUPT},
        FaultCase{"block pinned elsewhere while freeing", {Block(0, 2, 46, 5, 60), Block(1, 0, 14, 5)},
                  FaultCase::kFree, VORA_MEMOCORRUPT, true},
        FaultCase{"sound chain rewritten", {Block(0, 2, 46, 5, 60), Block(1, 0, 14, 5)}, FaultCase::kWrite, 0},
        FaultCase{"rewrite follows a link past the file", {Block(0, 9, 46, 5, 60)}, FaultCase::kWrite,
                  VORA_MEMOCORRUPT},
        FaultCase{"rewrite meets a chain running into itself", {Block(0, 2, 46, 5, 92), Block(1, 1, 46, 5)},
                  FaultCase::kWrite, VORA_MEMOCORRUPT},
        FaultCase{"rewrite meets a block pinned elsewhere", {Block(0, 2, 46, 5, 60), Block(1, 0, 14, 5)},
                  FaultCase::kWrite, VORA_MEMOCORRUPT, true}));

TEST_F(BlobValueChainsTest, ValueLongerThanTheTotalLengthFieldIsRefusedBeforeAnythingChanges) {
  // A span claiming 2^31 bytes over a small buffer: only its size is looked at.
  const std::vector<std::uint8_t> small(16, 0);
  const std::span<const std::uint8_t> huge(small.data(), std::size_t{1} << 31);
  std::int32_t first = 0;
  EXPECT_EQ(ErrorCodeOf([&] { WriteBlobChain(blocks_, first, 5, huge); }), VORA_INVALIDBLOBLEN);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(file_.NextBlockNumber(), 1);
}

}  // namespace
}  // namespace telvora::storage
