// Consultation calls on the lab line: a transfer after consultation and a
// conference built through one, end to end; the automatic cancel of a busy
// consultation; and the consultation list's refusals.

#include <algorithm>

#include "tel_phone_fixture.h"

namespace telvora::telephony::test {
namespace {

using namespace tapi;
using std::chrono::milliseconds;

struct ConsultEvent {
  int state;
  int param;
  int consult;
  int primary;
  bool operator==(const ConsultEvent&) const = default;
};

std::ostream& operator<<(std::ostream& os, const ConsultEvent& e) {
  return os << "{" << e.state << " " << e.param << " " << e.consult << " " << e.primary << "}";
}

class ConsultationTest : public TelPhoneFixture {
 protected:
  void SetUp() override {
    TelPhoneFixture::SetUp();
    phone_->OnConsultCallState = [this](TSender, TConsultCallState s, int p, int consult, int primary) {
      consults_.push_back({s, p, consult, primary});
    };
  }
  bool HasConsult(TConsultCallState state) const {
    return std::any_of(consults_.begin(), consults_.end(), [&](const ConsultEvent& e) { return e.state == state; });
  }
  std::vector<int> ConsultStates() const {
    std::vector<int> out;
    for (const ConsultEvent& e : consults_) out.push_back(e.state);
    return out;
  }
  bool LogHas(const std::string& entry) const {
    const auto log = labs_[0]->Log();
    return std::find(log.begin(), log.end(), entry) != log.end();
  }

  std::vector<ConsultEvent> consults_;
};

TEST_F(ConsultationTest, TransferAfterConsultationEndToEnd) {
  phone_->SetWaitForDialTone(true);
  const int primary = ConnectedCall();
  ASSERT_NE(primary, 0);
  events_.clear();
  ASSERT_EQ(phone_->ConsultCallDialNumber(true, "300"), 0);
  EXPECT_EQ(phone_->ConsultCallDialNumber(true, "301"), 160);
  ASSERT_TRUE(WaitUntil([&] { return HasConsult(ccsConnected); }));
  ASSERT_FALSE(consults_.empty());
  const int consult = consults_.front().consult;
  ASSERT_NE(consult, 0);
  EXPECT_EQ(consults_.front(), (ConsultEvent{ccsStarted, 0, consult, primary}));
  EXPECT_EQ(ConsultStates(), (std::vector<int>{ccsStarted, ccsDialTone, ccsDialing, ccsProceeding, ccsRingBack,
                                                ccsConnected}));
  EXPECT_TRUE(LogHas("SetupTransfer"));
  EXPECT_TRUE(LogHas("Dial W300"));
  // The primary call waits on hold, still connected for the component.
  EXPECT_TRUE(HasEvent(Call(csOnHold, 0, 0, primary)));
  EXPECT_TRUE(phone_->IsConnected());
  EXPECT_EQ(phone_->CurrentCall(), primary);
  EXPECT_EQ(phone_->NumberOfActiveCalls(), 1);

  consults_.clear();
  events_.clear();
  ASSERT_TRUE(WaitUntil([&] { return phone_->PendingRequestCount() == 0; }));
  ASSERT_EQ(phone_->ConsultCallComplete(), 0);
  ASSERT_TRUE(WaitUntil([&] { return phone_->NumberOfActiveCalls() == 0 && phone_->ConsultationCount() == 0; }));
  EXPECT_TRUE(LogHas("CompleteTransfer transfer"));
  // Both calls left through the transfer: no remote hang-up is reported.
  EXPECT_EQ(consults_, (std::vector<ConsultEvent>{{ccsDisconnected, 0, consult, primary}}));
  EXPECT_EQ(CallEvents(), (std::vector<Event>{Call(csDisconnected, 0, 0, primary)}));
  EXPECT_EQ(phone_->ConsultCallComplete(), 170);
}

TEST_F(ConsultationTest, ConferenceThroughConsultationEndToEnd) {
  const int primary = ConnectedCall();
  ASSERT_NE(primary, 0);
  events_.clear();
  ASSERT_EQ(phone_->ConsultCallDialNumber(false, "400"), 0);
  ASSERT_TRUE(WaitUntil([&] { return HasConsult(ccsConnected); }));
  EXPECT_TRUE(LogHas("SetupConference"));
  EXPECT_TRUE(LogHas("Dial 400"));
  EXPECT_TRUE(HasEvent(Call(csInConference, 0, 0, primary)));
  const int consult = consults_.front().consult;
  ASSERT_TRUE(WaitUntil([&] { return phone_->PendingRequestCount() == 0; }));

  consults_.clear();
  ASSERT_EQ(phone_->ConsultCallComplete(), 0);
  ASSERT_TRUE(WaitUntil([&] { return HasConsult(ccsDisconnected) && phone_->PendingRequestCount() == 0; }));
  EXPECT_TRUE(LogHas("AddToConference"));
  EXPECT_EQ(consults_, (std::vector<ConsultEvent>{{ccsDisconnected, 0, consult, primary}}));
  EXPECT_EQ(phone_->ConsultCallCancel(), 170);

  // Hanging up the primary call ends the conference, then the joined
  // consultation call (silently), then the primary call.
  consults_.clear();
  events_.clear();
  ASSERT_EQ(phone_->CurrentCall(), primary);
  ASSERT_EQ(phone_->Hangup(), 0);
  ASSERT_TRUE(WaitUntil([&] { return phone_->NumberOfActiveCalls() == 0 && phone_->ConsultationCount() == 0; }));
  EXPECT_TRUE(consults_.empty());
  EXPECT_EQ(CallEvents(), (std::vector<Event>{Call(csWaitingDisconnection, 0, 0, primary),
                                              Call(csDisconnected, 0, 0, primary)}));
  const auto log = labs_[0]->Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), std::string("Drop")), 3);
}

