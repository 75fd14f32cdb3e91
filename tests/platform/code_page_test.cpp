#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace telvora::platform {
namespace {

TEST(CodePage1256Test, EveryByteDecodesToItsOwnCharacterAndEncodesBack) {
  std::set<char16_t> seen;
  for (int byte = 0; byte < 256; ++byte) {
    const std::string one(1, static_cast<char>(byte));
    const std::u16string text = Cp1256ToUtf16(one);
    ASSERT_EQ(text.size(), 1u) << "byte " << byte;
    EXPECT_NE(text[0], kUndefinedByteCharacter) << "byte " << byte;
    if (byte < 0x80) {
      EXPECT_EQ(text[0], static_cast<char16_t>(byte)) << "byte " << byte;
    }
    seen.insert(text[0]);
    EXPECT_EQ(Utf16ToCp1256(text), one) << "byte " << byte;
    EXPECT_EQ(CodePage::Arabic().ExactByte(text[0]), static_cast<std::uint8_t>(byte));
  }
  EXPECT_EQ(seen.size(), 256u);
}

TEST(CodePage1256Test, PersianLettersOfThePhoneBookAlphabetRoundTrip) {
  struct Case {
    const char* utf8;
    char byte;
    const char* utf8_back;  // what the byte decodes to
  };
  const Case cases[] = {
      {"پ", '\x81', "پ"},
      {"چ", '\x8D', "چ"},
      {"ژ", '\x8E', "ژ"},
      {"گ", '\x90', "گ"},
      {"ک", '\x98', "ک"},
      // The code page has one yeh; the Farsi yeh is stored as the Arabic one.
      {"ی", '\xED', "ي"},
  };
  for (const Case& c : cases) {
    const std::optional<std::string> bytes = Utf8ToCp1256(c.utf8);
    ASSERT_TRUE(bytes) << c.utf8;
    EXPECT_EQ(*bytes, std::string(1, c.byte)) << c.utf8;
    EXPECT_EQ(Cp1256ToUtf8(*bytes), c.utf8_back) << c.utf8;
  }

  // The whole alphabet, in a phone book's order, survives but for the yeh.
  const std::string alphabet = "ابپتثجچحخدذرزژسشصضطظعغفقکگلمنوهی";
  const std::optional<std::string> bytes = Utf8ToCp1256(alphabet);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->size(), 32u);
  EXPECT_EQ(Cp1256ToUtf8(*bytes), "ابپتثجچحخدذرزژسشصضطظعغفقکگلمنوهي");
}

TEST(CodePage1256Test, FallbacksMapPersianFormsToTheCodePage) {
  struct Case {
    std::u16string text;
    std::string bytes;
  };
  const Case cases[] = {
      {u"\u06CC", "\xED"},                          // Farsi yeh -> Arabic yeh
      {u"\u06F0\u06F1\u06F2\u06F3\u06F4\u06F5\u06F6\u06F7\u06F8\u06F9", "0123456789"},
      {u"\u0660\u0661\u0662\u0663\u0664\u0665\u0666\u0667\u0668\u0669", "0123456789"},
      {u"\uFB8E", "\x98"},                          // keheh presentation form -> keheh
      {u"\u0639\u0644\u06CC \u06F0\u06F9\u06F1\u06F2", "\xDA\xE1\xED 0912"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf16ToCp1256(c.text), c.bytes);
  }
}

TEST(CodePage1256Test, TextWithAnUnmappableCharacterIsRefused) {
  const std::u16string refused[] = {
      u"\u4E00",          // CJK
      u"\u00E4",          // a-umlaut: 1256 holds some accented Latin, not this one
      u"\u06C0",          // heh with yeh above
      u"abc\u4E00def",    // one bad character refuses the whole text
      std::u16string(1, u'\xD800'),  // lone surrogate
  };
  for (const std::u16string& text : refused) {
    EXPECT_FALSE(Utf16ToCp1256(text)) << text.size();
  }
  const std::string bad_utf8[] = {"\xC3", "ab\xFF", "\xED\xA0\x80"};
  for (const std::string& text : bad_utf8) {
    EXPECT_FALSE(Utf8ToCp1256(text)) << text;
  }
  // The control character 0x1A itself is text like any other.
  EXPECT_EQ(Utf16ToCp1256(u"\u001A"), "\x1A");
  EXPECT_EQ(Utf16ToCp1256(u""), "");
}

