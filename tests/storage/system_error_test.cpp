#include "storage/system_error.h"

#include <gtest/gtest.h>

#include "platform/last_error.h"
#include "storage/engine_error.h"

namespace telvora::storage {
namespace {

TEST(SystemErrorTest, OperatingSystemErrorsMapToEngineCodes) {
  const struct {
    std::uint32_t windows_error;
    std::uint16_t code;
  } cases[] = {
      {2, 11010}, {3, 11010}, {4, 11012},  {5, 11013},  {32, 11013},          {65, 11013},
      {6, 11014}, {8, 11016}, {15, 11023}, {17, 11025}, {0, 11047},           {1, 11047},
      {33, 11047}, {80, 11047}, {112, 11047}, {0x20000028u, 11047}, {0xFFFFFFFFu, 11047},
  };
  for (const auto& c : cases) EXPECT_EQ(EngineCodeForSystemError(c.windows_error), c.code) << c.windows_error;
}

TEST(SystemErrorTest, RaiseCarriesTheTableAndTheNumber) {
  const struct {
    std::uint32_t windows_error;
    const char* expected;
  } cases[] = {
      {2, "Vora Engine Error # 11010 Table 'PhoneBook' does not exist"},
      {32, "Vora Engine Error # 11013 Access denied to table 'PhoneBook'"},
      {8, "Vora Engine Error # 11016 There is insufficient operating system memory available for the current "
          "operation"},
      {112, "Vora Engine Error # 11047 An unknown operating system error 112 occurred with the table 'PhoneBook'"},
  };
  for (const auto& c : cases) {
    platform::SetLastSystemError(0);
    try {
      RaiseSystemError(c.windows_error, "PhoneBook");
    } catch (const EVoraEngineError& e) {
      EXPECT_STREQ(e.what(), c.expected);
      EXPECT_EQ(e.EngineCode, EngineCodeForSystemError(c.windows_error));
      EXPECT_EQ(e.SystemErrorNumber, c.windows_error);
      EXPECT_EQ(e.ContextTable, "PhoneBook");
      EXPECT_EQ(e.ContextDetail, "");
    }
  }
  platform::SetLastSystemError(0);
}

}  // namespace
}  // namespace telvora::storage
