// Answering, picking up, ring counting, hold and the transfers of a call on
// the lab line, each operation's checks in their order, and what the calls
// report on the way.

#include <algorithm>

#include "tel_phone_fixture.h"

namespace telvora::telephony::test {
namespace {

using namespace tapi;
using std::chrono::milliseconds;

class CallFeaturesTest : public TelPhoneFixture {
 protected:
  // An incoming call offered on the open line; its handle once the
  // component has seen it.
  int OfferedCall() {
    CallDetails details;
    details.caller.flags = LINECALLPARTYID_ADDRESS;
    details.caller.number = "02155512345";
    const HCALL call = labs_[0]->Offer(details);
    EXPECT_NE(call, 0u);
    EXPECT_TRUE(WaitUntil([&] { return HasEvent(Call(csOffering, 0, 0, static_cast<int>(call))); }));
    return static_cast<int>(call);
  }

  bool LogHas(const std::string& entry) const {
    const auto log = labs_[0]->Log();
    return std::find(log.begin(), log.end(), entry) != log.end();
  }

  int CountOf(TCallState state) const {
    const auto calls = CallEvents();
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const Event& e) { return e.state == state; }));
  }
};

TEST_F(CallFeaturesTest, OperationsCheckTheLineFirst) {
  const std::function<int()> ops[] = {
      [&] { return phone_->Answer(0); },        [&] { return phone_->PickUp(0); },
      [&] { return phone_->Hold(); },           [&] { return phone_->Unhold(); },
      [&] { return phone_->Transfer("200"); },  [&] { return phone_->TransferAToB(1, 2); },
      [&] { return phone_->CreateConferenceCall(1, 2, 0); }, [&] { return phone_->ConsultCallComplete(); },
  };
  for (const auto& op : ops) EXPECT_EQ(op(), 157);
  // Without a connected call, the line open: 161 (or, for answering, 110).
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  EXPECT_EQ(phone_->Answer(0), 110);
  EXPECT_EQ(phone_->Hold(), 161);
  EXPECT_EQ(phone_->Unhold(), 161);
  EXPECT_EQ(phone_->Transfer("200"), 161);
  EXPECT_EQ(phone_->TransferAToB(1, 2), 161);
  EXPECT_EQ(phone_->CreateConferenceCall(1, 2, 0), 161);
  EXPECT_EQ(phone_->ConsultCallDialNumber(true, "300"), 161);
  EXPECT_EQ(phone_->GenerateDTMFDigits("123"), 161);
  EXPECT_EQ(phone_->MonitorTones(1, 100, 440, 0, 0), 161);
  EXPECT_EQ(phone_->Passthrough(true), 161);
  EXPECT_EQ(phone_->ConsultCallComplete(), 170);
  EXPECT_EQ(phone_->ConsultCallCancel(), 170);
}

TEST_F(CallFeaturesTest, ChecksComeInTheirOrder) {
  const int call = ConnectedCall();
  ASSERT_NE(call, 0);
  // A pending drop on the current call: "not connected" comes before
  // "request pending".
  labs_[0]->QueueReply(LabOp::kDrop, {0, 0, 60, false});
  ASSERT_EQ(phone_->Hangup(), 0);
  EXPECT_EQ(phone_->Hold(), 161);
  EXPECT_EQ(phone_->Transfer("200"), 161);
  EXPECT_EQ(phone_->Passthrough(true), 161);
  EXPECT_EQ(phone_->ConsultCallDialNumber(true, "300"), 161);
  ASSERT_TRUE(WaitUntil([&] { return phone_->NumberOfActiveCalls() == 0; }));

  // A call still connected on a line that closed: "line not open" first.
  events_.clear();
  const int second = ConnectedCall();
  ASSERT_NE(second, 0);
  labs_[0]->QueueReply(LabOp::kHold, {0, 0, 0, true});
  ASSERT_EQ(phone_->Hold(), 0);
  ASSERT_EQ(phone_->LineActive(0, false), 0);
  ASSERT_TRUE(phone_->IsConnected());
  EXPECT_EQ(phone_->Hold(), 157);
  EXPECT_EQ(phone_->Unhold(), 157);
  EXPECT_EQ(phone_->Transfer("200"), 157);
  EXPECT_EQ(phone_->TransferAToB(second, second), 157);
  EXPECT_EQ(phone_->Answer(0), 157);
  EXPECT_EQ(phone_->PickUp(0), 157);
  EXPECT_EQ(phone_->ConsultCallComplete(), 157);
}

