// The line configuration: the device settings written into the modem's
// configuration before the line opens, the configuration dialog, and the
// saved record in the registry stand-in, bound to the line it was saved for.

#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/registry.h"
#include "support/temp_dir.h"
#include "tapi/device_config_block.h"
#include "tel_phone_fixture.h"

namespace telvora::telephony::test {
namespace {

using namespace tapi;
using platform::RegistryError;
using platform::RegistryKey;
using platform::RegistryRoot;
using platform::RegistryValueType;

constexpr char kKey[] = "Software\\Telvora\\Lines";

class LineConfigurationTest : public TelPhoneFixture {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    saved_xdg_ = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("XDG_CONFIG_HOME", (dir_.path() / "config").c_str(), 1);
    TelPhoneFixture::SetUp();
    // The dialog: the user turns the speaker volume up.
    SetConfigDialogHandler([this](DWORD device, HWND owner, std::vector<std::uint8_t>& config) {
      dialogs_.emplace_back(device, owner);
      if (dialog_result_ != 0) return dialog_result_;
      config[kConfigSpeakerVolumeAt] = static_cast<std::uint8_t>(MDMVOL_HIGH);
      return LONG{0};
    });
  }
  void TearDown() override {
    SetConfigDialogHandler({});
    TelPhoneFixture::TearDown();
    if (saved_xdg_) {
      ::setenv("XDG_CONFIG_HOME", saved_xdg_->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
  }

  std::vector<std::uint8_t> DevConfig(DWORD line) {
    std::vector<std::uint8_t> buffer(2048);
    auto* v = reinterpret_cast<VARSTRING*>(buffer.data());
    v->dwTotalSize = static_cast<DWORD>(buffer.size());
    EXPECT_EQ(lineGetDevConfig(line, v, "comm/datamodem"), 0);
    return {buffer.begin() + v->dwStringOffset, buffer.begin() + v->dwStringOffset + v->dwStringSize};
  }
  static DWORD Word32(const std::vector<std::uint8_t>& b, std::size_t at) {
    DWORD v = 0;
    std::memcpy(&v, b.data() + at, sizeof v);
    return v;
  }

  telvora::testing::TempDir dir_;
  std::optional<std::string> saved_xdg_;
  std::vector<std::pair<DWORD, HWND>> dialogs_;
  LONG dialog_result_ = 0;
};

TEST_F(LineConfigurationTest, ModemSettingsAreWrittenIntoTheConfigurationAtActivation) {
  struct Case {
    TModemSpeakerVolume volume;
    TModemSpeakerMode mode;
    bool icon;
    DWORD want_volume;
    DWORD want_mode;
    WORD want_options;
  };
  // The lab modem starts at low volume, speaker on while dialling.
  const Case cases[] = {
      {svDefault, smDefault, false, MDMVOL_LOW, MDMSPKR_DIAL, 0},
      {svHigh, smOn, true, MDMVOL_HIGH, MDMSPKR_ON, kConfigOptionLaunchLights},
      {svMedium, smDefault, false, MDMVOL_MEDIUM, MDMSPKR_ON, 0},
      {svDefault, smCallSetup, true, MDMVOL_MEDIUM, MDMSPKR_CALLSETUP, kConfigOptionLaunchLights},
  };
  for (const Case& c : cases) {
    phone_->ModemSpeaker().SetVolume(c.volume);
    phone_->ModemSpeaker().SetMode(c.mode);
    phone_->SetShowModemIcon(c.icon);
    ASSERT_EQ(phone_->LineActive(0, true), 0);
    const auto config = DevConfig(0);
    EXPECT_EQ(Word32(config, kConfigSpeakerVolumeAt), c.want_volume) << c.volume << " " << c.mode;
    EXPECT_EQ(Word32(config, kConfigSpeakerModeAt), c.want_mode) << c.volume << " " << c.mode;
    EXPECT_EQ(config[kConfigOptionsAt] | (config[kConfigOptionsAt + 1] << 8), c.want_options);
    ASSERT_EQ(phone_->LineActive(0, false), 0);
  }
}

TEST_F(LineConfigurationTest, DialogResultsMapToCodes) {
  EXPECT_EQ(phone_->LineConfigDialog(7, 0), 0);
  EXPECT_EQ(dialogs_, (std::vector<std::pair<DWORD, HWND>>{{0, 7}}));
  EXPECT_EQ(DevConfig(0)[kConfigSpeakerVolumeAt], MDMVOL_HIGH);
  EXPECT_EQ(phone_->LineConfigDialog(0, 9), 102);
  const std::pair<LONG, int> cases[] = {
      {LINEERR_INVALPARAM, -10}, {LINEERR_NODEVICE, 101}, {LINEERR_NOMEM, -50}, {LINEERR_OPERATIONFAILED, -1}};
  for (const auto& [error, code] : cases) {
    dialog_result_ = error;
    EXPECT_EQ(phone_->LineConfigDialog(0, 0), code);
  }
  // Not while a call is up.
  dialog_result_ = 0;
  ASSERT_NE(ConnectedCall(), 0);
  const std::size_t shown = dialogs_.size();
  EXPECT_EQ(phone_->LineConfigDialog(0, 0), 158);
  EXPECT_EQ(phone_->LineConfigLoad(RegistryRoot::CurrentUser, kKey, "Line0", 0), 158);
  EXPECT_EQ(dialogs_.size(), shown);
}

TEST_F(LineConfigurationTest, SavedRecordHoldsTheLineIdAndTheConfiguration) {
  ASSERT_EQ(phone_->LineConfigDialogSave(0, RegistryRoot::CurrentUser, kKey, "Line1", 1), 0);
  const auto key = RegistryKey::Open(RegistryRoot::CurrentUser, kKey, false);
  ASSERT_TRUE(key);
  const auto value = key->ReadValue("Line1");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, RegistryValueType::Binary);
  const std::vector<std::uint8_t>& r = value->data;
  const auto block = DevConfig(1);
  ASSERT_EQ(r.size(), 1 + sizeof(VARSTRING) + block.size());
  EXPECT_EQ(r[0], 1);
  VARSTRING header{};
  std::memcpy(&header, r.data() + 1, sizeof header);
  EXPECT_EQ(header.dwTotalSize, 1024u);
  EXPECT_EQ(header.dwNeededSize, r.size() - 1);
  EXPECT_EQ(header.dwStringFormat, STRINGFORMAT_BINARY);
  ASSERT_EQ(header.dwStringSize, block.size());
  EXPECT_EQ(std::vector<std::uint8_t>(r.begin() + 1 + header.dwStringOffset, r.end()), block);
  EXPECT_EQ(block[kConfigSpeakerVolumeAt], MDMVOL_HIGH);
}

TEST_F(LineConfigurationTest, SavedConfigurationLoadsOnlyIntoItsOwnLine) {
  ASSERT_EQ(phone_->LineConfigDialogSave(0, RegistryRoot::CurrentUser, kKey, "Line1", 1), 0);
  const auto saved = DevConfig(1);
  EXPECT_EQ(phone_->LineConfigLoad(RegistryRoot::CurrentUser, kKey, "Line1", 0), 105);
  EXPECT_NE(DevConfig(0), saved);
  EXPECT_EQ(phone_->LineConfigLoad(RegistryRoot::CurrentUser, kKey, "Missing", 1), 163);
  EXPECT_EQ(phone_->LineConfigLoad(RegistryRoot::CurrentUser, "Software\\Nobody", "Line1", 1), 163);

  // Line 1 changed since; loading brings the saved configuration back.
  std::vector<std::uint8_t> changed = saved;
  changed[kConfigSpeakerVolumeAt] = static_cast<std::uint8_t>(MDMVOL_LOW);
  ASSERT_EQ(lineSetDevConfig(1, changed.data(), static_cast<DWORD>(changed.size()), "comm/datamodem"), 0);
  EXPECT_EQ(phone_->LineConfigLoad(RegistryRoot::CurrentUser, kKey, "Line1", 1), 0);
  EXPECT_EQ(DevConfig(1), saved);
}

TEST_F(LineConfigurationTest, SaveAndLoadRefuseWhatDoesNotFit) {
  // The dialog is shown first, then the empty location refused.
  EXPECT_EQ(phone_->LineConfigDialogSave(0, static_cast<RegistryRoot>(0), "", "", 0), -10);
  EXPECT_EQ(dialogs_.size(), 1u);
  dialog_result_ = LINEERR_OPERATIONFAILED;
  EXPECT_EQ(phone_->LineConfigDialogSave(0, RegistryRoot::CurrentUser, kKey, "Line0", 0), -1);
  dialog_result_ = 0;
  EXPECT_EQ(phone_->LineConfigDialogSave(0, static_cast<RegistryRoot>(0), kKey, "Line0", 0), -1);

  const auto key = RegistryKey::Open(RegistryRoot::CurrentUser, kKey, true);
  ASSERT_TRUE(key);
  std::vector<std::uint8_t> record(1 + sizeof(VARSTRING), 0);
  struct Case {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> spoil;
  };
  const Case cases[] = {
      {"header larger than the record", [](auto& r) { r[1] = 0x01; r[2] = 0x04; }},  // total 1025
      {"block beyond the value", [](auto& r) { r[17] = 100; r[21] = 24; }},            // size 100 at 24
      {"longer than a record", [](auto& r) { r.resize(1026); }},
      {"shorter than its header", [](auto& r) { r.resize(10); }},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> spoilt = record;
    spoilt[1] = 0x00;
    spoilt[2] = 0x04;  // total 1024
    c.spoil(spoilt);
    key->WriteBinary("Spoilt", spoilt);
    EXPECT_EQ(phone_->LineConfigLoad(RegistryRoot::CurrentUser, kKey, "Spoilt", 0), -1) << c.name;
  }
  key->WriteValue("Text", RegistryValueType::String, record);
  try {
    phone_->LineConfigLoad(RegistryRoot::CurrentUser, kKey, "Text", 0);
    ADD_FAILURE() << "no exception";
  } catch (const RegistryError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'Text'");
  }
}

}  // namespace
}  // namespace telvora::telephony::test