TEST(CodePageTest, EachWindowsAnsiPageRoundTripsItsOwnScript) {
  struct Case {
    std::uint16_t number;
    const char* utf8;
    std::size_t encoded_size;
  };
  const Case cases[] = {
      {1250, "Łódź", 4},      {1251, "Привет", 6},  {1252, "Ærøskøbing", 10},
      {1253, "Αθήνα", 5},     {1254, "İstanbul ığ", 11}, {1255, "שלום", 4},
      {1256, "تلفن", 4},      {1257, "Ērģelnieks", 10}, {1258, "Đà", 2},
      {874, "สวัสดี", 6},      {932, "日本語", 6},    {936, "中文", 4},
      {949, "한국어", 6},      {950, "中文", 4},
  };
  for (const Case& c : cases) {
    const CodePage* page = CodePage::Find(c.number);
    ASSERT_NE(page, nullptr) << c.number;
    EXPECT_EQ(page->number(), c.number);
    EXPECT_EQ(page->single_byte(), c.number != 932 && c.number != 936 && c.number != 949 &&
                                       c.number != 950)
        << c.number;
    const std::optional<std::string> bytes = page->EncodeUtf8(c.utf8);
    ASSERT_TRUE(bytes) << c.number;
    EXPECT_EQ(bytes->size(), c.encoded_size) << c.number;
    EXPECT_EQ(page->DecodeToUtf8(*bytes), c.utf8) << c.number;
  }
}

TEST(CodePageTest, UnsupportedNumbersHaveNoConverter) {
  for (std::uint16_t number : {0, 437, 850, 1200, 1259, 20127, 65001}) {
    EXPECT_EQ(CodePage::Find(number), nullptr) << number;
  }
}

TEST(CodePageTest, BytesAPageLeavesUndefinedDecodeToTheReplacementCharacter) {
  const CodePage* greek = CodePage::Find(1253);
  ASSERT_NE(greek, nullptr);
  EXPECT_EQ(greek->DecodeByte(0xD2), kUndefinedByteCharacter);
  EXPECT_EQ(greek->Decode("\xC1\xD2"), u"\u0391\uFFFD");
  EXPECT_FALSE(greek->ExactByte(kUndefinedByteCharacter));

  // A broken double-byte sequence does not stop decoding either.
  const CodePage* japanese = CodePage::Find(932);
  ASSERT_NE(japanese, nullptr);
  const std::u16string text = japanese->Decode("a\x81");
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text[0], u'a');
}

TEST(CodePageTest, AnsiCodePageOfLanguage) {
  struct Case {
    std::uint16_t language_id;
    std::uint16_t code_page;
  };
  const Case cases[] = {
      {0x0429, 1256}, {0x0401, 1256}, {0x3801, 1256}, {0x0420, 1256}, {0x0409, 1252},
      {0x0407, 1252}, {0x040C, 1252}, {0x0000, 1252}, {0x0405, 1250}, {0x041A, 1250},
      {0x081A, 1250}, {0x0C1A, 1251}, {0x0419, 1251}, {0x0422, 1251}, {0x0408, 1253},
      {0x041F, 1254}, {0x042C, 1254}, {0x082C, 1251}, {0x040D, 1255}, {0x0425, 1257},
      {0x0426, 1257}, {0x0427, 1257}, {0x041E, 874},  {0x042A, 1258}, {0x0411, 932},
      {0x0804, 936},  {0x0404, 950},  {0x0C04, 950},  {0x0412, 949},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AnsiCodePageOfLanguage(c.language_id), c.code_page) << std::hex << c.language_id;
    EXPECT_NE(CodePage::Find(c.code_page), nullptr) << c.code_page;
  }
}

}  // namespace
}  // namespace telvora::platform
