// The bytes of a table created through TDataTable with one field of every
// storable type: the data file header, the field descriptors, the new index
// and BLOB file headers, and a record holding a value of every type, each
// compared with bytes written out by hand from the format tables. Both
// states of the table pass the independent table checker.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "file_handler_support.h"
#include "open_table_support.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::storage {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::vector<testing::FieldDef>& LayoutFields() {
  static const std::vector<testing::FieldDef> defs = {
      {"Name", kTypeString, 0, 20, 0},              // 1  offset 9, stored 21
      {"Born", kTypeDate, 0, 0, 0},                 // 2  31, 4
      {"Photo", kTypeBlob, 0, 0, 0},                // 3  36, 8
      {"Active", kTypeBoolean, 0, 0, 0},            // 4  45, 2
      {"Small", kTypeSmallInt, 0, 0, 0},            // 5  48, 2
      {"Count", kTypeInteger, 0, 0, 0},             // 6  51, 4
      {"Ratio", kTypeFloat, 0, 0, 0},               // 7  56, 8
      {"Amount", kTypeBcd, 0, 0, 2},                // 8  65, 34
      {"Raw", kTypeBytes, 0, 10, 0},                // 9  100, 10
      {"At", kTypeTime, 0, 0, 0},                   // 10 111, 4
      {"Stamp", kTypeTimeStamp, 0, 0, 0},           // 11 116, 8
      {"Flags", kTypeWord, 0, 0, 0},                // 12 125, 2
      {"Var", kTypeVarBytes, 0, 16, 0},             // 13 128, 16
      {"Big", kTypeLargeInt, 0, 0, 0},              // 14 145, 8
      {"Id", kTypeInteger, kSubtypeAutoInc, 0, 0},  // 15 5 (record header), 4
      {"Price", kTypeFloat, kSubtypeMoney, 0, 0},   // 16 154, 8
      {"Notes", kTypeBlob, kSubtypeMemo, 0, 0},     // 17 163, 8
      {"Four", kTypeFourBytes, 0, 0, 0},            // 18 172, 4
      {"Ten", kTypeTenBytes, 0, 0, 0},              // 19 177, 10
  };
  return defs;
}

// Expected per field: type, subtype, declared size, decimals, stored length,
// offset.
struct ExpectedField {
  std::uint8_t type, subtype, size, decimals, stored;
  std::uint16_t offset;
};
const ExpectedField kExpectedFields[] = {
    {1, 0, 20, 0, 21, 9},   {2, 0, 0, 0, 4, 31},    {3, 0, 0, 0, 8, 36},    {4, 0, 0, 0, 2, 45},
    {5, 0, 0, 0, 2, 48},    {6, 0, 0, 0, 4, 51},    {7, 0, 0, 0, 8, 56},    {8, 0, 0, 2, 34, 65},
    {9, 0, 10, 0, 10, 100}, {10, 0, 0, 0, 4, 111},  {11, 0, 0, 0, 8, 116},  {12, 0, 0, 0, 2, 125},
    {15, 0, 16, 0, 16, 128}, {18, 0, 0, 0, 8, 145}, {6, 29, 0, 0, 4, 5},    {7, 21, 0, 0, 8, 154},
    {3, 22, 0, 0, 8, 163},  {13, 0, 0, 0, 4, 172},  {14, 0, 0, 0, 10, 177},
};
constexpr std::size_t kFieldCount = 19;
constexpr std::size_t kRecordSize = 188;
constexpr std::size_t kDescriptorsEnd = 127 + 768 * kFieldCount;

Bytes FileBytes(const std::string& path) {
  const std::string text = test::ReadFileBytes(path);
  return Bytes(text.begin(), text.end());
}

void PutLe(Bytes& bytes, std::size_t at, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t GetLe(const Bytes& bytes, std::size_t at, int width) {
  std::uint64_t value = 0;
  for (int i = 0; i < width; ++i) value |= std::uint64_t{bytes[at + i]} << (8 * i);
  return value;
}

class CreatedTableLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TDataFileCreation creation;
    creation.description = "Layout";
    testing::CreateTable(dir_.path(), "Layout", LayoutFields(), creation);
  }

  std::string Path(const char* extension) const { return (dir_ / ("Layout" + std::string(extension))).string(); }

  telvora::testing::TempDir dir_;
};

