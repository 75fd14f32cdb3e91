#include "platform/national_language.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/code_page.h"
#include "platform/last_error.h"

namespace telvora::platform {
namespace {

using namespace std::string_literals;

constexpr Lcid kFarsi = 0x0429;
constexpr Lcid kEnglishUs = 0x0409;
constexpr Lcid kGerman = 0x0407;
constexpr Lcid kGermanPhoneBook = 0x10407;
constexpr Lcid kAustrianPhoneBook = 0x10C07;
constexpr Lcid kTurkish = 0x041F;

// The engine's two ways of comparing: case-sensitive, and ignoring case.
constexpr std::uint32_t kCaseSensitive = kSortStringSort | kNormIgnoreNonSpace;
constexpr std::uint32_t kIgnoreCase = kCaseSensitive | kNormIgnoreCase;

// UTF-8 test text in the code page of the locale's language.
std::string Bytes(Lcid locale, const std::string& utf8) {
  const CodePage* page = CodePage::Find(AnsiCodePageOfLanguage(LanguageIdOf(locale)));
  EXPECT_NE(page, nullptr);
  std::optional<std::string> bytes = page ? page->EncodeUtf8(utf8) : std::nullopt;
  EXPECT_TRUE(bytes) << utf8;
  return bytes.value_or("");
}

struct CompareCase {
  const char* what;
  Lcid locale;
  std::uint32_t flags;
  std::string s1;
  std::string s2;
  int expected;
  int n1 = -1;
  int n2 = -1;
};

TEST(CompareStringTest, ComparesUnderTheLocale) {
  const CompareCase cases[] = {
      {"vowel marks are ignored under Farsi", kFarsi, kCaseSensitive, "محمد", "مُحَمَّد",
       kCompareEqual},
      {"vowel marks ignored also ignoring case", kFarsi, kIgnoreCase, "مُحَمَّد", "محمد",
       kCompareEqual},
      {"vowel marks count without the non-spacing flag", kFarsi, kSortStringSort, "محمد",
       "مُحَمَّد", kCompareLessThan},
      {"ZWNJ is ignorable", kFarsi, kCaseSensitive, "می\u200Cخواهم", "میخواهم", kCompareEqual},
      {"tatweel is ignorable", kFarsi, kCaseSensitive, "مـحمد", "محمد", kCompareEqual},
      {"Persian letter order: peh before teh", kFarsi, kCaseSensitive, "پری", "تینا",
       kCompareLessThan},
      {"Persian letter order: keheh before gaf", kFarsi, kCaseSensitive, "کاظم", "گلی",
       kCompareLessThan},
      {"Persian letter order: zheh after zain", kFarsi, kCaseSensitive, "ژاله", "زهرا",
       kCompareGreaterThan},
      {"different names differ", kFarsi, kCaseSensitive, "علی", "رضا", kCompareGreaterThan},
      {"Latin case counts under Farsi", kFarsi, kCaseSensitive, "Ali", "ali",
       kCompareGreaterThan},
      {"Latin case ignored under Farsi", kFarsi, kIgnoreCase, "Ali", "ali", kCompareEqual},
      {"alphabetic before case", kEnglishUs, kCaseSensitive, "apple", "Banana",
       kCompareLessThan},
      {"lower case sorts first", kEnglishUs, kCaseSensitive, "Apple", "apple",
       kCompareGreaterThan},
      {"case ignored", kEnglishUs, kIgnoreCase, "APPLE", "apple", kCompareEqual},
      {"accents ignored", kEnglishUs, kCaseSensitive, "résumé", "resume", kCompareEqual},
      {"accents count without the non-spacing flag", kEnglishUs, kSortStringSort, "résumé",
       "resume", kCompareGreaterThan},
      {"case still counts ignoring accents only", kEnglishUs, kSortStringSort | kNormIgnoreCase,
       "Résumé", "résumé", kCompareEqual},
      {"string sort: a hyphen is a character", kEnglishUs, kCaseSensitive, "a-b", "ab",
       kCompareLessThan},
      {"word sort: a hyphen is ignored", kEnglishUs, kNormIgnoreNonSpace, "a-b", "ab",
       kCompareEqual},
      {"shorter prefix first", kEnglishUs, kCaseSensitive, "Smith", "Smithson", kCompareLessThan},
      {"empty first", kEnglishUs, kCaseSensitive, "", "a", kCompareLessThan},
      {"German standard: ü is u", kGerman, kCaseSensitive, "Müller", "Muffler",
       kCompareGreaterThan},
      {"German standard: ü is not ue", kGerman, kCaseSensitive, "Müller", "Mueller",
       kCompareGreaterThan},
      {"phone book: ü is ue", kGermanPhoneBook, kCaseSensitive, "Müller", "Muffler",
       kCompareLessThan},
      {"phone book: Müller equals Mueller", kGermanPhoneBook, kCaseSensitive, "Müller",
       "Mueller", kCompareEqual},
      {"phone book in Austria is the same order", kAustrianPhoneBook, kCaseSensitive, "Müller",
       "Muffler", kCompareLessThan},
      {"count limits both strings", kEnglishUs, kCaseSensitive, "abcX", "abcY", kCompareEqual,
       3, 3},
      {"without counts the tails decide", kEnglishUs, kCaseSensitive, "abcX", "abcY",
       kCompareLessThan},
      {"counts may differ", kEnglishUs, kCaseSensitive, "abc", "abcd", kCompareLessThan, 3, 4},
      {"a count of zero is the empty string", kEnglishUs, kCaseSensitive, "b", "a",
       kCompareEqual, 0, 0},
      {"a zero byte ends a string within its count", kEnglishUs, kCaseSensitive, "ab\0x"s,
       "ab\0y"s, kCompareEqual, 4, 4},
      {"count on Farsi bytes", kFarsi, kCaseSensitive, "محمود", "محمد", kCompareEqual, 3, 3},
  };
  for (const CompareCase& c : cases) {
    const std::string s1 = Bytes(c.locale, c.s1);
    const std::string s2 = Bytes(c.locale, c.s2);
    EXPECT_EQ(CompareStringA(c.locale, c.flags, s1.c_str(), c.n1, s2.c_str(), c.n2), c.expected)
        << c.what;
    // Swapped, the answer mirrors.
    EXPECT_EQ(CompareStringA(c.locale, c.flags, s2.c_str(), c.n2, s1.c_str(), c.n1),
              4 - c.expected)
        << c.what << " (swapped)";
  }
}

TEST(CompareStringTest, AnsiBytesAreDecodedWithTheLanguagesCodePage) {
  // 0xE3 0xCD 0xE3 0xCF is "محمد" in 1256; with vowel marks 0xF5 (damma),
  // 0xF3 (fatha) and 0xF8 (shadda) between the letters.
  const char plain[] = "\xE3\xCD\xE3\xCF";
  const char marked[] = "\xE3\xF5\xCD\xF3\xE3\xF8\xCF";
  EXPECT_EQ(CompareStringA(kFarsi, kCaseSensitive, plain, -1, marked, -1), kCompareEqual);
  // Read as 1252 the same bytes are different accented letters.
  EXPECT_NE(CompareStringA(kEnglishUs, kCaseSensitive, plain, -1, marked, -1), kCompareEqual);
}

TEST(CompareStringTest, FailuresReturnZeroWithTheWindowsError) {
  struct Case {
    const char* what;
    Lcid locale;
    std::uint32_t flags;
    const char* s1;
    std::uint32_t error;
  };
  const Case cases[] = {
      {"language 0 is the engine's own", 0x0000, kCaseSensitive, "a", kErrorInvalidParameter},
      {"language not in the table", 0x0441, kCaseSensitive, "a", kErrorInvalidParameter},
      {"sort order ICU does not offer", 0x10429, kCaseSensitive, "a", kErrorInvalidParameter},
      {"unsupported flag", kFarsi, kCaseSensitive | 0x4, "a", kErrorInvalidFlags},
      {"missing string", kFarsi, kCaseSensitive, nullptr, kErrorInvalidParameter},
  };
  for (const Case& c : cases) {
    SetLastSystemError(kErrorSuccess);
    EXPECT_EQ(CompareStringA(c.locale, c.flags, c.s1, -1, "a", -1), 0) << c.what;
    EXPECT_EQ(GetLastSystemError(), c.error) << c.what;
  }
}

struct CaseMapCase {
  Lcid locale;
  std::uint32_t operation;
  std::string input;
  std::string expected;
};

TEST(LCMapStringTest, MapsCaseInPlaceKeepingTheLength) {
  const CaseMapCase cases[] = {
      {kEnglishUs, kLcMapUpperCase, "hello, world 42", "HELLO, WORLD 42"},
      {kEnglishUs, kLcMapLowerCase, "Hello, World", "hello, world"},
      {kEnglishUs, kLcMapUpperCase, "istanbul", "ISTANBUL"},
      {kTurkish, kLcMapUpperCase, "istanbul", "İSTANBUL"},
      {kTurkish, kLcMapLowerCase, "IĞDIR", "ığdır"},
      {kGerman, kLcMapLowerCase, "ÄÖÜ", "äöü"},
      // Its capital is two letters, so sharp s stays.
      {kGerman, kLcMapUpperCase, "straße", "STRAßE"},
      {0x0419, kLcMapUpperCase, "привет", "ПРИВЕТ"},
      // One character at a time: no final sigma.
      {0x0408, kLcMapLowerCase, "ΟΔΟΣ", "οδοσ"},
      // Arabic letters have no case; Latin ones in 1256 do.
      {kFarsi, kLcMapUpperCase, "Ali علی", "ALI علی"},
      {kFarsi, kLcMapLowerCase, "ALI علی", "ali علی"},
      {kFarsi, kLcMapUpperCase, "œ", "Œ"},
      // 1256 holds e-acute but not its capital: the byte stays.
      {kFarsi, kLcMapUpperCase, "éçà", "éçà"},
      {kFarsi, kLcMapUpperCase, "مُحَمَّد ۱۲", "مُحَمَّد 12"},
  };
  for (const CaseMapCase& c : cases) {
    const std::string expected = Bytes(c.locale, c.expected);
    std::string buffer = Bytes(c.locale, c.input);
    ASSERT_EQ(buffer.size(), expected.size()) << c.input;
    const int n = static_cast<int>(buffer.size());

    EXPECT_EQ(LCMapStringA(c.locale, c.operation, buffer.data(), n, buffer.data(), n), n)
        << c.input;
    EXPECT_EQ(buffer, expected) << c.input;

    // Up to the terminator, into a buffer of its own: the zero is counted.
    const std::string source = Bytes(c.locale, c.input);
    std::string dest(source.size() + 1, '\x7F');
    EXPECT_EQ(LCMapStringA(c.locale, c.operation, source.c_str(), -1, dest.data(),
                           static_cast<int>(dest.size())),
              n + 1)
        << c.input;
    EXPECT_EQ(dest, expected + '\0') << c.input;
  }
}

TEST(LCMapStringTest, ArabicScriptBytesNeverChangeUnderFarsi) {
  const CodePage& page = CodePage::Arabic();
  for (int byte = 0; byte < 256; ++byte) {
    const char16_t c = page.DecodeByte(static_cast<std::uint8_t>(byte));
    if (c < u'\u0600' || c > u'\u06FF') continue;
    for (std::uint32_t operation : {kLcMapUpperCase, kLcMapLowerCase}) {
      char b = static_cast<char>(byte);
      ASSERT_EQ(LCMapStringA(kFarsi, operation, &b, 1, &b, 1), 1);
      EXPECT_EQ(static_cast<std::uint8_t>(b), byte) << "byte " << byte;
    }
  }
}

TEST(LCMapStringTest, SizeQueryAndFailures) {
  char dest[8] = {};
  EXPECT_EQ(LCMapStringA(kEnglishUs, kLcMapUpperCase, "abc", -1, nullptr, 0), 4);
  EXPECT_EQ(LCMapStringA(kEnglishUs, kLcMapUpperCase, "abc", 3, dest, 0), 3);
  EXPECT_EQ(dest[0], '\0');

  struct Case {
    const char* what;
    Lcid locale;
    std::uint32_t flags;
    int source_count;
    int dest_count;
    std::uint32_t error;
  };
  const Case cases[] = {
      {"both operations", kEnglishUs, kLcMapUpperCase | kLcMapLowerCase, 3, 8,
       kErrorInvalidFlags},
      {"no operation", kEnglishUs, 0, 3, 8, kErrorInvalidFlags},
      {"empty source", kEnglishUs, kLcMapUpperCase, 0, 8, kErrorInvalidParameter},
      {"negative destination size", kEnglishUs, kLcMapUpperCase, 3, -1, kErrorInvalidParameter},
      {"destination too small", kEnglishUs, kLcMapUpperCase, 3, 2, kErrorInsufficientBuffer},
      {"terminator does not fit", kEnglishUs, kLcMapUpperCase, -1, 3, kErrorInsufficientBuffer},
      {"language 0", 0x0000, kLcMapUpperCase, 3, 8, kErrorInvalidParameter},
      {"unknown language", 0x0441, kLcMapUpperCase, 3, 8, kErrorInvalidParameter},
  };
  for (const Case& c : cases) {
    SetLastSystemError(kErrorSuccess);
    std::fill(std::begin(dest), std::end(dest), '\0');
    EXPECT_EQ(LCMapStringA(c.locale, c.flags, "abc", c.source_count, dest, c.dest_count), 0)
        << c.what;
    EXPECT_EQ(GetLastSystemError(), c.error) << c.what;
    EXPECT_EQ(dest[0], '\0') << c.what;
  }
}

TEST(IsValidLocaleTest, InstalledMeansATableLanguageAndAnOfferedSortOrder) {
  struct Case {
    Lcid locale;
    bool installed;
  };
  const Case cases[] = {
      {0x0429, true},   {0x0409, true},   {0x0401, true},   {0x4001, true},
      {0x0407, true},   {0x0C07, true},   {0x040A, true},   {0x042A, true},
      // German phone book order, for each of the five German languages.
      {0x10407, true},  {0x10807, true},  {0x10C07, true},  {0x11007, true},
      {0x11407, true},
      // Sort ids ICU maps silently to the default order are not offered.
      {0x20407, false}, {0x10429, false}, {0x10409, false}, {0x1040E, false},
      {0xF0407, false},
      // Languages outside the table, and language 0.
      {0x0441, false},  {0x0420, false},  {0x0404, false},  {0x0000, false},
      {0x10000, false}, {0xFFFF, false},  {0x0029, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsValidLocale(c.locale, kLcidInstalled), c.installed) << std::hex << c.locale;
    EXPECT_EQ(IsValidLocale(c.locale, kLcidSupported), c.installed) << std::hex << c.locale;
    EXPECT_EQ(IcuLocaleOf(c.locale).has_value(), c.installed) << std::hex << c.locale;
  }
  EXPECT_FALSE(IsValidLocale(kFarsi, 0));
  EXPECT_FALSE(IsValidLocale(kFarsi, kLcidInstalled | kLcidSupported));
}

TEST(IsValidLocaleTest, EveryTableLanguageButByteOrderIsInstalledAndCompares) {
  for (std::uint16_t language_id : kLocaleLanguageIds) {
    if (language_id == 0) continue;
    EXPECT_TRUE(IsValidLocale(language_id, kLcidInstalled)) << std::hex << language_id;
    EXPECT_EQ(CompareStringA(language_id, kCaseSensitive, "a", -1, "b", -1), kCompareLessThan)
        << std::hex << language_id;
  }
}

TEST(IsValidLocaleTest, IcuLocaleNames) {
  EXPECT_EQ(IcuLocaleOf(kFarsi), "fa_IR");
  EXPECT_EQ(IcuLocaleOf(kEnglishUs), "en_US");
  EXPECT_EQ(IcuLocaleOf(kGermanPhoneBook), "de_DE@collation=phonebook");
  EXPECT_EQ(IcuLocaleOf(kAustrianPhoneBook), "de_DE@collation=phonebook");
}

TEST(NationalLanguageThreadsTest, ThreadsCompareAndMapConcurrently) {
  const std::string plain = Bytes(kFarsi, "محمد");
  const std::string marked = Bytes(kFarsi, "مُحَمَّد");
  const std::string mueller = Bytes(kGermanPhoneBook, "Müller");
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i) {
        if (CompareStringA(kFarsi, kCaseSensitive, plain.c_str(), -1, marked.c_str(), -1) !=
            kCompareEqual) {
          ++wrong;
        }
        if (CompareStringA(kGermanPhoneBook, kIgnoreCase, mueller.c_str(), -1, "MUFFLER", -1) !=
            kCompareLessThan) {
          ++wrong;
        }
        char text[] = "Ali";
        if (LCMapStringA(kFarsi, kLcMapUpperCase, text, -1, text, 4) != 4 ||
            std::string(text) != "ALI") {
          ++wrong;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace telvora::platform
