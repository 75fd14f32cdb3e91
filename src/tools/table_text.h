#pragma once
// Text of a table in the tools' JSON: tables store single-byte text in their
// code page (1256 for Arabic-script locales and for language 0, otherwise
// the locale's ANSI code page); JSON carries UTF-8.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace telvora::platform {
class CodePage;
}

namespace telvora::tools {

const platform::CodePage& TableCodePage(std::uint16_t language_id);
std::string TableTextToUtf8(std::uint16_t language_id, std::string_view bytes);
// Nothing when the text holds a character the code page cannot store.
std::optional<std::string> Utf8ToTableText(std::uint16_t language_id, std::string_view utf8);

}  // namespace telvora::tools
