#pragma once
// The Windows national-language functions the table engine builds its
// locales on: CompareStringA, LCMapStringA (upper and lower case) and
// IsValidLocale, answered by ICU.
//
// A locale id is sort id * 65536 + language id. It is resolved once per use
// to an ICU locale (uloc_getLocaleForLCID) and to the language's ANSI code
// page, which decodes the byte strings before ICU sees them.
//
// Which locales exist ("installed") is this system's own rule, because ICU
// answers every id with some locale:
// - the language id is one of the locale name table's (kLocaleLanguageIds),
//   and not 0: language 0 means byte order, which the engine handles itself,
//   so every function here refuses a locale id whose language is 0;
// - the sort id is 0, or a sort order ICU offers for that language: one
//   that uloc_getLocaleForLCID turns into an ICU "@collation=" keyword, or
//   the German phone book order (sort id 1) of the five German languages,
//   which ICU knows only for Germany and which is added here by hand.
//
// Thread safety: every function may be called from any thread at any time.
// Collators are opened once per (locale id, flags) as process-wide
// prototypes under a lock; each thread compares with its own clones, since
// an ICU collator is not safe for concurrent use. Case-mapping tables are
// built once per (locale id, operation) and then only read.
//
// Failures are reported as Windows reports them: the function returns 0
// (false for IsValidLocale) and sets the thread's last system error to
// kErrorInvalidParameter (unknown locale, missing string, bad count),
// kErrorInvalidFlags or kErrorInsufficientBuffer.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace telvora::platform {

using Lcid = std::uint32_t;

// CompareStringA flags.
inline constexpr std::uint32_t kNormIgnoreCase = 0x1;       // NORM_IGNORECASE
inline constexpr std::uint32_t kNormIgnoreNonSpace = 0x2;   // NORM_IGNORENONSPACE
inline constexpr std::uint32_t kSortStringSort = 0x1000;    // SORT_STRINGSORT

// CompareStringA results (CSTR_LESS_THAN, CSTR_EQUAL, CSTR_GREATER_THAN);
// 0 is failure.
inline constexpr int kCompareLessThan = 1;
inline constexpr int kCompareEqual = 2;
inline constexpr int kCompareGreaterThan = 3;

// LCMapStringA operations.
inline constexpr std::uint32_t kLcMapLowerCase = 0x100;  // LCMAP_LOWERCASE
inline constexpr std::uint32_t kLcMapUpperCase = 0x200;  // LCMAP_UPPERCASE

// IsValidLocale flags; both are answered with the installed test.
inline constexpr std::uint32_t kLcidInstalled = 0x1;  // LCID_INSTALLED
inline constexpr std::uint32_t kLcidSupported = 0x2;  // LCID_SUPPORTED

// Windows error numbers these functions report besides kErrorInvalidParameter.
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorInvalidFlags = 1004;

// The sort id of the German phone book order.
inline constexpr std::uint16_t kSortGermanPhoneBook = 1;

inline constexpr int kLocaleLanguageCount = 99;

// The language ids of the locale name table, in the table's order
// (sublanguage * 1024 + primary language). The first, 0, is byte order.
inline constexpr std::array<std::uint16_t, kLocaleLanguageCount> kLocaleLanguageIds = {
    0x0000, 0x0436, 0x041C, 0x0401, 0x0801, 0x0C01, 0x1001, 0x1401, 0x1801, 0x1C01,
    0x2001, 0x2401, 0x2801, 0x2C01, 0x3001, 0x3401, 0x3801, 0x3C01, 0x4001, 0x042D,
    0x0423, 0x0402, 0x0403, 0x041A, 0x0405, 0x0406, 0x0413, 0x0813, 0x0409, 0x0809,
    0x0C09, 0x1009, 0x1409, 0x1809, 0x1C09, 0x2009, 0x2409, 0x2809, 0x2C09, 0x0425,
    0x0438, 0x0429, 0x040B, 0x040C, 0x080C, 0x0C0C, 0x100C, 0x140C, 0x0407, 0x0807,
    0x0C07, 0x1007, 0x1407, 0x0408, 0x040D, 0x040E, 0x040F, 0x0421, 0x0410, 0x0810,
    0x0426, 0x0427, 0x0414, 0x0814, 0x0415, 0x0816, 0x0416, 0x0418, 0x0419, 0x081A,
    0x0C1A, 0x041B, 0x0424, 0x040A, 0x080A, 0x0C0A, 0x100A, 0x140A, 0x180A, 0x1C0A,
    0x200A, 0x240A, 0x280A, 0x2C0A, 0x300A, 0x340A, 0x380A, 0x3C0A, 0x400A, 0x440A,
    0x480A, 0x4C0A, 0x500A, 0x041D, 0x081D, 0x041E, 0x041F, 0x0422, 0x042A,
};

constexpr Lcid MakeLocaleId(std::uint16_t language_id, std::uint16_t sort_id) {
  return (static_cast<Lcid>(sort_id) << 16) | language_id;
}
constexpr std::uint16_t LanguageIdOf(Lcid locale) { return static_cast<std::uint16_t>(locale); }
constexpr std::uint16_t SortIdOf(Lcid locale) { return static_cast<std::uint16_t>(locale >> 16); }

// Compares count1 bytes of string1 with count2 bytes of string2 under the
// locale; a negative count means up to the terminating zero. A zero byte
// ends a string even within its count: what follows a terminator in a field
// or key is padding, not text. Returns kCompareLessThan, kCompareEqual or
// kCompareGreaterThan, or 0 on failure.
//
// Flags: kSortStringSort treats punctuation and spaces as characters (ICU
// alternate handling non-ignorable); without it they are ignored, as in
// Windows' word sort (ICU "shifted"). kNormIgnoreNonSpace ignores accents
// and vowel marks (ICU strength primary, with the case level on unless
// kNormIgnoreCase is set too). kNormIgnoreCase alone ignores case but not
// marks (strength secondary). Characters ICU treats as ignorable (controls,
// ZWNJ, ZWJ, tatweel) never make a difference.
int CompareStringA(Lcid locale, std::uint32_t flags, const char* string1, int count1,
                   const char* string2, int count2);

// Maps source to upper case (kLcMapUpperCase) or lower case
// (kLcMapLowerCase) into dest, byte for byte, with ICU's case mapping for
// the locale's language (Turkish i becomes dotted capital I). A byte whose
// mapping is not one character of the same code page stays as it is, so
// the result always has the source's length. dest may be source itself.
// source_count < 0 means up to and including the terminating zero; 0 is
// invalid. dest_count 0 asks for the size needed. Returns the number of
// bytes written (or needed), 0 on failure.
int LCMapStringA(Lcid locale, std::uint32_t flags, const char* source, int source_count,
                 char* dest, int dest_count);

// True when the locale is installed by the rule above; flags must be
// kLcidInstalled or kLcidSupported.
bool IsValidLocale(Lcid locale, std::uint32_t flags);

// The ICU locale an installed locale id is answered with
// ("fa_IR", "de_DE@collation=phonebook"); nothing for any other id.
std::optional<std::string> IcuLocaleOf(Lcid locale);

}  // namespace telvora::platform