TEST_F(CallFeaturesTest, ASingleCallHearsTheRingWhateverItsState) {
  const int call = ConnectedCall();
  ASSERT_NE(call, 0);
  events_.clear();
  labs_[0]->Ring(1);
  ASSERT_TRUE(WaitUntil([&] { return CountOf(csRing) == 1; }));
  EXPECT_EQ(CallEvents(), (std::vector<Event>{Call(csRing, 1, 0, call)}));
}

TEST_F(CallFeaturesTest, FaxCallIsAnsweredByTheFaxLayerInPassthrough) {
  phone_->SetMediaMode(mmFax);
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  const int call = OfferedCall();
  ASSERT_EQ(phone_->Answer(3), 0);
  ASSERT_TRUE(WaitUntil([&] { return phone_->PendingRequestCount() == 0; }));
  EXPECT_FALSE(LogHas("Answer"));
  EXPECT_TRUE(LogHas("SetCallParams bearer=" + std::to_string(LINEBEARERMODE_PASSTHROUGH) + " rate=19200..19200"));
  EXPECT_TRUE(phone_->InPassthrough());
  // The fax layer picks the call up on the modem: it connects.
  labs_[0]->SetCallState(static_cast<HCALL>(call), LINECALLSTATE_CONNECTED);
  ASSERT_NE(WaitForCallState(csWaitingForFaxCommand), 0);
}

TEST_F(CallFeaturesTest, PickUpWhoseEmptyDialNeverCompletesIsHungUpAndReported) {
  phone_->SetTimeOut(80);
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  labs_[0]->QueueReply(LabOp::kDial, {0, 0, 0, true});
  ASSERT_EQ(phone_->PickUp(0), 0);
  const int call = WaitForCallState(csDialTone);
  ASSERT_NE(call, 0);
  ASSERT_TRUE(WaitUntil([&] { return HasEvent(Call(csError, 113, 0, call)); }));
  ASSERT_TRUE(WaitUntil([&] { return phone_->NumberOfActiveCalls() == 0; }));
  EXPECT_TRUE(HasEvent(Call(csWaitingDisconnection, 0, 0, call)));
  EXPECT_TRUE(LogHas("Drop"));
}

TEST_F(CallFeaturesTest, RingsCountFromTheInitialRingNumberAndAnswerConnectsWithItsCallParam) {
  phone_->SetInitialRingNumber(3);
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  const int call = OfferedCall();
  labs_[0]->Ring(1);
  labs_[0]->Ring(2);
  ASSERT_TRUE(WaitUntil([&] { return CountOf(csRing) == 2; }));
  EXPECT_TRUE(HasEvent(Call(csRing, 3, 0, call)));
  EXPECT_TRUE(HasEvent(Call(csRing, 4, 0, call)));
  EXPECT_EQ(phone_->CurrentCall(), call);

  // An answer still pending refuses a second one.
  labs_[0]->QueueReply(LabOp::kAnswer, {0, 0, 40, false});
  EXPECT_EQ(phone_->Answer(7), 0);
  EXPECT_EQ(phone_->Answer(7), 160);
  EXPECT_EQ(phone_->PickUp(7), 160);
  ASSERT_NE(WaitForCallState(csConnected), 0);
  EXPECT_TRUE(HasEvent(Call(csConnected, 0, 7, call)));
  EXPECT_EQ(phone_->Answer(7), 110);
  EXPECT_EQ(phone_->PickUp(7), 158);
}

