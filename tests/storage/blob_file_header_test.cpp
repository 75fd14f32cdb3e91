#include "storage/blob_file_header.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace telvora::storage {
namespace {

TEST(BlobFileHeaderTest, NewHeaderBytesMatchTheOffsetTable) {
  std::array<std::uint8_t, 512> expected{};
  expected[8] = 5;    // version
  expected[13] = 1;   // next block number 1; free chain head 0
  expected[17] = 1;   // modified marker
  const TBlobFileHeader header = TBlobFileHeader::New();
  ASSERT_EQ(header.Image().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(header.Image()[i], expected[i]) << "offset " << i;
}

TEST(BlobFileHeaderTest, ChainFieldsAreLittleEndianAtTheirOffsets) {
  TBlobFileHeader header = TBlobFileHeader::New();
  header.ClearModified();
  header.SetFreeChainHead(0x0A0B0C0D);
  header.SetNextBlockNumber(0x01020304);
  const auto image = header.Image();
  EXPECT_EQ((std::array<std::uint8_t, 4>{image[9], image[10], image[11], image[12]}),
            (std::array<std::uint8_t, 4>{0x0D, 0x0C, 0x0B, 0x0A}));
  EXPECT_EQ((std::array<std::uint8_t, 4>{image[13], image[14], image[15], image[16]}),
            (std::array<std::uint8_t, 4>{0x04, 0x03, 0x02, 0x01}));
  EXPECT_TRUE(header.Modified());
  header.PrepareWrite();
  EXPECT_EQ(header.ChangeCounter(), 1);
}

TEST(BlobFileHeaderTest, EncryptedFileImageRoundTrips) {
  TBlobFileHeader header = TBlobFileHeader::New();
  header.SetNextBlockNumber(9);
  const auto scrambled = header.ImageForFile(true);
  EXPECT_FALSE(std::equal(scrambled.begin(), scrambled.end(), header.Image().begin()));
  const TBlobFileHeader read = TBlobFileHeader::FromFileImage(scrambled, true);
  EXPECT_EQ(read.NextBlockNumber(), 9);
  EXPECT_EQ(read.Version(), 5);
}

}  // namespace
}  // namespace telvora::storage
