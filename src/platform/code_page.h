#pragma once
// Windows ANSI code pages: bytes <-> Unicode text.
//
// The phone book's files hold code page 1256 (Windows Arabic) bytes; the
// windows show UTF-16 text. The national-language functions decode a table's
// bytes with the ANSI code page of the table's language, so every Windows
// ANSI code page is offered here: 874, 932, 936, 949, 950 and 1250 to 1258.
//
// CodePage is the converter for one code page. There is exactly one object
// per number, built on first use and never changed or destroyed afterwards,
// so any thread may call any of its methods at any time.
//
// Invariants:
// - Decoding never fails. A single-byte page decodes through a 256-entry
//   table built once from ICU's converter; a byte the page leaves undefined
//   (0xD2 in 1253, for instance) decodes to U+FFFD. In 1256 all 256 bytes are
//   defined, each to a different character. A double-byte page (932, 936,
//   949, 950) decodes through ICU, an invalid sequence becoming U+FFFD.
// - Encoding uses ICU's fallback mappings (1256: Farsi yeh U+06CC to Arabic
//   yeh 0xED, Persian and Arabic-Indic digits to ASCII digits, presentation
//   forms to their letters) and refuses a text holding any character with no
//   mapping at all, or ill-formed UTF-16/UTF-8: it returns std::nullopt and
//   never writes the converter's substitution byte 0x1A in its place.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace telvora::platform {

// Windows code page numbers.
inline constexpr std::uint16_t kCodePageThai = 874;
inline constexpr std::uint16_t kCodePageJapanese = 932;
inline constexpr std::uint16_t kCodePageSimplifiedChinese = 936;
inline constexpr std::uint16_t kCodePageKorean = 949;
inline constexpr std::uint16_t kCodePageTraditionalChinese = 950;
inline constexpr std::uint16_t kCodePageCentralEuropean = 1250;
inline constexpr std::uint16_t kCodePageCyrillic = 1251;
inline constexpr std::uint16_t kCodePageWestern = 1252;
inline constexpr std::uint16_t kCodePageGreek = 1253;
inline constexpr std::uint16_t kCodePageTurkish = 1254;
inline constexpr std::uint16_t kCodePageHebrew = 1255;
inline constexpr std::uint16_t kCodePageArabic = 1256;
inline constexpr std::uint16_t kCodePageBaltic = 1257;
inline constexpr std::uint16_t kCodePageVietnamese = 1258;

// What a byte that a single-byte page leaves undefined decodes to.
inline constexpr char16_t kUndefinedByteCharacter = u'\uFFFD';

class CodePage {
 public:
  // The converter for a Windows ANSI code page number, or nullptr when the
  // number is not one of the pages listed above. A page is built on its
  // first request; that throws std::runtime_error if ICU's data lacks its
  // converter, which only a broken installation does (and the next request
  // tries again).
  static const CodePage* Find(std::uint16_t number);

  // Code page 1256, the application's own.
  static const CodePage& Arabic();

  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  std::uint16_t number() const { return number_; }
  bool single_byte() const { return single_byte_; }

  // REQUIRES: single_byte().
  char16_t DecodeByte(std::uint8_t byte) const { return decode_table_[byte]; }

  // REQUIRES: single_byte(). The byte that decodes to exactly `c`, without
  // fallbacks; nothing when no byte does (or `c` is U+FFFD).
  std::optional<std::uint8_t> ExactByte(char16_t c) const;

  std::u16string Decode(std::string_view bytes) const;
  std::string DecodeToUtf8(std::string_view bytes) const;

  // Nothing when the text holds a character the page cannot represent even
  // through a fallback, or is not well-formed.
  std::optional<std::string> Encode(std::u16string_view text) const;
  std::optional<std::string> EncodeUtf8(std::string_view utf8) const;

 private:
  friend class CodePageSet;
  explicit CodePage(std::uint16_t number);

  std::uint16_t number_;
  std::string icu_name_;
  bool single_byte_ = false;
  std::array<char16_t, 256> decode_table_{};
  // (character, byte) pairs of the single-byte table sorted by character,
  // for ExactByte.
  std::array<std::pair<char16_t, std::uint8_t>, 256> encode_table_{};
  std::size_t encode_table_size_ = 0;
};

// Code page 1256 shorthands.
std::u16string Cp1256ToUtf16(std::string_view bytes);
std::string Cp1256ToUtf8(std::string_view bytes);
std::optional<std::string> Utf16ToCp1256(std::u16string_view text);
std::optional<std::string> Utf8ToCp1256(std::string_view utf8);

// The ANSI code page Windows gives a language id (primary language in the
// low 10 bits, sublanguage above): 1256 for the Arabic-script languages
// (Arabic, Farsi, Urdu, Uyghur, Dari), 1251 Cyrillic, 1250 Central European,
// 1253 Greek, 1254 Turkish (and Latin Azeri and Uzbek), 1255 Hebrew,
// 1257 Baltic, 874 Thai, 1258 Vietnamese, 932 Japanese, 949 Korean, 936/950
// Chinese; every other language, and language 0, gets 1252.
std::uint16_t AnsiCodePageOfLanguage(std::uint16_t language_id);

}  // namespace telvora::platform
