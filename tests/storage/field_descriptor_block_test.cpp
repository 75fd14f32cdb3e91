// The block of field descriptors as the data file holds it.

#include <gtest/gtest.h>

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
