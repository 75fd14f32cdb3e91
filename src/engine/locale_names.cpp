#include "engine/locale_names.h"

#include <algorithm>

#include "engine/locale.h"
#include "platform/national_language.h"

namespace telvora::engine {
namespace {

constexpr std::array<SortOrderName, 1> kDefaultOrders = {{{kDefaultOrderName, 0}}};
constexpr std::array<SortOrderName, 2> kGermanOrders = {
    {{kDefaultOrderName, 0}, {kGermanPhoneBookOrderName, 0}}};

constexpr std::uint16_t Id(std::uint16_t primary, std::uint16_t sublanguage) {
  return static_cast<std::uint16_t>(sublanguage * 1024 + primary);
}

constexpr LocaleName Entry(std::string_view name, std::uint16_t primary,
                           std::uint16_t sublanguage) {
  return {name, Id(primary, sublanguage), kDefaultOrders};
}

constexpr LocaleName German(std::string_view name, std::uint16_t sublanguage) {
  return {name, Id(7, sublanguage), kGermanOrders};
}

constexpr std::array<LocaleName, kLocaleNameCount> kLocaleNames = {{
    Entry("ANSI Standard", 0, 0),
    Entry("Afrikaans", 54, 1),
    Entry("Albanian", 28, 1),
    Entry("Arabic (Saudi Arabia)", 1, 1),
    Entry("Arabic (Iraq)", 1, 2),
    Entry("Arabic (Egypt)", 1, 3),
    Entry("Arabic (Libya)", 1, 4),
    Entry("Arabic (Algeria)", 1, 5),
    Entry("Arabic (Morocco)", 1, 6),
    Entry("Arabic (Tunisia)", 1, 7),
    Entry("Arabic (Oman)", 1, 8),
    Entry("Arabic (Yemen)", 1, 9),
    Entry("Arabic (Syria)", 1, 10),
    Entry("Arabic (Jordan)", 1, 11),
    Entry("Arabic (Lebanon)", 1, 12),
    Entry("Arabic (Kuwait)", 1, 13),
    Entry("Arabic (U.A.E)", 1, 14),
    Entry("Arabic (Bahrain)", 1, 15),
    Entry("Arabic (Qatar)", 1, 16),
    Entry("Basque", 45, 1),
    Entry("Belarusian", 35, 1),
    Entry("Bulgarian", 2, 1),
    Entry("Catalan", 3, 1),
    Entry("Croatian", 26, 1),
    Entry("Czech", 5, 1),
    Entry("Danish", 6, 1),
    Entry("Dutch (Standard)", 19, 1),
    Entry("Dutch (Belgian)", 19, 2),
    Entry("English (USA)", 9, 1),
    Entry("English (UK)", 9, 2),
    Entry("English (Australian)", 9, 3),
    Entry("English (Canadian)", 9, 4),
    Entry("English (New Zealand)", 9, 5),
    Entry("English (Irish)", 9, 6),
    Entry("English (South Africa)", 9, 7),
    Entry("English (Jamaica)", 9, 8),
    Entry("English (Caribbean)", 9, 9),
    Entry("English (Belize)", 9, 10),
    Entry("English (Trinidad)", 9, 11),
    Entry("Estonian", 37, 1),
    Entry("Faeroese", 56, 1),
    Entry("Farsi", 41, 1),
    Entry("Finnish", 11, 1),
    Entry("French (Standard)", 12, 1),
    Entry("French (Belgian)", 12, 2),
    Entry("French (Canadian)", 12, 3),
    Entry("French (Swiss)", 12, 4),
    Entry("French (Luxembourg)", 12, 5),
    German("German (Standard)", 1),
    German("German (Swiss)", 2),
    German("German (Austrian)", 3),
    German("German (Luxembourg)", 4),
    German("German (Liechtenstein)", 5),
    Entry("Greek", 8, 1),
    Entry("Hebrew", 13, 1),
    Entry("Hungarian", 14, 1),
    Entry("Icelandic", 15, 1),
    Entry("Indonesian", 33, 1),
    Entry("Italian (Standard)", 16, 1),
    Entry("Italian (Swiss)", 16, 2),
    Entry("Latvian", 38, 1),
    Entry("Lithuanian", 39, 1),
    Entry("Norwegian (Bokmal)", 20, 1),
    Entry("Norwegian (Nynorsk)", 20, 2),
    Entry("Polish", 21, 1),
    Entry("Portuguese (Standard)", 22, 2),
    Entry("Portuguese (Brazilian)", 22, 1),
    Entry("Romanian", 24, 1),
    Entry("Russian", 25, 1),
    Entry("Serbian (Latin)", 26, 2),
    Entry("Serbian (Cyrillic)", 26, 3),
    Entry("Slovak", 27, 1),
    Entry("Slovenian", 36, 1),
    Entry("Spanish (Castilian)", 10, 1),
    Entry("Spanish (Mexican)", 10, 2),
    Entry("Spanish (Modern)", 10, 3),
    Entry("Spanish (Guatemala)", 10, 4),
    Entry("Spanish (Costa Rica)", 10, 5),
    Entry("Spanish (Panama)", 10, 6),
    Entry("Spanish (Dominican Republic)", 10, 7),
    Entry("Spanish (Venezuela)", 10, 8),
    Entry("Spanish (Colombia)", 10, 9),
    Entry("Spanish (Peru)", 10, 10),
    Entry("Spanish (Argentina)", 10, 11),
    Entry("Spanish (Ecuador)", 10, 12),
    Entry("Spanish (Chile)", 10, 13),
    Entry("Spanish (Uruguay)", 10, 14),
    Entry("Spanish (Paraguay)", 10, 15),
    Entry("Spanish (Bolivia)", 10, 16),
    Entry("Spanish (El Salvador)", 10, 17),
    Entry("Spanish (Honduras)", 10, 18),
    Entry("Spanish (Nicaragua)", 10, 19),
    Entry("Spanish (Puerto Rico)", 10, 20),
    Entry("Swedish (Standard)", 29, 1),
    Entry("Swedish (Finland)", 29, 2),
    Entry("Thai", 30, 1),
    Entry("Turkish", 31, 1),
    Entry("Ukranian", 34, 1),
    Entry("Vietnamese", 42, 1),
}};

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

const LocaleName* FindByName(std::string_view name) {
  for (const LocaleName& entry : kLocaleNames) {
    if (EqualIgnoringCase(entry.name, name)) return &entry;
  }
  return nullptr;
}

const LocaleName* FindByLanguage(std::uint16_t language_id) {
  for (const LocaleName& entry : kLocaleNames) {
    if (entry.language_id == language_id) return &entry;
  }
  return nullptr;
}

const SortOrderName* FindSortOrder(std::uint16_t language_id, std::string_view sort_name) {
  const LocaleName* entry = FindByLanguage(language_id);
  if (entry == nullptr) return nullptr;
  for (const SortOrderName& order : entry->sort_orders) {
    if (EqualIgnoringCase(order.name, sort_name)) return &order;
  }
  return nullptr;
}

}  // namespace

const std::array<LocaleName, kLocaleNameCount>& LocaleNames() { return kLocaleNames; }

bool LocaleNameKnown(std::string_view name) { return FindByName(name) != nullptr; }

std::uint16_t LanguageIdOfName(std::string_view name) {
  const LocaleName* entry = FindByName(name);
  return entry ? entry->language_id : kByteOrderLanguageId;
}

bool SortOrderNameValid(std::uint16_t language_id, std::string_view sort_name) {
  return FindSortOrder(language_id, sort_name) != nullptr;
}

std::optional<std::uint16_t> SortIdOfName(std::uint16_t language_id, std::string_view sort_name) {
  const SortOrderName* order = FindSortOrder(language_id, sort_name);
  if (order == nullptr) return std::nullopt;
  return order->sort_id;
}

bool LocaleInstalled(std::uint16_t language_id, std::uint16_t sort_id) {
  if (language_id == kByteOrderLanguageId) return true;
  return platform::IsValidLocale(platform::MakeLocaleId(language_id, sort_id),
                                 platform::kLcidInstalled);
}

}  // namespace telvora::engine
