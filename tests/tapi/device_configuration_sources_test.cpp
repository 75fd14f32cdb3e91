// Which devices exist: the environment and the configuration file, and the
// modem configuration block's field offsets.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>

#include "support/temp_dir.h"
#include "tapi/device_config_block.h"
#include "tapi/device_configuration.h"

namespace telvora::tapi {
namespace {

class DeviceConfigurationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"XDG_CONFIG_HOME", "TELVORA_MODEMS", "TELVORA_LAB_LINES",
                             "TELVORA_MODEM_LOCK_DIR", "TELVORA_INTERNATIONAL_PREFIX"}) {
      const char* value = std::getenv(name);
      saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
      ::unsetenv(name);
    }
    ::setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }
  void WriteFile(const std::string& text) {
    std::filesystem::create_directories(dir_.path() / "telvora");
    std::ofstream(dir_.path() / "telvora" / "telephony.ini") << text;
  }
  telvora::testing::TempDir dir_;
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST_F(DeviceConfigurationTest, NothingConfiguredMeansNoDevices) {
  const DeviceConfiguration config = LoadDeviceConfiguration();
  EXPECT_TRUE(config.modems.empty());
  EXPECT_EQ(config.lab_lines, 0);
  const DeviceSet set = DevicesFromConfiguration(config);
  EXPECT_TRUE(set.lines.empty());
  EXPECT_TRUE(set.phones.empty());
}

TEST_F(DeviceConfigurationTest, FileNamesModemsAndLabLinesAndTheEnvironmentWins) {
  WriteFile(
      "[modems]\ndevices=/dev/ttyACM0, /dev/ttyUSB0\nlock_dir=/run/lock\n"
      "international_prefix=011\ncommand_timeout_ms=1500\n[lab]\nlines=2\n");
  DeviceConfiguration config = LoadDeviceConfiguration();
  ASSERT_EQ(config.modems.size(), 2u);
  EXPECT_EQ(config.modems[1].device, "/dev/ttyUSB0");
  EXPECT_EQ(config.modems[0].lock_dir, "/run/lock");
  EXPECT_EQ(config.modems[0].international_prefix, "011");
  EXPECT_EQ(config.modems[0].command_timeout_ms, 1500);
  EXPECT_EQ(config.lab_lines, 2);

  ::setenv("TELVORA_MODEMS", "/dev/ttyS0", 1);
  ::setenv("TELVORA_LAB_LINES", "1", 1);
  ::setenv("TELVORA_MODEM_LOCK_DIR", "/tmp", 1);
  config = LoadDeviceConfiguration();
  ASSERT_EQ(config.modems.size(), 1u);
  EXPECT_EQ(config.modems[0].device, "/dev/ttyS0");
  EXPECT_EQ(config.modems[0].lock_dir, "/tmp");
  EXPECT_EQ(config.modems[0].international_prefix, "011");
  EXPECT_EQ(config.lab_lines, 1);

  // Modems first, then the lab lines; the first lab line has the phone.
  const DeviceSet set = DevicesFromConfiguration(config);
  ASSERT_EQ(set.lines.size(), 2u);
  EXPECT_EQ(set.lines[0]->Caps().name, "Modem on ttyS0");
  EXPECT_EQ(set.lines[1]->Caps().phone_device, 0);
  EXPECT_EQ(set.phones.size(), 1u);
}

TEST(DeviceConfigBlockTest, FieldsSitAtTheirOffsets) {
  ModemSettings s;
  s.options = kConfigOptionLaunchLights;
  s.baud_rate = 57600;
  s.speaker_volume = MDMVOL_HIGH;
  s.speaker_mode = MDMSPKR_CALLSETUP;
  const auto block = EncodeDeviceConfig(s);
  ASSERT_EQ(block.size(), kDeviceConfigSize);
  auto dword = [&](std::size_t at) {
    return DWORD{block[at]} | DWORD{block[at + 1]} << 8 | DWORD{block[at + 2]} << 16 | DWORD{block[at + 3]} << 24;
  };
  EXPECT_EQ(block[8] | block[9] << 8, 8);
  EXPECT_EQ(dword(24), 57600u);
  EXPECT_EQ(dword(48), PST_MODEM);
  EXPECT_EQ(dword(84), MDMVOL_HIGH);
  EXPECT_EQ(dword(88), MDMSPKR_CALLSETUP);
  const auto decoded = DecodeDeviceConfig(block);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->speaker_mode, MDMSPKR_CALLSETUP);
  EXPECT_EQ(decoded->baud_rate, 57600u);
  EXPECT_FALSE(DecodeDeviceConfig(std::span(block).first(100)));
}

}  // namespace
}  // namespace telvora::tapi
