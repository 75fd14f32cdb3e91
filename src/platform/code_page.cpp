#include "platform/code_page.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace telvora::platform {
namespace {

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// ICU converters are not safe for concurrent use, and opening one from ICU's
// cached tables is cheap, so every conversion opens its own.
ConverterPtr OpenConverter(const std::string& icu_name) {
  UErrorCode status = U_ZERO_ERROR;
  ConverterPtr converter(ucnv_open(icu_name.c_str(), &status));
  // Several Windows names are ambiguous aliases in ICU's tables: opening
  // them succeeds with U_AMBIGUOUS_ALIAS_WARNING, which is not a failure.
  if (U_FAILURE(status) || !converter) {
    throw std::runtime_error("ICU cannot open the converter " + icu_name + ": " +
                             u_errorName(status));
  }
  return converter;
}

constexpr std::uint16_t kSupportedCodePages[] = {
    kCodePageThai,           kCodePageJapanese,       kCodePageSimplifiedChinese,
    kCodePageKorean,         kCodePageTraditionalChinese, kCodePageCentralEuropean,
    kCodePageCyrillic,       kCodePageWestern,        kCodePageGreek,
    kCodePageTurkish,        kCodePageHebrew,         kCodePageArabic,
    kCodePageBaltic,         kCodePageVietnamese,
};

}  // namespace

// Owns the one CodePage object per supported number. Each is built on its
// first request: a program that only ever converts code page 1256 should not
// pay for opening the large East Asian converters at start-up.
class CodePageSet {
 public:
  const CodePage* Find(std::uint16_t number) {
    const auto* supported = std::find(std::begin(kSupportedCodePages), std::end(kSupportedCodePages), number);
    if (supported == std::end(kSupportedCodePages)) return nullptr;
    Slot& slot = slots_[supported - std::begin(kSupportedCodePages)];
    std::call_once(slot.built, [&slot, number] { slot.page.reset(new CodePage(number)); });
    return slot.page.get();
  }

 private:
  struct Slot {
    std::once_flag built;
    std::unique_ptr<CodePage> page;
  };
  std::array<Slot, std::size(kSupportedCodePages)> slots_;
};

namespace {

CodePageSet& Pages() {
  // C++ makes the initialisation thread-safe; so does call_once per page.
  static CodePageSet pages;
  return pages;
}

}  // namespace

CodePage::CodePage(std::uint16_t number)
    : number_(number), icu_name_("windows-" + std::to_string(number)) {
  ConverterPtr converter = OpenConverter(icu_name_);
  single_byte_ = ucnv_getMaxCharSize(converter.get()) == 1;
  if (!single_byte_) return;

  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                      &status);
  for (int byte = 0; byte < 256; ++byte) {
    const char in = static_cast<char>(byte);
    UChar out[2];
    status = U_ZERO_ERROR;
    ucnv_reset(converter.get());
    const int32_t length = ucnv_toUChars(converter.get(), out, 2, &in, 1, &status);
    const bool defined = U_SUCCESS(status) && length == 1 && out[0] != kUndefinedByteCharacter;
    decode_table_[byte] = defined ? static_cast<char16_t>(out[0]) : kUndefinedByteCharacter;
    if (defined) {
      encode_table_[encode_table_size_++] = {decode_table_[byte], static_cast<std::uint8_t>(byte)};
    }
  }
  std::sort(encode_table_.begin(), encode_table_.begin() + encode_table_size_);
}

const CodePage* CodePage::Find(std::uint16_t number) { return Pages().Find(number); }

const CodePage& CodePage::Arabic() {
  static const CodePage& page = *Pages().Find(kCodePageArabic);
  return page;
}

std::optional<std::uint8_t> CodePage::ExactByte(char16_t c) const {
  const auto end = encode_table_.begin() + encode_table_size_;
  const auto it = std::lower_bound(encode_table_.begin(), end, std::make_pair(c, std::uint8_t{0}));
  if (it == end || it->first != c) return std::nullopt;
  return it->second;
}

