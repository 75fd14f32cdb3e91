#include "tools/utf8_text.h"

#include <cstdio>

namespace telvora::tools {
namespace {

constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kFirstSurrogate = 0xD800;
constexpr char32_t kLastSurrogate = 0xDFFF;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

std::optional<std::size_t> FindInvalidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t smallest = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      length = 2, value = c & 0x1F, smallest = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3, value = c & 0x0F, smallest = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      length = 4, value = c & 0x07, smallest = 0x10000;
    } else {
      return i;
    }
    if (i + length > text.size()) return i;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if (!IsContinuation(next)) return i;
      value = (value << 6) | (next & 0x3F);
    }
    if (value < smallest || value > kMaxCodePoint || (value >= kFirstSurrogate && value <= kLastSurrogate)) return i;
    i += length;
  }
  return std::nullopt;
}

char32_t Utf8CodePointAt(std::string_view text, std::size_t at, std::size_t* length) {
  const auto c = static_cast<unsigned char>(text[at]);
  std::size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
  char32_t value = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
  for (std::size_t k = 1; k < n; ++k) value = (value << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
  if (length != nullptr) *length = n;
  return value;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string CodePointName(char32_t cp) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(cp));
  return buffer;
}

}  // namespace telvora::tools
