// What may reach a modem: numbers are cleaned or refused, commands stay
// within the modem's buffer, and result lines are read in both forms.

#include <gtest/gtest.h>

#include "tapi/dial_string.h"
#include "tapi/hayes_result.h"

namespace telvora::tapi {
namespace {

TEST(DialStringTest, CleansDialableNumbersAndRefusesEverythingElse) {
  struct Case {
    const char* number;
    const char* digits;  // nullptr: refused
  };
  const Case cases[] = {
      {"5551234", "5551234"},
      {"555 12-34", "5551234"},
      {"(021) 555.1234", "0215551234"},
      {"+98 21 5551234", "0098215551234"},
      {"w9,,555p123t#*!@", "W9,,555P123T#*!@"},
      {"", ""},
      {"555\r1234", nullptr},
      {"555\n", nullptr},
      {"555;", nullptr},
      {"555\"", nullptr},
      {"12A34", nullptr},
      {"ATH", nullptr},
      {"5+55", nullptr},
      {"55\x00""5", "55"},  // a C string ends at its NUL
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    const auto digits = NormalizeDialString(c.number, "00");
    if (c.digits == nullptr) {
      EXPECT_FALSE(digits);
    } else {
      ASSERT_TRUE(digits);
      EXPECT_EQ(*digits, c.digits);
    }
  }
  EXPECT_EQ(*NormalizeDialString("+1", "011"), "0111");
  EXPECT_FALSE(NormalizeDialString("+1", "0;0"));  // a bad prefix is refused too
}

TEST(DialStringTest, CommandsEndAsTheMediaModeAsksAndFitTheModemBuffer) {
  EXPECT_EQ(*DialCommand("123", "00", false, true), "ATDT123;");
  EXPECT_EQ(*DialCommand("123", "00", false, false), "ATDT123");
  EXPECT_EQ(*DialCommand("123", "00", true, true), "ATDP123;");
  const std::string fits(35, '1');  // "ATDT" + 35 + ";" = 40
  EXPECT_TRUE(DialCommand(fits, "00", false, true));
  EXPECT_FALSE(DialCommand(fits + "1", "00", false, true));
  EXPECT_TRUE(DialCommand(fits + "1", "00", false, false));
  EXPECT_FALSE(DialCommand("1;ATZ", "00", false, true));
}

TEST(HayesResultTest, VerboseAndNumericCodes) {
  struct Case {
    const char* line;
    HayesResult result;
  };
  const Case cases[] = {
      {"OK", HayesResult::kOk},           {"0", HayesResult::kOk},
      {"CONNECT", HayesResult::kConnect}, {"CONNECT 33600/ARQ", HayesResult::kConnect},
      {"1", HayesResult::kConnect},       {"10", HayesResult::kConnect},
      {"RING", HayesResult::kRing},       {"2", HayesResult::kRing},
      {"NO CARRIER", HayesResult::kNoCarrier}, {"3", HayesResult::kNoCarrier},
      {"ERROR", HayesResult::kError},     {"4", HayesResult::kError},
      {"NO DIALTONE", HayesResult::kNoDialtone}, {"NO DIAL TONE", HayesResult::kNoDialtone},
      {"6", HayesResult::kNoDialtone},    {"BUSY", HayesResult::kBusy},
      {"7", HayesResult::kBusy},          {"NO ANSWER", HayesResult::kNoAnswer},
      {"8", HayesResult::kNoAnswer},      {"  ok  ", HayesResult::kOk},
      {"ATZ", HayesResult::kNone},        {"ATDT123;", HayesResult::kNone},
      {"", HayesResult::kNone},           {"\x01\x7f#@!~ garbage ~", HayesResult::kNone},
      {"1234", HayesResult::kNone},       {"OKAY", HayesResult::kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(ParseHayesResult(c.line), c.result);
  }
}

}  // namespace
}  // namespace telvora::tapi