std::u16string CodePage::Decode(std::string_view bytes) const {
  std::u16string text;
  if (single_byte_) {
    text.resize(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      text[i] = decode_table_[static_cast<std::uint8_t>(bytes[i])];
    }
    return text;
  }
  if (bytes.empty()) return text;
  ConverterPtr converter = OpenConverter(icu_name_);
  // Room for a replacement character per byte and then some, plus ICU's
  // terminating zero.
  text.resize(bytes.size() * 2 + 1);
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length =
      ucnv_toUChars(converter.get(), reinterpret_cast<UChar*>(text.data()),
                    static_cast<int32_t>(text.size()), bytes.data(),
                    static_cast<int32_t>(bytes.size()), &status);
  if (U_FAILURE(status)) {
    throw std::runtime_error(std::string("ICU cannot decode code page text: ") +
                             u_errorName(status));
  }
  text.resize(static_cast<std::size_t>(length));
  return text;
}

std::string CodePage::DecodeToUtf8(std::string_view bytes) const {
  const std::u16string text = Decode(bytes);
  std::string utf8(text.size() * 3 + 1, '\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  u_strToUTF8(utf8.data(), static_cast<int32_t>(utf8.size()), &length,
              reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
              &status);
  // Decoded text is always well-formed, and the buffer always large enough.
  if (U_FAILURE(status)) {
    throw std::runtime_error(std::string("ICU cannot write UTF-8: ") + u_errorName(status));
  }
  utf8.resize(static_cast<std::size_t>(length));
  return utf8;
}

std::optional<std::string> CodePage::Encode(std::u16string_view text) const {
  if (text.empty()) return std::string();
  ConverterPtr converter = OpenConverter(icu_name_);
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setFallback(converter.get(), true);
  // Stop at the first character without a mapping or fallback, instead of
  // writing the substitution byte.
  ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &status);
  std::string bytes(text.size() * static_cast<std::size_t>(ucnv_getMaxCharSize(converter.get())) + 1,
                    '\0');
  status = U_ZERO_ERROR;
  const int32_t length = ucnv_fromUChars(converter.get(), bytes.data(),
                                         static_cast<int32_t>(bytes.size()),
                                         reinterpret_cast<const UChar*>(text.data()),
                                         static_cast<int32_t>(text.size()), &status);
  if (U_FAILURE(status)) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(length));
  return bytes;
}

