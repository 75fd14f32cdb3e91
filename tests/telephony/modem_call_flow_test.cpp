// The component end to end through the modem provider: a data call placed,
// connected and hung up on a modem at the far end of a pseudo-terminal, with
// the modem speaker settings written into the modem's configuration.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "support/modem_peer.h"
#include "support/temp_dir.h"
#include "tapi/device_config_block.h"
#include "tapi/modem_line.h"
#include "tel_phone_fixture.h"

namespace telvora::telephony::test {
namespace {

using namespace tapi;
using telvora::testing::ModemPeer;
using std::chrono::milliseconds;

class ModemCallFlowTest : public TelPhoneFixture {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    saved_xdg_ = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("XDG_CONFIG_HOME", (dir_.path() / "config").c_str(), 1);
    std::filesystem::create_directories(dir_.path() / "lock");
    SetDeviceFactory([this] {
      ModemOptions o;
      o.device = peer_.SlavePath();
      o.lock_dir = (dir_.path() / "lock").string();
      o.command_timeout_ms = 300;
      o.dial_timeout_ms = 1500;
      o.dial_settle_ms = 30;
      o.escape_guard_ms = 40;
      o.abort_wait_ms = 300;
      DeviceSet set;
      set.lines.push_back(std::make_unique<ModemLine>(o));
      return set;
    });
    phone_ = std::make_unique<TelPhone>(nullptr);
    Record(*phone_);
  }

  void TearDown() override {
    TelPhoneFixture::TearDown();
    if (saved_xdg_) {
      ::setenv("XDG_CONFIG_HOME", saved_xdg_->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
  }

  telvora::testing::TempDir dir_;
  std::optional<std::string> saved_xdg_;
  ModemPeer peer_;
};

TEST_F(ModemCallFlowTest, DataCallConnectsAndHangsUp) {
  ModemPeer::Behaviour b;
  b.outcome = ModemPeer::Outcome::kConnect;
  b.result_delay_ms = 20;
  peer_.SetBehaviour(b);
  phone_->SetMediaMode(mmData);
  phone_->ModemSpeaker().SetVolume(svHigh);
  phone_->ModemSpeaker().SetMode(smOn);
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  std::u16string name;
  EXPECT_EQ(phone_->GetLineName(0, name), 0);
  EXPECT_EQ(name.rfind(u"Modem on ", 0), 0u);

  ASSERT_EQ(phone_->DialNumber("5551234", 3), 0);
  const int call = WaitForCallState(csConnected, milliseconds(4000));
  ASSERT_NE(call, 0);
  EXPECT_TRUE(HasEvent(Call(csDialing, 0, 0, call)));
  EXPECT_TRUE(HasEvent(Call(csConnected, 1, 3, call)));
  EXPECT_TRUE(peer_.Online());
  EXPECT_TRUE(peer_.WaitForCommand("ATDT5551234", milliseconds(100)));
  // The speaker settings went into the modem's configuration at activation.
  EXPECT_TRUE(peer_.WaitForCommand("ATL3", milliseconds(100)));
  EXPECT_TRUE(peer_.WaitForCommand("ATM2", milliseconds(100)));

  events_.clear();
  ASSERT_EQ(phone_->Hangup(), 0);
  ASSERT_NE(WaitForCallState(csDisconnected, milliseconds(4000)), 0);
  EXPECT_EQ(CallEvents(), (std::vector<Event>{Call(csWaitingDisconnection, 0, 0, call),
                                              Call(csDisconnected, 0, 0, call)}));
  EXPECT_EQ(peer_.Commands().back(), "ATH");
  EXPECT_FALSE(peer_.Online());
  EXPECT_EQ(phone_->NumberOfActiveCalls(), 0);
}

TEST_F(ModemCallFlowTest, SpeakerSettingsReachTheModemOnTheNextDialAndTheOptionsWordIsKept) {
  ModemPeer::Behaviour b;
  b.outcome = ModemPeer::Outcome::kConnect;
  peer_.SetBehaviour(b);
  phone_->SetMediaMode(mmData);
  struct Case {
    TModemSpeakerVolume volume;
    TModemSpeakerMode mode;
    bool icon;
    const char* volume_command;
    const char* mode_command;
    WORD options;
  };
  // The modem's own settings (low, on while dialling) stay where the
  // component has none.
  const Case cases[] = {
      {svDefault, smDefault, false, "ATL1", "ATM1", 0},
      {svLow, smCallSetup, true, "ATL1", "ATM3", kConfigOptionLaunchLights},
      {svMedium, smOff, false, "ATL2", "ATM0", 0},
  };
  for (const Case& c : cases) {
    phone_->ModemSpeaker().SetVolume(c.volume);
    phone_->ModemSpeaker().SetMode(c.mode);
    phone_->SetShowModemIcon(c.icon);
    ASSERT_EQ(phone_->LineActive(0, true), 0);
    std::vector<std::uint8_t> buffer(2048);
    auto* v = reinterpret_cast<VARSTRING*>(buffer.data());
    v->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(lineGetDevConfig(0, v, "comm/datamodem"), 0);
    const std::uint8_t* block = buffer.data() + v->dwStringOffset;
    EXPECT_EQ(block[kConfigOptionsAt] | (block[kConfigOptionsAt + 1] << 8), c.options);

    events_.clear();
    const std::size_t before = peer_.Commands().size();
    ASSERT_EQ(phone_->DialNumber("5551234", 0), 0);
    ASSERT_NE(WaitForCallState(csConnected, milliseconds(4000)), 0);
    const auto commands = peer_.Commands();
    const std::vector<std::string> dial(commands.begin() + static_cast<std::ptrdiff_t>(before), commands.end());
    EXPECT_NE(std::find(dial.begin(), dial.end(), c.volume_command), dial.end()) << c.volume_command;
    EXPECT_NE(std::find(dial.begin(), dial.end(), c.mode_command), dial.end()) << c.mode_command;
    ASSERT_EQ(phone_->Hangup(), 0);
    ASSERT_NE(WaitForCallState(csDisconnected, milliseconds(4000)), 0);
    ASSERT_EQ(phone_->LineActive(0, false), 0);
  }
}

TEST_F(ModemCallFlowTest, BusyModemCallIsDroppedAutomatically) {
  ModemPeer::Behaviour b;
  b.outcome = ModemPeer::Outcome::kBusy;
  b.result_delay_ms = 20;
  peer_.SetBehaviour(b);
  phone_->SetMediaMode(mmData);
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  ASSERT_EQ(phone_->DialNumber("5551234", 0), 0);
  const int call = WaitForCallState(csBusy, milliseconds(4000));
  ASSERT_NE(call, 0);
  ASSERT_NE(WaitForCallState(csDisconnected, milliseconds(4000)), 0);
  EXPECT_TRUE(HasEvent(Call(csWaitingDisconnection, 0, 0, call)));
  EXPECT_EQ(phone_->NumberOfActiveCalls(), 0);
}

}  // namespace
}  // namespace telvora::telephony::test
