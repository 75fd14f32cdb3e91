// Keys built from record images, case by case from the key format: flag
// byte, big-endian and sign-inverted numbers, doubles, BCD as
// ten-thousandths, zero-filled strings, upper-casing, inverted descending
// fields of byte-order tables, and the record-id suffix.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "sample_tables.h"
#include "storage/data_file_header.h"
#include "storage/index_key.h"

namespace telvora::storage {
namespace {

using testing::EveryTypeFields;
using testing::MakeDescriptors;

// Field numbers of EveryTypeFields().
enum Field : std::uint16_t {
  kName = 1, kBorn = 2, kPhoto = 3, kActive = 4, kSmall = 5, kCount = 6, kRatio = 7, kAmount = 8,
  kRaw = 9, kAt = 10, kStamp = 11, kFlags = 12, kVar = 13, kBig = 14, kId = 15, kPrice = 16,
};

std::string Hex(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (std::uint8_t b : bytes) {
    char part[4];
    std::snprintf(part, sizeof part, "%02X ", b);
    text += part;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

struct Table {
  Table() : descriptors(MakeDescriptors(EveryTypeFields())) {
    record.resize(AssignRecordLayout(descriptors));
  }
  TFieldLayout Layout(std::uint16_t number) const { return TFieldLayout::Of(descriptors[number - 1u]); }
  TRecordImage Image() { return TRecordImage(record); }

  std::vector<TFieldDescriptor> descriptors;
  std::vector<std::uint8_t> record;
};

struct Options {
  bool unique = true;
  bool index_descending = false;
  bool field_descending = false;
  bool case_insensitive = false;
  bool byte_order = true;
};

struct KeyCase {
  const char* name;
  std::uint16_t field;
  std::function<void(TRecordImage&, const TFieldLayout&)> set;  // null: the field stays null
  Options options;
  const char* expected;
};

void AsciiUpper(char* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
}

std::vector<std::uint8_t> KeyOf(Table& table, std::uint16_t field, const Options& options) {
  TIndexDescriptor index;
  index.SetName("ByField");
  index.SetUnique(options.unique);
  index.SetDescending(options.index_descending);
  index.SetCaseInsensitive(options.case_insensitive);
  index.SetKeyFieldCount(1);
  index.SetKeyFieldNumber(0, field);
  index.SetKeyFieldDescending(0, options.field_descending);
  const TIndexKeyDefinition definition =
      DefineIndexKey(index, 1, table.descriptors, options.byte_order, false, "Keys");
  TRecordImage image = table.Image();
  return BuildKey(definition, image, AsciiUpper);
}

const Options kDescendingField{.field_descending = true};

const KeyCase kKeyCases[] = {
    {"smallint_one", kSmall, [](TRecordImage& r, const TFieldLayout& f) { r.SetSmallInt(f, 1); }, {}, "01 80 01"},
    {"smallint_minus_one", kSmall, [](TRecordImage& r, const TFieldLayout& f) { r.SetSmallInt(f, -1); }, {},
     "01 7F FF"},
    {"integer", kCount, [](TRecordImage& r, const TFieldLayout& f) { r.SetInteger(f, 0x01020304); }, {},
     "01 81 02 03 04"},
    {"integer_null", kCount, nullptr, {}, "00 80 00 00 00"},
    {"date", kBorn, [](TRecordImage& r, const TFieldLayout& f) { r.SetDate(f, 693594); }, {}, "01 80 0A 95 5A"},
    {"time", kAt, [](TRecordImage& r, const TFieldLayout& f) { r.SetTime(f, 1000); }, {}, "01 80 00 03 E8"},
    {"largeint_minus_two", kBig, [](TRecordImage& r, const TFieldLayout& f) { r.SetLargeInt(f, -2); }, {},
     "01 7F FF FF FF FF FF FF FE"},
    {"word", kFlags, [](TRecordImage& r, const TFieldLayout& f) { r.SetWord(f, 0x1234); }, {}, "01 12 34"},
    {"boolean_true", kActive, [](TRecordImage& r, const TFieldLayout& f) { r.SetBoolean(f, 1); }, {}, "01 00 01"},
    {"float_one", kRatio, [](TRecordImage& r, const TFieldLayout& f) { r.SetFloat(f, 1.0); }, {},
     "01 BF F0 00 00 00 00 00 00"},
    {"float_minus_one", kRatio, [](TRecordImage& r, const TFieldLayout& f) { r.SetFloat(f, -1.0); }, {},
     "01 40 0F FF FF FF FF FF FF"},
    {"float_zero", kRatio, [](TRecordImage& r, const TFieldLayout& f) { r.SetFloat(f, 0.0); }, {},
     "01 80 00 00 00 00 00 00 00"},
    {"float_negative_zero_keys_as_zero", kRatio, [](TRecordImage& r, const TFieldLayout& f) { r.SetFloat(f, -0.0); },
     {}, "01 80 00 00 00 00 00 00 00"},
    {"money_null", kPrice, nullptr, {}, "00 80 00 00 00 00 00 00 00"},
    {"timestamp", kStamp, [](TRecordImage& r, const TFieldLayout& f) { r.SetTimeStamp(f, 2.0); }, {},
     "01 C0 00 00 00 00 00 00 00"},
    {"bcd_twelve_and_a_half", kAmount,
     [](TRecordImage& r, const TFieldLayout& f) { r.SetBcd(f, *BcdFromScaled(125000, 2)); }, {},
     "01 80 00 00 00 00 01 E8 48"},
    {"bcd_minus_one_ten_thousandth", kAmount,
     [](TRecordImage& r, const TFieldLayout& f) { r.SetBcd(f, *BcdFromScaled(-1, 4)); }, {},
     "01 7F FF FF FF FF FF FF FF"},
    {"string_zero_filled", kName, [](TRecordImage& r, const TFieldLayout& f) { r.SetString(f, "ab", {}); }, {},
     "01 61 62 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
    {"string_ends_at_terminator", kName,
     [](TRecordImage& r, const TFieldLayout& f) {
       const std::uint8_t bytes[] = {'a', 'b', 0, 'z', 'z'};
       r.SetValueBytes(f, bytes);
     },
     {}, "01 61 62 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
    {"string_upper_cased_for_case_insensitive", kName,
     [](TRecordImage& r, const TFieldLayout& f) { r.SetString(f, "ab", {}); }, {.case_insensitive = true},
     "01 41 42 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
    {"string_null", kName, nullptr, {}, "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
    {"bytes_unchanged", kRaw,
     [](TRecordImage& r, const TFieldLayout& f) {
       const std::uint8_t bytes[] = {0xFF, 0x01};
       r.SetValueBytes(f, bytes);
     },
     {}, "01 FF 01 00 00 00 00 00 00 00 00"},
    {"autoinc_is_the_record_id", kId, [](TRecordImage& r, const TFieldLayout&) { r.SetRecordId(7); }, {},
     "01 80 00 00 07"},
    // A descending field of a byte-order table is stored inverted, a
    // string's last byte excepted.
    {"descending_integer_inverted", kCount, [](TRecordImage& r, const TFieldLayout& f) { r.SetInteger(f, 5); },
     kDescendingField, "FE 7F FF FF FA"},
    {"descending_string_inverted_but_last_byte", kName,
     [](TRecordImage& r, const TFieldLayout& f) { r.SetString(f, "ab", {}); }, kDescendingField,
     "FE 9E 9D FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF 00"},
    {"descending_field_under_a_locale_stays", kCount, [](TRecordImage& r, const TFieldLayout& f) { r.SetInteger(f, 5); },
     {.field_descending = true, .byte_order = false}, "01 80 00 00 05"},
    {"descending_field_of_descending_index_stays", kCount,
     [](TRecordImage& r, const TFieldLayout& f) { r.SetInteger(f, 5); },
     {.index_descending = true, .field_descending = true}, "01 80 00 00 05"},
    // A non-unique index ends with the record id as an Integer.
    {"record_id_suffix", kSmall,
     [](TRecordImage& r, const TFieldLayout& f) {
       r.SetSmallInt(f, 1);
       r.SetRecordId(3);
     },
     {.unique = false}, "01 80 01 80 00 00 03"},
};

class IndexKeyEncodingTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(IndexKeyEncodingTest, KeyBytesFollowTheFormat) {
  const KeyCase& c = GetParam();
  Table table;
  TRecordImage image = table.Image();
  if (c.set) c.set(image, table.Layout(c.field));
  EXPECT_EQ(Hex(KeyOf(table, c.field, c.options)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Fields, IndexKeyEncodingTest, ::testing::ValuesIn(kKeyCases),
                         [](const ::testing::TestParamInfo<KeyCase>& key_case) { return std::string(key_case.param.name); });

TEST(IndexKeyOrderTest, ByteOrderOfKeysIsTheOrderOfValues) {
  // Signed values, doubles and a descending field sort by plain byte
  // comparison of their keys.
  Table table;
  auto integer_key = [&](std::int32_t value, const Options& options) {
    TRecordImage image = table.Image();
    image.SetInteger(table.Layout(kCount), value);
    return KeyOf(table, kCount, options);
  };
  auto float_key = [&](double value) {
    TRecordImage image = table.Image();
    image.SetFloat(table.Layout(kRatio), value);
    return KeyOf(table, kRatio, {});
  };
  EXPECT_LT(integer_key(-2, {}), integer_key(-1, {}));
  EXPECT_LT(integer_key(-1, {}), integer_key(1, {}));
  EXPECT_LT(float_key(-2.5), float_key(-1.0));
  EXPECT_LT(float_key(-1.0), float_key(0.5));
  EXPECT_LT(float_key(0.5), float_key(1e300));
  // On a table without a locale a descending Integer orders -1 after 1.
  EXPECT_GT(integer_key(-1, kDescendingField), integer_key(1, kDescendingField));
  // A null value sorts before every value; as a descending field, after
  // them.
  TRecordImage image = table.Image();
  image.SetNull(table.Layout(kCount));
  const auto null_key = KeyOf(table, kCount, {});
  const auto null_descending_key = KeyOf(table, kCount, kDescendingField);
  EXPECT_LT(null_key, integer_key(std::numeric_limits<std::int32_t>::min(), {}));
  EXPECT_GT(null_descending_key, integer_key(std::numeric_limits<std::int32_t>::min(), kDescendingField));
}

TEST(ReservedIndexKeyTest, RecordIdIndexKeyIsDeletedFlagAndRecordId) {
  EXPECT_EQ(Hex(RecordIdIndexKey(false, 1)), "00 80 00 00 01");
  EXPECT_EQ(Hex(RecordIdIndexKey(true, 258)), "01 80 00 01 02");
  // Active records come first, in insertion order.
  EXPECT_LT(RecordIdIndexKey(false, 99), RecordIdIndexKey(true, 1));
  EXPECT_LT(RecordIdIndexKey(false, 1), RecordIdIndexKey(false, 2));
}

TEST(ReservedIndexKeyTest, TextIndexKeyIsFlagFieldWordAndRecordId) {
  const auto key = TextIndexKey(2, "TEL", 5);
  ASSERT_EQ(key.size(), 68u);
  std::string expected = "01 00 02 54 45 4C";
  for (int i = 0; i < 58; ++i) expected += " 00";
  expected += " 80 00 00 05";
  EXPECT_EQ(Hex(key), expected);
  // A word longer than 61 characters is cut.
  const auto long_key = TextIndexKey(1, std::string(70, 'W'), 1);
  EXPECT_EQ(long_key[kTextKeyWordOffset + kTextKeyWordLength - 1], 'W');
  EXPECT_EQ(Hex(std::span(long_key).subspan(kTextKeyRecordIdOffset)), "80 00 00 01");
}

}  // namespace
}  // namespace telvora::storage
