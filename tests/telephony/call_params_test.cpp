// The 176-byte call parameters of an outgoing call.

#include <gtest/gtest.h>

#include <cstring>

#include "telephony/call_params.h"

namespace telvora::telephony::test {
namespace {

using namespace tapi;

TEST(CallParamsTest, FieldsFollowTheMediaModeTheLineAndTheProperties) {
  constexpr DWORD kAll = LINEMEDIAMODE_UNKNOWN | LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_AUTOMATEDVOICE |
                         LINEMEDIAMODE_DATAMODEM;
  struct Case {
    const char* name;
    TMediaMode mode;
    DWORD line_modes;
    int address;
    bool wait;
    DWORD bearer, media, wait_value;
  };
  const Case cases[] = {
      {"voice, line with everything", mmVoice, kAll, 0, false, LINEBEARERMODE_VOICE,
       LINEMEDIAMODE_UNKNOWN | LINEMEDIAMODE_AUTOMATEDVOICE, 0},
      {"voice, interactive only", mmVoice, LINEMEDIAMODE_INTERACTIVEVOICE, 2, true, LINEBEARERMODE_VOICE,
       LINEMEDIAMODE_INTERACTIVEVOICE, 4},
      {"data", mmData, kAll, 1, false, LINEBEARERMODE_VOICE, LINEMEDIAMODE_DATAMODEM, 0},
      {"fax", mmFax, kAll, 0, true, LINEBEARERMODE_PASSTHROUGH, LINEMEDIAMODE_DATAMODEM, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LINECALLPARAMS p = BuildCallParams(c.mode, c.line_modes, c.address, c.wait);
    LINECALLPARAMS expected{};
    expected.dwTotalSize = 176;
    expected.dwBearerMode = c.bearer;
    expected.dwMinRate = 28800;
    expected.dwMaxRate = 57600;
    expected.dwMediaMode = c.media;
    expected.dwCallParamFlags = LINECALLPARAMFLAGS_IDLE;
    expected.dwAddressMode = LINEADDRESSMODE_ADDRESSID;
    expected.dwAddressID = static_cast<DWORD>(c.address);
    expected.DialParams.dwWaitForDialtone = c.wait_value;
    // Every other byte is zero.
    EXPECT_EQ(std::memcmp(&p, &expected, sizeof p), 0);
  }
  EXPECT_EQ(BearerModeOf(mmVoice), LINEBEARERMODE_VOICE);
  EXPECT_EQ(BearerModeOf(mmData), LINEBEARERMODE_DATA);
  EXPECT_EQ(BearerModeOf(mmFax), LINEBEARERMODE_PASSTHROUGH);
}

}  // namespace
}  // namespace telvora::telephony::test
