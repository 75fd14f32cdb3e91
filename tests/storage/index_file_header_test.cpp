#include "storage/index_file_header.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

namespace telvora::storage {
namespace {

void PutName(std::array<std::uint8_t, 4096>& image, std::size_t offset, const std::string& name) {
  image[offset] = static_cast<std::uint8_t>(name.size());
  std::memcpy(image.data() + offset + 1, name.data(), name.size());
}

TEST(IndexFileHeaderTest, NewHeaderBytesMatchTheOffsetTable) {
  std::array<std::uint8_t, 4096> expected{};
  expected[8] = 5;                       // version
  expected[9] = 1;                       // next page number 1
  const std::size_t slot31 = 14 + 120 * 31;
  PutName(expected, slot31, "Sys Deleted");
  expected[slot31 + 31] = 5;             // key length 5, compression 0
  const std::size_t slot32 = 14 + 120 * 32;
  PutName(expected, slot32, "Sys Text");
  expected[slot32 + 31] = 68;            // key length 68
  expected[slot32 + 36] = 3;             // compression 3
  expected[3979] = 1;                    // modified marker

  const TIndexFileHeader header = TIndexFileHeader::New();
  ASSERT_EQ(header.Image().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(header.Image()[i], expected[i]) << "offset " << i;
  EXPECT_EQ(slot32 + 120, 3974u) << "the descriptor slots end where the active count starts";
}

TEST(IndexFileHeaderTest, DescriptorSlotsRoundTripThroughTheirOffsets) {
  TIndexFileHeader header = TIndexFileHeader::New();
  header.ClearModified();
  TIndexDescriptor descriptor;
  descriptor.SetName("ByFamily");
  descriptor.SetKeyLength(298);
  descriptor.SetCaseInsensitive(true);
  descriptor.SetCompression(KeyCompression::Leading);
  descriptor.SetKeyFieldCount(2);
  descriptor.SetKeyFieldNumber(0, 2);
  descriptor.SetKeyFieldNumber(1, 1025);
  descriptor.SetKeyFieldDescending(1, true);
  descriptor.SetRootPage(0x01020304);
  descriptor.SetFreeChainHead(7);
  header.SetDescriptor(3, descriptor);
  EXPECT_TRUE(header.Modified());

  const auto image = header.Image();
  const std::size_t base = 14 + 120 * 3;
  EXPECT_EQ(image[base], 8);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data() + base + 1), 8), "ByFamily");
  EXPECT_EQ(image[base + 31], 298 & 0xFF);
  EXPECT_EQ(image[base + 32], 298 >> 8);
  EXPECT_EQ(image[base + 34], 1);
  EXPECT_EQ(image[base + 36], 1);
  EXPECT_EQ(image[base + 37], 2);
  EXPECT_EQ(image[base + 38 + 1], 1);
  EXPECT_EQ(image[base + 54], 2);
  EXPECT_EQ(image[base + 56], 1025 & 0xFF);
  EXPECT_EQ(image[base + 57], 1025 >> 8);
  EXPECT_EQ(image[base + 86], 0x04);
  EXPECT_EQ(image[base + 89], 0x01);
  EXPECT_EQ(image[base + 90], 7);
  EXPECT_EQ(header.Descriptor(3), descriptor);
}

TEST(IndexFileHeaderTest, PrimaryUnavailableClearsThePrimaryButKeepsFreeChainAndOffset96) {
  TIndexFileHeader header = TIndexFileHeader::New();
  TIndexDescriptor primary;
  primary.SetKeyLength(22);
  primary.SetUnique(true);
  primary.SetDescending(true);
  primary.SetCaseInsensitive(true);
  primary.SetCompression(KeyCompression::Both);
  primary.SetKeyFieldCount(1);
  primary.SetKeyFieldNumber(0, 1);
  primary.SetKeyFieldDescending(0, true);
  primary.SetRootPage(4);
  primary.SetFreeChainHead(9);
  primary.SetDataPage(11);
  primary.SetNoSubtreeCounts(true);
  header.SetDescriptor(kPrimaryIndexSlot, primary);
  header.ClearModified();

  header.SetPrimaryIndexUnavailable(true);

  TIndexDescriptor expected;
  expected.SetFreeChainHead(9);
  expected.SetDataPage(11);
  EXPECT_EQ(header.Descriptor(kPrimaryIndexSlot), expected);
  EXPECT_TRUE(header.PrimaryIndexUnavailable());
  EXPECT_EQ(header.Image()[3978], 1);
  EXPECT_TRUE(header.Modified());

  header.ClearModified();
  header.SetPrimaryIndexUnavailable(false);
  EXPECT_FALSE(header.PrimaryIndexUnavailable());
  EXPECT_TRUE(header.Modified());
  EXPECT_EQ(header.Descriptor(kPrimaryIndexSlot), expected);
}

TEST(IndexFileHeaderTest, CountersSetTheMarkerOnlyWhenTheyChange) {
  TIndexFileHeader header = TIndexFileHeader::New();
  header.ClearModified();
  header.SetNextPageNumber(1);
  header.SetActiveRecordCount(0);
  EXPECT_FALSE(header.Modified());

  header.IncrementActiveRecordCount();
  header.IncrementActiveRecordCount();
  header.DecrementActiveRecordCount();
  EXPECT_EQ(header.ActiveRecordCount(), 1);
  EXPECT_EQ(header.Image()[3974], 1);
  EXPECT_TRUE(header.Modified());

  header.ClearModified();
  header.SetNextPageNumber(0x00030201);
  EXPECT_EQ(header.Image()[9], 0x01);
  EXPECT_EQ(header.Image()[11], 0x03);
  EXPECT_TRUE(header.Modified());
}

TEST(IndexFileHeaderTest, MarkModifiedAndWriteMoveTheChangeCounterOn) {
  TIndexFileHeader header = TIndexFileHeader::New();
  header.ClearModified();
  header.MarkModified();
  EXPECT_EQ(header.ChangeCounter(), 1);
  EXPECT_TRUE(header.Modified());
  header.PrepareWrite();
  EXPECT_EQ(header.ChangeCounter(), 2);
  // The counter is compared, never ordered: it wraps instead of overflowing.
  for (int i = 0; i < 4; ++i) header.MutableImage()[i] = i == 3 ? 0x7F : 0xFF;
  header.PrepareWrite();
  EXPECT_EQ(header.ChangeCounter(), INT32_MIN);
}

TEST(IndexFileHeaderTest, EncryptedFileImageIsScrambledAsAWhole) {
  TIndexFileHeader header = TIndexFileHeader::New();
  header.SetActiveRecordCount(42);
  const auto plain = header.ImageForFile(false);
  const auto scrambled = header.ImageForFile(true);
  EXPECT_TRUE(std::equal(plain.begin(), plain.end(), header.Image().begin()));
  EXPECT_NE(plain, scrambled);
  const TIndexFileHeader read = TIndexFileHeader::FromFileImage(scrambled, true);
  EXPECT_TRUE(std::equal(plain.begin(), plain.end(), read.Image().begin()));
  EXPECT_EQ(read.ActiveRecordCount(), 42);
}

}  // namespace
}  // namespace telvora::storage
