// Variable-size structures: a buffer too small for the fixed part reports
// the needed size with the too-small error; one that holds the fixed part but
// not the strings succeeds with the needed size set and the strings left
// out; a retry with the needed size gets everything.

#include <cstring>
#include <functional>
#include <vector>

#include "tapi/tapi_service.h"
#include "tapi_test_support.h"

namespace telvora::tapi::test {
namespace {

struct Query {
  const char* name;
  std::size_t fixed_size;
  LONG too_small;
  // Fills buf (whose dwTotalSize is set) and returns the result.
  std::function<LONG(std::vector<std::uint8_t>& buf)> run;
  std::size_t first_pair;  // a (size, offset) pair that must be filled
};

DWORD Word(const std::vector<std::uint8_t>& buf, std::size_t at) {
  DWORD v;
  std::memcpy(&v, buf.data() + at, sizeof v);
  return v;
}

class StructureSizeTest : public LabFixture {
 protected:
  std::vector<Query> Queries() {
    HPHONEAPP phone_app = phone_app_;
    HLINE line = line_;
    HCALL call = call_;
    HPHONE phone = phone_;
    return {
        {"lineGetDevCaps", sizeof(LINEDEVCAPS), LINEERR_STRUCTURETOOSMALL,
         [this](auto& b) { return lineGetDevCaps(app_, 0, kApiVersion22, 0, reinterpret_cast<LINEDEVCAPS*>(b.data())); },
         offsetof(LINEDEVCAPS, dwLineNameSize)},
        {"lineGetAddressCapsW", sizeof(LINEADDRESSCAPS), LINEERR_STRUCTURETOOSMALL,
         [this](auto& b) { return lineGetAddressCapsW(app_, 0, 0, kApiVersion22, 0, reinterpret_cast<LINEADDRESSCAPS*>(b.data())); },
         offsetof(LINEADDRESSCAPS, dwAddressSize)},
        {"lineGetCallInfo", sizeof(LINECALLINFO), LINEERR_STRUCTURETOOSMALL,
         [call](auto& b) { return lineGetCallInfo(call, reinterpret_cast<LINECALLINFO*>(b.data())); },
         offsetof(LINECALLINFO, dwDisplayableAddressSize)},
        {"lineGetID tapi/phone", sizeof(VARSTRING), LINEERR_STRUCTURETOOSMALL,
         [line](auto& b) { return lineGetID(line, 0, 0, LINECALLSELECT_LINE, reinterpret_cast<VARSTRING*>(b.data()), "tapi/phone"); },
         offsetof(VARSTRING, dwStringSize)},
        {"lineGetDevConfig", sizeof(VARSTRING), LINEERR_STRUCTURETOOSMALL,
         [](auto& b) { return lineGetDevConfig(0, reinterpret_cast<VARSTRING*>(b.data()), "comm/datamodem"); },
         offsetof(VARSTRING, dwStringSize)},
        {"phoneGetDevCaps", sizeof(PHONECAPS), PHONEERR_STRUCTURETOOSMALL,
         [phone_app](auto& b) { return phoneGetDevCaps(phone_app, 0, kApiVersion22, 0, reinterpret_cast<PHONECAPS*>(b.data())); },
         offsetof(PHONECAPS, dwPhoneNameSize)},
        {"phoneGetDisplay", sizeof(VARSTRING), PHONEERR_STRUCTURETOOSMALL,
         [phone](auto& b) { return phoneGetDisplay(phone, reinterpret_cast<VARSTRING*>(b.data())); },
         offsetof(VARSTRING, dwStringSize)},
    };
  }

  void SetUp() override {
    LabFixture::SetUp();
    line_ = OpenLine();
    call_ = ConnectedCall(line_);
    DWORD phones = 0, version = kApiVersion22;
    ASSERT_EQ(phoneInitializeExW(&phone_app_, nullptr, &Recorder::Callback, nullptr, &phones, &version, nullptr), 0);
    ASSERT_EQ(phoneOpen(phone_app_, 0, &phone_, kApiVersion22, 0, 0, PHONEPRIVILEGE_OWNER), 0);
  }
  void TearDown() override {
    phoneShutdown(phone_app_);
    LabFixture::TearDown();
  }