TEST_F(CreatedTableLayoutTest, DataFileHeaderAndDescriptors) {
  const Bytes data = FileBytes(Path(".DAT"));
  ASSERT_EQ(data.size(), kDescriptorsEnd);  // no record slots yet

  Bytes header(127, 0);
  PutLe(header, 0, 1, 4);          // change counter: written once
  PutLe(header, 4, 512, 4);        // BLOB block size
  header[8] = 5;                   // version
  PutLe(header, 13, 1, 4);         // next record number
  PutLe(header, 21, kRecordSize, 2);
  PutLe(header, 23, kFieldCount, 2);
  PutLe(header, 25, 2, 2);         // two BLOB fields
  header[35] = 6;                  // description "Layout"
  std::memcpy(&header[36], "Layout", 6);
  PutLe(header, 107, 1, 2);        // user major version
  header[111] = 1;                 // written with the modified marker set
  PutLe(header, 116, 32400, 8);    // engine version
  // Everything but the stamp is fixed; the stamp is today, and negative.
  Bytes actual(data.begin(), data.begin() + 127);
  const double stamp = std::bit_cast<double>(GetLe(actual, 27, 8));
  EXPECT_LT(stamp, -600000.0);
  EXPECT_GT(stamp, -700000.0);
  std::memset(&actual[27], 0, 8);
  EXPECT_EQ(actual, header);

  for (std::size_t i = 0; i < kFieldCount; ++i) {
    SCOPED_TRACE("field " + std::to_string(i + 1));
    const std::size_t at = 127 + 768 * i;
    const ExpectedField& f = kExpectedFields[i];
    Bytes expected(768, 0);
    PutLe(expected, 0, i + 1, 2);
    const std::string name = LayoutFields()[i].name;
    expected[2] = static_cast<std::uint8_t>(name.size());
    std::memcpy(&expected[3], name.data(), name.size());
    expected[84] = f.type;
    expected[85] = f.subtype;
    expected[86] = f.size;
    expected[87] = f.decimals;
    expected[88] = f.stored;
    expected[89] = f.decimals;
    PutLe(expected, 90, f.offset, 2);
    EXPECT_EQ(Bytes(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + 768)),
              expected);
  }
  EXPECT_TABLE_SOUND(dir_ / "Layout");
}

TEST_F(CreatedTableLayoutTest, NewIndexAndBlobFileHeaders) {
  const Bytes index = FileBytes(Path(".IDX"));
  ASSERT_EQ(index.size(), 4096u);
  Bytes expected(4096, 0);
  PutLe(expected, 0, 1, 4);  // written once
  expected[8] = 5;
  PutLe(expected, 9, 1, 4);  // next page
  // No primary key fields: the primary index is unavailable from the start.
  expected[3978] = 1;
  expected[3979] = 1;  // written with the marker set
  const std::size_t sys_deleted = 14 + 120 * 31;
  expected[sys_deleted] = 11;
  std::memcpy(&expected[sys_deleted + 1], "Sys Deleted", 11);
  PutLe(expected, sys_deleted + 31, 5, 2);
  const std::size_t sys_text = 14 + 120 * 32;
  expected[sys_text] = 8;
  std::memcpy(&expected[sys_text + 1], "Sys Text", 8);
  PutLe(expected, sys_text + 31, 68, 2);
  expected[sys_text + 36] = 3;
  EXPECT_EQ(index, expected);

  const Bytes blob = FileBytes(Path(".BLB"));
  Bytes expected_blob(512, 0);
  PutLe(expected_blob, 0, 1, 4);
  expected_blob[8] = 5;
  PutLe(expected_blob, 13, 1, 4);
  expected_blob[17] = 1;
  EXPECT_EQ(blob, expected_blob);
}

