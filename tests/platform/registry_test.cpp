#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/temp_dir.h"

namespace telvora::platform {
namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    saved_ = old ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
  }
  void TearDown() override {
    if (saved_) ::setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
  }
  testing::TempDir dir_;
  std::optional<std::string> saved_;
};

TEST_F(RegistryTest, BinaryValueRoundTripsUnderTheConfigFolder) {
  EXPECT_FALSE(RegistryKey::Open(RegistryRoot::CurrentUser, "Software\\Telvora", false));
  auto key = RegistryKey::Open(RegistryRoot::CurrentUser, "Software\\Telvora", true);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->folder().string().rfind(dir_.path().string(), 0), 0u);

  EXPECT_FALSE(key->ValueExists("LineConfig"));
  EXPECT_FALSE(key->ValueSize("LineConfig"));
  const std::vector<std::uint8_t> data = {0, 1, 2, 0xFF, 0, 7};
  key->WriteBinary("LineConfig", data);

  // Names are matched without regard to case, as the registry's are.
  auto again = RegistryKey::Open(RegistryRoot::CurrentUser, "software\\TELVORA", false);
  ASSERT_TRUE(again);
  EXPECT_TRUE(again->ValueExists("lineconfig"));
  EXPECT_EQ(again->ValueSize("LineConfig"), data.size());
  auto value = again->ReadValue("LineConfig");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, RegistryValueType::Binary);
  EXPECT_EQ(value->data, data);

  // A rewrite replaces the value whole, shorter or not.
  key->WriteBinary("LineConfig", std::vector<std::uint8_t>{9});
  EXPECT_EQ(again->ReadValue("LineConfig")->data, std::vector<std::uint8_t>{9});

  // Other roots are other stores.
  EXPECT_FALSE(RegistryKey::Open(RegistryRoot::LocalMachine, "Software\\Telvora", false));
}

TEST_F(RegistryTest, NamesThatWouldLeaveTheStoreAreRefused) {
  const char* bad_keys[] = {"..", "Software\\..\\..\\etc", "a/b", "a\\\\b", "x\\.\\y"};
  for (const char* path : bad_keys) {
    EXPECT_THROW(RegistryKey::Open(RegistryRoot::CurrentUser, path, true), RegistryError) << path;
  }
  EXPECT_THROW(RegistryKey::Open(RegistryRoot::CurrentUser, std::string("a\0b", 3), true),
               RegistryError);

  auto key = RegistryKey::Open(RegistryRoot::CurrentUser, "Software", true);
  ASSERT_TRUE(key);
  for (const std::string& name : std::vector<std::string>{"..", "../../escape", "a/b", std::string("n\0ul", 4)}) {
    EXPECT_THROW(key->WriteBinary(name, std::vector<std::uint8_t>{1}), RegistryError);
  }
  // Nothing was written anywhere above the store.
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "escape"));
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "telvora" / "escape"));
}

TEST_F(RegistryTest, UnwritableStoreRaisesTheWriteError) {
  auto key = RegistryKey::Open(RegistryRoot::CurrentUser, "Software", true);
  ASSERT_TRUE(key);
  // A folder where the value file should be makes the final rename fail.
  std::filesystem::create_directories(key->folder() / "value.blocked" / "child");
  try {
    key->WriteBinary("Blocked", std::vector<std::uint8_t>{1, 2});
    FAIL() << "write into a blocked value succeeded";
  } catch (const RegistryError& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'Blocked'");
  }
}

}  // namespace
}  // namespace telvora::platform