TEST_F(ConsultationTest, BusyConsultationIsCancelledAutomaticallyAndThePrimaryStays) {
  const int primary = ConnectedCall();
  ASSERT_NE(primary, 0);
  labs_[0]->SetOutgoingProgress({{LINECALLSTATE_DIALING, 0, 2},
                                 {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BUSY, 2}});
  ASSERT_EQ(phone_->ConsultCallDialNumber(true, "301"), 0);
  ASSERT_TRUE(WaitUntil([&] { return phone_->ConsultationCount() == 0 && phone_->PendingRequestCount() == 0; }));
  EXPECT_EQ(ConsultStates(), (std::vector<int>{ccsStarted, ccsDialTone, ccsDialing, ccsBusy, ccsDisconnected}));
  EXPECT_TRUE(phone_->IsConnected());
  EXPECT_EQ(phone_->NumberOfActiveCalls(), 1);
  EXPECT_EQ(phone_->CurrentCall(), primary);
}

TEST_F(ConsultationTest, BusyConsultationStaysWithoutAutoDisconnectUntilCancelled) {
  const int primary = ConnectedCall();
  ASSERT_NE(primary, 0);
  phone_->SetAutoDisconnect(false);
  labs_[0]->SetOutgoingProgress({{LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BUSY, 2}});
  ASSERT_EQ(phone_->ConsultCallDialNumber(true, "301"), 0);
  ASSERT_TRUE(WaitUntil([&] { return HasConsult(ccsBusy); }));
  Pump(milliseconds(30));
  EXPECT_EQ(phone_->ConsultationCount(), 1);
  ASSERT_EQ(phone_->ConsultCallCancel(), 0);
  ASSERT_TRUE(WaitUntil([&] { return phone_->ConsultationCount() == 0; }));
  EXPECT_EQ(ConsultStates().back(), ccsDisconnected);
  EXPECT_EQ(phone_->ConsultCallCancel(), 170);
}

TEST_F(ConsultationTest, FailedSetUpLeavesNoConsultationBehind) {
  const int primary = ConnectedCall();
  ASSERT_NE(primary, 0);
  const std::pair<LONG, int> cases[] = {
      {LINEERR_CALLUNAVAIL, 107}, {LINEERR_INVALMEDIAMODE, 162}, {LINEERR_OPERATIONFAILED, -1}};
  for (const auto& [error, code] : cases) {
    labs_[0]->QueueReply(LabOp::kSetupTransfer, {error, 0, 0, false});
    EXPECT_EQ(phone_->ConsultCallDialNumber(true, "300"), code);
    EXPECT_EQ(phone_->ConsultationCount(), 0);
  }
  // Refused later: an error of the consultation, and no entry either.
  labs_[0]->QueueReply(LabOp::kSetupConference, {0, LINEERR_OPERATIONUNAVAIL, 0, false});
  ASSERT_EQ(phone_->ConsultCallDialNumber(false, "300"), 0);
  ASSERT_TRUE(WaitUntil([&] { return HasConsult(ccsError); }));
  EXPECT_EQ(consults_.back(), (ConsultEvent{ccsError, 105, 0, primary}));
  EXPECT_EQ(phone_->ConsultationCount(), 0);
  EXPECT_EQ(phone_->ConsultCallComplete(), 170);
}

}  // namespace
}  // namespace telvora::telephony::test
