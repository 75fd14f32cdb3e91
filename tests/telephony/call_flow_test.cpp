// Placing and ending calls on a lab line: the states a call goes through,
// the automatic drop, Hangup's results, the call queries and the
// notification window's messages.

#include <stdexcept>

#include "tel_phone_fixture.h"
#include "telephony/exception_handler.h"

namespace telvora::telephony::test {
namespace {

using namespace tapi;
using std::chrono::milliseconds;

using CallFlowTest = TelPhoneFixture;

bool LogHas(const LabLine* lab, const std::string& entry) {
  for (const std::string& e : lab->Log()) {
    if (e == entry) return true;
  }
  return false;
}

TEST_F(CallFlowTest, DataCallGoesThroughItsStatesAndLeavesTheListWhenIdle) {
  phone_->SetMediaMode(mmData);
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  labs_[0]->SetOutgoingProgress({{LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL, 2},
                                 {LINECALLSTATE_DIALING, 0, 2},
                                 {LINECALLSTATE_PROCEEDING, 0, 2},
                                 {LINECALLSTATE_RINGBACK, 0, 2},
                                 {LINECALLSTATE_CONNECTED, 0, 2}});
  events_.clear();
  ASSERT_EQ(phone_->DialNumber("5551234", 42), 0);
  EXPECT_EQ(phone_->PendingRequestCount(), 1);
  const int call = WaitForCallState(csConnected);
  ASSERT_NE(call, 0);
  EXPECT_TRUE(LogHas(labs_[0], "MakeCall 5551234 media=16"));
  EXPECT_EQ(CallEvents(), (std::vector<Event>{Call(csDialTone, 0, 0, call), Call(csDialing, 0, 0, call),
                                              Call(csProceeding, 0, 0, call), Call(csRingBack, 0, 0, call),
                                              Call(csConnected, 1, 42, call)}));
  EXPECT_EQ(phone_->PendingRequestCount(), 0);
  EXPECT_TRUE(phone_->IsConnected());
  EXPECT_TRUE(phone_->IsCallConnected(call));
  EXPECT_EQ(phone_->NumberOfActiveCalls(), 1);
  TCallState state = csError;
  EXPECT_EQ(phone_->GetCallState(0, state), 0);
  EXPECT_EQ(state, csConnected);
  int handle = 0;
  EXPECT_EQ(phone_->GetCallHandle(0, handle), 0);
  EXPECT_EQ(handle, call);
  EXPECT_EQ(phone_->GetCallState(1, state), -10);
  EXPECT_EQ(phone_->GetCallHandle(-1, handle), -10);
  int address = -1;
  EXPECT_EQ(phone_->GetAddressID(call, address), 0);
  EXPECT_EQ(address, 0);
  EXPECT_EQ(phone_->GetAddressID(call + 1000, address), 115);

  events_.clear();
  EXPECT_EQ(phone_->Hangup(), 0);
  EXPECT_EQ(events_.front(), (Event{"before", 0, 0, 0, call}));
  ASSERT_TRUE(WaitUntil([&] { return phone_->NumberOfActiveCalls() == 0; }));
  EXPECT_EQ(CallEvents(), (std::vector<Event>{Call(csWaitingDisconnection, 0, 0, call),
                                              Call(csDisconnected, 0, 0, call)}));
  EXPECT_FALSE(phone_->IsConnected());
  EXPECT_TRUE(WaitUntil([&] { return !phone_->RequestTimerRunning(); }));
}

TEST_F(CallFlowTest, VoiceAndFaxConnectionsReportTheirOwnWay) {
  int call = ConnectedCall(mmVoice, 7);
  ASSERT_NE(call, 0);
  EXPECT_TRUE(HasEvent(Call(csConnected, 0, 7, call)));
  ASSERT_EQ(phone_->Hangup(), 0);
  ASSERT_TRUE(WaitUntil([&] { return phone_->NumberOfActiveCalls() == 0; }));
  ASSERT_EQ(phone_->LineActive(0, false), 0);

  events_.clear();
  phone_->SetMediaMode(mmFax);
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  ASSERT_EQ(phone_->DialNumber("5551234", 7), 0);
  // An empty dial takes the line off hook; the fax layer dials through the
  // modem, and the call connects.
  call = WaitForCallState(csDialTone);
  ASSERT_NE(call, 0);
  labs_[0]->SetCallState(static_cast<HCALL>(call), LINECALLSTATE_CONNECTED);
  ASSERT_NE(WaitForCallState(csWaitingForFaxCommand), 0);
  EXPECT_TRUE(HasEvent(Call(csWaitingForFaxCommand, 0, 0, call)));
  EXPECT_FALSE(HasEvent(Call(csConnected, 0, 7, call)));
  // The recorded state stays connected.
  EXPECT_TRUE(phone_->IsConnected());
  EXPECT_TRUE(LogHas(labs_[0], "MakeCall  media=16"));
  EXPECT_EQ(phone_->FaxDialString(), "ATD5551234\r");
}

TEST_F(CallFlowTest, UnansweredOutcomesAreDroppedWithAutoDisconnect) {
  struct Case {
    const char* name;
    DWORD mode;
    TCallState state;
  };
  const Case cases[] = {
      {"busy", LINEDISCONNECTMODE_BUSY, csBusy},
      {"no dial tone", LINEDISCONNECTMODE_NODIALTONE, csNoDialTone},
  };
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    labs_[0]->SetOutgoingProgress({{LINECALLSTATE_DIALING, 0, 2}, {LINECALLSTATE_DISCONNECTED, c.mode, 2}});
    events_.clear();
    ASSERT_EQ(phone_->DialNumber("5551234", 0), 0);
    ASSERT_TRUE(WaitUntil([&] { return WaitForCallState(csDisconnected, milliseconds(1)) != 0; }));
    const int call = events_.front().call;
    EXPECT_EQ(CallEvents(), (std::vector<Event>{Call(csDialing, 0, 0, call), Call(c.state, 0, 0, call),
                                                Call(csWaitingDisconnection, 0, 0, call),
                                                Call(csDisconnected, 0, 0, call)}));
    EXPECT_EQ(phone_->NumberOfActiveCalls(), 0);
  }
}

TEST_F(CallFlowTest, RemoteHangUpIsDroppedAtOnceOnlyWithAutoDisconnect) {
  const int call = ConnectedCall(mmData);
  ASSERT_NE(call, 0);
  events_.clear();
  labs_[0]->RemoteDisconnect(static_cast<HCALL>(call));
  ASSERT_NE(WaitForCallState(csDisconnected), 0);
  EXPECT_EQ(CallEvents(), (std::vector<Event>{Call(csRemotePartyDisconnected, 0, 0, call),
                                              Call(csWaitingDisconnection, 0, 0, call),
                                              Call(csDisconnected, 0, 0, call)}));

  ASSERT_TRUE(WaitUntil([&] { return phone_->PendingRequestCount() == 0; }));
  phone_->SetAutoDisconnect(false);
  events_.clear();
  ASSERT_EQ(phone_->DialNumber("5551234", 0), 0);
  const int second = WaitForCallState(csConnected);
  ASSERT_NE(second, 0);
  events_.clear();
  labs_[0]->RemoteDisconnect(static_cast<HCALL>(second));
  ASSERT_NE(WaitForCallState(csRemotePartyDisconnected), 0);
  Pump(milliseconds(50));
  EXPECT_EQ(CallEvents(), (std::vector<Event>{Call(csRemotePartyDisconnected, 0, 0, second)}));
  TCallState state = csError;
  ASSERT_EQ(phone_->GetCallState(0, state), 0);
  EXPECT_EQ(state, csRemotePartyDisconnected);
  EXPECT_FALSE(phone_->IsConnected());
  EXPECT_EQ(phone_->Hangup(), 0);
  ASSERT_NE(WaitForCallState(csDisconnected), 0);
  EXPECT_EQ(phone_->NumberOfActiveCalls(), 0);
}

TEST_F(CallFlowTest, HangupResultsWithoutACallAndTwice) {
  EXPECT_EQ(phone_->Hangup(), 161);
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  EXPECT_EQ(phone_->Hangup(), 161);

  const int call = ConnectedCall(mmData);
  ASSERT_NE(call, 0);
  // The drop's reply is held back: the call stays waiting for disconnection.
  labs_[0]->QueueReply(LabOp::kDrop, {0, 0, 300, false});
  events_.clear();
  EXPECT_EQ(phone_->Hangup(), 0);
  EXPECT_EQ(phone_->Hangup(), 0);
  EXPECT_EQ(CallEvents(), (std::vector<Event>{Call(csWaitingDisconnection, 0, 0, call)}));
  // A disconnection of a call being dropped is no remote hang-up.
  labs_[0]->RemoteDisconnect(static_cast<HCALL>(call));
  ASSERT_NE(WaitForCallState(csDisconnected), 0);
  EXPECT_FALSE(HasEvent(Call(csRemotePartyDisconnected, 0, 0, call)));
  // The call is gone: nothing is left to hang up.
  ASSERT_TRUE(WaitUntil([&] { return phone_->PendingRequestCount() == 0; }));
  EXPECT_EQ(phone_->Hangup(), 161);
}

TEST_F(CallFlowTest, HangupRightAfterDialingActsOnThePreviousCurrentCall) {
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  labs_[0]->QueueReply(LabOp::kMakeCall, {0, 0, 100, false});
  ASSERT_EQ(phone_->DialNumber("5551234", 0), 0);
  // No state was reported for the new call yet: there is no current call.
  EXPECT_EQ(phone_->Hangup(), 161);
  EXPECT_EQ(phone_->PendingRequestCount(), 1);
  ASSERT_NE(WaitForCallState(csConnected), 0);
}

TEST_F(CallFlowTest, DialNumberChecksTheLineAndTheAddressBeforeCallingTapi) {
  EXPECT_EQ(phone_->DialNumber("5551234", 0), 157);
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  phone_->SetAddressID(-1);
  EXPECT_EQ(phone_->DialNumber("5551234", 0), 114);
  for (const std::string& entry : labs_[0]->Log()) EXPECT_EQ(entry.rfind("MakeCall", 0), std::string::npos);
  EXPECT_EQ(phone_->PendingRequestCount(), 0);
  phone_->SetAddressID(0);
  phone_->SetWaitForDialTone(true);
  ASSERT_EQ(phone_->DialNumber("5551234", 0), 0);
  EXPECT_TRUE(LogHas(labs_[0], "MakeCall W5551234 media=10"));
  EXPECT_EQ(phone_->LastCallParams().DialParams.dwWaitForDialtone, 4u);
}

TEST_F(CallFlowTest, DialRefusalsMapToResultCodesAndLeaveNoTrace) {
  struct Case {
    LONG error;
    int expected;
  };
  const Case cases[] = {
      {LINEERR_ALLOCATED, 106},      {LINEERR_RESOURCEUNAVAIL, 106}, {LINEERR_CALLUNAVAIL, 107},
      {LINEERR_INVALADDRESS, 155},   {LINEERR_INVALADDRESSID, 114},  {LINEERR_INVALMEDIAMODE, 162},
      {LINEERR_OPERATIONFAILED, 108},
  };
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    labs_[0]->QueueReply(LabOp::kMakeCall, {c.error, 0, 0, false});
    EXPECT_EQ(phone_->DialNumber("5551234", 0), c.expected);
    EXPECT_EQ(phone_->PendingRequestCount(), 0);
    EXPECT_EQ(phone_->NumberOfActiveCalls(), 0);
  }
  EXPECT_FALSE(phone_->RequestTimerRunning());
}

