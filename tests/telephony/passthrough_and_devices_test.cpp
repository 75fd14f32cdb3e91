// The pass-through switch (by method and by the companion message), the
// data-modem handle of a call with its cache, and the wave devices of the
// line, its addresses and its calls, on the lab line.

#include <fcntl.h>

#include <algorithm>

#include "tel_phone_fixture.h"
#include "telephony/notify_window.h"

namespace telvora::telephony::test {
namespace {

using namespace tapi;
using std::chrono::milliseconds;

class PassthroughTest : public TelPhoneFixture {
 protected:
  std::vector<std::string> SetCallParamsLog() const {
    std::vector<std::string> out;
    for (const std::string& e : labs_[0]->Log()) {
      if (e.rfind("SetCallParams", 0) == 0) out.push_back(e);
    }
    return out;
  }
  static std::string Params(DWORD bearer, DWORD min_rate, DWORD max_rate) {
    return "SetCallParams bearer=" + std::to_string(bearer) + " rate=" + std::to_string(min_rate) + ".." +
           std::to_string(max_rate);
  }
  bool Settled() { return WaitUntil([&] { return phone_->PendingRequestCount() == 0; }); }
};

TEST_F(PassthroughTest, DataCallSwitchesIntoPassthroughAndBack) {
  const int call = ConnectedCall(mmData);
  ASSERT_NE(call, 0);
  EXPECT_FALSE(phone_->InPassthrough());
  // Leaving what it is not in: nothing to do.
  EXPECT_EQ(phone_->Passthrough(false), 0);
  EXPECT_TRUE(SetCallParamsLog().empty());

  ASSERT_EQ(phone_->Passthrough(true), 0);
  EXPECT_EQ(phone_->Passthrough(true), 160);
  ASSERT_TRUE(Settled());
  EXPECT_TRUE(phone_->InPassthrough());
  // Digits go unheard while the bearer belongs to another layer.
  std::vector<char> digits;
  phone_->OnDigitDetected = [&](TSender, char d, int) { digits.push_back(d); };
  labs_[0]->Digit(static_cast<HCALL>(call), '1');
  Pump(milliseconds(20));
  EXPECT_TRUE(digits.empty());

  ASSERT_EQ(phone_->Passthrough(false), 0);
  ASSERT_TRUE(Settled());
  EXPECT_FALSE(phone_->InPassthrough());
  labs_[0]->Digit(static_cast<HCALL>(call), '2');
  ASSERT_TRUE(WaitUntil([&] { return !digits.empty(); }));
  EXPECT_EQ(digits, std::vector<char>{'2'});
  EXPECT_EQ(SetCallParamsLog(), (std::vector<std::string>{Params(LINEBEARERMODE_PASSTHROUGH, 28800, 57600),
                                                          Params(LINEBEARERMODE_DATA, 28800, 57600)}));

  // A switch the exchange refuses is an error of the call.
  events_.clear();
  labs_[0]->QueueReply(LabOp::kSetCallParams, {0, LINEERR_OPERATIONFAILED, 0, false});
  ASSERT_EQ(phone_->Passthrough(true), 0);
  ASSERT_TRUE(WaitUntil([&] { return HasEvent(Call(csError, -1, 0, call)); }));
  EXPECT_FALSE(phone_->InPassthrough());
  labs_[0]->QueueReply(LabOp::kSetCallParams, {LINEERR_CALLUNAVAIL, 0, 0, false});
  EXPECT_EQ(phone_->Passthrough(true), 107);
}

TEST_F(PassthroughTest, FaxCallIsAlreadyInPassthrough) {
  phone_->SetMediaMode(mmFax);
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  ASSERT_EQ(phone_->DialNumber("5551234", 0), 0);
  // The fax layer dials through the modem, and the call connects.
  const int call = WaitForCallState(csDialTone);
  ASSERT_NE(call, 0);
  labs_[0]->SetCallState(static_cast<HCALL>(call), LINECALLSTATE_CONNECTED);
  ASSERT_NE(WaitForCallState(csWaitingForFaxCommand), 0);
  EXPECT_TRUE(phone_->InPassthrough());
  EXPECT_EQ(phone_->Passthrough(true), 0);
  EXPECT_EQ(phone_->Passthrough(false), 0);
  EXPECT_EQ(phone_->PendingRequestCount(), 0);
  EXPECT_TRUE(SetCallParamsLog().empty());
}

TEST_F(PassthroughTest, CompanionMessageSwitchesAtTheFixedRateAndNotifiesItsWindow) {
  std::vector<std::pair<WPARAM, LPARAM>> received;
  TNotifyWindow companion([&](TMessage& m) {
    if (m.Msg == kPassthroughMessage) received.emplace_back(m.WParam, m.LParam);
  });
  EXPECT_EQ(SendMessage(phone_->Handle(), kPassthroughMessage, 1, static_cast<LPARAM>(companion.Handle())), 161);
  ASSERT_NE(ConnectedCall(mmVoice), 0);
  ASSERT_EQ(SendMessage(phone_->Handle(), kPassthroughMessage, 1, static_cast<LPARAM>(companion.Handle())), 0);
  EXPECT_TRUE(received.empty());
  ASSERT_TRUE(WaitUntil([&] { return !received.empty(); }));
  EXPECT_EQ(received, (std::vector<std::pair<WPARAM, LPARAM>>{{0, 0}}));
  EXPECT_EQ(SetCallParamsLog(), std::vector<std::string>{Params(LINEBEARERMODE_PASSTHROUGH, 19200, 19200)});
  EXPECT_TRUE(phone_->InPassthrough());

  // Nothing left to switch: the window is told all the same, by a post.
  received.clear();
  ASSERT_EQ(SendMessage(phone_->Handle(), kPassthroughMessage, 0, static_cast<LPARAM>(companion.Handle())), 0);
  EXPECT_TRUE(received.empty());
  ASSERT_TRUE(WaitUntil([&] { return !received.empty(); }));
  EXPECT_EQ(SetCallParamsLog().size(), 1u);
}

using CallDevicesTest = TelPhoneFixture;

TEST_F(CallDevicesTest, CommHandleIsCachedForItsCallAndClosedWhenTheCallEnds) {
  int handle = 5;
  EXPECT_EQ(phone_->GetCommHandle(handle), 161);
  EXPECT_EQ(handle, 0);
  ASSERT_NE(ConnectedCall(mmData), 0);
  ASSERT_EQ(phone_->GetCommHandle(handle), 0);
  EXPECT_GE(::fcntl(handle, F_GETFD), 0);
  int again = -1;
  ASSERT_EQ(phone_->GetCommHandle(again), 0);
  EXPECT_EQ(again, handle);
  const auto log = labs_[0]->Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), std::string("CommHandle")), 1);

  ASSERT_EQ(phone_->Hangup(), 0);
  ASSERT_TRUE(WaitUntil([&] { return phone_->NumberOfActiveCalls() == 0; }));
  EXPECT_EQ(::fcntl(handle, F_GETFD), -1);
  EXPECT_EQ(phone_->GetCommHandle(again), 161);
}

