#include "platform/national_language.h"

#include <unicode/ucol.h>
#include <unicode/uenum.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/code_page.h"
#include "platform/last_error.h"

namespace telvora::platform {
namespace {

constexpr std::uint32_t kCompareFlags = kNormIgnoreCase | kNormIgnoreNonSpace | kSortStringSort;

constexpr char kCollationKeyword[] = "collation";
constexpr char kPhoneBookCollation[] = "phonebook";
constexpr std::uint16_t kPrimaryGerman = 0x07;
constexpr std::uint16_t kPrimaryLanguageMask = 0x3FF;

// The German phone book order is the one of Germany's phone books (umlauts
// sort as the vowel followed by e). ICU derives it only from 0x10407; the
// other German languages get the same order. Not de_AT's own "phonebook"
// tailoring: that one is Austria's, which sorts umlauts as letters of their
// own and would make one sort order name mean two orders.
constexpr char kGermanPhoneBookLocale[] = "de_DE@collation=phonebook";

// What a locale id resolves to.
struct ResolvedLocale {
  std::string icu_locale;
  const CodePage* code_page = nullptr;
};

bool IsTableLanguage(std::uint16_t language_id) {
  return std::find(kLocaleLanguageIds.begin(), kLocaleLanguageIds.end(), language_id) !=
         kLocaleLanguageIds.end();
}

std::optional<std::string> LocaleForLcid(Lcid locale) {
  char name[ULOC_FULLNAME_CAPACITY];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = uloc_getLocaleForLCID(locale, name, sizeof name, &status);
  if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING || length <= 0) {
    return std::nullopt;
  }
  return std::string(name, static_cast<std::size_t>(length));
}

std::optional<std::string> CollationKeywordOf(const std::string& icu_locale) {
  char value[ULOC_KEYWORDS_CAPACITY];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length =
      uloc_getKeywordValue(icu_locale.c_str(), kCollationKeyword, value, sizeof value, &status);
  if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING || length <= 0) {
    return std::nullopt;
  }
  return std::string(value, static_cast<std::size_t>(length));
}

// True when ICU has the named collation for the locale (its keyword values
// list only the collations its data holds for that language).
bool IcuOffersCollation(const std::string& icu_locale, const std::string& collation) {
  UErrorCode status = U_ZERO_ERROR;
  UEnumeration* values =
      ucol_getKeywordValuesForLocale(kCollationKeyword, icu_locale.c_str(), false, &status);
  if (U_FAILURE(status) || values == nullptr) {
    if (values) uenum_close(values);
    return false;
  }
  bool found = false;
  const char* value = nullptr;
  while (!found && (value = uenum_next(values, nullptr, &status)) != nullptr && U_SUCCESS(status)) {
    found = collation == value;
  }
  uenum_close(values);
  return found;
}

// The sort order a non-zero sort id names for a language, as an ICU locale.
std::optional<std::string> SortedLocale(Lcid locale) {
  const std::uint16_t language_id = LanguageIdOf(locale);
  // ICU maps an id it does not know to the bare language ("de" for
  // 0x20407); only an explicit collation keyword names a real sort order.
  std::optional<std::string> icu_locale =
      SortIdOf(locale) == kSortGermanPhoneBook &&
              (language_id & kPrimaryLanguageMask) == kPrimaryGerman
          ? std::optional<std::string>(kGermanPhoneBookLocale)
          : LocaleForLcid(locale);
  if (!icu_locale) return std::nullopt;
  std::optional<std::string> collation = CollationKeywordOf(*icu_locale);
  if (!collation || !IcuOffersCollation(*icu_locale, *collation)) return std::nullopt;
  return icu_locale;
}

std::optional<ResolvedLocale> Resolve(Lcid locale) {
  const std::uint16_t language_id = LanguageIdOf(locale);
  if (language_id == 0 || !IsTableLanguage(language_id)) return std::nullopt;
  std::optional<std::string> icu_locale =
      SortIdOf(locale) == 0 ? LocaleForLcid(language_id) : SortedLocale(locale);
  if (!icu_locale) return std::nullopt;
  const CodePage* code_page = CodePage::Find(AnsiCodePageOfLanguage(language_id));
  // Every language of the table uses a single-byte page, which the case
  // tables below rely on.
  if (code_page == nullptr || !code_page->single_byte()) return std::nullopt;
  return ResolvedLocale{std::move(*icu_locale), code_page};
}

// ---- Collators ------------------------------------------------------------

struct CollatorCloser {
  void operator()(UCollator* collator) const { ucol_close(collator); }
};
using CollatorPtr = std::unique_ptr<UCollator, CollatorCloser>;

