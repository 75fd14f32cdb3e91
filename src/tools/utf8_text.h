#pragma once
// Small UTF-8 helpers for the contact codecs: checking, walking and writing
// code points. Pure functions; any thread.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace telvora::tools {

// The offset of the first byte that does not belong to a well-formed UTF-8
// sequence (overlong forms, surrogates and values above U+10FFFF are not),
// or nothing when the whole text is well-formed.
std::optional<std::size_t> FindInvalidUtf8(std::string_view text);

// The code point starting at text[at] and its length in bytes.
// REQUIRES: text is well-formed and at < text.size() starts a sequence.
char32_t Utf8CodePointAt(std::string_view text, std::size_t at, std::size_t* length);

void AppendUtf8(std::string& out, char32_t code_point);

// "U+06CC"
std::string CodePointName(char32_t code_point);

}  // namespace telvora::tools