TEST_F(CallDevicesTest, WaveDevicesOfTheLineItsAddressesAndItsCalls) {
  int id = 0;
  EXPECT_EQ(phone_->GetWaveRecIDFrom(true, 0, id), 157);
  ASSERT_EQ(phone_->LineActive(1, true), 0);
  struct Case {
    bool play;
    bool from_address;
    int address;
    int result;
    int id;
  };
  const Case cases[] = {
      {false, true, 0, 0, 2},    {true, true, 0, 0, 3},     {false, true, -1, 114, -2},
      {true, true, 5, 114, -2},  {false, false, 12345, 115, -2},
  };
  for (const Case& c : cases) {
    id = 99;
    const int result = c.play ? phone_->GetWavePlayIDFrom(c.from_address, c.address, id)
                              : phone_->GetWaveRecIDFrom(c.from_address, c.address, id);
    EXPECT_EQ(result, c.result) << c.play << " " << c.address;
    if (c.result == 0) {
      EXPECT_EQ(id, c.id) << c.play << " " << c.address;
    }
  }
  EXPECT_EQ(phone_->WaveRecID(), 2);
  EXPECT_EQ(phone_->WavePlayID(), 3);
  ASSERT_EQ(phone_->DialNumber("5551234", 0), 0);
  const int call = WaitForCallState(csConnected);
  ASSERT_NE(call, 0);
  EXPECT_EQ(phone_->GetWavePlayIDFrom(false, call, id), 0);
  EXPECT_EQ(id, 3);
}

}  // namespace
}  // namespace telvora::telephony::test
