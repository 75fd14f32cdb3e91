// The open checks of the three table files, as mutations of one sound table
// each giving its error code.

#include "storage/header_checks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "sample_tables.h"
#include "storage_error_code.h"

namespace telvora::storage {
namespace {

using testing::ErrorCodeOf;

void Set16(std::span<std::uint8_t> image, std::size_t offset, std::uint16_t value) {
  image[offset] = static_cast<std::uint8_t>(value);
  image[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Set32(std::span<std::uint8_t> image, std::size_t offset, std::int32_t value) {
  for (int i = 0; i < 4; ++i) image[offset + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
}

constexpr std::uint16_t kPersian = 0x0429;

TIndexDescriptor MakeIndex(const std::string& name, std::vector<std::uint16_t> fields, std::int16_t key_length,
                           bool unique, std::int32_t root) {
  TIndexDescriptor index;
  index.SetName(name);
  index.SetKeyLength(key_length);
  index.SetUnique(unique);
  index.SetKeyFieldCount(static_cast<std::uint8_t>(fields.size()));
  for (std::size_t i = 0; i < fields.size(); ++i) index.SetKeyFieldNumber(static_cast<int>(i), fields[i]);
  index.SetRootPage(root);
  return index;
}

// The every-type table with three record slots (slot 2 deleted, chain head
// 2), a primary index on Name, secondaries on Count and on Amount + Id, a
// text index on Name and Notes, and a BLOB file of five blocks.
struct SoundTable {
  TDataFileHeader header;
  std::vector<TFieldDescriptor> descriptors;
  std::uint64_t file_length = 0;
  LocaleInstalledTest locale_installed = [](std::uint16_t language, std::uint16_t sort) {
    return language == kPersian && sort == 0;
  };
  TIndexFileHeader index = TIndexFileHeader::New();
  TBlobFileHeader blob = TBlobFileHeader::New();

  SoundTable() {
    descriptors = testing::MakeDescriptors(testing::EveryTypeFields());
    TDataFileCreation creation;
    creation.language_id = kPersian;
    header = TDataFileHeader::Create(creation, descriptors, "T");
    header.SetNextRecordNumber(4);
    header.SetDeletedChainHead(2);
    file_length = 127 + 768 * 17 + 3 * 172;

    index.SetNextPageNumber(6);
    // Name: String of 20 -> 21 + 1 = 22, unique.
    index.SetDescriptor(kPrimaryIndexSlot, MakeIndex("", {1}, 22, true, 1));
    // Count: Integer 4 + 1, plus the record-id suffix 4.
    index.SetDescriptor(1, MakeIndex("ByCount", {6}, 9, false, 2));
    // Amount (BCD keys as 8) + 1, Id (auto-increment, 4) + 1, suffix 4.
    index.SetDescriptor(2, MakeIndex("ByAmount", {8, 15}, 18, false, 3));
    index.SetSecondaryIndexCount(2);
    TIndexDescriptor text = index.Descriptor(kTextIndexSlot);
    text.SetKeyFieldCount(2);
    text.SetKeyFieldNumber(0, 1);
    text.SetKeyFieldNumber(1, 17);
    text.SetRootPage(4);
    text.SetDataPage(5);
    index.SetDescriptor(kTextIndexSlot, text);

    blob.SetNextBlockNumber(6);
    blob.SetFreeChainHead(3);
  }

  std::span<std::uint8_t> Field(int number) { return descriptors[number - 1].MutableImage(); }
  std::span<std::uint8_t> IndexSlot(int slot) {
    return index.MutableImage().subspan(14 + 120 * static_cast<std::size_t>(slot), 120);
  }

  // The checks the first cursor runs, in their order.
  void CheckAll() {
    CheckDataFile(header, descriptors, file_length, locale_installed, "T");
    CheckIndexFile(index, descriptors, "T");
    CheckBlobFile(blob, "T");
  }
};

TEST(HeaderChecksTest, SoundTablePasses) {
  SoundTable table;
  EXPECT_EQ(ErrorCodeOf([&] { table.CheckAll(); }), 0);
}

TEST(HeaderChecksTest, NewTableWithoutRecordsPasses) {
  auto descriptors = testing::MakeDescriptors(testing::EveryTypeFields());
  const TDataFileHeader header = TDataFileHeader::Create(TDataFileCreation{}, descriptors, "T");
  const auto no_locale = [](std::uint16_t, std::uint16_t) { return false; };
  EXPECT_EQ(ErrorCodeOf([&] { CheckDataFile(header, descriptors, 127 + 768 * 17, no_locale, "T"); }), 0);
  TIndexFileHeader index = TIndexFileHeader::New();
  index.SetPrimaryIndexUnavailable(true);
  EXPECT_EQ(ErrorCodeOf([&] { CheckIndexFile(index, descriptors, "T"); }), 0);
  EXPECT_EQ(ErrorCodeOf([&] { CheckBlobFile(TBlobFileHeader::New(), "T"); }), 0);
}

struct Mutation {
  const char* what;
  std::function<void(SoundTable&)> apply;
  int code;
};

void RunMutations(const std::vector<Mutation>& mutations) {
  for (const Mutation& m : mutations) {
    SoundTable table;
    m.apply(table);
    EXPECT_EQ(ErrorCodeOf([&] { table.CheckAll(); }), m.code) << m.what;
  }
}

TEST(HeaderChecksTest, CorruptDataFileHeadersGiveTheirCodes) {
  RunMutations({
      {"version 4", [](SoundTable& t) { t.header.MutableImage()[8] = 4; }, 12035},
      {"locale not installed", [](SoundTable& t) { Set16(t.header.MutableImage(), 105, 2); }, 15878},
      {"language 0 needs no locale",
       [](SoundTable& t) {
         Set16(t.header.MutableImage(), 103, 0);
         t.locale_installed = [](std::uint16_t, std::uint16_t) { return false; };
       },
       0},
      {"field count 1025", [](SoundTable& t) { Set16(t.header.MutableImage(), 23, 1025); }, 8961},
      {"file one byte too long", [](SoundTable& t) { t.file_length += 1; }, 8961},
      {"file one record too long", [](SoundTable& t) { t.file_length += 172; }, 8961},
      {"file one byte too short", [](SoundTable& t) { t.file_length -= 1; }, 8961},
      {"next record number off by one", [](SoundTable& t) { Set32(t.header.MutableImage(), 13, 5); }, 8961},
      {"chain head beyond the slots", [](SoundTable& t) { Set32(t.header.MutableImage(), 9, 4); }, 8961},
      {"chain head at the last slot", [](SoundTable& t) { Set32(t.header.MutableImage(), 9, 3); }, 0},
      {"negative chain head", [](SoundTable& t) { Set32(t.header.MutableImage(), 9, -1); }, 8961},
      {"record size one more", [](SoundTable& t) { Set16(t.header.MutableImage(), 21, 173); }, 8961},
      {"BLOB field count disagrees", [](SoundTable& t) { Set16(t.header.MutableImage(), 25, 1); }, 8961},
  });
}

TEST(HeaderChecksTest, CorruptFieldDescriptorsGiveHeaderCorrupt) {
  RunMutations({
      {"bad field offset", [](SoundTable& t) { Set16(t.Field(3), 90, 37); }, 8961},
      {"auto-increment not at 5", [](SoundTable& t) { Set16(t.Field(15), 90, 163); }, 8961},
      {"field number not its position", [](SoundTable& t) { Set16(t.Field(2), 0, 3); }, 8961},
      {"empty name", [](SoundTable& t) { t.Field(4)[2] = 0; }, 8961},
      {"name length byte 31", [](SoundTable& t) { t.Field(4)[2] = 31; }, 8961},
      {"name starting with a digit", [](SoundTable& t) { t.Field(4)[3] = '1'; }, 8961},
      {"name starting with a blank", [](SoundTable& t) { t.Field(4)[3] = ' '; }, 8961},
      {"name starting with byte 255", [](SoundTable& t) { t.Field(4)[3] = 255; }, 8961},
      {"name starting with byte 200", [](SoundTable& t) { t.Field(4)[3] = 200; }, 0},
      {"name starting with underscore", [](SoundTable& t) { t.Field(4)[3] = '_'; }, 0},
      {"duplicate name in other case",
       [](SoundTable& t) { t.descriptors[5].SetName("NAME"); }, 8961},
      {"type 0", [](SoundTable& t) { t.Field(5)[84] = 0; }, 8961},
      {"type 19", [](SoundTable& t) { t.Field(5)[84] = 19; }, 8961},
      {"string size 251", [](SoundTable& t) { t.Field(1)[86] = 251; }, 8961},
      {"integer with a size", [](SoundTable& t) { t.Field(6)[86] = 4; }, 8961},
      {"decimals on a float", [](SoundTable& t) { t.Field(7)[87] = 2; }, 8961},
      {"bad date default", [](SoundTable& t) { t.descriptors[1].SetDefaultText("2024-13-01"); }, 8961},
      {"good date default", [](SoundTable& t) { t.descriptors[1].SetDefaultText("2024-12-01"); }, 0},
      {"smallint maximum out of range", [](SoundTable& t) { t.descriptors[4].SetMaximumText("32768"); }, 8961},
      {"wrong stored length is derived again", [](SoundTable& t) { t.Field(1)[88] = 99; }, 0},
  });
}

TEST(HeaderChecksTest, CorruptIndexHeadersGiveTheirCodes) {
  RunMutations({
      {"version 4", [](SoundTable& t) { t.index.MutableImage()[8] = 4; }, 12035},
      {"primary index with a name",
       [](SoundTable& t) {
         auto primary = t.index.Descriptor(0);
         primary.SetName("Primary");
         t.index.SetDescriptor(0, primary);
       },
       8961},
      {"primary index not unique", [](SoundTable& t) { t.IndexSlot(0)[35] = 0; }, 8961},
      {"primary index unavailable", [](SoundTable& t) { t.index.SetPrimaryIndexUnavailable(true); }, 0},
      {"primary unavailable, not unique, unknown field",
       [](SoundTable& t) {
         t.index.MutableImage()[3978] = 1;
         t.IndexSlot(0)[35] = 0;
         Set16(t.IndexSlot(0), 54, 99);
       },
       0},
      {"zero then non-zero key field", [](SoundTable& t) { Set16(t.IndexSlot(2), 54 + 2 * 3, 6); }, 8961},
      {"key field naming no field", [](SoundTable& t) { Set16(t.IndexSlot(1), 54, 18); }, 8961},
      {"key field naming a BLOB", [](SoundTable& t) { Set16(t.IndexSlot(1), 54, 3); }, 8961},
      {"17 key fields", [](SoundTable& t) { t.IndexSlot(1)[37] = 17; }, 8961},
      {"key field count disagrees with the list", [](SoundTable& t) { t.IndexSlot(1)[37] = 2; }, 8961},
      {"key length disagrees with the fields", [](SoundTable& t) { Set16(t.IndexSlot(1), 31, 5); }, 8961},
      {"secondary without fields",
       [](SoundTable& t) { t.index.SetDescriptor(1, MakeIndex("ByCount", {}, 4, false, 2)); }, 8961},
      {"secondary name starting with a digit", [](SoundTable& t) { t.IndexSlot(1)[1] = '9'; }, 8961},
      {"duplicate secondary names",
       [](SoundTable& t) {
         auto second = t.index.Descriptor(2);
         second.SetName(" bycount ");
         t.index.SetDescriptor(2, second);
       },
       8961},
      {"root page at the next page number", [](SoundTable& t) { Set32(t.IndexSlot(1), 86, 6); }, 8961},
      {"negative free chain head", [](SoundTable& t) { Set32(t.IndexSlot(2), 90, -1); }, 8961},
      {"stop-word page out of range", [](SoundTable& t) { Set32(t.IndexSlot(0), 96, 7); }, 8961},
      {"page references with next page 1", [](SoundTable& t) { t.index.SetNextPageNumber(1); }, 8961},
      {"smallest next page number", [](SoundTable& t) { t.index.SetNextPageNumber(INT32_MIN); }, 8961},
      {"text index on an integer", [](SoundTable& t) { Set16(t.IndexSlot(32), 54, 6); }, 8961},
      {"text index on a plain BLOB", [](SoundTable& t) { Set16(t.IndexSlot(32), 54, 3); }, 8961},
      {"text index with a gap", [](SoundTable& t) { Set16(t.IndexSlot(32), 54 + 2 * 5, 1); }, 8961},
      {"text index data page out of range", [](SoundTable& t) { Set32(t.IndexSlot(32), 96, 6); }, 8961},
      {"secondary count reaching the reserved slots",
       [](SoundTable& t) { t.index.MutableImage()[13] = 31; }, 8961},
  });
}

TEST(HeaderChecksTest, KeySizeAbove522IsCorrupt) {
  // Strings of 250 characters key as 251 + 1 = 252 bytes each.
  auto descriptors = testing::MakeDescriptors({{"A", kTypeString, 0, 250, 0},
                                               {"B", kTypeString, 0, 250, 0},
                                               {"C", kTypeString, 0, 16, 0}});
  TDataFileHeader::Create(TDataFileCreation{}, descriptors, "T");
  const struct {
    std::vector<std::uint16_t> fields;
    std::int16_t key_length;
    int code;
  } cases[] = {
      {{1, 2, 3}, 252 + 252 + 18, 0},        // 522
      {{1, 2, 3, 3}, 252 + 252 + 36, 8961},  // 540
  };
  for (const auto& c : cases) {
    TIndexFileHeader index = TIndexFileHeader::New();
    index.SetDescriptor(0, MakeIndex("", c.fields, c.key_length, true, 0));
    EXPECT_EQ(ErrorCodeOf([&] { CheckIndexFile(index, descriptors, "T"); }), c.code) << c.key_length;
  }
}

TEST(HeaderChecksTest, CorruptBlobHeadersGiveTheirCodes) {
  RunMutations({
      {"version 4", [](SoundTable& t) { t.blob.MutableImage()[8] = 4; }, 12035},
      {"next block 1 with free head 5",
       [](SoundTable& t) {
         t.blob.SetNextBlockNumber(1);
         t.blob.SetFreeChainHead(5);
       },
       8961},
      {"free head at the next block number", [](SoundTable& t) { t.blob.SetFreeChainHead(6); }, 8961},
      {"free head at the last block", [](SoundTable& t) { t.blob.SetFreeChainHead(5); }, 0},
      {"free head with a negative next block",
       [](SoundTable& t) { t.blob.SetNextBlockNumber(INT32_MIN); }, 8961},
  });
}

TEST(HeaderChecksTest, OpeningChecksOnlyTheCounts) {
  TDataFileHeader header;
  Set16(header.MutableImage(), 23, 1024);
  EXPECT_EQ(ErrorCodeOf([&] { CheckFieldCountOnOpen(header, "T"); }), 0);
  Set16(header.MutableImage(), 23, 1025);
  EXPECT_EQ(ErrorCodeOf([&] { CheckFieldCountOnOpen(header, "T"); }), 8961);

  TIndexFileHeader index;
  index.MutableImage()[13] = 32;
  EXPECT_EQ(ErrorCodeOf([&] { CheckSecondaryCountOnOpen(index, "T"); }), 0);
  index.MutableImage()[13] = 33;
  EXPECT_EQ(ErrorCodeOf([&] { CheckSecondaryCountOnOpen(index, "T"); }), 8961);
}

TEST(HeaderChecksTest, TheCheckDerivesStoredLengthsAndDecimalsCopies) {
  SoundTable table;
  table.Field(8)[88] = 3;
  table.Field(8)[89] = 0;
  table.CheckAll();
  EXPECT_EQ(table.descriptors[7].StoredLength(), 34);
  EXPECT_EQ(table.descriptors[7].DecimalsCopy(), 2);
}

}  // namespace
}  // namespace telvora::storage