TEST_F(CallFeaturesTest, AnswerFailuresMapToTheirCodes) {
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  OfferedCall();
  const std::pair<LONG, int> cases[] = {
      {LINEERR_CALLUNAVAIL, 107}, {LINEERR_NOTOWNER, 116}, {LINEERR_OPERATIONFAILED, 109}};
  for (const auto& [error, code] : cases) {
    labs_[0]->QueueReply(LabOp::kAnswer, {error, 0, 0, false});
    EXPECT_EQ(phone_->Answer(0), code);
  }
  EXPECT_EQ(phone_->PendingRequestCount(), 0);
}

TEST_F(CallFeaturesTest, PickUpAnswersARingingCall) {
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  const int call = OfferedCall();
  labs_[0]->Ring(1);
  ASSERT_TRUE(WaitUntil([&] { return CountOf(csRing) == 1; }));
  EXPECT_EQ(phone_->PickUp(5), 0);
  ASSERT_NE(WaitForCallState(csConnected), 0);
  EXPECT_TRUE(HasEvent(Call(csConnected, 0, 5, call)));
  EXPECT_TRUE(LogHas("Answer"));
}

TEST_F(CallFeaturesTest, PickUpWithoutOfferedCallGoesOffHookWithoutReportingDialing) {
  phone_->SetWaitForDialTone(true);
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  ASSERT_EQ(phone_->PickUp(4), 0);
  const int call = WaitForCallState(csDialTone);
  ASSERT_NE(call, 0);
  ASSERT_TRUE(WaitUntil([&] { return LogHas("Dial ") && phone_->PendingRequestCount() == 0; }));
  Pump(milliseconds(40));
  // Neither the "W" of waiting for the dial tone nor a dialing state.
  const auto log = labs_[0]->Log();
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& e) { return e.rfind("MakeCall  ", 0) == 0; }));
  EXPECT_EQ(CountOf(csDialing), 0);
  EXPECT_EQ(phone_->NumberOfActiveCalls(), 1);
  EXPECT_EQ(phone_->CurrentCall(), call);

  // A failed make-call of a pick-up is a line error.
  ASSERT_EQ(phone_->Hangup(), 0);
  ASSERT_TRUE(WaitUntil([&] { return phone_->NumberOfActiveCalls() == 0; }));
  events_.clear();
  labs_[0]->QueueReply(LabOp::kMakeCall, {0, LINEERR_CALLUNAVAIL, 0, false});
  ASSERT_EQ(phone_->PickUp(0), 0);
  ASSERT_TRUE(WaitUntil([&] { return HasEvent(Line(lsError, 113)); }));
}

// The make-call's reply may come before the call's first state, and the
// service refuses to dial a call that has none: the pick-up's dial waits for
// the dial tone instead of failing.
TEST_F(CallFeaturesTest, PickUpWhoseDialToneComesAfterTheReplyStillGoesOffHook) {
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  labs_[0]->SetDialToneDelay(150);
  ASSERT_EQ(phone_->PickUp(0), 0);
  const int call = WaitForCallState(csDialTone);
  ASSERT_NE(call, 0);
  ASSERT_TRUE(WaitUntil([&] { return LogHas("Dial ") && phone_->PendingRequestCount() == 0; }));
  EXPECT_FALSE(HasEvent(Line(lsError, 113)));
  EXPECT_EQ(CountOf(csDialing), 0);
  EXPECT_EQ(phone_->NumberOfActiveCalls(), 1);
}

