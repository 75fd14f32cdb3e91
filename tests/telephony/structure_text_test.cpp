// Text read from inside TAPI structures: 8-bit through code page 1256,
// 16-bit as is, up to the first terminator, never outside the structure.

#include <gtest/gtest.h>

#include <cstring>

#include "tapi/tapi_structures.h"
#include "telephony/structure_text.h"

namespace telvora::telephony::test {
namespace {

using namespace tapi;

// A VARSTRING of `bytes` string bytes after its header.
TVarBuffer Structure(const std::string& bytes) {
  TVarBuffer b;
  const std::size_t size = sizeof(VARSTRING) + bytes.size();
  EXPECT_TRUE(b.Allocate(size, 0));
  auto* v = static_cast<VARSTRING*>(b.Raw());
  v->dwNeededSize = v->dwUsedSize = static_cast<DWORD>(size);
  std::memcpy(b.MutableBytes() + sizeof(VARSTRING), bytes.data(), bytes.size());
  return b;
}

TEST(StructureTextTest, ReadsEightAndSixteenBitStrings) {
  struct Case {
    const char* name;
    std::string bytes;
    bool wide;
    std::u16string expected;
  };
  const Case cases[] = {
      {"ascii", std::string("Modem\0", 6), false, u"Modem"},
      {"code page 1256", std::string("\xCE\xD8 \xED\0", 5), false, u"\u062E\u0637 \u064A"},
      {"stops at the first zero", std::string("ab\0cd", 5), false, u"ab"},
      {"unterminated", std::string("abc"), false, u"abc"},
      {"utf-16", std::string("\x2E\x06\x37\x06\0\0", 6), true, u"\u062E\u0637"},
      {"utf-16 stops at a 16-bit zero only", std::string("A\0\0\x06\0\0", 6), true, u"A\u0600"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TVarBuffer b = Structure(c.bytes);
    std::u16string text = u"stale";
    EXPECT_EQ(TextFromStructure(b, sizeof(VARSTRING), static_cast<DWORD>(c.bytes.size()), c.wide, text), 0);
    EXPECT_EQ(text, c.expected);
  }
}

TEST(StructureTextTest, StringOutsideTheStructureIsRefused) {
  const TVarBuffer b = Structure("abcd");
  std::u16string text = u"stale";
  EXPECT_EQ(TextFromStructure(b, sizeof(VARSTRING) + 2, 4, false, text), -1);
  EXPECT_EQ(text, u"");
  EXPECT_EQ(TextFromStructure(b, 0xFFFFFFF0u, 0x20, false, text), -1);
}

}  // namespace
}  // namespace telvora::telephony::test