std::optional<std::string> CodePage::EncodeUtf8(std::string_view utf8) const {
  if (utf8.empty()) return std::string();
  std::u16string text(utf8.size() + 1, u'\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  // Without a substitution character ICU reports ill-formed UTF-8 as an
  // error rather than repairing it.
  u_strFromUTF8(reinterpret_cast<UChar*>(text.data()), static_cast<int32_t>(text.size()), &length,
                utf8.data(), static_cast<int32_t>(utf8.size()), &status);
  if (U_FAILURE(status)) return std::nullopt;
  text.resize(static_cast<std::size_t>(length));
  return Encode(text);
}

std::u16string Cp1256ToUtf16(std::string_view bytes) { return CodePage::Arabic().Decode(bytes); }

std::string Cp1256ToUtf8(std::string_view bytes) { return CodePage::Arabic().DecodeToUtf8(bytes); }

std::optional<std::string> Utf16ToCp1256(std::u16string_view text) {
  return CodePage::Arabic().Encode(text);
}

std::optional<std::string> Utf8ToCp1256(std::string_view utf8) {
  return CodePage::Arabic().EncodeUtf8(utf8);
}

namespace {

// Primary language numbers (the low 10 bits of a language id).
constexpr std::uint16_t kPrimaryLanguageMask = 0x3FF;
constexpr int kSublanguageShift = 10;

enum PrimaryLanguage : std::uint16_t {
  kLangArabic = 0x01,
  kLangBulgarian = 0x02,
  kLangChinese = 0x04,
  kLangCzech = 0x05,
  kLangGreek = 0x08,
  kLangHebrew = 0x0D,
  kLangHungarian = 0x0E,
  kLangJapanese = 0x11,
  kLangKorean = 0x12,
  kLangPolish = 0x15,
  kLangRomanian = 0x18,
  kLangRussian = 0x19,
  kLangSerbianCroatian = 0x1A,  // Croatian, Serbian and Bosnian share it
  kLangSlovak = 0x1B,
  kLangAlbanian = 0x1C,
  kLangThai = 0x1E,
  kLangTurkish = 0x1F,
  kLangUrdu = 0x20,
  kLangUkrainian = 0x22,
  kLangBelarusian = 0x23,
  kLangSlovenian = 0x24,
  kLangEstonian = 0x25,
  kLangLatvian = 0x26,
  kLangLithuanian = 0x27,
  kLangTajik = 0x28,
  kLangFarsi = 0x29,
  kLangVietnamese = 0x2A,
  kLangAzeri = 0x2C,
  kLangMacedonian = 0x2F,
  kLangKazakh = 0x3F,
  kLangKyrgyz = 0x40,
  kLangTurkmen = 0x42,
  kLangUzbek = 0x43,
  kLangTatar = 0x44,
  kLangMongolian = 0x50,
  kLangUyghur = 0x80,
  kLangDari = 0x8C,
};

// Sublanguages that select a script.
constexpr std::uint16_t kSubLatin = 1;     // Azeri, Uzbek
constexpr std::uint16_t kSubCyrillic = 2;  // Azeri, Uzbek
// Serbian (Cyrillic), Serbian Cyrillic (Bosnia), Bosnian (Cyrillic).
constexpr std::uint16_t kSerbianCyrillicSubs[] = {3, 7, 8};
// Chinese: Taiwan, Hong Kong, Macao and the neutral traditional id.
constexpr std::uint16_t kTraditionalChineseSubs[] = {1, 3, 5, 0x1F};

template <std::size_t N>
bool Contains(const std::uint16_t (&list)[N], std::uint16_t value) {
  return std::find(list, list + N, value) != list + N;
}

}  // namespace

std::uint16_t AnsiCodePageOfLanguage(std::uint16_t language_id) {
  const std::uint16_t primary = language_id & kPrimaryLanguageMask;
  const std::uint16_t sub = language_id >> kSublanguageShift;
  switch (primary) {
    case kLangArabic:
    case kLangUrdu:
    case kLangFarsi:
    case kLangUyghur:
    case kLangDari:
      return kCodePageArabic;
    case kLangBulgarian:
    case kLangRussian:
    case kLangUkrainian:
    case kLangBelarusian:
    case kLangTajik:
    case kLangMacedonian:
    case kLangKazakh:
    case kLangKyrgyz:
    case kLangTatar:
    case kLangMongolian:
      return kCodePageCyrillic;
    case kLangSerbianCroatian:
      return Contains(kSerbianCyrillicSubs, sub) ? kCodePageCyrillic : kCodePageCentralEuropean;
    case kLangCzech:
    case kLangHungarian:
    case kLangPolish:
    case kLangRomanian:
    case kLangSlovak:
    case kLangAlbanian:
    case kLangSlovenian:
    case kLangTurkmen:
      return kCodePageCentralEuropean;
    case kLangGreek:
      return kCodePageGreek;
    case kLangTurkish:
      return kCodePageTurkish;
    case kLangAzeri:
    case kLangUzbek:
      if (sub == kSubLatin) return kCodePageTurkish;
      if (sub == kSubCyrillic) return kCodePageCyrillic;
      return kCodePageWestern;
    case kLangHebrew:
      return kCodePageHebrew;
    case kLangEstonian:
    case kLangLatvian:
    case kLangLithuanian:
      return kCodePageBaltic;
    case kLangThai:
      return kCodePageThai;
    case kLangVietnamese:
      return kCodePageVietnamese;
    case kLangJapanese:
      return kCodePageJapanese;
    case kLangKorean:
      return kCodePageKorean;
    case kLangChinese:
      return Contains(kTraditionalChineseSubs, sub) ? kCodePageTraditionalChinese
                                                    : kCodePageSimplifiedChinese;
    default:
      return kCodePageWestern;
  }
}

}  // namespace telvora::platform