TEST_F(CallFeaturesTest, HoldAndUnholdReportOnHoldThenUnholdAndTheCallStaysConnected) {
  const int call = ConnectedCall();
  ASSERT_NE(call, 0);
  events_.clear();
  labs_[0]->QueueReply(LabOp::kHold, {0, 0, 30, false});
  ASSERT_EQ(phone_->Hold(), 0);
  EXPECT_EQ(phone_->Hold(), 160);
  EXPECT_EQ(phone_->Transfer("200"), 160);
  ASSERT_NE(WaitForCallState(csOnHold), 0);
  EXPECT_TRUE(phone_->IsConnected());
  ASSERT_TRUE(WaitUntil([&] { return phone_->PendingRequestCount() == 0; }));
  ASSERT_EQ(phone_->Unhold(), 0);
  ASSERT_NE(WaitForCallState(csUnhold), 0);
  EXPECT_EQ(CallEvents(), (std::vector<Event>{Call(csOnHold, 0, 0, call), Call(csUnhold, 0, 0, call)}));
  EXPECT_TRUE(phone_->IsConnected());
  TCallState state = csError;
  ASSERT_EQ(phone_->GetCallState(0, state), 0);
  EXPECT_EQ(state, csUnhold);

  const std::pair<LONG, int> cases[] = {{LINEERR_RESOURCEUNAVAIL, 106},
                                        {LINEERR_INVALMEDIAMODE, 162},
                                        {LINEERR_OPERATIONFAILED, 108}};
  for (const auto& [error, code] : cases) {
    labs_[0]->QueueReply(LabOp::kHold, {error, 0, 0, false});
    EXPECT_EQ(phone_->Hold(), code);
  }
  // A hold the exchange refuses later is an error of the call.
  events_.clear();
  labs_[0]->QueueReply(LabOp::kHold, {0, LINEERR_OPERATIONFAILED, 0, false});
  ASSERT_EQ(phone_->Hold(), 0);
  ASSERT_TRUE(WaitUntil([&] { return HasEvent(Call(csError, 108, 0, call)); }));
}

TEST_F(CallFeaturesTest, BlindTransferHandsTheCallAwayWithoutARemoteHangUp) {
  const int call = ConnectedCall();
  ASSERT_NE(call, 0);
  events_.clear();
  labs_[0]->QueueReply(LabOp::kBlindTransfer, {LINEERR_INVALADDRESS, 0, 0, false});
  EXPECT_EQ(phone_->Transfer("x"), 155);
  ASSERT_EQ(phone_->Transfer("200"), 0);
  ASSERT_TRUE(WaitUntil([&] { return phone_->NumberOfActiveCalls() == 0; }));
  EXPECT_TRUE(LogHas("BlindTransfer 200"));
  EXPECT_EQ(CallEvents(), (std::vector<Event>{Call(csDisconnected, 0, 0, call)}));
}

TEST_F(CallFeaturesTest, TransferAToBJoinsTwoConnectedCalls) {
  const int a = ConnectedCall();
  ASSERT_NE(a, 0);
  events_.clear();
  ASSERT_EQ(phone_->DialNumber("5550002", 0), 0);
  const int b = WaitForCallState(csConnected);
  ASSERT_NE(b, 0);
  EXPECT_EQ(phone_->TransferAToB(a, b + 1000), 161);
  EXPECT_EQ(phone_->TransferAToB(b + 1000, b), 161);
  events_.clear();
  ASSERT_EQ(phone_->TransferAToB(a, b), 0);
  EXPECT_EQ(phone_->TransferAToB(a, b), 160);
  ASSERT_TRUE(WaitUntil([&] { return phone_->NumberOfActiveCalls() == 0; }));
  EXPECT_TRUE(LogHas("CompleteTransfer transfer"));
  EXPECT_EQ(CountOf(csRemotePartyDisconnected), 0);
  EXPECT_TRUE(HasEvent(Call(csDisconnected, 0, 0, a)));
  EXPECT_TRUE(HasEvent(Call(csDisconnected, 0, 0, b)));
}

