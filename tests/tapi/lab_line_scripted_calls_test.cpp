// The lab line: scripted call progress and replies, the far side's calls,
// and the service's checks and notifications around them.

#include <cstring>

#include "tapi/device_config_block.h"
#include "tapi_test_support.h"

namespace telvora::tapi::test {
namespace {

using std::chrono::milliseconds;

class LabLineTest : public LabFixture {
 protected:
  bool WaitState(const HCALL& call, DWORD state) {
    return WaitUntil([&] {
      const auto s = Recorder::Get().StatesOf(call);
      return call != 0 && !s.empty() && s.back() == state;
    });
  }
  DWORD LastMode(HCALL call) {
    DWORD mode = 0;
    for (const Received& r : Recorder::Get().Of(LINE_CALLSTATE)) {
      if (r.device == call) mode = static_cast<DWORD>(r.p2);
    }
    return mode;
  }
  void DropIdle(HCALL call) {
    ASSERT_GT(lineDrop(call, nullptr, 0), 0);
    ASSERT_TRUE(WaitState(call, LINECALLSTATE_IDLE));
    ASSERT_EQ(lineDeallocateCall(call), 0);
  }
};

TEST_F(LabLineTest, ScriptedProgressEndsAsScripted) {
  struct Case {
    const char* name;
    std::vector<LabStep> steps;
    DWORD mode;
  };
  const Case cases[] = {
      {"busy", {{LINECALLSTATE_DIALING}, {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BUSY, 5}},
       LINEDISCONNECTMODE_BUSY},
      {"no dial tone", {{LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NODIALTONE}},
       LINEDISCONNECTMODE_NODIALTONE},
      {"no answer", {{LINECALLSTATE_DIALING}, {LINECALLSTATE_RINGBACK, 0, 5},
                     {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NOANSWER, 5}},
       LINEDISCONNECTMODE_NOANSWER},
  };
  const HLINE line = OpenLine();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    labs_[0]->SetOutgoingProgress(c.steps);
    HCALL call = 0;
    ASSERT_GT(lineMakeCall(line, &call, "5551234", 0, nullptr), 0);
    ASSERT_TRUE(WaitState(call, LINECALLSTATE_DISCONNECTED));
    EXPECT_EQ(LastMode(call), c.mode);
    EXPECT_EQ(Recorder::Get().StatesOf(call).size(), c.steps.size());
    DropIdle(call);
  }
}

TEST_F(LabLineTest, ScriptedRepliesReachTheCaller) {
  const HLINE line = OpenLine();
  // Refused at once: the error comes back, nothing is reported later.
  labs_[0]->QueueReply(LabOp::kMakeCall, {LINEERR_RESOURCEUNAVAIL});
  HCALL call = 0;
  EXPECT_EQ(lineMakeCall(line, &call, "1", 0, nullptr), LINEERR_RESOURCEUNAVAIL);

  // Failed later: a negative LINE_REPLY, no call handle, no call states.
  labs_[0]->QueueReply(LabOp::kMakeCall, {0, LINEERR_CALLUNAVAIL, 10});
  const LONG failed = lineMakeCall(line, &call, "2", 0, nullptr);
  ASSERT_GT(failed, 0);
  ASSERT_TRUE(WaitUntil([&] { return Recorder::Get().ReplyTo(failed) != nullptr; }));
  EXPECT_EQ(ReplyResult(Recorder::Get().ReplyTo(failed)), LINEERR_CALLUNAVAIL);
  EXPECT_EQ(call, 0u);

  // Never answered: the request stays without a reply.
  labs_[0]->QueueReply(LabOp::kMakeCall, {0, 0, 0, true});
  const LONG silent = lineMakeCall(line, &call, "3", 0, nullptr);
  ASSERT_GT(silent, failed);
  Pump();
  EXPECT_EQ(Recorder::Get().ReplyTo(silent), nullptr);
  EXPECT_TRUE(Recorder::Get().Of(LINE_CALLSTATE).empty());
  EXPECT_EQ(labs_[0]->Log(),
            (std::vector<std::string>{"Open", "MakeCall 1 media=4", "MakeCall 2 media=4", "MakeCall 3 media=4"}));
}

TEST_F(LabLineTest, IncomingCallRingsCarriesCallerIdAndIsAnswered) {
  const HLINE line = OpenLine(0, 0x55);
  CallDetails details;
  details.caller = {LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME, "02155512345", "Sara"};
  details.media_mode = LINEMEDIAMODE_INTERACTIVEVOICE;
  // Rings are reported only once asked for.
  labs_[0]->Ring(1);
  ASSERT_EQ(lineSetStatusMessages(line, LINEDEVSTATE_RINGING, 0), 0);
  const HCALL call = labs_[0]->Offer(details);
  ASSERT_NE(call, 0u);
  labs_[0]->Ring(1);
  ASSERT_TRUE(WaitUntil([] { return !Recorder::Get().Of(LINE_LINEDEVSTATE).empty(); }));
  const auto rings = Recorder::Get().Of(LINE_LINEDEVSTATE);
  ASSERT_EQ(rings.size(), 1u);
  EXPECT_EQ(rings[0].p1, LINEDEVSTATE_RINGING);
  EXPECT_EQ(rings[0].p3, 1u);
  EXPECT_EQ(rings[0].device, line);
  const auto all = Recorder::Get().All();
  ASSERT_GE(all.size(), 2u);
  EXPECT_EQ(all[0].message, LINE_CALLSTATE);
  EXPECT_EQ(all[0].p1, LINECALLSTATE_OFFERING);
  EXPECT_EQ(all[0].p3, LINECALLPRIVILEGE_OWNER);
  EXPECT_EQ(all[1].message, LINE_CALLINFO);
  EXPECT_EQ(all[1].p1, LINECALLINFOSTATE_CALLERID);

  std::vector<std::uint8_t> buf(1024);
  auto* info = reinterpret_cast<LINECALLINFO*>(buf.data());
  info->dwTotalSize = 1024;
  ASSERT_EQ(lineGetCallInfo(call, info), 0);
  EXPECT_EQ(info->dwCallerIDFlags, LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME);
  // In the line's string format (the lab line's is ASCII), as its
  // capabilities tell.
  const std::string number(reinterpret_cast<const char*>(buf.data() + info->dwCallerIDOffset),
                           info->dwCallerIDSize - 1);
  EXPECT_EQ(number, "02155512345");
  EXPECT_EQ(info->dwOrigin, LINECALLORIGIN_EXTERNAL);

  EXPECT_EQ(lineHold(call), LINEERR_INVALCALLSTATE);
  ASSERT_GT(lineAnswer(call, nullptr, 0), 0);
  ASSERT_TRUE(WaitState(call, LINECALLSTATE_CONNECTED));
  EXPECT_EQ(lineAnswer(call, nullptr, 0), LINEERR_INVALCALLSTATE);
  DropIdle(call);
}

TEST_F(LabLineTest, HoldUnholdAndTheStateChecksAroundThem) {
  const HLINE line = OpenLine();
  const HCALL call = ConnectedCall(line);
  EXPECT_EQ(lineDeallocateCall(call), LINEERR_INVALCALLSTATE);
  EXPECT_EQ(lineUnhold(call), LINEERR_INVALCALLSTATE);
  ASSERT_GT(lineHold(call), 0);
  ASSERT_TRUE(WaitState(call, LINECALLSTATE_ONHOLD));
  std::vector<std::uint8_t> buf(256);
  auto* status = reinterpret_cast<LINECALLSTATUS*>(buf.data());
  status->dwTotalSize = 256;
  ASSERT_EQ(lineGetCallStatus(call, status), 0);
  EXPECT_EQ(status->dwCallState, LINECALLSTATE_ONHOLD);
  EXPECT_TRUE(status->dwCallFeatures & LINECALLFEATURE_UNHOLD);
  EXPECT_FALSE(status->dwCallFeatures & LINECALLFEATURE_HOLD);
  ASSERT_GT(lineUnhold(call), 0);
  ASSERT_TRUE(WaitState(call, LINECALLSTATE_CONNECTED));
  // A failing hold leaves the call as it was.
  labs_[0]->QueueReply(LabOp::kHold, {0, LINEERR_OPERATIONFAILED});
  const LONG hold = lineHold(call);
  ASSERT_TRUE(WaitUntil([&] { return Recorder::Get().ReplyTo(hold) != nullptr; }));
  EXPECT_EQ(ReplyResult(Recorder::Get().ReplyTo(hold)), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(Recorder::Get().StatesOf(call).back(), LINECALLSTATE_CONNECTED);
  DropIdle(call);
  EXPECT_EQ(lineDrop(call, nullptr, 0), LINEERR_INVALCALLHANDLE);
}

TEST_F(LabLineTest, DigitsTonesAndMediaAreReportedOnlyWhenMonitored) {
  const HLINE line = OpenLine();
  const HCALL call = ConnectedCall(line);
  labs_[0]->Digit(call, '5');
  labs_[0]->Tone(call, 0);
  labs_[0]->Media(call, LINEMEDIAMODE_G3FAX);
  Pump();
  EXPECT_TRUE(Recorder::Get().Of(LINE_MONITORDIGITS).empty());
  EXPECT_TRUE(Recorder::Get().Of(LINE_MONITORTONE).empty());
  EXPECT_TRUE(Recorder::Get().Of(LINE_MONITORMEDIA).empty());

  ASSERT_EQ(lineMonitorDigits(call, LINEDIGITMODE_DTMF), 0);
  LINEMONITORTONE tone{};
  tone.dwAppSpecific = 77;
  tone.dwDuration = 100;
  tone.dwFrequency1 = 1100;
  ASSERT_EQ(lineMonitorTones(call, &tone, 1), 0);
  ASSERT_EQ(lineMonitorMedia(call, LINEMEDIAMODE_G3FAX), 0);
  labs_[0]->Digit(call, '5');
  labs_[0]->Digit(call, '9', LINEDIGITMODE_PULSE);  // not monitored
  labs_[0]->Tone(call, 0);
  labs_[0]->Media(call, LINEMEDIAMODE_G3FAX);
  ASSERT_TRUE(WaitUntil([] { return !Recorder::Get().Of(LINE_MONITORMEDIA).empty(); }));
  const auto digits = Recorder::Get().Of(LINE_MONITORDIGITS);
  ASSERT_EQ(digits.size(), 1u);
  EXPECT_EQ(digits[0].p1, static_cast<DWORD_PTR>('5'));
  EXPECT_EQ(digits[0].p2, LINEDIGITMODE_DTMF);
  EXPECT_EQ(Recorder::Get().Of(LINE_MONITORTONE).at(0).p1, 77u);
  EXPECT_EQ(Recorder::Get().Of(LINE_MONITORMEDIA).at(0).p1, LINEMEDIAMODE_G3FAX);

  EXPECT_EQ(lineMonitorDigits(call, 0x80), LINEERR_INVALDIGITMODE);
  EXPECT_EQ(lineGenerateDigits(call, LINEDIGITMODE_DTMF, "12#*", 0), 0);
  EXPECT_EQ(lineGenerateDigits(call, LINEDIGITMODE_DTMF, "12X", 0), LINEERR_INVALDIGITS);
  EXPECT_EQ(lineGenerateDigits(call, LINEDIGITMODE_PULSE, "1#", 0), LINEERR_INVALDIGITS);
  EXPECT_EQ(labs_[0]->Log().back(), "GenerateDigits 12#* mode=2");
  DropIdle(call);
}

TEST_F(LabLineTest, TransferAndConferenceMoveTheirCalls) {
  const HLINE line = OpenLine();
  // Consultation transfer.
  HCALL primary = ConnectedCall(line);
  HCALL consult = 0;
  const LONG setup = lineSetupTransfer(primary, &consult, nullptr);
  ASSERT_GT(setup, 0);
  ASSERT_TRUE(WaitState(consult, LINECALLSTATE_DIALTONE));
  EXPECT_EQ(Recorder::Get().StatesOf(primary).back(), LINECALLSTATE_ONHOLDPENDTRANSFER);
  ASSERT_GT(lineDial(consult, "200", 0), 0);
  ASSERT_TRUE(WaitState(consult, LINECALLSTATE_CONNECTED));
  ASSERT_GT(lineCompleteTransfer(primary, consult, nullptr, LINETRANSFERMODE_TRANSFER), 0);
  ASSERT_TRUE(WaitState(primary, LINECALLSTATE_IDLE));
  ASSERT_TRUE(WaitState(consult, LINECALLSTATE_IDLE));
  EXPECT_EQ(lineDeallocateCall(primary), 0);
  EXPECT_EQ(lineDeallocateCall(consult), 0);

  // Three-party conference.
  primary = ConnectedCall(line);
  HCALL conference = 0;
  consult = 0;
  ASSERT_GT(lineSetupConference(primary, 0, &conference, &consult, 3, nullptr), 0);
  ASSERT_TRUE(WaitState(consult, LINECALLSTATE_DIALTONE));
  EXPECT_EQ(Recorder::Get().StatesOf(conference).back(), LINECALLSTATE_ONHOLDPENDCONF);
  EXPECT_EQ(Recorder::Get().StatesOf(primary).back(), LINECALLSTATE_CONFERENCED);
  ASSERT_GT(lineDial(consult, "300", 0), 0);
  ASSERT_TRUE(WaitState(consult, LINECALLSTATE_CONNECTED));
  EXPECT_EQ(lineAddToConference(primary, consult), LINEERR_INVALCONFCALLHANDLE);
  ASSERT_GT(lineAddToConference(conference, consult), 0);
  ASSERT_TRUE(WaitState(conference, LINECALLSTATE_CONNECTED));
  EXPECT_EQ(Recorder::Get().StatesOf(consult).back(), LINECALLSTATE_CONFERENCED);

  // Blind transfer hands the call away.
  EXPECT_EQ(lineCompleteTransfer(conference, consult, nullptr, 7), LINEERR_INVALTRANSFERMODE);
  ASSERT_GT(lineBlindTransfer(conference, "400", 0), 0);
  ASSERT_TRUE(WaitState(conference, LINECALLSTATE_IDLE));
  EXPECT_EQ(labs_[0]->Log().back(), "BlindTransfer 400");
}

TEST_F(LabLineTest, DeviceIdsOfEachClass) {
  const HLINE line0 = OpenLine(0);
  const HLINE line1 = OpenLine(1);
  auto id_of = [](HLINE line, const char* cls, DWORD* id) {
    std::vector<std::uint8_t> buf(64);
    auto* v = reinterpret_cast<VARSTRING*>(buf.data());
    v->dwTotalSize = 64;
    const LONG r = lineGetID(line, 0, 0, LINECALLSELECT_LINE, v, cls);
    if (r == 0) std::memcpy(id, buf.data() + v->dwStringOffset, sizeof *id);
    return r;
  };
  DWORD id = 99;
  EXPECT_EQ(id_of(line0, "tapi/phone", &id), 0);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(id_of(line1, "tapi/phone", &id), LINEERR_INVALDEVICECLASS);
  EXPECT_EQ(id_of(line1, "wave/in", &id), 0);
  EXPECT_EQ(id, 2u);
  EXPECT_EQ(id_of(line1, "wave/out", &id), 0);
  EXPECT_EQ(id, 3u);
  EXPECT_EQ(id_of(line1, "comm/datamodem", &id), 0);
  EXPECT_EQ(id, 1u);
  EXPECT_EQ(id_of(line1, "tapi/line", &id), 0);
  EXPECT_EQ(id, 1u);
  EXPECT_EQ(id_of(line1, "video/in", &id), LINEERR_INVALDEVICECLASS);
  std::vector<std::uint8_t> buf(64);
  auto* v = reinterpret_cast<VARSTRING*>(buf.data());
  v->dwTotalSize = 64;
  EXPECT_EQ(lineGetID(line0, 1, 0, LINECALLSELECT_ADDRESS, v, "wave/in"), LINEERR_INVALADDRESSID);
  EXPECT_EQ(lineGetID(line0, 0, 0, 8, v, "wave/in"), LINEERR_INVALCALLSELECT);
}

TEST_F(LabLineTest, RemovedDeviceEndsItsCallsAndClosesItsLines) {
  const HLINE line = OpenLine(0, 0x99);
  const HCALL call = ConnectedCall(line);
  labs_[0]->Remove();
  ASSERT_TRUE(WaitUntil([] { return !Recorder::Get().Of(LINE_CLOSE).empty(); }));
  const auto close = Recorder::Get().Of(LINE_CLOSE);
  EXPECT_EQ(close[0].device, line);
  EXPECT_EQ(close[0].instance, 0x99u);
  EXPECT_EQ(Recorder::Get().StatesOf(call).back(), LINECALLSTATE_IDLE);
  EXPECT_EQ(lineMakeCall(line, nullptr, "1", 0, nullptr), LINEERR_INVALLINEHANDLE);
  // Opening again closes what was left of the old session first.
  const HLINE again = OpenLine(0);
  EXPECT_NE(again, line);
  const auto log = labs_[0]->Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Open"), 2);
  EXPECT_EQ(std::count(log.begin(), log.end(), "Close"), 1);
}

TEST_F(LabLineTest, OpeningAndNegotiatingCheckTheirArguments) {
  HLINE line = 0;
  DWORD version = 0;
  LINEEXTENSIONID ext{};
  EXPECT_EQ(lineNegotiateAPIVersion(app_, 0, kApiVersion13, 0x00030000, &version, &ext), 0);
  EXPECT_EQ(version, kApiVersion22);
  EXPECT_EQ(lineNegotiateAPIVersion(app_, 0, kApiVersion13, kApiVersion14, &version, &ext), 0);
  EXPECT_EQ(version, kApiVersion14);
  EXPECT_EQ(lineNegotiateAPIVersion(app_, 0, 0x00030000, 0x00030001, &version, &ext),
            LINEERR_INCOMPATIBLEAPIVERSION);
  EXPECT_EQ(lineNegotiateAPIVersion(app_, 5, kApiVersion13, kApiVersion22, &version, &ext),
            LINEERR_BADDEVICEID);
  EXPECT_EQ(lineNegotiateAPIVersion(app_ + 1000, 0, kApiVersion13, kApiVersion22, &version, &ext),
            LINEERR_INVALAPPHANDLE);
  EXPECT_EQ(lineOpen(app_, 5, &line, kApiVersion22, 0, 0, LINECALLPRIVILEGE_OWNER,
                     LINEMEDIAMODE_DATAMODEM, nullptr), LINEERR_BADDEVICEID);
  EXPECT_EQ(lineOpen(app_, 0, &line, 0x00030000, 0, 0, LINECALLPRIVILEGE_OWNER,
                     LINEMEDIAMODE_DATAMODEM, nullptr), LINEERR_INCOMPATIBLEAPIVERSION);
  EXPECT_EQ(lineOpen(app_, 0, &line, kApiVersion22, 0, 0, LINECALLPRIVILEGE_OWNER, 0, nullptr),
            LINEERR_INVALMEDIAMODE);
  EXPECT_EQ(lineOpen(app_, 0, &line, kApiVersion22, 0, 0, LINECALLPRIVILEGE_OWNER,
                     LINEMEDIAMODE_G4FAX, nullptr), LINEERR_INVALMEDIAMODE);
  EXPECT_EQ(lineOpen(app_, 0, &line, kApiVersion22, 0, 0, 0x40, LINEMEDIAMODE_DATAMODEM, nullptr),
            LINEERR_INVALPRIVSELECT);
  // A monitor needs no media modes (the probe opening does this).
  ASSERT_EQ(lineOpen(app_, 0, &line, kApiVersion22, 0, 0, LINECALLPRIVILEGE_MONITOR, 0, nullptr), 0);
  EXPECT_EQ(lineClose(line), 0);
  EXPECT_EQ(lineClose(line), LINEERR_INVALLINEHANDLE);
  labs_[1]->SetOpenResult(LINEERR_RESOURCEUNAVAIL);
  EXPECT_EQ(lineOpen(app_, 1, &line, kApiVersion22, 0, 0, LINECALLPRIVILEGE_MONITOR, 0, nullptr),
            LINEERR_RESOURCEUNAVAIL);
}

TEST_F(LabLineTest, DeviceConfigurationAndItsDialog) {
  EXPECT_EQ(lineConfigDialog(0, 0, nullptr), LINEERR_OPERATIONUNAVAIL);
  SetConfigDialogHandler([](DWORD device, HWND owner, std::vector<std::uint8_t>& config) {
    if (device != 1 || owner != 42) return LINEERR_OPERATIONFAILED;
    config[kConfigSpeakerVolumeAt] = static_cast<std::uint8_t>(MDMVOL_HIGH);
    return LONG{0};
  });
  EXPECT_EQ(lineConfigDialog(1, 42, "comm/datamodem"), 0);
  EXPECT_EQ(lineConfigDialog(1, 42, "wave/in"), LINEERR_INVALDEVICECLASS);
  EXPECT_EQ(lineConfigDialog(7, 42, nullptr), LINEERR_BADDEVICEID);
  SetConfigDialogHandler({});
  std::vector<std::uint8_t> buf(2048);
  auto* v = reinterpret_cast<VARSTRING*>(buf.data());
  v->dwTotalSize = 2048;
  ASSERT_EQ(lineGetDevConfig(1, v, "comm/datamodem"), 0);
  const auto settings = DecodeDeviceConfig({buf.data() + v->dwStringOffset, v->dwStringSize});
  ASSERT_TRUE(settings);
  EXPECT_EQ(settings->speaker_volume, MDMVOL_HIGH);
  EXPECT_EQ(settings->provider_subtype, PST_MODEM);
}

}  // namespace
}  // namespace telvora::tapi::test
