#include "storage/engine_error_codes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace telvora::storage {
namespace {

std::size_t CountPlaceholders(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t pos = text.find("%s"); pos != std::string_view::npos; pos = text.find("%s", pos + 2)) ++count;
  return count;
}

// A template and its argument list were transcribed separately; a row whose
// placeholders and arguments disagree would fill the message wrongly.
TEST(EngineErrorCodesTest, EveryTemplateHasOneArgumentPerPlaceholder) {
  for (const EngineErrorEntry& entry : EngineErrorTable()) {
    std::size_t arguments = 0;
    bool seen_end = false;
    for (EngineErrorArgument a : entry.arguments) {
      if (a == EngineErrorArgument::kNone) {
        seen_end = true;
      } else {
        EXPECT_FALSE(seen_end) << entry.name << ": argument after the end marker";
        ++arguments;
      }
    }
    EXPECT_EQ(CountPlaceholders(entry.message_template), arguments) << entry.name;
  }
}

TEST(EngineErrorCodesTest, NamesAreUniqueEngineNames) {
  std::set<std::string_view> names;
  for (const EngineErrorEntry& entry : EngineErrorTable()) {
    EXPECT_TRUE(entry.name.starts_with("VORA_")) << entry.name;
    EXPECT_TRUE(names.insert(entry.name).second) << "repeated " << entry.name;
  }
}

TEST(EngineErrorCodesTest, ConstantsFindTheirRows) {
  const struct {
    std::uint16_t constant;
    std::uint16_t code;
    std::string_view name;
  } cases[] = {
      {VORA_BOF, 8705, "VORA_BOF"},
      {VORA_EOF, 8706, "VORA_EOF"},
      {VORA_KEYORRECDELETED, 8708, "VORA_KEYORRECDELETED"},
      {VORA_NOCURRREC, 8709, "VORA_NOCURRREC"},
      {VORA_RECNOTFOUND, 8710, "VORA_RECNOTFOUND"},
      {VORA_KEYVIOL, 9729, "VORA_KEYVIOL"},
      {VORA_INVALIDFILTER, 10051, "VORA_INVALIDFILTER"},
      {VORA_RECLOCKFAILED, 10258, "VORA_RECLOCKFAILED"},
      {VORA_OSENOENT, 11010, "VORA_OSENOENT"},
      {VORA_OSUNKNOWN, 11047, "VORA_OSUNKNOWN"},
      {VORA_REMOTECOMMLOST, 11276, "VORA_REMOTECOMMLOST"},
      {VORA_REMOTEINVREQUEST, 11299, "VORA_REMOTEINVREQUEST"},
      {VORA_CANNOTLOADLDDRV, 15878, "VORA_CANNOTLOADLDDRV"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.constant, c.code) << c.name;
    const EngineErrorEntry* entry = FindEngineErrorEntry(c.code);
    ASSERT_NE(entry, nullptr) << c.name;
    EXPECT_EQ(entry->name, c.name);
  }
  EXPECT_EQ(FindEngineErrorEntry(0), nullptr);
  EXPECT_EQ(FindEngineErrorEntry(8707), nullptr);
  EXPECT_EQ(FindEngineErrorEntry(65535), nullptr);
}

TEST(EngineErrorCodesTest, RemoteCodesHaveNoTemplate) {
  for (std::uint16_t code = VORA_REMOTECOMMLOST; code <= VORA_REMOTEINVREQUEST; ++code) {
    const EngineErrorEntry* entry = FindEngineErrorEntry(code);
    if (entry == nullptr) continue;  // 11277 and 11278 are not codes
    EXPECT_TRUE(entry->name.starts_with("VORA_REMOTE")) << code;
    EXPECT_TRUE(entry->message_template.empty()) << entry->name;
  }
}

}  // namespace
}  // namespace telvora::storage
