// Caller and called identification and the other call information reports
// of an offered call on the lab line: repeated reports raised once, the
// party-ID flags compared whole, and the report keys forgotten when a call
// ends.

#include "tel_phone_fixture.h"

namespace telvora::telephony::test {
namespace {

using namespace tapi;
using std::chrono::milliseconds;

struct IdReport {
  int error;
  std::u16string number;
  std::u16string name;
  int call;
  bool operator==(const IdReport&) const = default;
};

struct InfoReport {
  int type;
  std::u16string text;
  int number;
  int call;
  bool operator==(const InfoReport&) const = default;
};

class CallerIdTest : public TelPhoneFixture {
 protected:
  void SetUp() override {
    TelPhoneFixture::SetUp();
    phone_->OnCallerID = [this](TSender, int e, const std::u16string& n, const std::u16string& m, int c) {
      callers_.push_back({e, n, m, c});
    };
    phone_->OnCalledID = [this](TSender, int e, const std::u16string& n, const std::u16string& m, int c) {
      called_.push_back({e, n, m, c});
    };
    phone_->OnCallInfo = [this](TSender, TTypeOfInfo t, const std::u16string& s, int n, int c) {
      infos_.push_back({t, s, n, c});
    };
    EXPECT_EQ(phone_->LineActive(0, true), 0);
  }

  HCALL Offer(const PartyId& caller) {
    CallDetails details;
    details.caller = caller;
    const HCALL call = labs_[0]->Offer(details);
    EXPECT_TRUE(WaitUntil([&] { return HasEvent(Call(csOffering, 0, 0, static_cast<int>(call))); }));
    return call;
  }

  // Sends a caller-ID change and lets it arrive.
  void CallerInfo(HCALL call, const PartyId& caller) {
    CallDetails details;
    details.caller = caller;
    labs_[0]->SetCallInfo(call, LINECALLINFOSTATE_CALLERID, details);
    Pump(milliseconds(20));
  }

  std::vector<IdReport> callers_, called_;
  std::vector<InfoReport> infos_;
};

TEST_F(CallerIdTest, TheSameCallerIsReportedOnceAndANewOneAgain) {
  const PartyId ali{LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME, "02155512345", "Ali"};
  const HCALL call = Offer(ali);
  ASSERT_TRUE(WaitUntil([&] { return !callers_.empty(); }));
  CallerInfo(call, ali);
  const int c = static_cast<int>(call);
  EXPECT_EQ(callers_, (std::vector<IdReport>{{0, u"02155512345", u"Ali", c}}));
  CallerInfo(call, {LINECALLPARTYID_ADDRESS, "02155512345", ""});
  EXPECT_EQ(callers_.back(), (IdReport{0, u"02155512345", u"", c}));
  EXPECT_EQ(callers_.size(), 2u);

  // Once the call is gone, the same caller on the next call is news again.
  labs_[0]->SetCallState(call, LINECALLSTATE_IDLE);
  ASSERT_TRUE(WaitUntil([&] { return phone_->NumberOfActiveCalls() == 0; }));
  callers_.clear();
  const HCALL next = Offer(ali);
  ASSERT_TRUE(WaitUntil([&] { return !callers_.empty(); }));
  EXPECT_EQ(callers_, (std::vector<IdReport>{{0, u"02155512345", u"Ali", static_cast<int>(next)}}));
}

TEST_F(CallerIdTest, PartyIdFlagsAreComparedWhole) {
  const HCALL call = Offer({LINECALLPARTYID_UNKNOWN, "", ""});
  const int c = static_cast<int>(call);
  struct Case {
    PartyId party;
    IdReport expected;
  };
  const Case cases[] = {
      {{LINECALLPARTYID_UNAVAIL, "", ""}, {154, u"", u"", c}},
      {{LINECALLPARTYID_BLOCKED, "", ""}, {153, u"", u"", c}},
      {{LINECALLPARTYID_OUTOFAREA, "", ""}, {153, u"", u"", c}},
      {{LINECALLPARTYID_UNKNOWN, "", ""}, {153, u"", u"", c}},
      // UNAVAIL with another bit is not "unavailable": what is there is read.
      {{LINECALLPARTYID_UNAVAIL | LINECALLPARTYID_NAME, "", "Sara"}, {0, u"", u"Sara", c}},
      // A party flagged as known that brings neither number nor name.
      {{LINECALLPARTYID_ADDRESS, "", ""}, {153, u"", u"", c}},
  };
  for (const Case& k : cases) {
    callers_.clear();
    CallerInfo(call, k.party);
    ASSERT_EQ(callers_.size(), 1u) << k.party.flags;
    EXPECT_EQ(callers_[0], k.expected) << k.party.flags;
  }
}

TEST_F(CallerIdTest, CalledIdAndCallInformationAreReported) {
  const HCALL call = Offer({LINECALLPARTYID_UNKNOWN, "", ""});
  const int c = static_cast<int>(call);
  CallDetails details;
  details.called = {LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME, "100", "Desk"};
  details.display = "Call from Ali";
  details.user_user_info = "uui";
  details.origin = LINECALLORIGIN_EXTERNAL;
  details.reason = LINECALLREASON_TRANSFER;
  labs_[0]->SetCallInfo(call,
                        LINECALLINFOSTATE_CALLEDID | LINECALLINFOSTATE_DISPLAY | LINECALLINFOSTATE_USERUSERINFO |
                            LINECALLINFOSTATE_ORIGIN | LINECALLINFOSTATE_REASON,
                        details);
  ASSERT_TRUE(WaitUntil([&] { return infos_.size() == 4; }));
  EXPECT_EQ(called_, (std::vector<IdReport>{{0, u"100", u"Desk", c}}));
  EXPECT_EQ(infos_, (std::vector<InfoReport>{{tiDisplayInfo, u"Call from Ali", 0, c},
                                             {tiUserInfo, u"uui", 0, c},
                                             {tiOrigin, u"", static_cast<int>(LINECALLORIGIN_EXTERNAL), c},
                                             {tiReason, u"", static_cast<int>(LINECALLREASON_TRANSFER), c}}));
  // Display and user-user information only when they are there.
  infos_.clear();
  details.display.clear();
  details.user_user_info.clear();
  labs_[0]->SetCallInfo(call, LINECALLINFOSTATE_DISPLAY | LINECALLINFOSTATE_USERUSERINFO, details);
  Pump(milliseconds(20));
  EXPECT_TRUE(infos_.empty());
  EXPECT_TRUE(callers_.empty());
}

TEST_F(CallerIdTest, UnassignedEventsReadNothing) {
  phone_->OnCallerID = nullptr;
  const HCALL call = Offer({LINECALLPARTYID_ADDRESS, "021", ""});
  Pump(milliseconds(20));
  EXPECT_TRUE(callers_.empty());
  phone_->OnCallerID = [this](TSender, int e, const std::u16string& n, const std::u16string& m, int c) {
    callers_.push_back({e, n, m, c});
  };
  CallerInfo(call, {LINECALLPARTYID_ADDRESS, "021", ""});
  EXPECT_EQ(callers_, (std::vector<IdReport>{{0, u"021", u"", static_cast<int>(call)}}));
}

}  // namespace
}  // namespace telvora::telephony::test