TEST_F(CreatedTableLayoutTest, RecordWithAValueOfEveryType) {
  {
    auto table = testing::OpenTable(dir_.path(), "Layout");
    table->WriteLock();
    const std::vector<TFieldLayout> f = testing::Layouts(*table);
    const CaseMapping no_case;
    const std::int32_t n = testing::InsertRecord(*table, [&](TRecordImage& r) {
      r.SetString(f[0], "Ann  ", no_case);
      r.SetDate(f[1], 730120);
      r.SetBoolean(f[3], 5);
      r.SetSmallInt(f[4], -2);
      r.SetInteger(f[5], 0x01020304);
      r.SetFloat(f[6], 1.5);
      BcdRecord bcd{};
      bcd[0] = 4;     // precision
      bcd[1] = 2;     // places, positive
      bcd[2] = 0x12;  // 12.34
      bcd[3] = 0x34;
      r.SetBcd(f[7], bcd);
      const std::uint8_t raw[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
      r.SetValueBytes(f[8], raw);
      r.SetTime(f[9], 3600000);
      r.SetTimeStamp(f[10], 730120.0 * 86400000.0);
      r.SetWord(f[11], 0xBEEF);
      const std::uint8_t var[3] = {0xAA, 0xBB, 0xCC};
      r.SetValueBytes(f[12], var);
      r.SetLargeInt(f[13], -1);
      r.SetFloat(f[15], 2.25);
      const std::uint8_t four[4] = {0xDE, 0xAD, 0xBE, 0xEF};
      r.SetValueBytes(f[17], four);
      const std::uint8_t ten[10] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
      r.SetValueBytes(f[18], ten);
    });
    EXPECT_EQ(n, 1);
    testing::WriteRecordIdIndex(*table);
    table->Flush({.force_data_header = true, .force_index_header = true});
    table->WriteUnlock();
    table->CloseFiles();
  }
  const Bytes data = FileBytes(Path(".DAT"));
  ASSERT_EQ(data.size(), kDescriptorsEnd + kRecordSize);
  Bytes r(kRecordSize, 0);
  PutLe(r, 1, 1, 4);  // its own number
  PutLe(r, 5, 1, 4);  // record id 1
  r[9] = 1;
  std::memcpy(&r[10], "Ann", 3);  // trailing blanks gone, terminator follows
  r[31] = 1;
  PutLe(r, 32, 730120, 4);
  r[45] = 1;
  PutLe(r, 46, 1, 2);  // Boolean 5 is stored as 1
  r[48] = 1;
  PutLe(r, 49, 0xFFFE, 2);
  r[51] = 1;
  PutLe(r, 52, 0x01020304, 4);
  r[56] = 1;
  PutLe(r, 57, 0x3FF8000000000000, 8);  // 1.5
  r[65] = 1;
  r[66] = 4;
  r[67] = 2;
  r[68] = 0x12;
  r[69] = 0x34;
  r[100] = 1;
  for (int i = 0; i < 10; ++i) r[101 + i] = static_cast<std::uint8_t>(i);
  r[111] = 1;
  PutLe(r, 112, 3600000, 4);
  r[116] = 1;
  PutLe(r, 117, std::bit_cast<std::uint64_t>(730120.0 * 86400000.0), 8);
  r[125] = 1;
  PutLe(r, 126, 0xBEEF, 2);
  r[128] = 1;
  r[129] = 0xAA;
  r[130] = 0xBB;
  r[131] = 0xCC;
  r[145] = 1;
  PutLe(r, 146, ~std::uint64_t{0}, 8);
  r[154] = 1;
  PutLe(r, 155, 0x4002000000000000, 8);  // 2.25
  r[172] = 1;
  PutLe(r, 173, 0xEFBEADDE, 4);
  r[177] = 1;
  for (int i = 0; i < 10; ++i) r[178 + i] = static_cast<std::uint8_t>(9 - i);
  EXPECT_EQ(Bytes(data.begin() + kDescriptorsEnd, data.end()), r);
  // Header: one record slot, last auto-increment 1, written twice.
  EXPECT_EQ(GetLe(data, 0, 4), 2u);
  EXPECT_EQ(GetLe(data, 13, 4), 2u);
  EXPECT_EQ(GetLe(data, 17, 4), 1u);
  const Bytes index = FileBytes(Path(".IDX"));
  EXPECT_EQ(GetLe(index, 3974, 4), 1u);  // one active record
  EXPECT_TABLE_SOUND(dir_ / "Layout");
}

}  // namespace
}  // namespace telvora::storage
