#include "tools/table_text.h"

#include "platform/code_page.h"

namespace telvora::tools {

const platform::CodePage& TableCodePage(std::uint16_t language_id) {
  if (language_id == 0) return platform::CodePage::Arabic();
  const platform::CodePage* page = platform::CodePage::Find(platform::AnsiCodePageOfLanguage(language_id));
  return page != nullptr ? *page : platform::CodePage::Arabic();
}

std::string TableTextToUtf8(std::uint16_t language_id, std::string_view bytes) {
  return TableCodePage(language_id).DecodeToUtf8(bytes);
}

std::optional<std::string> Utf8ToTableText(std::uint16_t language_id, std::string_view utf8) {
  return TableCodePage(language_id).EncodeUtf8(utf8);
}

}  // namespace telvora::tools
