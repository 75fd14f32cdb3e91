// The BLOB block image: header layout, file positions and limits, and the
// scrambling of encrypted block images.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "memory_blob_block_file.h"
#include "storage/blob_block_header.h"
#include "storage/blob_blocks.h"
#include "storage/blob_chain.h"
#include "storage/scrambler.h"

namespace telvora::storage {
namespace {

using testing::TMemoryBlobBlockFile;

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(seed >> 16);
  }
  return bytes;
}

TEST(BlobBlockImageTest, HeaderFieldsAreLittleEndianAtTheirOffsets) {
  const TBlobBlockHeader header{.previous = 0x01020304,
                                .next = -2,
                                .used_bytes = 0xA1B2,
                                .blob_key = 0x11223344,
                                .total_length = 1000};
  std::vector<std::uint8_t> image(kBlobBlockHeaderSize, 0xEE);
  header.Pack(image);
  const std::vector<std::uint8_t> expected = {0x04, 0x03, 0x02, 0x01,  // previous
                                              0xFE, 0xFF, 0xFF, 0xFF,  // next
                                              0xB2, 0xA1,              // used bytes
                                              0x44, 0x33, 0x22, 0x11,  // key
                                              0xE8, 0x03, 0x00, 0x00}; // total length
  EXPECT_EQ(image, expected);
  EXPECT_EQ(TBlobBlockHeader::Unpack(image), header);
}

TEST(BlobBlockImageTest, BlocksFollowTheFileHeader) {
  EXPECT_EQ(BlobBlockOffset(1, 512), 512u);
  EXPECT_EQ(BlobBlockOffset(2, 512), 1024u);
  EXPECT_EQ(BlobBlockOffset(3, 64), 512u + 128u);
  EXPECT_EQ(BlobBlockDataSize(512), 494u);
  EXPECT_EQ(BlobBlockDataSize(64), 46u);
}

TEST(BlobBlockImageTest, NewBlocksStayWithinTheFileLimits) {
  struct Case {
    std::int32_t n;
    std::uint16_t block_size;
    bool allowed;
  };
  // 512 + n × B must not pass 4,000,000,000; n must not pass 2,000,000,000.
  const Case cases[] = {
      {1, 512, true},
      {7812499, 512, true},    // ends at 3,999,999,488
      {7812500, 512, false},   // would end at 4,000,000,512
      {62499992, 64, true},    // ends at 4,000,000,000 exactly
      {62499993, 64, false},
      {kMaxBlobBlockNumber + 1, 64, false},
      {0, 512, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BlobBlockWithinLimits(c.n, c.block_size), c.allowed) << c.n << " B=" << c.block_size;
  }
}

TEST(BlobBlockImageTest, HeaderAndDataAreEachScrambledFromTheKey) {
  const std::vector<std::uint8_t> plain = Pattern(512, 7);
  std::vector<std::uint8_t> image = plain;
  ScrambleBlobBlockImage(image);

  std::vector<std::uint8_t> header(plain.begin(), plain.begin() + kBlobBlockHeaderSize);
  std::vector<std::uint8_t> data(plain.begin() + kBlobBlockHeaderSize, plain.end());
  Scramble(header, kDataKey);
  Scramble(data, kDataKey);
  EXPECT_TRUE(std::equal(header.begin(), header.end(), image.begin()));
  EXPECT_TRUE(std::equal(data.begin(), data.end(), image.begin() + kBlobBlockHeaderSize));
  // The data part starts again from the key: its first byte is XORed with
  // the key bytes themselves, like the header's first byte.
  EXPECT_EQ(image[kBlobBlockHeaderSize], plain[kBlobBlockHeaderSize] ^ kDataKey.a ^ kDataKey.b);
  EXPECT_EQ(image[0], plain[0] ^ kDataKey.a ^ kDataKey.b);

  ScrambleBlobBlockImage(image);
  EXPECT_EQ(image, plain);
}

TEST(BlobBlockImageTest, EncryptedTableStoresScrambledBlocksAndReadsThemBack) {
  TMemoryBlobBlockFile file(512, /*encrypted=*/true);
  const std::vector<std::uint8_t> value = Pattern(1000, 3);
  std::int32_t first = 0;
  {
    TBlobBlocks blocks(file, {});
    WriteBlobChain(blocks, first, 77, value);
    ASSERT_TRUE(blocks.WriteModifiedBlocks());
  }
  // On disk the header is not readable as plain bytes ...
  const std::vector<std::uint8_t> stored = file.StoredImage(first);
  EXPECT_NE(TBlobBlockHeader::Unpack(stored).blob_key, 77);
  EXPECT_FALSE(std::equal(value.begin(), value.begin() + 494, stored.begin() + kBlobBlockHeaderSize));
  // ... but unscrambled it is the block of the value.
  const TBlobBlockHeader header = file.StoredHeader(first);
  EXPECT_EQ(header.blob_key, 77);
  EXPECT_EQ(header.total_length, 1000);
  EXPECT_EQ(header.used_bytes, 494);

  TBlobBlocks fresh(file, {});
  EXPECT_EQ(ReadBlobChain(fresh, first, 77), value);
}

}  // namespace
}  // namespace telvora::storage
