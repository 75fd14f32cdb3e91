#pragma once
// Locale: the language id and sort id a table carries in its header.
//
// The pair decides how the table's strings compare, change case and sort in
// its indexes. Language id 0 means the plain order of the stored bytes and
// never reaches the national-language functions; any other language id is a
// Windows language identifier (primary language in the low 10 bits,
// sublanguage in the high 6), and together with the sort id it forms the
// Windows locale identifier sort id * 65536 + language id.
//
// A plain value: copy it freely between threads.

#include <cstdint>

#include "platform/national_language.h"

namespace telvora::engine {

// Language id of the byte order ("ANSI Standard").
inline constexpr std::uint16_t kByteOrderLanguageId = 0;
// English (United States): byte-order tables change case under this
// language, since they have no language of their own.
inline constexpr std::uint16_t kUnitedStatesEnglishLanguageId = 1033;

struct Locale {
  std::uint16_t language_id = kByteOrderLanguageId;
  std::uint16_t sort_id = 0;

  // True for language id 0, whatever the sort id says.
  bool byte_order() const { return language_id == kByteOrderLanguageId; }
  platform::Lcid locale_id() const { return platform::MakeLocaleId(language_id, sort_id); }

  friend bool operator==(const Locale&, const Locale&) = default;
};

}  // namespace telvora::engine
