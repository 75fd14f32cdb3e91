#include "engine/locale_collation.h"

#include <cstring>
#include <string>

#include "engine/locale_case.h"
#include "platform/national_language.h"

namespace telvora::engine {
namespace {

constexpr std::uint32_t kCaseSensitiveFlags =
    platform::kSortStringSort | platform::kNormIgnoreNonSpace;
constexpr std::uint32_t kCaseInsensitiveFlags = kCaseSensitiveFlags | platform::kNormIgnoreCase;

const Locale kUnitedStatesEnglish{kUnitedStatesEnglishLanguageId, 0};

// Unsigned bytes, the first difference deciding, over count bytes (count 0:
// no limit). A zero byte that both strings hold at the same place ends them:
// with count 0 that is s1's terminator, and with a count it keeps the
// comparison from running past the end of a string shorter than the count.
int CompareBytes(const char* s1, const char* s2, int count) {
  for (int i = 0; count == 0 || i < count; ++i) {
    const auto b1 = static_cast<unsigned char>(s1[i]);
    const auto b2 = static_cast<unsigned char>(s2[i]);
    if (b1 != b2) return b1 < b2 ? -1 : 1;
    if (b1 == 0) return 0;
  }
  return 0;
}

// The string as far as the comparison will look at it.
std::string UpperCaseCopy(const char* s, int count) {
  std::string copy(s, count == 0 ? std::strlen(s) : strnlen(s, static_cast<std::size_t>(count)));
  UpperCase(kUnitedStatesEnglish, copy);
  return copy;
}

int FromPlatform(int result) { return result - platform::kCompareEqual; }

}  // namespace

int CompareStrings(const Locale& locale, const char* s1, const char* s2, bool case_insensitive,
                   int count) {
  if (locale.byte_order()) {
    if (!case_insensitive) return CompareBytes(s1, s2, count);
    const std::string upper1 = UpperCaseCopy(s1, count);
    const std::string upper2 = UpperCaseCopy(s2, count);
    return CompareBytes(upper1.c_str(), upper2.c_str(), count);
  }
  const int platform_count = count == 0 ? -1 : count;
  const int result = platform::CompareStringA(
      locale.locale_id(), case_insensitive ? kCaseInsensitiveFlags : kCaseSensitiveFlags, s1,
      platform_count, s2, platform_count);
  if (result == 0) return CompareBytes(s1, s2, count);
  return FromPlatform(result);
}

int CompareCharacters(const Locale& locale, char c1, char c2) {
  if (locale.byte_order()) {
    char upper[2] = {c1, c2};
    UpperCase(kUnitedStatesEnglish, upper, 2);
    const auto b1 = static_cast<unsigned char>(upper[0]);
    const auto b2 = static_cast<unsigned char>(upper[1]);
    return b1 == b2 ? 0 : (b1 < b2 ? -1 : 1);
  }
  const int result =
      platform::CompareStringA(locale.locale_id(), kCaseSensitiveFlags, &c1, 1, &c2, 1);
  if (result == 0) {
    const auto b1 = static_cast<unsigned char>(c1);
    const auto b2 = static_cast<unsigned char>(c2);
    return b1 == b2 ? 0 : (b1 < b2 ? -1 : 1);
  }
  return FromPlatform(result);
}

}  // namespace telvora::engine