  HLINE line_ = 0;
  HCALL call_ = 0;
  HPHONEAPP phone_app_ = 0;
  HPHONE phone_ = 0;
};

TEST_F(StructureSizeTest, TooSmallReportsTheNeededSizeAndARetryGetsEverything) {
  for (const Query& q : Queries()) {
    SCOPED_TRACE(q.name);
    // Below the fixed part: the too-small error, and the size to allocate.
    std::vector<std::uint8_t> small(q.fixed_size - 4, 0xEE);
    reinterpret_cast<DWORD*>(small.data())[0] = static_cast<DWORD>(small.size());
    ASSERT_EQ(q.run(small), q.too_small);
    const DWORD needed = Word(small, 4);
    EXPECT_GT(needed, q.fixed_size);

    // The fixed part only: success, the strings left out, the need told.
    std::vector<std::uint8_t> fixed(q.fixed_size, 0xEE);
    reinterpret_cast<DWORD*>(fixed.data())[0] = static_cast<DWORD>(fixed.size());
    ASSERT_EQ(q.run(fixed), 0);
    EXPECT_EQ(Word(fixed, 4), needed);
    EXPECT_EQ(Word(fixed, 8), q.fixed_size);
    EXPECT_EQ(Word(fixed, q.first_pair), 0u);
    EXPECT_EQ(Word(fixed, q.first_pair + 4), 0u);

    // The needed size: everything, used = needed, pairs inside the buffer.
    std::vector<std::uint8_t> full(needed, 0xEE);
    reinterpret_cast<DWORD*>(full.data())[0] = needed;
    ASSERT_EQ(q.run(full), 0);
    EXPECT_EQ(Word(full, 4), needed);
    EXPECT_EQ(Word(full, 8), needed);
    const DWORD size = Word(full, q.first_pair), offset = Word(full, q.first_pair + 4);
    EXPECT_GT(size, 0u);
    EXPECT_GE(offset, q.fixed_size);
    EXPECT_LE(offset + size, needed);
  }
}

TEST_F(StructureSizeTest, HeaderTooSmallToHoldTheNeededSizeIsLeftAlone) {
  std::vector<std::uint8_t> tiny(8, 0xEE);
  reinterpret_cast<DWORD*>(tiny.data())[0] = 8;
  EXPECT_EQ(lineGetDevCaps(app_, 0, kApiVersion22, 0, reinterpret_cast<LINEDEVCAPS*>(tiny.data())),
            LINEERR_STRUCTURETOOSMALL);
  EXPECT_EQ(Word(tiny, 4), 0xEEEEEEEEu);
}

std::string Ascii(const std::vector<std::uint8_t>& buf, DWORD offset, DWORD size) {
  return std::string(reinterpret_cast<const char*>(buf.data() + offset), size - 1);
}

std::u16string Wide(const std::vector<std::uint8_t>& buf, DWORD offset, DWORD size) {
  std::u16string out(size / 2 - 1, u'\0');
  std::memcpy(out.data(), buf.data() + offset, out.size() * 2);
  return out;
}

TEST_F(StructureSizeTest, LineNameComesAsAsciiOrUnicodeWithTheFormatSaid) {
  std::vector<std::uint8_t> buf(1024);
  auto* caps = reinterpret_cast<LINEDEVCAPS*>(buf.data());
  caps->dwTotalSize = 1024;
  ASSERT_EQ(lineGetDevCaps(app_, 1, kApiVersion22, 0, caps), 0);
  EXPECT_EQ(caps->dwStringFormat, STRINGFORMAT_ASCII);
  EXPECT_EQ(Ascii(buf, caps->dwLineNameOffset, caps->dwLineNameSize), "Telvora Lab Line 1");
  EXPECT_EQ(caps->dwNumAddresses, 1u);

  std::fill(buf.begin(), buf.end(), 0);
  caps->dwTotalSize = 1024;
  ASSERT_EQ(lineGetDevCapsW(app_, 1, kApiVersion22, 0, caps), 0);
  EXPECT_EQ(caps->dwStringFormat, STRINGFORMAT_UNICODE);
  EXPECT_EQ(Wide(buf, caps->dwLineNameOffset, caps->dwLineNameSize), u"Telvora Lab Line 1");
}

TEST_F(StructureSizeTest, OlderApiVersionsTakeTheirSmallerFixedPart) {
  // A 1.3 caller's LINEDEVCAPS ends before dwLineFeatures (236 bytes).
  std::vector<std::uint8_t> buf(236 + 64);
  auto* caps = reinterpret_cast<LINEDEVCAPS*>(buf.data());
  caps->dwTotalSize = static_cast<DWORD>(buf.size());
  ASSERT_EQ(lineGetDevCaps(app_, 0, kApiVersion13, 0, caps), 0);
  EXPECT_GE(caps->dwLineNameOffset, 236u);
  EXPECT_EQ(Ascii(buf, caps->dwLineNameOffset, caps->dwLineNameSize), "Telvora Lab Line 0");
}

TEST_F(StructureSizeTest, CallParamsBlockOfTheComponentsSizeIsTaken) {
  ASSERT_EQ(sizeof(LINECALLPARAMS), 176u);
  ASSERT_EQ(lineDrop(call_, nullptr, 0) > 0, true);
  ASSERT_TRUE(WaitUntil([&] {
    const auto s = Recorder::Get().StatesOf(call_);
    return !s.empty() && s.back() == LINECALLSTATE_IDLE;
  }));
  ASSERT_EQ(lineDeallocateCall(call_), 0);
  LINECALLPARAMS params{};
  params.dwTotalSize = 100;  // below the fields every version has
  HCALL call = 0;
  EXPECT_EQ(lineMakeCall(line_, &call, "123", 0, &params), LINEERR_STRUCTURETOOSMALL);
  params.dwTotalSize = sizeof params;
  params.dwBearerMode = LINEBEARERMODE_VOICE;
  params.dwMediaMode = LINEMEDIAMODE_DATAMODEM;
  params.dwCallParamFlags = LINECALLPARAMFLAGS_IDLE;
  params.dwAddressMode = LINEADDRESSMODE_ADDRESSID;
  EXPECT_GT(lineMakeCall(line_, &call, "123", 0, &params), 0);
  params.dwAddressID = 1;
  EXPECT_EQ(lineMakeCall(line_, &call, "123", 0, &params), LINEERR_INVALADDRESSID);
}

}  // namespace
}  // namespace telvora::tapi::test
