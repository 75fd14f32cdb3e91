#pragma once
// The locale name table: the 99 languages a table can be created with, each
// a name and its language id, and the sort-order names each language offers.
//
// Callers that speak in names (table definitions given as text) turn a name
// into the language id and sort id stored in the table header here, and ask
// whether such a locale exists on this machine.
//
// The table is a constant: any thread may call any function here at any
// time. Names are compared without regard to ASCII case.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace telvora::engine {

inline constexpr int kLocaleNameCount = 99;

// A sort order a language offers. Both sort orders the table knows carry
// sort id 0: the phone book order is named for the German languages but has
// no sort id of its own attached, so a table asked for it by name gets the
// default order's id.
struct SortOrderName {
  std::string_view name;
  std::uint16_t sort_id;
};

inline constexpr std::string_view kDefaultOrderName = "Default Order";
inline constexpr std::string_view kGermanPhoneBookOrderName = "German Phone Book Order";

struct LocaleName {
  std::string_view name;
  std::uint16_t language_id;  // sublanguage * 1024 + primary language
  std::span<const SortOrderName> sort_orders;
};

// The table in its fixed order; entry 0 is "ANSI Standard", language id 0.
const std::array<LocaleName, kLocaleNameCount>& LocaleNames();

// True when an entry of the table has this name.
bool LocaleNameKnown(std::string_view name);

// The language id of the entry with this name; 0 when there is none (which
// is also "ANSI Standard"'s id).
std::uint16_t LanguageIdOfName(std::string_view name);

// True when sort_name is one of the sort orders the language offers; false
// for a language id that is not in the table.
bool SortOrderNameValid(std::uint16_t language_id, std::string_view sort_name);

// The sort id attached to the language's sort-order name; nothing when the
// language does not offer that name.
std::optional<std::uint16_t> SortIdOfName(std::uint16_t language_id, std::string_view sort_name);

// True when a table with this locale can be created or opened here: always
// for language id 0 (byte order needs no national-language support), else
// the platform's installed-locale test for the locale identifier.
bool LocaleInstalled(std::uint16_t language_id, std::uint16_t sort_id);

}  // namespace telvora::engine