struct CollatorEntry {
  CollatorPtr collator;
  const CodePage* code_page = nullptr;
};

using CollatorKey = std::uint64_t;

CollatorKey KeyOf(Lcid locale, std::uint32_t flags) {
  return (static_cast<CollatorKey>(locale) << 32) | flags;
}

CollatorPtr OpenCollator(const ResolvedLocale& resolved, std::uint32_t flags) {
  UErrorCode status = U_ZERO_ERROR;
  CollatorPtr collator(ucol_open(resolved.icu_locale.c_str(), &status));
  if (U_FAILURE(status) || !collator) return nullptr;
  const bool ignore_case = (flags & kNormIgnoreCase) != 0;
  const bool ignore_marks = (flags & kNormIgnoreNonSpace) != 0;
  UColAttributeValue strength = UCOL_TERTIARY;
  if (ignore_marks) {
    strength = UCOL_PRIMARY;
  } else if (ignore_case) {
    strength = UCOL_SECONDARY;
  }
  ucol_setAttribute(collator.get(), UCOL_STRENGTH, strength, &status);
  // At strength primary the case level keeps upper and lower case apart
  // while accents and vowel marks are still ignored.
  ucol_setAttribute(collator.get(), UCOL_CASE_LEVEL,
                    ignore_marks && !ignore_case ? UCOL_ON : UCOL_OFF, &status);
  ucol_setAttribute(collator.get(), UCOL_ALTERNATE_HANDLING,
                    (flags & kSortStringSort) ? UCOL_NON_IGNORABLE : UCOL_SHIFTED, &status);
  // Marks typed in a different order (shadda then fatha, or fatha then
  // shadda) are the same text.
  ucol_setAttribute(collator.get(), UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
  if (U_FAILURE(status)) return nullptr;
  return collator;
}

// Process-wide prototypes, used only to be cloned, under their lock.
class CollatorPrototypes {
 public:
  // A fresh clone for the calling thread; an empty entry when the locale is
  // not installed.
  CollatorEntry Clone(Lcid locale, std::uint32_t flags) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = prototypes_.find(KeyOf(locale, flags));
    if (it == prototypes_.end()) {
      CollatorEntry prototype;
      if (std::optional<ResolvedLocale> resolved = Resolve(locale)) {
        prototype.collator = OpenCollator(*resolved, flags);
        prototype.code_page = resolved->code_page;
      }
      if (!prototype.collator) return {};
      it = prototypes_.emplace(KeyOf(locale, flags), std::move(prototype)).first;
    }
    UErrorCode status = U_ZERO_ERROR;
    CollatorPtr clone(ucol_clone(it->second.collator.get(), &status));
    if (U_FAILURE(status) || !clone) return {};
    return CollatorEntry{std::move(clone), it->second.code_page};
  }

 private:
  std::mutex mutex_;
  std::map<CollatorKey, CollatorEntry> prototypes_;
};

CollatorPrototypes& Prototypes() {
  static CollatorPrototypes prototypes;
  return prototypes;
}

// The calling thread's collator for (locale, flags), or nullptr when the
// locale is not installed.
const CollatorEntry* ThreadCollator(Lcid locale, std::uint32_t flags) {
  thread_local std::unordered_map<CollatorKey, CollatorEntry> collators;
  const CollatorKey key = KeyOf(locale, flags);
  auto it = collators.find(key);
  if (it == collators.end()) {
    CollatorEntry entry = Prototypes().Clone(locale, flags);
    if (!entry.collator) return nullptr;
    it = collators.emplace(key, std::move(entry)).first;
  }
  return &it->second;
}

// ---- Case tables ----------------------------------------------------------

using CaseTable = std::array<std::uint8_t, 256>;

// The byte each byte becomes; a byte keeps its value when its mapping is
// more than one character (German sharp s to SS) or a character the page
// cannot hold exactly (in 1256, e-grave's capital).
CaseTable BuildCaseTable(const ResolvedLocale& resolved, bool upper) {
  const CodePage& page = *resolved.code_page;
  CaseTable table;
  for (int byte = 0; byte < 256; ++byte) {
    table[byte] = static_cast<std::uint8_t>(byte);
    const UChar c = page.DecodeByte(static_cast<std::uint8_t>(byte));
    if (c == kUndefinedByteCharacter) continue;
    UChar mapped[4];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        upper ? u_strToUpper(mapped, 4, &c, 1, resolved.icu_locale.c_str(), &status)
              : u_strToLower(mapped, 4, &c, 1, resolved.icu_locale.c_str(), &status);
    if (U_FAILURE(status) || length != 1) continue;
    if (std::optional<std::uint8_t> mapped_byte = page.ExactByte(mapped[0])) {
      table[byte] = *mapped_byte;
    }
  }
  return table;
}

