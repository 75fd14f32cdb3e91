#include "engine/locale_case.h"

#include <climits>

#include "platform/national_language.h"

namespace telvora::engine {
namespace {

platform::Lcid CaseLocaleOf(const Locale& locale) {
  return locale.byte_order() ? platform::MakeLocaleId(kUnitedStatesEnglishLanguageId, 0)
                             : locale.locale_id();
}

void MapInPlace(const Locale& locale, std::uint32_t operation, char* text, std::size_t length) {
  // LCMapStringA takes an int count; longer texts are mapped in pieces,
  // which is the same since the mapping goes byte by byte.
  while (length > 0) {
    const int piece = length > INT_MAX ? INT_MAX : static_cast<int>(length);
    platform::LCMapStringA(CaseLocaleOf(locale), operation, text, piece, text, piece);
    text += piece;
    length -= static_cast<std::size_t>(piece);
  }
}

}  // namespace

void UpperCase(const Locale& locale, char* text, std::size_t length) {
  MapInPlace(locale, platform::kLcMapUpperCase, text, length);
}

void LowerCase(const Locale& locale, char* text, std::size_t length) {
  MapInPlace(locale, platform::kLcMapLowerCase, text, length);
}

void UpperCase(const Locale& locale, std::string& text) {
  UpperCase(locale, text.data(), text.size());
}

void LowerCase(const Locale& locale, std::string& text) {
  LowerCase(locale, text.data(), text.size());
}

}  // namespace telvora::engine