TEST_F(CallFlowTest, HangupRefusalsMapToResultCodes) {
  struct Case {
    LONG error;
    int expected;
  };
  const Case cases[] = {
      {LINEERR_ALLOCATED, 106},       {LINEERR_INUSE, 106}, {LINEERR_RESOURCEUNAVAIL, 106},
      {LINEERR_INVALCALLHANDLE, 115}, {LINEERR_NODEVICE, 101}, {LINEERR_NOMEM, -50},
      {LINEERR_NOTOWNER, 116},        {LINEERR_OPERATIONFAILED, 111},
  };
  const int call = ConnectedCall(mmData);
  ASSERT_NE(call, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    labs_[0]->QueueReply(LabOp::kDrop, {c.error, 0, 0, false});
    EXPECT_EQ(phone_->Hangup(), c.expected);
    // A refused drop leaves the call as it was.
    EXPECT_TRUE(phone_->IsConnected());
  }
}

TEST_F(CallFlowTest, FailedDropReplyIsReportedAsAnErrorOfTheCall) {
  const int call = ConnectedCall(mmData);
  ASSERT_NE(call, 0);
  labs_[0]->QueueReply(LabOp::kDrop, {0, LINEERR_OPERATIONFAILED, 0, false});
  events_.clear();
  EXPECT_EQ(phone_->Hangup(), 0);
  ASSERT_NE(WaitForCallState(csError), 0);
  EXPECT_TRUE(HasEvent(Call(csError, 111, 0, call)));
  EXPECT_EQ(phone_->CurrentCall(), call);
}

