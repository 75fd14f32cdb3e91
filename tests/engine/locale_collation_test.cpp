#include "engine/locale_collation.h"

#include <gtest/gtest.h>

#include <string>

#include "cp1256_text.h"
#include "engine/locale_case.h"

namespace telvora::engine {
namespace {

using testing::Cp1256;

constexpr Locale kAnsi{0, 0};
constexpr Locale kFarsi{0x0429, 0};
constexpr Locale kTurkish{0x041F, 0};

// Byte values of code page 1252, the code page English (United States)
// maps case in: e-acute and its capital.
const std::string kSmallEAcute = "\xE9";
const std::string kCapitalEAcute = "\xC9";

struct StringCase {
  const char* what;
  Locale locale;
  std::string s1;
  std::string s2;
  bool case_insensitive;
  int count;
  int expected;
};

TEST(CompareStringsTest, FollowsTheLocalesRules) {
  const std::string marked = Cp1256("مُحَمَّد");
  const std::string bare = Cp1256("محمد");
  const StringCase cases[] = {
      // Vowel marks: ignored under a locale, bytes under the byte order
      // (the damma 0xF5 follows the bare hah 0xCD).
      {"marks ignored under Farsi", kFarsi, marked, bare, false, 0, 0},
      {"marks ignored under Farsi, any case", kFarsi, bare, marked, true, 0, 0},
      {"marks count under ANSI Standard", kAnsi, bare, marked, false, 0, -1},
      {"marks count under ANSI Standard ignoring case", kAnsi, marked, bare, true, 0, 1},
      {"Persian order: peh before teh", kFarsi, Cp1256("پری"), Cp1256("تینا"), false, 0, -1},
      {"Persian order: gaf after keheh", kFarsi, Cp1256("گلی"), Cp1256("کاظم"), false, 0, 1},
      // Case.
      {"ANSI is case-sensitive: a after A", kAnsi, "abc", "ABC", false, 0, 1},
      {"ANSI ignores case with the flag", kAnsi, "abc", "ABC", true, 0, 0},
      {"ANSI byte order puts B before a", kAnsi, "a", "B", false, 0, 1},
      {"ANSI with the flag puts a before B", kAnsi, "a", "B", true, 0, -1},
      {"ANSI upper-cases as English does", kAnsi, kSmallEAcute, kCapitalEAcute, true, 0, 0},
      {"ANSI e-acute differs from its capital", kAnsi, kSmallEAcute, kCapitalEAcute, false, 0,
       1},
      {"Farsi is case-sensitive for Latin", kFarsi, "ali", "Ali", false, 0, -1},
      {"Farsi ignores case with the flag", kFarsi, "ali", "ALI", true, 0, 0},
      // Bytes are unsigned.
      {"ANSI high bytes sort last", kAnsi, "\xE9", "z", false, 0, 1},
      {"ANSI high bytes sort last, ignoring case", kAnsi, "z", "\xE9", true, 0, -1},
      // Counts.
      {"ANSI count covers the difference", kAnsi, "abX", "abY", false, 3, -1},
      {"ANSI count stops before the difference", kAnsi, "abX", "abY", false, 2, 0},
      {"ANSI whole strings", kAnsi, "abX", "abY", false, 0, -1},
      {"ANSI shorter first string", kAnsi, "ab", "abc", false, 0, -1},
      {"ANSI longer first string", kAnsi, "abc", "ab", false, 0, 1},
      {"ANSI count beyond equal strings", kAnsi, "ab", "ab", false, 10, 0},
      {"ANSI count beyond equal strings ignoring case", kAnsi, "ab", "AB", true, 10, 0},
      {"ANSI count beyond a shorter string", kAnsi, "ab", "abc", false, 10, -1},
      {"ANSI count ignoring case", kAnsi, "abX", "ABy", true, 2, 0},
      {"Farsi count on a prefix", kFarsi, Cp1256("علیرضا"), Cp1256("علی"), false, 3, 0},
      {"Farsi whole strings", kFarsi, Cp1256("علیرضا"), Cp1256("علی"), false, 0, 1},
      {"Farsi count ignoring case", kFarsi, "ALIreza", "alimo", true, 3, 0},
      {"equal strings", kFarsi, bare, bare, false, 0, 0},
      {"empty strings", kAnsi, "", "", false, 0, 0},
  };
  for (const StringCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CompareStrings(c.locale, c.s1.c_str(), c.s2.c_str(), c.case_insensitive, c.count),
              c.expected);
    EXPECT_EQ(CompareStrings(c.locale, c.s2.c_str(), c.s1.c_str(), c.case_insensitive, c.count),
              -c.expected);
  }
}

TEST(CompareStringsTest, CountStopsAtTheEndOfAFixedWidthValue) {
  // Key and field values are not terminated within their width: the count
  // alone bounds the comparison.
  const char value1[4] = {'a', 'b', 'c', 'd'};
  const char value2[4] = {'a', 'b', 'c', 'e'};
  EXPECT_EQ(CompareStrings(kAnsi, value1, value2, false, 3), 0);
  EXPECT_EQ(CompareStrings(kFarsi, value1, value2, false, 3), 0);
  EXPECT_EQ(CompareStrings(kAnsi, value1, value2, true, 4), -1);
  EXPECT_EQ(CompareStrings(kFarsi, value1, value2, false, 4), -1);
}

TEST(CompareStringsTest, AnUninstalledLocaleComparesBytes) {
  constexpr Locale kNotInstalled{0x0439, 0};
  EXPECT_EQ(CompareStrings(kNotInstalled, "b", "a", false), 1);
  EXPECT_EQ(CompareStrings(kNotInstalled, "a", "a", false), 0);
  EXPECT_EQ(CompareStrings(kNotInstalled, "B", "a", true), -1);
}

struct CharacterCase {
  const char* what;
  Locale locale;
  std::string c1;
  std::string c2;
  int expected;
};

TEST(CompareCharactersTest, FollowsTheLocalesRules) {
  const CharacterCase cases[] = {
      {"ANSI ignores case", kAnsi, "a", "A", 0},
      {"ANSI letters in order", kAnsi, "a", "b", -1},
      {"ANSI compares upper-cased bytes", kAnsi, "B", "a", 1},
      {"ANSI upper-cases as English does", kAnsi, kSmallEAcute, kCapitalEAcute, 0},
      {"ANSI unsigned bytes", kAnsi, "\xE9", "z", 1},
      {"ANSI distinct symbols", kAnsi, "[", "{", -1},
      {"Farsi is case-sensitive", kFarsi, "a", "A", -1},
      {"Farsi peh before teh", kFarsi, Cp1256("پ"), Cp1256("ت"), -1},
      {"Farsi zheh after zain", kFarsi, Cp1256("ژ"), Cp1256("ز"), 1},
      {"Farsi keheh before gaf", kFarsi, Cp1256("ک"), Cp1256("گ"), -1},
      {"Farsi vowel marks are all alike", kFarsi, Cp1256("\u064E"), Cp1256("\u064F"), 0},
      {"Farsi tatweel is ignorable like ZWNJ", kFarsi, Cp1256("\u0640"), Cp1256("\u200C"), 0},
      {"Farsi same letter", kFarsi, Cp1256("م"), Cp1256("م"), 0},
  };
  for (const CharacterCase& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(c.c1.size(), 1u);
    ASSERT_EQ(c.c2.size(), 1u);
    EXPECT_EQ(CompareCharacters(c.locale, c.c1[0], c.c2[0]), c.expected);
    EXPECT_EQ(CompareCharacters(c.locale, c.c2[0], c.c1[0]), -c.expected);
  }
}

struct CaseMappingCase {
  const char* what;
  Locale locale;
  std::string text;
  std::string upper;
  std::string lower;
};

TEST(CaseMappingTest, MapsInPlaceUnderTheLocale) {
  const std::string persian = Cp1256("علی رضا");
  const CaseMappingCase cases[] = {
      {"ANSI maps as English (United States)", kAnsi, "Ab\xE9\xC9z", "AB\xC9\xC9Z",
       "ab\xE9\xE9z"},
      {"Farsi maps Latin letters", kFarsi, "Ali Reza", "ALI REZA", "ali reza"},
      {"Persian letters have no case", kFarsi, persian, persian, persian},
      {"zero bytes are kept in place", kAnsi, std::string("a\0B", 3), std::string("A\0B", 3),
       std::string("a\0b", 3)},
      {"Turkish dotted capital I", kTurkish, "i", "\xDD", "i"},
      {"empty text", kFarsi, "", "", ""},
  };
  for (const CaseMappingCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string upper = c.text;
    UpperCase(c.locale, upper);
    EXPECT_EQ(upper, c.upper);
    std::string lower = c.text;
    LowerCase(c.locale, lower);
    EXPECT_EQ(lower, c.lower);
  }
}

TEST(CaseMappingTest, MapsOnlyTheGivenLength) {
  char text[] = "abcd";
  UpperCase(kFarsi, text, 2);
  EXPECT_STREQ(text, "ABcd");
}

}  // namespace
}  // namespace telvora::engine