TEST_F(CallFeaturesTest, ConferenceOfTwoCallsJoinsTheListWithItsCallParam) {
  const int a = ConnectedCall();
  ASSERT_NE(a, 0);
  ASSERT_EQ(phone_->DialNumber("5550002", 0), 0);
  events_.clear();
  const int b = WaitForCallState(csConnected);
  ASSERT_NE(b, 0);
  events_.clear();
  ASSERT_EQ(phone_->CreateConferenceCall(a, b, 9), 0);
  ASSERT_TRUE(WaitUntil([&] { return CountOf(csInConference) == 2; }));
  const int conference = WaitForCallState(csConnected);
  ASSERT_NE(conference, 0);
  EXPECT_NE(conference, a);
  EXPECT_NE(conference, b);
  EXPECT_TRUE(HasEvent(Call(csConnected, 1, 9, conference)));
  EXPECT_EQ(phone_->NumberOfActiveCalls(), 3);
  EXPECT_TRUE(phone_->IsCallConnected(a));
  EXPECT_TRUE(phone_->IsCallConnected(b));
}

TEST_F(CallFeaturesTest, DigitsAreGeneratedAndDetectedAndTonesMonitored) {
  std::vector<std::pair<char, int>> digits;
  std::vector<std::pair<int, int>> tones;
  phone_->OnDigitDetected = [&](TSender, char d, int call) { digits.emplace_back(d, call); };
  phone_->OnToneDetected = [&](TSender, int ref, int call) { tones.emplace_back(ref, call); };
  const int call = ConnectedCall();
  ASSERT_NE(call, 0);
  EXPECT_EQ(phone_->GenerateDTMFDigits("12#"), 0);
  EXPECT_TRUE(LogHas("GenerateDigits 12# mode=" + std::to_string(LINEDIGITMODE_DTMF)));
  EXPECT_EQ(phone_->GenerateDTMFDigits("12X"), -1);
  labs_[0]->QueueReply(LabOp::kGenerateDigits, {LINEERR_RESOURCEUNAVAIL, 0, 0, false});
  EXPECT_EQ(phone_->GenerateDTMFDigits("5"), 106);

  labs_[0]->Digit(static_cast<HCALL>(call), '7');
  ASSERT_TRUE(WaitUntil([&] { return !digits.empty(); }));
  EXPECT_EQ(digits, (std::vector<std::pair<char, int>>{{'7', call}}));

  // Unwatched tones are not heard; a watched one comes with its RefNum.
  labs_[0]->Tone(static_cast<HCALL>(call), 0);
  ASSERT_EQ(phone_->MonitorTones(77, 200, 440, 350, 0), 0);
  labs_[0]->Tone(static_cast<HCALL>(call), 0);
  ASSERT_TRUE(WaitUntil([&] { return !tones.empty(); }));
  ASSERT_EQ(phone_->MonitorTonesCancel(), 0);
  labs_[0]->Tone(static_cast<HCALL>(call), 0);
  Pump(milliseconds(30));
  EXPECT_EQ(tones, (std::vector<std::pair<int, int>>{{77, call}}));
}

TEST_F(CallFeaturesTest, FaxTonesWithinThreeSecondsOfAReportAreDropped) {
  std::int64_t now = 100000;
  phone_->SetMillisecondClock([&] { return now; });
  std::vector<int> faxes;
  phone_->OnFaxToneDetected = [&](TSender, int call) { faxes.push_back(call); };
  const int call = ConnectedCall();
  ASSERT_NE(call, 0);
  struct Step {
    std::int64_t at;
    std::size_t reports;
  };
  // 1 s after a report: dropped; 3 s after it: still dropped; just over 3 s:
  // reported, and the quiet period counts from there.
  const Step steps[] = {{100000, 1}, {101000, 1}, {103000, 1}, {103001, 2}, {104000, 2}, {106002, 3}};
  for (const Step& s : steps) {
    now = s.at;
    labs_[0]->Media(static_cast<HCALL>(call), LINEMEDIAMODE_G3FAX);
    Pump(milliseconds(15));
    EXPECT_EQ(faxes.size(), s.reports) << "at " << s.at;
  }
}

}  // namespace
}  // namespace telvora::telephony::test
