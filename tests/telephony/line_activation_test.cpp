// Activation and close of line devices, the TAPI session, the capability
// probe and its caches, and the component's published properties.

#include <algorithm>

#include "tel_phone_fixture.h"
#include "tapi/device_config_block.h"
#include "telephony/line_caps_record.h"
#include "telephony/tapi_initialization.h"

namespace telvora::telephony::test {
namespace {

using namespace tapi;

using LineActivationTest = TelPhoneFixture;

int OpenCount(const LabLine* lab) {
  const auto log = lab->Log();
  return static_cast<int>(std::count(log.begin(), log.end(), "Open"));
}

TEST_F(LineActivationTest, ConstructionSetsTheInitialValuesAndCallsNoTapi) {
  EXPECT_EQ(phone_->TapiState(), 0);
  EXPECT_FALSE(phone_->IsActive());
  EXPECT_FALSE(phone_->IsConnected());
  EXPECT_TRUE(phone_->AutoDisconnect());
  EXPECT_EQ(phone_->LineID(), 0);
  EXPECT_EQ(phone_->CurrentMediaMode(), mmVoice);
  EXPECT_EQ(phone_->CurrentLinePrivilege(), lpOwner);
  EXPECT_EQ(phone_->MediaMode(), mmVoice);
  EXPECT_EQ(phone_->LinePrivilege(), lpOwner);
  EXPECT_EQ(phone_->WaveRecID(), -2);
  EXPECT_EQ(phone_->WavePlayID(), -2);
  EXPECT_EQ(phone_->ExtPhoneNumOfRings(), 0);
  EXPECT_EQ(phone_->ExtPhoneNumOfLamps(), 0);
  EXPECT_EQ(phone_->ExtPhoneNumOfDisplayRows(), 0);
  EXPECT_EQ(phone_->ExtPhoneNumOfDisplayCols(), 0);
  EXPECT_FALSE(phone_->ShowModemIcon());
  EXPECT_FALSE(phone_->WaitForDialTone());
  EXPECT_EQ(phone_->TimeOut(), 10000);
  EXPECT_EQ(phone_->InitialRingNumber(), 1);
  EXPECT_EQ(phone_->AddressID(), 0);
  EXPECT_EQ(phone_->NumberOfActiveCalls(), 0);
  EXPECT_EQ(phone_->ExtDevHandSet().MicGain(), 10);
  EXPECT_EQ(phone_->ExtDevHandSet().SpeakerVolume(), 10);
  EXPECT_EQ(phone_->ExtDevAux().MicGain(), 10);
  EXPECT_EQ(phone_->ExtDevAux().SpeakerVolume(), 10);
  EXPECT_EQ(phone_->ModemSpeaker().Volume(), svDefault);
  EXPECT_EQ(phone_->ModemSpeaker().Mode(), smDefault);
  EXPECT_EQ(phone_->Version(), "3.5 (Build 61)");
  EXPECT_FALSE(phone_->RequestTimerRunning());
}

TEST_F(LineActivationTest, NegativeTimeOutAndWrittenVersionAreIgnored) {
  phone_->SetTimeOut(-5);
  EXPECT_EQ(phone_->TimeOut(), 10000);
  phone_->SetTimeOut(0);
  EXPECT_EQ(phone_->TimeOut(), 0);
  phone_->SetVersion("anything");
  EXPECT_EQ(phone_->Version(), "3.5 (Build 61)");
}

TEST_F(LineActivationTest, ActivatingOpensTheLineOnceAndTheSecondTimeDoesNothing) {
  EXPECT_EQ(phone_->LineActive(0, true), 0);
  EXPECT_TRUE(phone_->IsActive());
  EXPECT_EQ(phone_->TapiState(), 2);
  EXPECT_EQ(events_, (std::vector<Event>{Line(lsActivated, -1)}));
  // The line's wave devices were found while probing it.
  EXPECT_EQ(phone_->WaveRecID(), 0);
  EXPECT_EQ(phone_->WavePlayID(), 1);
  EXPECT_EQ(phone_->ExtPhoneNumOfRings(), 3);
  EXPECT_EQ(phone_->ExtPhoneNumOfLamps(), 4);
  EXPECT_EQ(phone_->ExtPhoneNumOfDisplayRows(), 2);
  EXPECT_EQ(phone_->ExtPhoneNumOfDisplayCols(), 16);

  EXPECT_EQ(phone_->LineActive(0, true), 0);
  EXPECT_EQ(events_.size(), 1u);
}

TEST_F(LineActivationTest, ClosingAnotherLineLeavesTheActiveOneOpen) {
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  EXPECT_EQ(phone_->LineActive(1, false), 0);
  EXPECT_TRUE(phone_->IsActive());
  EXPECT_EQ(phone_->LineID(), 0);
  EXPECT_TRUE(labs_[0]->IsOpen());
  EXPECT_EQ(events_.size(), 1u);
}

TEST_F(LineActivationTest, SwitchingLinesClosesTheFirstAndOpensTheSecond) {
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  events_.clear();
  EXPECT_EQ(phone_->LineActive(1, true), 0);
  EXPECT_EQ(events_, (std::vector<Event>{Line(lsDeactivated, 1), Line(lsActivated, -1)}));
  EXPECT_EQ(phone_->LineID(), 1);
  EXPECT_FALSE(labs_[0]->IsOpen());
  EXPECT_TRUE(labs_[1]->IsOpen());
  // Line 1 has no phone device.
  EXPECT_EQ(phone_->ExtPhoneNumOfLamps(), 0);

  events_.clear();
  EXPECT_EQ(phone_->LineActive(1, false), 0);
  EXPECT_EQ(events_, (std::vector<Event>{Line(lsDeactivated, 1)}));
  EXPECT_FALSE(phone_->IsActive());
  EXPECT_EQ(phone_->TapiState(), 1);
}

TEST_F(LineActivationTest, FailedActivationKeepsTheRequestedLineId) {
  struct Case {
    const char* name;
    int line;
    LONG open_result;
    int expected;
  };
  const Case cases[] = {
      {"out of range id", 7, 0, 102},
      {"line taken by another program", 1, LINEERR_ALLOCATED, 106},
      {"probe open refused otherwise", 1, LINEERR_NODRIVER, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    InstallLabDevices(2);
    phone_ = std::make_unique<TelPhone>(nullptr);
    Record(*phone_);
    events_.clear();
    ASSERT_EQ(phone_->NumberOfLines(), 2);
    if (c.open_result != 0) labs_[static_cast<std::size_t>(c.line)]->SetOpenResult(c.open_result);
    EXPECT_EQ(phone_->LineActive(c.line, true), c.expected);
    EXPECT_FALSE(phone_->IsActive());
    EXPECT_EQ(phone_->TapiState(), 1);
    EXPECT_EQ(phone_->LineID(), c.line);
    EXPECT_TRUE(events_.empty());
  }
}

TEST_F(LineActivationTest, NoLineDevicesGives101) {
  TearDown();
  InstallLabDevices(0);
  phone_ = std::make_unique<TelPhone>(nullptr);
  EXPECT_EQ(phone_->NumberOfLines(), 0);
  EXPECT_EQ(phone_->LineActive(0, true), 101);
  EXPECT_FALSE(phone_->IsActive());
}

// Makes the service's session functions fail with the given codes (0: let
// them through), counting the calls.
class FailingInitialization {
 public:
  FailingInitialization(LONG line_ex, LONG line, LONG phone_ex, LONG phone) {
    codes_ = {line_ex, line, phone_ex, phone};
    calls_ = {0, 0, 0, 0};
    TTapiInitialization& t = TapiInitialization();
    t.LineInitializeExW = [](HLINEAPP* a, HINSTANCE i, LINECALLBACK c, const char16_t* n, DWORD* d, DWORD* v,
                             LINEINITIALIZEEXPARAMS* p) {
      ++calls_[0];
      return codes_[0] != 0 ? codes_[0] : lineInitializeExW(a, i, c, n, d, v, p);
    };
    t.LineInitialize = [](HLINEAPP* a, HINSTANCE i, LINECALLBACK c, const char* n, DWORD* d) {
      ++calls_[1];
      return codes_[1] != 0 ? codes_[1] : lineInitialize(a, i, c, n, d);
    };
    t.PhoneInitializeExW = [](HPHONEAPP* a, HINSTANCE i, PHONECALLBACK c, const char16_t* n, DWORD* d,
                              DWORD* v, PHONEINITIALIZEEXPARAMS* p) {
      ++calls_[2];
      return codes_[2] != 0 ? codes_[2] : phoneInitializeExW(a, i, c, n, d, v, p);
    };
    t.PhoneInitialize = [](HPHONEAPP* a, HINSTANCE i, PHONECALLBACK c, const char* n, DWORD* d) {
      ++calls_[3];
      return codes_[3] != 0 ? codes_[3] : phoneInitialize(a, i, c, n, d);
    };
  }
  ~FailingInitialization() { TapiInitialization() = TTapiInitialization(); }
  static std::array<int, 4> Calls() { return calls_; }

 private:
  static inline std::array<LONG, 4> codes_{};
  static inline std::array<int, 4> calls_{};
};

TEST_F(LineActivationTest, SessionStartFallsBackAndMapsItsFailures) {
  struct Case {
    const char* name;
    LONG line_ex, line, phone_ex, phone;
    int expected_lines;
    int expected_error;  // of OnLineState(lsError), 0 for none
    std::array<int, 4> calls;
  };
  const Case cases[] = {
      {"extended functions refused, plain ones work", LINEERR_OPERATIONFAILED, 0, PHONEERR_OPERATIONFAILED, 0, 2, 0,
       {1, 1, 1, 1}},
      {"line session refused", LINEERR_OPERATIONFAILED, LINEERR_OPERATIONFAILED, 0, 0, 0, 99, {1, 1, 0, 0}},
      {"line session out of memory", LINEERR_NOMEM, LINEERR_NOMEM, 0, 0, 0, -50, {1, 1, 0, 0}},
      {"phone session refused", 0, 0, PHONEERR_OPERATIONFAILED, PHONEERR_OPERATIONFAILED, 0, 99, {1, 0, 1, 1}},
      {"phone session out of memory", 0, 0, PHONEERR_NOMEM, PHONEERR_NOMEM, 0, -50, {1, 0, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    InstallLabDevices(2);
    phone_ = std::make_unique<TelPhone>(nullptr);
    Record(*phone_);
    events_.clear();
    FailingInitialization failing(c.line_ex, c.line, c.phone_ex, c.phone);
    EXPECT_EQ(phone_->NumberOfLines(), c.expected_lines);
    EXPECT_EQ(FailingInitialization::Calls(), c.calls);
    if (c.expected_error != 0) {
      EXPECT_EQ(events_, (std::vector<Event>{Line(lsError, c.expected_error)}));
      EXPECT_EQ(phone_->TapiState(), 0);
      EXPECT_EQ(phone_->LineActive(0, true), c.expected_error);
    } else {
      EXPECT_TRUE(events_.empty());
      EXPECT_EQ(phone_->TapiState(), 1);
      EXPECT_EQ(phone_->LineActive(0, true), 0);
    }
  }
}

TEST_F(LineActivationTest, ReactivationIsRefusedWhileACallExistsAndSilentOtherwise) {
  const int call = ConnectedCall(mmData);
  ASSERT_NE(call, 0);
  EXPECT_EQ(phone_->LineReactivate(true), 158);
  EXPECT_TRUE(phone_->IsActive());
  ASSERT_EQ(phone_->Hangup(), 0);
  ASSERT_TRUE(WaitUntil([&] { return phone_->NumberOfActiveCalls() == 0 && phone_->PendingRequestCount() == 0; }));

  events_.clear();
  EXPECT_EQ(phone_->LineReactivate(true), 0);
  EXPECT_TRUE(phone_->IsActive());
  EXPECT_TRUE(events_.empty());
  EXPECT_EQ(phone_->LineReactivate(false), 0);
  EXPECT_EQ(events_, (std::vector<Event>{Line(lsDeactivated, 1), Line(lsActivated, -1)}));
}

TEST_F(LineActivationTest, ReactivationThatLeavesTheLineClosedSaysSo) {
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  events_.clear();
  // The probe is cached, so the reopening is refused by the line itself.
  labs_[0]->SetOpenResult(LINEERR_ALLOCATED);
  EXPECT_EQ(phone_->LineReactivate(true), 106);
  EXPECT_FALSE(phone_->IsActive());
  EXPECT_EQ(events_, (std::vector<Event>{Line(lsDeactivated, 0)}));
}

TEST_F(LineActivationTest, CapabilityBitsComeFromTheLineAndThePhoneAndAreCached) {
  int caps = 0;
  ASSERT_EQ(phone_->GetLineCaps(1, caps), 0);
  // Wave, data modem, caller and called id, pulse and DTMF digits.
  EXPECT_EQ(caps, 0x3F);
  ASSERT_EQ(phone_->GetLineCaps(0, caps), 0);
  // The lab phone has both hook switches with every mode, gain and volume.
  EXPECT_EQ(caps, 0xFFFFF);
  const int opens = OpenCount(labs_[0]);
  EXPECT_EQ(opens, 1);
  ASSERT_EQ(phone_->GetLineCaps(0, caps), 0);
  // The active line's activation uses the probe record: no further probe.
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  EXPECT_EQ(OpenCount(labs_[0]), opens + 1);
  ASSERT_EQ(phone_->GetLineCaps(0, caps), 0);
  EXPECT_EQ(OpenCount(labs_[0]), opens + 1);
}

TEST_F(LineActivationTest, CapabilityBitsFollowWhatTheLineLacks) {
  TearDown();
  InstallLabDevices(2, [](int index, LineDeviceCaps& caps) {
    if (index != 1) return;
    caps.media_modes = LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM;  // no automated voice
    caps.monitor_digit_modes = LINEDIGITMODE_DTMFEND;
    caps.caller_id_flags = LINECALLPARTYID_UNAVAIL;
    caps.has_datamodem = false;
  });
  phone_ = std::make_unique<TelPhone>(nullptr);
  int caps = 0;
  ASSERT_EQ(phone_->GetLineCaps(1, caps), 0);
  EXPECT_EQ(caps, static_cast<int>(kCapCalledId | kCapDtmfDigits));
  ASSERT_EQ(phone_->LineActive(1, true), 0);
  EXPECT_EQ(phone_->WaveRecID(), -2);
  EXPECT_EQ(phone_->WavePlayID(), -2);
}

TEST_F(LineActivationTest, NamesAreReadInTheStringFormatTheLineReports) {
  TearDown();
  InstallLabDevices(2, [&](int index, LineDeviceCaps& caps) {
    if (index == 0) {
      caps.string_format = STRINGFORMAT_UNICODE;
      caps.name = "Modem \xD8\xAE\xD8\xB7";  // UTF-8 "خط": the service encodes it as UTF-16
    } else {
      caps.name = "Lab line one";
    }
  });
  phone_ = std::make_unique<TelPhone>(nullptr);
  std::u16string name = u"stale";
  EXPECT_EQ(phone_->GetLineName(0, name), 0);
  EXPECT_EQ(name, u"Modem \u062E\u0637");
  EXPECT_EQ(phone_->GetLineName(1, name), 0);
  EXPECT_EQ(name, u"Lab line one");
  name = u"stale";
  EXPECT_EQ(phone_->GetLineName(9, name), 102);
  EXPECT_EQ(name, u"");

  int count = 0;
  EXPECT_EQ(phone_->GetNumberOfAddresses(1, count), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(phone_->GetAddressName(1, 0, name), 0);
  EXPECT_EQ(name, u"101");
  EXPECT_EQ(phone_->GetAddressName(1, 5, name), -1);
  EXPECT_EQ(name, u"");
}

TEST_F(LineActivationTest, ActivationWritesTheModemSpeakerAndIconIntoTheConfiguration) {
  struct Case {
    const char* name;
    TModemSpeakerVolume volume;
    TModemSpeakerMode mode;
    bool icon;
    DWORD expected_volume, expected_mode;
    WORD expected_options;
  };
  // The lab modem starts with volume low, mode dial and options 0.
  const Case cases[] = {
      {"defaults leave the speaker alone", svDefault, smDefault, false, MDMVOL_LOW, MDMSPKR_DIAL, 0},
      {"settings and the icon", svHigh, smOff, true, MDMVOL_HIGH, MDMSPKR_OFF, kConfigOptionLaunchLights},
      {"volume only", svMedium, smDefault, false, MDMVOL_MEDIUM, MDMSPKR_DIAL, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    InstallLabDevices(1);
    phone_ = std::make_unique<TelPhone>(nullptr);
    phone_->ModemSpeaker().SetVolume(c.volume);
    phone_->ModemSpeaker().SetMode(c.mode);
    phone_->SetShowModemIcon(c.icon);
    ASSERT_EQ(phone_->LineActive(0, true), 0);
    std::vector<std::uint32_t> words(2048 / 4, 0);
    auto* config = reinterpret_cast<VARSTRING*>(words.data());
    config->dwTotalSize = 2048;
    ASSERT_EQ(lineGetDevConfig(0, config, "comm/datamodem"), 0);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(words.data()) + config->dwStringOffset;
    const auto settings = DecodeDeviceConfig({bytes, config->dwStringSize});
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->speaker_volume, c.expected_volume);
    EXPECT_EQ(settings->speaker_mode, c.expected_mode);
    EXPECT_EQ(settings->options, c.expected_options);
  }
}

TEST_F(LineActivationTest, LineClosedByTheServiceIsReported) {
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  events_.clear();
  labs_[0]->Remove();
  ASSERT_TRUE(WaitUntil([&] { return !events_.empty(); }));
  EXPECT_EQ(events_, (std::vector<Event>{Line(lsDeactivated, 0)}));
  EXPECT_FALSE(phone_->IsActive());
  EXPECT_EQ(phone_->TapiState(), 1);
}

TEST_F(LineActivationTest, ClosingWarnsOfLiveCallsAndDestructionRaisesNothing) {
  const int call = ConnectedCall(mmData);
  ASSERT_NE(call, 0);
  events_.clear();
  EXPECT_EQ(phone_->LineActive(0, false), 0);
  EXPECT_EQ(events_, (std::vector<Event>{{"before", 0, 0, 0, call}, Line(lsDeactivated, 1)}));
  // Closing the line ends its calls but leaves them in the list.
  EXPECT_EQ(phone_->NumberOfActiveCalls(), 1);

  ASSERT_EQ(phone_->LineActive(0, true), 0);
  events_.clear();
  phone_.reset();
  EXPECT_TRUE(events_.empty());
}

}  // namespace
}  // namespace telvora::telephony::test
