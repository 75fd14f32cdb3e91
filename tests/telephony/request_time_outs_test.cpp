// The pending-request list: replies by kind, time-outs reported once, and
// the request timer running exactly while requests are pending.

#include "tel_phone_fixture.h"

namespace telvora::telephony::test {
namespace {

using namespace tapi;
using std::chrono::milliseconds;

using RequestTimeOutsTest = TelPhoneFixture;

constexpr int kShortTimeOut = 150;

int CountOf(const std::vector<Event>& events, const Event& e) {
  int n = 0;
  for (const Event& x : events) n += x == e ? 1 : 0;
  return n;
}

TEST_F(RequestTimeOutsTest, MakeCallWithoutReplyIsReportedOnceAfterTheTimeOut) {
  phone_->SetTimeOut(kShortTimeOut);
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  labs_[0]->QueueReply(LabOp::kMakeCall, {0, 0, 0, true});
  events_.clear();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(phone_->DialNumber("5551234", 0), 0);
  EXPECT_TRUE(phone_->RequestTimerRunning());
  ASSERT_TRUE(WaitUntil([&] { return HasEvent(Line(lsError, 113)); }));
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(kShortTimeOut));
  // Several more ticks: no second report.
  Pump(milliseconds(500));
  EXPECT_EQ(events_, (std::vector<Event>{Line(lsError, 113)}));
  EXPECT_EQ(phone_->NumberOfActiveCalls(), 0);
  // Reported and dropped: nothing is pending, the timer is off, and the line
  // can be reactivated.
  EXPECT_EQ(phone_->PendingRequestCount(), 0);
  EXPECT_FALSE(phone_->RequestTimerRunning());
  EXPECT_EQ(phone_->LineReactivate(true), 0);
}

TEST_F(RequestTimeOutsTest, CallWhoseReplyCameTooLateIsStillTrackedByItsStates) {
  phone_->SetTimeOut(kShortTimeOut);
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  labs_[0]->QueueReply(LabOp::kMakeCall, {0, 0, 400, false});
  events_.clear();
  ASSERT_EQ(phone_->DialNumber("5551234", 9), 0);
  const int call = WaitForCallState(csConnected);
  ASSERT_NE(call, 0);
  EXPECT_EQ(CountOf(events_, Line(lsError, 113)), 1);
  // The reply found no request any more, so the call's CallParam is lost;
  // its states still put it in the list.
  EXPECT_TRUE(HasEvent(Call(csConnected, 0, 0, call)));
  EXPECT_EQ(phone_->NumberOfActiveCalls(), 1);
  EXPECT_EQ(phone_->PendingRequestCount(), 0);
  EXPECT_FALSE(phone_->RequestTimerRunning());
}

TEST_F(RequestTimeOutsTest, TimerStopsWhenTheListEmptiesAndRestartsWithTheNextRequest) {
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  EXPECT_FALSE(phone_->RequestTimerRunning());
  labs_[0]->QueueReply(LabOp::kMakeCall, {0, 0, 50, false});
  ASSERT_EQ(phone_->DialNumber("5551234", 0), 0);
  EXPECT_TRUE(phone_->RequestTimerRunning());
  EXPECT_EQ(phone_->PendingRequestCount(), 1);
  ASSERT_TRUE(WaitUntil([&] { return phone_->PendingRequestCount() == 0; }));
  EXPECT_FALSE(phone_->RequestTimerRunning());
  ASSERT_NE(WaitForCallState(csConnected), 0);

  labs_[0]->QueueReply(LabOp::kDrop, {0, 0, 50, false});
  ASSERT_EQ(phone_->Hangup(), 0);
  EXPECT_TRUE(phone_->RequestTimerRunning());
  ASSERT_TRUE(WaitUntil([&] { return phone_->PendingRequestCount() == 0; }));
  EXPECT_FALSE(phone_->RequestTimerRunning());
}

TEST_F(RequestTimeOutsTest, DropWithoutReplyIsReportedForTheCallAndLeavesTheList) {
  const int call = ConnectedCall(mmData);
  ASSERT_NE(call, 0);
  phone_->SetTimeOut(kShortTimeOut);
  labs_[0]->QueueReply(LabOp::kDrop, {0, 0, 0, true});
  events_.clear();
  ASSERT_EQ(phone_->Hangup(), 0);
  ASSERT_TRUE(WaitUntil([&] { return HasEvent(Call(csError, 113, 0, call)); }));
  EXPECT_EQ(phone_->CurrentCall(), call);
  EXPECT_EQ(phone_->PendingRequestCount(), 0);
  EXPECT_TRUE(WaitUntil([&] { return !phone_->RequestTimerRunning(); }));
  Pump(milliseconds(300));
  EXPECT_EQ(CountOf(events_, Call(csError, 113, 0, call)), 1);
}

TEST_F(RequestTimeOutsTest, FailedMakeCallRepliesUseErrorCodeA) {
  struct Case {
    LONG error;
    int expected;
  };
  const Case cases[] = {
      {LINEERR_CALLUNAVAIL, 107},
      {LINEERR_INVALADDRESS, 155},
      {LINEERR_OPERATIONFAILED, 108},
      {LINEERR_NOMEM, 108},
  };
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    events_.clear();
    labs_[0]->QueueReply(LabOp::kMakeCall, {0, c.error, 0, false});
    ASSERT_EQ(phone_->DialNumber("5551234", 0), 0);
    ASSERT_TRUE(WaitUntil([&] { return !events_.empty(); }));
    Pump(milliseconds(20));
    EXPECT_EQ(events_, (std::vector<Event>{Line(lsError, c.expected)}));
    EXPECT_EQ(phone_->NumberOfActiveCalls(), 0);
    EXPECT_EQ(phone_->PendingRequestCount(), 0);
    EXPECT_FALSE(phone_->RequestTimerRunning());
  }
}

TEST_F(RequestTimeOutsTest, ReplyForARequestNoLongerPendingChangesNothing) {
  const int call = ConnectedCall(mmData);
  ASSERT_NE(call, 0);
  phone_->SetTimeOut(kShortTimeOut);
  // The drop expires and leaves the list; its failed reply comes later.
  labs_[0]->QueueReply(LabOp::kDrop, {0, LINEERR_OPERATIONFAILED, 400, false});
  events_.clear();
  ASSERT_EQ(phone_->Hangup(), 0);
  ASSERT_TRUE(WaitUntil([&] { return HasEvent(Call(csError, 113, 0, call)); }));
  EXPECT_EQ(phone_->PendingRequestCount(), 0);
  Pump(milliseconds(500));
  EXPECT_FALSE(HasEvent(Call(csError, 111, 0, call)));
  EXPECT_EQ(phone_->PendingRequestCount(), 0);
  EXPECT_FALSE(phone_->RequestTimerRunning());
}

}  // namespace
}  // namespace telvora::telephony::test
