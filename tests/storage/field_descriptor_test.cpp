// The 768-byte field descriptor and the block of them the data file holds.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sample_tables.h"
#include "storage/field_descriptor.h"

namespace telvora::storage {
namespace {

std::vector<TFieldDescriptor> ManyFields(std::size_t count) {
  std::vector<TFieldDescriptor> descriptors(count);
  for (std::size_t i = 0; i < count; ++i) {
    descriptors[i].SetFieldNumber(static_cast<std::uint16_t>(i + 1));
    descriptors[i].SetName("F" + std::to_string(i + 1));
    descriptors[i].SetType(kTypeInteger);
  }
  return descriptors;
}

TEST(FieldDescriptorTest, OptionsAndValueTextsLieAtTheirOffsets) {
  TFieldDescriptor d;
  d.SetName(std::string(35, 'N'));
  d.SetRequired(true);
  d.SetCase(CharacterCase::Lower);
  d.SetMinimumText("1");
  d.SetMaximumText(std::string(60, '9'));
  d.SetDefaultText("TRUE");
  d.SetComputed(true);
  const auto image = d.Image();
  EXPECT_EQ(image[2], 30) << "names keep 30 characters";
  EXPECT_EQ(image[32], 'N');
  EXPECT_EQ(image[33], 0);
  EXPECT_EQ(image[92], 1);
  EXPECT_EQ(image[93], 1);
  EXPECT_EQ(image[94], 1);
  EXPECT_EQ(image[95], '1');
  EXPECT_EQ(image[145], 50) << "value texts keep 50 characters";
  EXPECT_EQ(image[195], '9');
  EXPECT_EQ(image[196], 4);
  EXPECT_EQ(std::memcmp(image.data() + 197, "TRUE", 4), 0);
  EXPECT_EQ(image[247], 1);
  EXPECT_EQ(d.Name(), std::string(30, 'N'));
  EXPECT_EQ(d.MaximumText(), std::string(50, '9'));
  EXPECT_EQ(d.DefaultText(), "TRUE");
  EXPECT_EQ(d.Case(), CharacterCase::Lower);
}

TEST(FieldDescriptorTest, StoredLengthComesFromTypeAndSize) {
  const struct {
    std::uint8_t type;
    std::uint8_t size;
    int stored;  // -1: no stored length
    int key;
  } cases[] = {
      {kTypeString, 60, 61, 61}, {kTypeDate, 0, 4, 4},   {kTypeBlob, 0, 8, 8},      {kTypeBoolean, 0, 2, 2},
      {kTypeSmallInt, 0, 2, 2},  {kTypeInteger, 0, 4, 4}, {kTypeFloat, 0, 8, 8},    {kTypeBcd, 0, 34, 8},
      {kTypeBytes, 7, 7, 7},     {kTypeTime, 0, 4, 4},    {kTypeTimeStamp, 0, 8, 8}, {kTypeWord, 0, 2, 2},
      {kTypeFourBytes, 0, 4, 4}, {kTypeTenBytes, 0, 10, 10}, {kTypeVarBytes, 9, 9, 9}, {kTypeLargeInt, 0, 8, 8},
      {kTypeNone, 5, 5, 5},      {kTypeNoStorage17, 3, 3, 3}, {kTypeDataSet, 2, 2, 2}, {19, 0, -1, -1},
      {24, 0, -1, -1},
  };
  for (const auto& c : cases) {
    const auto stored = StoredLengthOf(c.type, c.size);
    const auto key = KeyLengthOf(c.type, c.size);
    EXPECT_EQ(stored ? int(*stored) : -1, c.stored) << int(c.type);
    EXPECT_EQ(key ? int(*key) : -1, c.key) << int(c.type);
  }
  TFieldDescriptor d;
  d.SetType(kTypeBcd);
  d.SetDecimals(3);
  ASSERT_TRUE(d.RecomputeStoredLength());
  EXPECT_EQ(d.Image()[88], 34);
  EXPECT_EQ(d.Image()[89], 3);
  d.SetType(19);
  EXPECT_FALSE(d.RecomputeStoredLength());
  EXPECT_EQ(d.Image()[88], 34) << "an unknown type leaves the descriptor as it was";
}

TEST(FieldDescriptorBlockTest, DescriptorsFollowEachOtherIn768ByteImages) {
  const auto descriptors = testing::MakeDescriptors(testing::EveryTypeFields());
  const auto block = EncodeFieldDescriptorBlock(descriptors, false);
  ASSERT_EQ(block.size(), 17u * 768);
  EXPECT_EQ(block[768 * 2], 3) << "field number of the third descriptor";
  EXPECT_EQ(block[768 * 2 + 84], kTypeBlob);
  EXPECT_EQ(DecodeFieldDescriptorBlock(block, false), descriptors);
}

TEST(FieldDescriptorBlockTest, EncryptedBlocksAreScrambledUnlessAMultipleOf65536Bytes) {
  const struct {
    std::size_t fields;
    bool plain_on_disk;
  } cases[] = {{1, false}, {255, false}, {256, true}, {257, false}};
  for (const auto& c : cases) {
    const auto descriptors = ManyFields(c.fields);
    const auto plain = EncodeFieldDescriptorBlock(descriptors, false);
    const auto stored = EncodeFieldDescriptorBlock(descriptors, true);
    EXPECT_EQ(stored == plain, c.plain_on_disk) << c.fields;
    EXPECT_EQ(DecodeFieldDescriptorBlock(stored, true), descriptors) << c.fields;
  }
}

}  // namespace
}  // namespace telvora::storage
