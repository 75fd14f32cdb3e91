#include "engine/locale_names.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/national_language.h"

namespace telvora::engine {
namespace {

constexpr std::uint16_t kFarsi = 0x0429;
constexpr std::uint16_t kGermanStandard = 0x0407;
constexpr std::uint16_t kGermanLiechtenstein = 0x1407;
constexpr std::uint16_t kEnglishUs = 0x0409;

// Positions of the German entries, which alone offer the phone book order.
constexpr std::size_t kFirstGermanEntry = 48;
constexpr std::size_t kLastGermanEntry = 52;

TEST(LocaleNamesTest, TableAgreesWithThePlatformsLanguageList) {
  const auto& names = LocaleNames();
  ASSERT_EQ(names.size(), platform::kLocaleLanguageIds.size());
  std::set<std::string_view> distinct;
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(names[i].language_id, platform::kLocaleLanguageIds[i]) << names[i].name;
    distinct.insert(names[i].name);
  }
  EXPECT_EQ(distinct.size(), names.size());
  EXPECT_EQ(names.front().name, "ANSI Standard");
  EXPECT_EQ(names[kFirstGermanEntry].name, "German (Standard)");
  EXPECT_EQ(names[kLastGermanEntry].name, "German (Liechtenstein)");
}

TEST(LocaleNamesTest, NamesTurnIntoLanguageIds) {
  struct Case {
    const char* name;
    bool known;
    std::uint16_t language_id;
  };
  const Case cases[] = {
      {"ANSI Standard", true, 0},
      {"Farsi", true, kFarsi},
      {"farsi", true, kFarsi},
      {"FARSI", true, kFarsi},
      {"English (USA)", true, kEnglishUs},
      {"Portuguese (Standard)", true, 0x0816},   // 22 / 2
      {"Portuguese (Brazilian)", true, 0x0416},  // 22 / 1
      {"Arabic (U.A.E)", true, 0x3801},
      {"Ukranian", true, 0x0422},
      {"Spanish (Puerto Rico)", true, 0x500A},
      {"German (Liechtenstein)", true, kGermanLiechtenstein},
      {"Persian", false, 0},
      {"Ukrainian", false, 0},
      {"Farsi ", false, 0},
      {"", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LocaleNameKnown(c.name), c.known);
    EXPECT_EQ(LanguageIdOfName(c.name), c.language_id);
  }
}

TEST(LocaleNamesTest, GermanPhoneBookOrderOnlyForTheFiveGermanEntries) {
  const auto& names = LocaleNames();
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(std::string(names[i].name));
    const bool german = i >= kFirstGermanEntry && i <= kLastGermanEntry;
    EXPECT_TRUE(SortOrderNameValid(names[i].language_id, "Default Order"));
    EXPECT_EQ(SortOrderNameValid(names[i].language_id, "German Phone Book Order"), german);
  }
}

TEST(LocaleNamesTest, SortOrderNamesGiveSortIdZero) {
  struct Case {
    const char* what;
    std::uint16_t language_id;
    const char* sort_name;
    std::optional<std::uint16_t> sort_id;
  };
  const Case cases[] = {
      {"default order", kFarsi, "Default Order", 0},
      {"default order of byte order", 0, "Default Order", 0},
      {"name without regard to case", kFarsi, "default order", 0},
      {"phone book order carries no id of its own", kGermanStandard, "German Phone Book Order",
       0},
      {"phone book order of Liechtenstein", kGermanLiechtenstein, "German Phone Book Order", 0},
      {"phone book order is German only", kFarsi, "German Phone Book Order", std::nullopt},
      {"unknown sort name", kGermanStandard, "Dictionary Order", std::nullopt},
      {"language not in the table", 0x0439, "Default Order", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(SortIdOfName(c.language_id, c.sort_name), c.sort_id);
    EXPECT_EQ(SortOrderNameValid(c.language_id, c.sort_name), c.sort_id.has_value());
  }
}

TEST(LocaleNamesTest, InstalledLocales) {
  struct Case {
    const char* what;
    std::uint16_t language_id;
    std::uint16_t sort_id;
    bool installed;
  };
  const Case cases[] = {
      {"byte order", 0, 0, true},
      {"byte order whatever its sort id", 0, 3, true},
      {"Farsi", kFarsi, 0, true},
      {"German phone book", kGermanStandard, platform::kSortGermanPhoneBook, true},
      {"Hindi is not in the table", 0x0439, 0, false},
      {"Urdu is not in the table", 0x0420, 0, false},
      {"no such language", 0xFFFF, 0, false},
      {"phone book order for Farsi", kFarsi, platform::kSortGermanPhoneBook, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(LocaleInstalled(c.language_id, c.sort_id), c.installed);
  }
}

TEST(LocaleNamesTest, EveryLanguageOfTheTableIsInstalledWithItsDefaultOrder) {
  for (const LocaleName& entry : LocaleNames()) {
    EXPECT_TRUE(LocaleInstalled(entry.language_id, 0)) << entry.name;
  }
}

}  // namespace
}  // namespace telvora::engine
