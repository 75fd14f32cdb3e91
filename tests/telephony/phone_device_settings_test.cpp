// The line's phone device through the lab phone: handset and speaker levels
// and their encoding, the refusal of out-of-range levels through the
// application's message service, the settings applied when the phone opens,
// hook-switch states with their notifications, and the ringer, lamps and
// display with their bounds.

#include <algorithm>

#include "tel_phone_fixture.h"
#include "telephony/message_service.h"

namespace telvora::telephony::test {
namespace {

using namespace tapi;
using std::chrono::milliseconds;

bool PhoneLogHas(const LabPhone* phone, const std::string& entry) {
  const auto log = phone->Log();
  return std::find(log.begin(), log.end(), entry) != log.end();
}


class PhoneDeviceTest : public TelPhoneFixture {
 protected:
  void SetUp() override {
    TelPhoneFixture::SetUp();
    SetApplicationMessageService([this](const std::string& text) { messages_.push_back(text); });
  }
  void TearDown() override {
    SetApplicationMessageService({});
    TelPhoneFixture::TearDown();
  }
  // Waits until no request is pending any more.
  bool Settled() { return WaitUntil([&] { return phone_->PendingRequestCount() == 0; }); }

  std::vector<std::string> messages_;
};

TEST(ExtDevLevelTest, LevelsAreSentAsSixteenBitValuesRoundedTiesToEven) {
  const DWORD expected[] = {0, 6554, 13107, 19660, 26214, 32768, 39321, 45874, 52428, 58982, 65535};
  for (int level = 0; level <= 10; ++level) {
    EXPECT_EQ(TExtDev::TapiLevel(level), expected[level]) << "level " << level;
  }
}

TEST_F(PhoneDeviceTest, OutOfRangeLevelsAreRefusedWithTheirMessageAndKeepTheOldValue) {
  struct Case {
    bool gain;
    int value;
    const char* message;
  };
  const Case cases[] = {
      {false, 11, "SpeakerVolume property must be set to a value ranging from 0 to 10"},
      {false, -1, "SpeakerVolume property must be set to a value ranging from 0 to 10"},
      {true, 11, "MicGain property must be set to a value ranging from 0 to 10"},
      {true, -3, "MicGain property must be set to a value ranging from 0 to 10"},
  };
  for (const Case& c : cases) {
    messages_.clear();
    TExtDev& dev = phone_->ExtDevAux();
    if (c.gain) {
      dev.SetMicGain(c.value);
    } else {
      dev.SetSpeakerVolume(c.value);
    }
    EXPECT_EQ(messages_, std::vector<std::string>{c.message}) << c.value;
    EXPECT_EQ(dev.MicGain(), 10);
    EXPECT_EQ(dev.SpeakerVolume(), 10);
  }
}

TEST_F(PhoneDeviceTest, SettingsAreAppliedAfterThePhoneOpensAndLevelChangesAreSentAtOnce) {
  phone_->ExtDevHandSet().SetSpeakerVolume(5);
  phone_->ExtDevHandSet().SetMicGain(1);
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  ASSERT_NE(lab_phone_, nullptr);
  const std::string handset = std::to_string(PHONEHOOKSWITCHDEV_HANDSET);
  const std::string speaker = std::to_string(PHONEHOOKSWITCHDEV_SPEAKER);
  const std::string on_hook = std::to_string(PHONEHOOKSWITCHMODE_ONHOOK);
  const auto log = lab_phone_->Log();
  ASSERT_GE(log.size(), 7u);
  EXPECT_EQ(log[0], "Open");
  EXPECT_EQ((std::vector<std::string>(log.begin() + 1, log.begin() + 7)),
            (std::vector<std::string>{"SetHookSwitch " + handset + " " + on_hook, "SetVolume " + handset + " 32768",
                                      "SetGain " + handset + " 6554", "SetHookSwitch " + speaker + " " + on_hook,
                                      "SetVolume " + speaker + " 65535", "SetGain " + speaker + " 65535"}));

  // While the phone is open a new level goes out at once; the present
  // value sends nothing.
  const std::size_t before = lab_phone_->Log().size();
  phone_->ExtDevAux().SetSpeakerVolume(10);
  EXPECT_EQ(lab_phone_->Log().size(), before);
  phone_->ExtDevAux().SetSpeakerVolume(0);
  phone_->ExtDevAux().SetMicGain(9);
  EXPECT_EQ(lab_phone_->Log().back(), "SetGain " + speaker + " 58982");
  EXPECT_TRUE(PhoneLogHas(lab_phone_, "SetVolume " + speaker + " 0"));
  EXPECT_EQ(phone_->ExtDevAux().SpeakerVolume(), 0);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(PhoneDeviceTest, HookSwitchStateIsReadAndChangedThroughTheRequestList) {
  std::uint8_t state = 9;
  EXPECT_EQ(phone_->ExtDevHandSet().GetMicSpeakerState(state), 157);
  EXPECT_EQ(phone_->ExtDevHandSet().SetMicSpeakerState(1), 157);
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  Settled();
  EXPECT_EQ(phone_->ExtDevHandSet().GetMicSpeakerState(state), 0);
  EXPECT_EQ(state, 0);
  lab_phone_->LiftHandset();
  EXPECT_EQ(phone_->ExtDevHandSet().GetMicSpeakerState(state), 0);
  EXPECT_EQ(state, 3);

  // The state asked for now is the one there: nothing to do.
  EXPECT_EQ(phone_->ExtDevHandSet().SetMicSpeakerState(3), 0);
  EXPECT_EQ(phone_->PendingRequestCount(), 0);
  EXPECT_EQ(phone_->ExtDevAux().SetMicSpeakerState(2), 0);
  EXPECT_EQ(phone_->PendingRequestCount(), 1);
  EXPECT_EQ(phone_->ExtDevAux().State(), 2);
  ASSERT_TRUE(Settled());
  EXPECT_TRUE(WaitUntil([&] { return !phone_->RequestTimerRunning(); }));
  EXPECT_EQ(phone_->ExtDevAux().GetMicSpeakerState(state), 0);
  EXPECT_EQ(state, 2);
  EXPECT_EQ(phone_->ExtDevAux().SetMicSpeakerState(4), -10);

  // A refused change is reported when its reply comes.
  events_.clear();
  lab_phone_->QueueReply({0, PHONEERR_OPERATIONFAILED, 0, false});
  EXPECT_EQ(phone_->ExtDevAux().SetMicSpeakerState(1), 0);
  ASSERT_TRUE(Settled());
  EXPECT_TRUE(HasEvent(Line(lsError, 156)));
  // And one refused at once is 156 at once.
  lab_phone_->QueueReply({PHONEERR_OPERATIONFAILED, 0, 0, false});
  EXPECT_EQ(phone_->ExtDevAux().SetMicSpeakerState(3), 156);
}

TEST_F(PhoneDeviceTest, MissingHookSwitchDevicesAreReported) {
  adjust_phone_ = [](PhoneDeviceCaps& caps) {
    caps.hook_switch_devs = PHONEHOOKSWITCHDEV_HANDSET;
    caps.speaker_modes = 0;
  };
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  std::uint8_t state = 0;
  EXPECT_EQ(phone_->ExtDevAux().GetMicSpeakerState(state), 151);
  EXPECT_EQ(phone_->ExtDevAux().SetMicSpeakerState(2), 151);
  EXPECT_EQ(phone_->ExtDevHandSet().GetMicSpeakerState(state), 0);
}

TEST_F(PhoneDeviceTest, HandsetNotificationsReportEachHookChangeOnce) {
  std::vector<bool> hooks;
  int handset_changed = 0, aux_changed = 0;
  phone_->OnHookState = [&](TSender, bool on_hook) { hooks.push_back(on_hook); };
  phone_->OnExtDevHandsetChanged = [&](TSender) { ++handset_changed; };
  phone_->OnExtDevAuxChanged = [&](TSender) { ++aux_changed; };
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  Settled();
  Pump(milliseconds(30));
  hooks.clear();
  handset_changed = aux_changed = 0;

  lab_phone_->LiftHandset();
  ASSERT_TRUE(WaitUntil([&] { return handset_changed == 1; }));
  lab_phone_->PressSpeaker(PHONEHOOKSWITCHMODE_SPEAKER);
  ASSERT_TRUE(WaitUntil([&] { return aux_changed == 1; }));
  // Lifted again while off hook: a change of the switch, but no new report.
  lab_phone_->LiftHandset();
  ASSERT_TRUE(WaitUntil([&] { return handset_changed == 2; }));
  lab_phone_->ReplaceHandset();
  ASSERT_TRUE(WaitUntil([&] { return handset_changed == 3; }));
  EXPECT_EQ(hooks, (std::vector<bool>{false, true}));
}

TEST_F(PhoneDeviceTest, APhoneClosedByTheServiceIsForgotten) {
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  std::uint8_t state = 0;
  ASSERT_EQ(phone_->ExtDevHandSet().GetMicSpeakerState(state), 0);
  lab_phone_->Remove();
  ASSERT_TRUE(WaitUntil([&] { return phone_->ExtDevHandSet().GetMicSpeakerState(state) == -1; }));
  // Levels are kept for the next opening, and nothing is sent meanwhile.
  const std::size_t before = lab_phone_->Log().size();
  phone_->ExtDevHandSet().SetSpeakerVolume(3);
  EXPECT_EQ(lab_phone_->Log().size(), before);
  EXPECT_EQ(phone_->ExtDevHandSet().SpeakerVolume(), 3);
  EXPECT_TRUE(phone_->IsActive());
}

TEST_F(PhoneDeviceTest, RingerLampsAndDisplayKeepTheirBounds) {
  int ring = 0, volume = 0, lamp = 0;
  std::u16string text;
  EXPECT_EQ(phone_->ExtPhoneSetRing(1, 100), 157);
  EXPECT_EQ(phone_->ExtPhoneGetDisplay(text), 157);
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  Settled();
  ASSERT_EQ(phone_->ExtPhoneNumOfRings(), 3);
  ASSERT_EQ(phone_->ExtPhoneNumOfLamps(), 4);
  struct Case {
    const char* what;
    std::function<int()> op;
    int expected;
  };
  const Case cases[] = {
      {"ring volume above 65535", [&] { return phone_->ExtPhoneSetRing(1, 65536); }, -10},
      {"ring volume below 0", [&] { return phone_->ExtPhoneSetRing(1, -1); }, -10},
      {"ring mode above the modes", [&] { return phone_->ExtPhoneSetRing(4, 10); }, -10},
      {"lamp equal to the number of lamps", [&] { return phone_->ExtPhoneSetLamp(4, PHONELAMPMODE_STEADY); }, -10},
      {"negative lamp", [&] { return phone_->ExtPhoneSetLamp(-1, PHONELAMPMODE_STEADY); }, -10},
      {"display row beyond the rows", [&] { return phone_->ExtPhoneSetDisplay(3, 0, u"x"); }, -10},
      {"display column beyond the columns", [&] { return phone_->ExtPhoneSetDisplay(0, 17, u"x"); }, -10},
      // In bounds for the component, refused by the phone.
      {"display row equal to the rows", [&] { return phone_->ExtPhoneSetDisplay(2, 0, u"x"); }, 164},
      {"lamp mode the phone lacks", [&] { return phone_->ExtPhoneSetLamp(0, 0x3); }, 164},
      {"lamp read beyond the lamps", [&] { return phone_->ExtPhoneGetLamp(7, lamp); }, 164},
  };
  for (const Case& c : cases) EXPECT_EQ(c.op(), c.expected) << c.what;
  EXPECT_EQ(phone_->PendingRequestCount(), 0);

  EXPECT_EQ(phone_->ExtPhoneSetRing(3, 65535), 0);
  EXPECT_EQ(phone_->ExtPhoneSetLamp(3, PHONELAMPMODE_FLASH), 0);
  EXPECT_EQ(phone_->ExtPhoneSetDisplay(1, 2, u"Telvora"), 0);
  EXPECT_EQ(phone_->PendingRequestCount(), 3);
  ASSERT_TRUE(Settled());
  EXPECT_EQ(phone_->ExtPhoneGetRing(ring, volume), 0);
  EXPECT_EQ(ring, 3);
  EXPECT_EQ(volume, 65535);
  EXPECT_EQ(phone_->ExtPhoneGetLamp(3, lamp), 0);
  EXPECT_EQ(lamp, static_cast<int>(PHONELAMPMODE_FLASH));
  EXPECT_EQ(phone_->ExtPhoneGetDisplay(text), 0);
  EXPECT_EQ(text, std::u16string(16, u' ') + u"  Telvora" + std::u16string(7, u' '));

  // A change the phone fails later is an error of the line.
  events_.clear();
  lab_phone_->QueueReply({0, PHONEERR_OPERATIONFAILED, 0, false});
  EXPECT_EQ(phone_->ExtPhoneSetLamp(0, PHONELAMPMODE_STEADY), 0);
  ASSERT_TRUE(Settled());
  EXPECT_EQ(events_, (std::vector<Event>{Line(lsError, 164)}));
}

TEST_F(PhoneDeviceTest, APhoneWithoutRingerLampsOrDisplayRefusesThem) {
  adjust_phone_ = [](PhoneDeviceCaps& caps) {
    caps.ring_modes = 0;
    caps.lamps = 0;
    caps.display_rows = 0;
    caps.display_columns = 0;
  };
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  std::u16string text;
  EXPECT_EQ(phone_->ExtPhoneSetRing(0, 0), 164);
  EXPECT_EQ(phone_->ExtPhoneSetLamp(0, PHONELAMPMODE_STEADY), 164);
  EXPECT_EQ(phone_->ExtPhoneSetDisplay(0, 0, u"x"), 164);
  EXPECT_EQ(phone_->ExtPhoneGetDisplay(text), 164);
}

}  // namespace
}  // namespace telvora::telephony::test