TEST_F(CallFlowTest, CompanionMessagesReachTheNotificationWindow) {
  const int call = ConnectedCall(mmData, 5);
  ASSERT_NE(call, 0);
  events_.clear();
  SendMessage(phone_->Handle(), kLineNotifyMessage, kLineNotifyConnected, 0);
  EXPECT_EQ(events_, (std::vector<Event>{Call(csConnected, 2, 5, call)}));
  events_.clear();
  EXPECT_EQ(SendMessage(phone_->Handle(), kHangupCallMessage, 0, static_cast<LPARAM>(call + 1000)), 161);
  EXPECT_EQ(SendMessage(phone_->Handle(), kHangupCallMessage, 0, static_cast<LPARAM>(call)), 0);
  ASSERT_NE(WaitForCallState(csDisconnected), 0);
}

TEST_F(CallFlowTest, CompanionBusyAndNoDialToneMessagesActOnTheCurrentCall) {
  phone_->SetAutoDisconnect(false);
  const int call = ConnectedCall(mmData);
  ASSERT_NE(call, 0);
  events_.clear();
  SendMessage(phone_->Handle(), kLineNotifyMessage, kLineNotifyBusy, 0);
  SendMessage(phone_->Handle(), kLineNotifyMessage, kLineNotifyNoDialTone, 0);
  EXPECT_EQ(events_, (std::vector<Event>{Call(csBusy, 0, 0, call), Call(csNoDialTone, 0, 0, call)}));
}

TEST_F(CallFlowTest, AnExceptionInAnEventHandlerGoesToTheApplicationsHandler) {
  std::vector<std::string> handled;
  SetApplicationExceptionHandler([&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& x) {
      handled.push_back(x.what());
    }
  });
  phone_->OnCallState = [](TSender, TCallState state, int, int, int) {
    if (state == csDialing) throw std::runtime_error("handler failed");
  };
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  ASSERT_EQ(phone_->DialNumber("5551234", 0), 0);
  ASSERT_TRUE(WaitUntil([&] { return phone_->IsConnected(); }));
  SetApplicationExceptionHandler({});
  EXPECT_EQ(handled, (std::vector<std::string>{"handler failed"}));
  // Still usable.
  EXPECT_EQ(phone_->Hangup(), 0);
  ASSERT_TRUE(WaitUntil([&] { return phone_->NumberOfActiveCalls() == 0; }));
}

}  // namespace
}  // namespace telvora::telephony::test
