#include "engine/key_compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "cp1256_text.h"

namespace telvora::engine {
namespace {

using testing::Cp1256;
using Key = std::vector<std::uint8_t>;

constexpr Locale kAnsi{0, 0};
constexpr Locale kFarsi{0x0429, 0};

constexpr std::uint8_t kIntegerFieldTypeCode = 6;
constexpr std::size_t kNameKeyLength = 10;
constexpr std::size_t kIntegerKeyLength = 4;

constexpr std::uint8_t kNull = 0;
constexpr std::uint8_t kValue = 1;

// Key building: pieces appended in order.
Key Join(std::initializer_list<Key> pieces) {
  Key key;
  for (const Key& piece : pieces) key.insert(key.end(), piece.begin(), piece.end());
  return key;
}

// A string field: flag byte, then the text zero-filled to width.
Key Text(std::uint8_t flag, const std::string& text, std::size_t width) {
  EXPECT_LE(text.size(), width) << text;
  Key key(1 + width, 0);
  key[0] = flag;
  for (std::size_t i = 0; i < text.size() && i < width; ++i) {
    key[1 + i] = static_cast<std::uint8_t>(text[i]);
  }
  return key;
}

// An integer in key form: big-endian with the sign bit flipped.
Key Number(std::int32_t value) {
  const std::uint32_t bits = static_cast<std::uint32_t>(value) ^ 0x80000000u;
  return {static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16),
          static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
}

Key IntegerField(std::uint8_t flag, std::int32_t value) { return Join({{flag}, Number(value)}); }

// An index on (name string, number integer), optionally with the record-id
// suffix of a non-unique index.
KeyDescription NameNumberIndex(Locale locale, bool index_descending = false,
                               bool name_descending = false, bool number_descending = false) {
  KeyDescription index;
  index.slot = 1;
  index.descending = index_descending;
  index.locale = locale;
  index.fields = {{kStringFieldTypeCode, kNameKeyLength, name_descending},
                  {kIntegerFieldTypeCode, kIntegerKeyLength, number_descending}};
  return index;
}

KeyDescription ReservedIndex(int slot, Locale locale) {
  KeyDescription index;
  index.slot = slot;
  index.locale = locale;
  return index;
}

Key NameNumber(const std::string& name, std::int32_t number, std::uint8_t name_flag = kValue) {
  return Join({Text(name_flag, name, kNameKeyLength), IntegerField(kValue, number)});
}

// A text index key: flag byte, field number, word zero-filled, record id.
Key TextKey(std::uint16_t field, const std::string& word, std::int32_t record_id) {
  Key word_area(kTextKeyWordLength, 0);
  EXPECT_LE(word.size(), kTextKeyWordLength);
  std::copy(word.begin(), word.end(), word_area.begin());
  return Join({{kValue, static_cast<std::uint8_t>(field >> 8), static_cast<std::uint8_t>(field)},
               word_area, Number(record_id)});
}

struct KeyCase {
  const char* what;
  KeyDescription index;
  Key key1;
  Key key2;
  int expected;
  std::size_t length = 0;  // 0: the whole of key1
};

void Check(const KeyCase& c) {
  SCOPED_TRACE(c.what);
  const std::size_t length = c.length == 0 ? c.key1.size() : c.length;
  ASSERT_LE(length, c.key1.size());
  ASSERT_LE(length, c.key2.size());
  EXPECT_EQ(CompareKeys(c.index, c.key1.data(), c.key2.data(), length), c.expected);
  EXPECT_EQ(CompareKeys(c.index, c.key2.data(), c.key1.data(), length), -c.expected);
}

TEST(CompareKeysTest, ByteOrderTablesCompareBytes) {
  const Key inverted_small = {0x01 ^ 0xFF, 0x10 ^ 0xFF};  // a descending field stored inverted
  const Key inverted_large = {0x01 ^ 0xFF, 0x20 ^ 0xFF};
  const KeyCase cases[] = {
      {"unsigned bytes", NameNumberIndex(kAnsi), NameNumber("b\x80", 1), NameNumber("b\x7F", 1),
       1},
      {"reversed for a descending index", NameNumberIndex(kAnsi, true), NameNumber("b\x80", 1),
       NameNumber("b\x7F", 1), -1},
      {"case counts", NameNumberIndex(kAnsi), NameNumber("a", 1), NameNumber("A", 1), 1},
      {"vowel marks count", NameNumberIndex(kAnsi), NameNumber(Cp1256("مُحَمَّد"), 1),
       NameNumber(Cp1256("محمد"), 1), 1},
      {"negative numbers first", NameNumberIndex(kAnsi), NameNumber("a", -1),
       NameNumber("a", 1), -1},
      {"a descending field is not reversed again", NameNumberIndex(kAnsi, false, true),
       inverted_small, inverted_large, 1},
      {"null before a value", NameNumberIndex(kAnsi), NameNumber("", 0, kNull),
       NameNumber("", 0, kValue), -1},
      {"bytes past the length do not count", NameNumberIndex(kAnsi), NameNumber("ab", 1),
       NameNumber("ac", 1), 0, 2},
      {"record-id suffix", NameNumberIndex(kAnsi), Join({NameNumber("a", 1), Number(2)}),
       Join({NameNumber("a", 1), Number(3)}), -1},
  };
  for (const KeyCase& c : cases) Check(c);
}

TEST(CompareKeysTest, LocaleTablesCompareFieldByField) {
  const std::string ali = Cp1256("علی");
  const std::string alireza = Cp1256("علیرضا");
  const KeyCase cases[] = {
      {"vowel marks do not count", NameNumberIndex(kFarsi), NameNumber(Cp1256("مُحَمَّد"), 1),
       NameNumber(Cp1256("محمد"), 1), 0},
      {"marks equal, the next field decides", NameNumberIndex(kFarsi),
       NameNumber(Cp1256("مُحَمَّد"), 2), NameNumber(Cp1256("محمد"), 1), 1},
      {"Persian order", NameNumberIndex(kFarsi), NameNumber(Cp1256("پری"), 1),
       NameNumber(Cp1256("تینا"), 1), -1},
      {"Persian order, descending field", NameNumberIndex(kFarsi, false, true),
       NameNumber(Cp1256("پری"), 1), NameNumber(Cp1256("تینا"), 1), 1},
      {"Persian order, descending index", NameNumberIndex(kFarsi, true),
       NameNumber(Cp1256("پری"), 1), NameNumber(Cp1256("تینا"), 1), 1},
      {"descending index and field reverse once", NameNumberIndex(kFarsi, true, true),
       NameNumber(Cp1256("پری"), 1), NameNumber(Cp1256("تینا"), 1), 1},
      {"case counts", NameNumberIndex(kFarsi), NameNumber("ali", 1), NameNumber("Ali", 1), -1},
      {"a prefix sorts first", NameNumberIndex(kFarsi), NameNumber(ali, 1),
       NameNumber(alireza, 1), -1},
      {"the length ends inside the string", NameNumberIndex(kFarsi), NameNumber(ali, 1),
       NameNumber(alireza, 1), 0, 1 + ali.size()},
      {"the length ends at the flag byte", NameNumberIndex(kFarsi), NameNumber("a", 1),
       NameNumber("b", 1), 0, 1},
      {"null before a value", NameNumberIndex(kFarsi), NameNumber("", 0, kNull),
       NameNumber("", 0, kValue), -1},
      {"null after a value, descending field", NameNumberIndex(kFarsi, false, true),
       NameNumber("", 0, kNull), NameNumber("", 0, kValue), 1},
      {"null after a value, descending index", NameNumberIndex(kFarsi, true),
       NameNumber("", 0, kNull), NameNumber("", 0, kValue), 1},
      {"numbers as unsigned key bytes", NameNumberIndex(kFarsi), NameNumber("a", -1),
       NameNumber("a", 1), -1},
      {"numbers, descending field", NameNumberIndex(kFarsi, false, false, true),
       NameNumber("a", -1), NameNumber("a", 1), 1},
      {"the other field's flag does not reverse", NameNumberIndex(kFarsi, false, true),
       NameNumber("a", -1), NameNumber("a", 1), -1},
      {"record-id suffix", NameNumberIndex(kFarsi), Join({NameNumber("a", 1), Number(2)}),
       Join({NameNumber("a", 1), Number(3)}), -1},
      {"record-id suffix of a descending index", NameNumberIndex(kFarsi, true),
       Join({NameNumber("a", 1), Number(2)}), Join({NameNumber("a", 1), Number(3)}), 1},
      {"record-id suffix ignores field flags", NameNumberIndex(kFarsi, false, true, true),
       Join({NameNumber("a", 1), Number(2)}), Join({NameNumber("a", 1), Number(3)}), -1},
      {"fields decide before the suffix", NameNumberIndex(kFarsi),
       Join({NameNumber("b", 1), Number(2)}), Join({NameNumber("a", 1), Number(3)}), 1},
  };
  for (const KeyCase& c : cases) Check(c);
}

TEST(CompareKeysTest, ByteOrderAndLocaleAgreeOnDescendingSuffixes) {
  // Equal values in a descending index keep the mirror of their ascending
  // record-id order under every locale; a range start key filled with the
  // highest values then precedes all of them.
  for (const Locale& locale : {kAnsi, kFarsi}) {
    SCOPED_TRACE(locale.language_id);
    const KeyDescription index = NameNumberIndex(locale, true);
    const Key first = Join({NameNumber("a", 1), Number(5)});
    const Key later = Join({NameNumber("a", 1), Number(9)});
    const Key start = Join({NameNumber("a", 1), Key(4, 0xFF)});
    EXPECT_EQ(CompareKeys(index, later.data(), first.data(), later.size()), -1);
    EXPECT_EQ(CompareKeys(index, start.data(), later.data(), start.size()), -1);
  }
}

TEST(CompareKeysTest, ReservedIndexes) {
  const KeyDescription slots = ReservedIndex(kRecordSlotIndexSlot, kFarsi);
  const KeyDescription text = ReservedIndex(kTextIndexSlot, kFarsi);
  const KeyDescription ansi_text = ReservedIndex(kTextIndexSlot, kAnsi);
  const std::string marked = Cp1256("مُحَمَّد");
  const std::string bare = Cp1256("محمد");
  const KeyCase cases[] = {
      {"slots: active before deleted", slots, Join({{0}, Number(9)}), Join({{1}, Number(1)}),
       -1},
      {"slots: record-id order", slots, Join({{0}, Number(2)}), Join({{0}, Number(1)}), 1},
      {"slots: descending flag does not apply",
       [&] {
         KeyDescription index = slots;
         index.descending = true;
         return index;
       }(),
       Join({{0}, Number(2)}), Join({{0}, Number(1)}), 1},
      {"text: field number first", text, TextKey(1, "Z", 9), TextKey(2, "A", 1), -1},
      {"text: word under the locale", text, TextKey(1, Cp1256("پری"), 9),
       TextKey(1, Cp1256("تینا"), 1), -1},
      {"text: vowel marks do not count", text, TextKey(1, marked, 4), TextKey(1, bare, 4), 0},
      {"text: equal words, record id decides", text, TextKey(1, marked, 5), TextKey(1, bare, 4),
       1},
      {"text: case counts", text, TextKey(1, "ALI", 1), TextKey(1, "ali", 1), 1},
      {"text: the length ends in the head", text, TextKey(1, "a", 1), TextKey(1, "b", 1), 0,
       kTextKeyHeadLength},
      {"text: the length ends in the word", text, TextKey(1, "ab", 1), TextKey(1, "ac", 1), 0,
       kTextKeyHeadLength + 1},
      {"text: the length ends in the record id", text, TextKey(1, "a", 0x100),
       TextKey(1, "a", 0x101), 0, kTextKeyLength - 1},
      {"text under ANSI: marks count", ansi_text, TextKey(1, marked, 1), TextKey(1, bare, 1),
       1},
  };
  for (const KeyCase& c : cases) Check(c);
  EXPECT_EQ(TextKey(1, "a", 1).size(), kTextKeyLength);
}

}  // namespace
}  // namespace telvora::engine