class CaseTables {
 public:
  // The table for (locale, upper or lower); nullptr when the locale is not
  // installed. A table, once built, lives as long as the process.
  const CaseTable* Find(Lcid locale, bool upper) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto key = std::make_pair(locale, upper);
    auto it = tables_.find(key);
    if (it == tables_.end()) {
      std::optional<ResolvedLocale> resolved = Resolve(locale);
      if (!resolved) return nullptr;
      it = tables_.emplace(key, std::make_unique<CaseTable>(BuildCaseTable(*resolved, upper)))
               .first;
    }
    return it->second.get();
  }

 private:
  std::mutex mutex_;
  std::map<std::pair<Lcid, bool>, std::unique_ptr<const CaseTable>> tables_;
};

CaseTables& Tables() {
  static CaseTables tables;
  return tables;
}

std::size_t LengthWithin(const char* s, int count) {
  if (count < 0) return std::strlen(s);
  const void* zero = std::memchr(s, '\0', static_cast<std::size_t>(count));
  return zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - s)
              : static_cast<std::size_t>(count);
}

int Fail(std::uint32_t error) {
  SetLastSystemError(error);
  return 0;
}

}  // namespace

int CompareStringA(Lcid locale, std::uint32_t flags, const char* string1, int count1,
                   const char* string2, int count2) {
  if (flags & ~kCompareFlags) return Fail(kErrorInvalidFlags);
  if (string1 == nullptr || string2 == nullptr) return Fail(kErrorInvalidParameter);
  const CollatorEntry* entry = ThreadCollator(locale, flags);
  if (entry == nullptr) return Fail(kErrorInvalidParameter);

  const std::u16string text1 =
      entry->code_page->Decode(std::string_view(string1, LengthWithin(string1, count1)));
  const std::u16string text2 =
      entry->code_page->Decode(std::string_view(string2, LengthWithin(string2, count2)));
  const UCollationResult result = ucol_strcoll(
      entry->collator.get(), reinterpret_cast<const UChar*>(text1.data()),
      static_cast<int32_t>(text1.size()), reinterpret_cast<const UChar*>(text2.data()),
      static_cast<int32_t>(text2.size()));
  switch (result) {
    case UCOL_LESS:
      return kCompareLessThan;
    case UCOL_EQUAL:
      return kCompareEqual;
    case UCOL_GREATER:
      return kCompareGreaterThan;
  }
  return Fail(kErrorInvalidParameter);
}

int LCMapStringA(Lcid locale, std::uint32_t flags, const char* source, int source_count,
                 char* dest, int dest_count) {
  if (flags != kLcMapUpperCase && flags != kLcMapLowerCase) return Fail(kErrorInvalidFlags);
  if (source == nullptr || source_count == 0 || dest_count < 0 ||
      (dest == nullptr && dest_count > 0)) {
    return Fail(kErrorInvalidParameter);
  }
  const CaseTable* table = Tables().Find(locale, flags == kLcMapUpperCase);
  if (table == nullptr) return Fail(kErrorInvalidParameter);

  const std::size_t length =
      source_count < 0 ? std::strlen(source) + 1 : static_cast<std::size_t>(source_count);
  if (length > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    return Fail(kErrorInvalidParameter);
  }
  if (dest_count == 0) return static_cast<int>(length);
  if (static_cast<std::size_t>(dest_count) < length) return Fail(kErrorInsufficientBuffer);

  // Byte by byte, each written after it is read: safe when dest is source,
  // and when the two overlap anywhere else the copy below keeps it safe.
  if (dest == source) {
    for (std::size_t i = 0; i < length; ++i) {
      dest[i] = static_cast<char>((*table)[static_cast<std::uint8_t>(source[i])]);
    }
  } else {
    std::string mapped(length, '\0');
    for (std::size_t i = 0; i < length; ++i) {
      mapped[i] = static_cast<char>((*table)[static_cast<std::uint8_t>(source[i])]);
    }
    std::memmove(dest, mapped.data(), length);
  }
  return static_cast<int>(length);
}

bool IsValidLocale(Lcid locale, std::uint32_t flags) {
  if (flags != kLcidInstalled && flags != kLcidSupported) return false;
  return Resolve(locale).has_value();
}

std::optional<std::string> IcuLocaleOf(Lcid locale) {
  std::optional<ResolvedLocale> resolved = Resolve(locale);
  if (!resolved) return std::nullopt;
  return std::move(resolved->icu_locale);
}

}  // namespace telvora::platform
