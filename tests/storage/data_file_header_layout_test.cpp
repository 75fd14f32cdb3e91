// The bytes of a new data file header and its field descriptors, compared
// with images written here directly from the format's offset tables.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "sample_tables.h"
#include "storage_error_code.h"
#include "storage/data_file_header.h"
#include "storage/scrambler.h"

namespace telvora::storage {
namespace {

using testing::EveryTypeFields;
using testing::MakeDescriptors;

template <std::size_t N>
void Put(std::array<std::uint8_t, N>& image, std::size_t offset, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) image[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

template <std::size_t N>
void PutShort(std::array<std::uint8_t, N>& image, std::size_t offset, const std::string& text) {
  image[offset] = static_cast<std::uint8_t>(text.size());
  std::memcpy(image.data() + offset + 1, text.data(), text.size());
}

struct ExpectedField {
  std::uint8_t stored_length;
  std::uint16_t offset;
};

// From the type table (stored length) and the record size rule (offsets from
// 9, + stored length + 1 each, auto-increment at 5 taking no room).
const ExpectedField kExpected[] = {
    {21, 9},    {4, 31},   {8, 36},   {2, 45},   {2, 48},   {4, 51},  {8, 56},  {34, 65}, {10, 100},
    {4, 111},   {8, 116},  {2, 125},  {16, 128}, {8, 145},  {4, 5},   {8, 154}, {8, 163},
};
constexpr std::uint16_t kExpectedRecordSize = 172;

TDataFileCreation SampleCreation() {
  TDataFileCreation creation;
  creation.language_id = 0x0429;
  creation.sort_id = 0;
  creation.blob_block_size = 1024;
  creation.description = "Contacts";
  creation.user_major_version = 1;
  creation.user_minor_version = 0;
  return creation;
}

TEST(DataFileHeaderLayoutTest, NewHeaderBytesMatchTheOffsetTable) {
  auto descriptors = MakeDescriptors(EveryTypeFields());
  const TDataFileHeader header = TDataFileHeader::Create(SampleCreation(), descriptors, "T");

  std::array<std::uint8_t, 127> expected{};
  Put(expected, 4, 1024, 4);    // BLOB block size
  expected[8] = 5;              // version
  Put(expected, 13, 1, 4);      // next record number
  Put(expected, 21, kExpectedRecordSize, 2);
  Put(expected, 23, 17, 2);     // field count
  Put(expected, 25, 2, 2);      // BLOB fields: Photo and Notes
  PutShort(expected, 35, "Contacts");
  Put(expected, 103, 0x0429, 2);
  Put(expected, 107, 1, 2);     // user major version
  expected[111] = 1;            // modified marker
  ASSERT_EQ(header.Image().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(header.Image()[i], expected[i]) << "offset " << i;
}

TEST(DataFileHeaderLayoutTest, DescriptorsGetStoredLengthsAndRunningOffsets) {
  auto descriptors = MakeDescriptors(EveryTypeFields());
  // Values a caller might leave behind; creation derives its own.
  descriptors[0].MutableImage()[88] = 99;
  descriptors[1].SetFieldOffset(777);
  TDataFileHeader::Create(SampleCreation(), descriptors, "T");

  ASSERT_EQ(descriptors.size(), std::size(kExpected));
  for (std::size_t i = 0; i < descriptors.size(); ++i) {
    const testing::FieldDef& def = EveryTypeFields()[i];
    std::array<std::uint8_t, 768> expected{};
    Put(expected, 0, i + 1, 2);
    PutShort(expected, 2, def.name);
    expected[84] = def.type;
    expected[85] = def.subtype;
    expected[86] = def.size;
    expected[87] = def.decimals;
    expected[88] = kExpected[i].stored_length;
    expected[89] = def.decimals;
    Put(expected, 90, kExpected[i].offset, 2);
    const auto image = descriptors[i].Image();
    for (std::size_t b = 0; b < expected.size(); ++b) {
      ASSERT_EQ(image[b], expected[b]) << "field " << i + 1 << " offset " << b;
    }
  }
}

TEST(DataFileHeaderLayoutTest, WriteStampsCounterTimeAndEngineVersion) {
  auto descriptors = MakeDescriptors(EveryTypeFields());
  TDataFileHeader header = TDataFileHeader::Create(SampleCreation(), descriptors, "T");
  const double now = 46000.75;  // 2025-12-09 18:00 as days since 1899-12-30
  header.PrepareWrite(now);

  const auto image = header.Image();
  EXPECT_EQ(image[0], 1);  // change counter 0 -> 1
  double stamp = 0;
  std::memcpy(&stamp, image.data() + 27, 8);
  EXPECT_DOUBLE_EQ(stamp, now - 693594);
  EXPECT_LT(stamp, 0);
  const std::uint8_t version_bytes[8] = {0x90, 0x7E, 0, 0, 0, 0, 0, 0};  // 32400
  EXPECT_EQ(std::memcmp(image.data() + 116, version_bytes, 8), 0);
  EXPECT_TRUE(header.Modified()) << "the marker goes to the file with the image";
  header.ClearModified();
  EXPECT_EQ(image[111], 0);
  EXPECT_EQ(header.EngineVersion(), kEngineVersion);
}

TEST(DataFileHeaderLayoutTest, EncryptedTableScramblesPasswordAndDescriptionCharactersOnly) {
  TDataFileCreation creation = SampleCreation();
  creation.encrypted = true;
  creation.password = "secret";
  creation.description = "Private book";
  std::vector<TFieldDescriptor> descriptors = MakeDescriptors({{"A", kTypeInteger, 0, 0, 0}});
  const TDataFileHeader header = TDataFileHeader::Create(creation, descriptors, "T");
  const auto image = header.Image();

  EXPECT_EQ(image[86], 1);
  EXPECT_EQ(image[87], 6) << "the password length byte is readable without the key";
  EXPECT_EQ(image[35], 12);
  std::uint8_t a = kTextKey.a;
  std::uint8_t b = kTextKey.b;
  for (std::size_t i = 0; i < 6; ++i, ++a, --b) {
    EXPECT_EQ(image[88 + i], static_cast<std::uint8_t>("secret"[i] ^ a ^ b)) << i;
  }
  EXPECT_EQ(header.Password(), "secret");
  EXPECT_EQ(header.Description(), "Private book");
}

TEST(DataFileHeaderLayoutTest, PlainTableKeepsPasswordFieldZero) {
  TDataFileCreation creation = SampleCreation();
  creation.password = "ignored";
  std::vector<TFieldDescriptor> descriptors = MakeDescriptors({{"A", kTypeInteger, 0, 0, 0}});
  const TDataFileHeader header = TDataFileHeader::Create(creation, descriptors, "T");
  for (std::size_t i = 87; i < 103; ++i) EXPECT_EQ(header.Image()[i], 0) << i;
  EXPECT_EQ(header.Password(), "");
  EXPECT_EQ(header.Description(), "Contacts");
}

TEST(DataFileHeaderLayoutTest, LongPasswordAndDescriptionAreCut) {
  TDataFileCreation creation = SampleCreation();
  creation.encrypted = true;
  creation.password = std::string(20, 'p');
  creation.description = std::string(60, 'd');
  std::vector<TFieldDescriptor> descriptors = MakeDescriptors({{"A", kTypeInteger, 0, 0, 0}});
  const TDataFileHeader header = TDataFileHeader::Create(creation, descriptors, "T");
  EXPECT_EQ(header.Password(), std::string(15, 'p'));
  EXPECT_EQ(header.Description(), std::string(50, 'd'));
}

TEST(DataFileHeaderLayoutTest, CreationLimitsRaiseTheirCodes) {
  using testing::FieldDef;
  const auto create = [](std::vector<FieldDef> defs, std::uint16_t block_size = 512) {
    return [defs, block_size] {
      auto descriptors = MakeDescriptors(defs);
      TDataFileCreation creation;
      creation.blob_block_size = block_size;
      TDataFileHeader::Create(creation, descriptors, "T");
    };
  };
  std::vector<FieldDef> blobs_128(128, FieldDef{"B", kTypeBlob, 0, 0, 0});
  std::vector<FieldDef> blobs_129(129, FieldDef{"B", kTypeBlob, 0, 0, 0});
  // 260 strings of 250 characters: 9 + 260 × 252 = 65,529 fits; a Float
  // more (+9) gives 65,538, which does not.
  std::vector<FieldDef> near_limit(260, FieldDef{"S", kTypeString, 0, 250, 0});
  std::vector<FieldDef> over_limit = near_limit;
  over_limit.push_back({"F", kTypeFloat, 0, 0, 0});
  std::vector<FieldDef> too_many(1025, FieldDef{"I", kTypeInteger, 0, 0, 0});

  const struct {
    const char* what;
    std::function<void()> run;
    int code;
  } cases[] = {
      {"128 BLOB fields", create(blobs_128), 0},
      {"129 BLOB fields", create(blobs_129), 9498},
      {"block size 63", create({{"A", kTypeInteger, 0, 0, 0}}, 63), 9498},
      {"block size 64", create({{"A", kTypeInteger, 0, 0, 0}}, 64), 0},
      {"record of 65,529 bytes", create(near_limit), 0},
      {"record of 65,538 bytes", create(over_limit), 9477},
      {"1,025 fields", create(too_many), 9492},
      {"unknown type 19", create({{"A", 19, 0, 0, 0}}), 10000},
  };
  for (const auto& c : cases) EXPECT_EQ(testing::ErrorCodeOf(c.run), c.code) << c.what;
}

TEST(DataFileHeaderLayoutTest, ComputedFieldsTakeNoRoomAtCreation) {
  auto descriptors = MakeDescriptors({{"A", kTypeInteger, 0, 0, 0}, {"C", kTypeFloat, 0, 0, 0},
                                      {"B", kTypeSmallInt, 0, 0, 0}});
  descriptors[1].SetComputed(true);
  const TDataFileHeader header = TDataFileHeader::Create(TDataFileCreation{}, descriptors, "T");
  EXPECT_EQ(descriptors[0].FieldOffset(), 9);
  EXPECT_EQ(descriptors[1].FieldOffset(), 0);
  EXPECT_EQ(descriptors[2].FieldOffset(), 14);
  EXPECT_EQ(header.RecordSize(), 9 + 5 + 3);
}

TEST(DataFileHeaderLayoutTest, StoredBlockSizeZeroMeans512AndHighBitsAreIgnored) {
  TDataFileHeader header;
  const struct {
    std::uint32_t stored;
    std::uint16_t effective;
  } cases[] = {{0, 512}, {64, 64}, {65535, 65535}, {0x10000, 512}, {0x10400, 1024}};
  for (const auto& c : cases) {
    for (int i = 0; i < 4; ++i) header.MutableImage()[4 + i] = static_cast<std::uint8_t>(c.stored >> (8 * i));
    EXPECT_EQ(header.BlobBlockSize(), c.effective) << c.stored;
  }
}

}  // namespace
}  // namespace telvora::storage
