#include "engine/language_string_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cp1256_text.h"
#include "engine/locale_collation.h"

namespace telvora::engine {
namespace {

using testing::Cp1256;

constexpr Locale kAnsi{0, 0};
constexpr Locale kFarsi{0x0429, 0};

void ExpectSortedWithoutEquals(const TLanguageStringList& list) {
  for (std::size_t i = 0; i + 1 < list.Count(); ++i) {
    EXPECT_LT(CompareStrings(list.locale(), list[i].c_str(), list[i + 1].c_str(), true), 0)
        << "entries " << i << " and " << i + 1;
  }
}

TEST(LanguageStringListTest, FarsiListSortsAndDropsEqualStrings) {
  TLanguageStringList list(kFarsi);
  const std::string ali = Cp1256("علی");
  const std::vector<std::string> added = {
      Cp1256("رضا"), ali, Cp1256("بهرام"), Cp1256("عَلی"), "Zahra", Cp1256("پری"),
      "zahra",       Cp1256("تینا"), ali,
  };
  for (const std::string& text : added) list.Add(text);
  // Dropped: the marked ali, the second ali and "zahra" (case is ignored).
  ASSERT_EQ(list.Count(), 6u);
  ExpectSortedWithoutEquals(list);
  EXPECT_EQ(list[0], Cp1256("بهرام"));
  EXPECT_EQ(list[1], Cp1256("پری"));
  EXPECT_EQ(list[2], Cp1256("تینا"));
  EXPECT_EQ(list[3], Cp1256("رضا"));
  EXPECT_EQ(list[4], ali);      // the string first added is kept
  EXPECT_EQ(list[5], "Zahra");  // Farsi puts its own script before Latin

  // Adding an equal string answers with the held one's place.
  EXPECT_EQ(list.Add(Cp1256("عُلی")), 4u);
  EXPECT_EQ(list.Add(Cp1256("آرش")), 0u);
  EXPECT_EQ(list.Count(), 7u);
}

TEST(LanguageStringListTest, AnsiListIgnoresCaseAndOrdersByUpperCasedBytes) {
  TLanguageStringList list(kAnsi);
  for (const char* text : {"beta", "Alpha", "ALPHA", "_under", "alpha", "Gamma", "\xE9t\xE9"}) {
    list.Add(text);
  }
  // "_" (0x5F) sorts after the capitals it is compared with; e-acute
  // upper-cases to 0xC9, after every ASCII letter.
  const std::vector<std::string> expected = {"Alpha", "beta", "Gamma", "_under", "\xE9t\xE9"};
  EXPECT_EQ(list.Strings(), expected);
}

struct FindCase {
  const char* what;
  std::string text;
  int count;  // 0: whole strings
  bool found;
  std::size_t index;
};

TEST(LanguageStringListTest, FindsWholeStringsAndPrefixes) {
  TLanguageStringList list(kAnsi);
  for (const char* text : {"ali", "alireza", "alimo", "amir", "bahram"}) list.Add(text);
  // Sorted: ali, alimo, alireza, amir, bahram.
  const FindCase cases[] = {
      {"whole string", "amir", 0, true, 3},
      {"whole string ignoring case", "AMIR", 0, true, 3},
      {"whole string missing", "alim", 0, false, 1},
      {"before every entry", "aaa", 0, false, 0},
      {"after every entry", "zz", 0, false, 5},
      {"prefix finds the first of its entries", "ali", 3, true, 0},
      {"shorter prefix", "al", 2, true, 0},
      {"prefix inside the list", "alir", 4, true, 2},
      {"prefix ignoring case", "ALIM", 4, true, 1},
      {"prefix missing", "alx", 3, false, 3},
      {"prefix of the last entry", "b", 1, true, 4},
  };
  for (const FindCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::size_t index = 99;
    EXPECT_EQ(c.count == 0 ? list.Find(c.text, index) : list.FindPartial(c.text, c.count, index),
              c.found);
    EXPECT_EQ(index, c.index);
  }
}

TEST(LanguageStringListTest, FarsiFindIgnoresVowelMarks) {
  TLanguageStringList list(kFarsi);
  for (const char* text : {"علیرضا", "علی", "عباس", "مریم"}) list.Add(Cp1256(text));
  // Sorted: عباس, علی, علیرضا, مریم.
  const FindCase cases[] = {
      {"whole string with marks", Cp1256("عَلی"), 0, true, 1},
      {"whole string missing", Cp1256("علیم"), 0, false, 3},
      {"word prefix", Cp1256("علی"), 3, true, 1},
      {"word prefix with a mark", Cp1256("عُلی"), 4, true, 1},
      {"one letter prefix", Cp1256("ع"), 1, true, 0},
      {"prefix missing", Cp1256("ف"), 1, false, 3},
  };
  for (const FindCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::size_t index = 99;
    EXPECT_EQ(c.count == 0 ? list.Find(c.text, index) : list.FindPartial(c.text, c.count, index),
              c.found);
    EXPECT_EQ(index, c.index);
  }
}

TEST(LanguageStringListTest, EmptyListFindsNothing) {
  TLanguageStringList list(kFarsi);
  std::size_t index = 99;
  EXPECT_FALSE(list.Find("a", index));
  EXPECT_EQ(index, 0u);
  list.Add("a");
  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_FALSE(list.FindPartial("a", 1, index));
}

}  // namespace
}  // namespace telvora::engine
