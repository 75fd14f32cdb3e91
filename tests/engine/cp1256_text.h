#pragma once
// Test text: UTF-8 literals turned into the code page 1256 bytes the tables
// hold.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/code_page.h"

namespace telvora::engine::testing {

inline std::string Cp1256(const std::string& utf8) {
  std::optional<std::string> bytes = platform::Utf8ToCp1256(utf8);
  EXPECT_TRUE(bytes.has_value()) << utf8;
  return bytes.value_or("");
}

inline std::uint8_t Cp1256Byte(const std::string& utf8) {
  const std::string bytes = Cp1256(utf8);
  EXPECT_EQ(bytes.size(), 1u) << utf8;
  return bytes.empty() ? 0 : static_cast<std::uint8_t>(bytes[0]);
}

}  // namespace telvora::engine::testing
