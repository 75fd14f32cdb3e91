#include "tools/contact_fields.h"

#include "platform/code_page.h"
#include "tools/utf8_text.h"

namespace telvora::tools {
namespace {

constexpr char kReplacement = '?';

std::string TrimBlanks(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

std::string FieldNote::Text() const { return std::to_string(position) + ": " + field + ": " + change; }

TableContact ContactToTableFields(const Contact& contact, int position, const ContactFieldSizes& sizes) {
  const platform::CodePage& page = platform::CodePage::Arabic();
  TableContact result;
  for (std::size_t f = 0; f < kContactFieldCount; ++f) {
    const std::string field_name(kContactFieldNames[f]);
    auto note = [&](const std::string& change) { result.notes.push_back({position, field_name, change}); };
    std::string text = contact.fields[f];
    if (const auto bad = FindInvalidUtf8(text)) {
      note("bytes that are not UTF-8 from offset " + std::to_string(*bad) + " left out");
      text.resize(*bad);
    }
    bool broken_lines = false;
    for (char& c : text) {
      if (c == '\n' || c == '\r' || c == '\t') {
        c = ' ';
        broken_lines = true;
      }
    }
    if (broken_lines) note("line breaks and tabs replaced by blanks");
    text = TrimBlanks(text);

    // Character by character, so that each replacement can be named.
    std::string bytes;
    for (std::size_t i = 0; i < text.size();) {
      std::size_t length = 0;
      const char32_t cp = Utf8CodePointAt(text, i, &length);
      const std::string character = text.substr(i, length);
      i += length;
      const auto encoded = page.EncodeUtf8(character);
      if (!encoded || encoded->empty()) {
        note(CodePointName(cp) + " " + Quoted(character) + " cannot be stored: replaced by '?'");
        bytes += kReplacement;
        continue;
      }
      const std::string back = page.DecodeToUtf8(*encoded);
      if (back != character) {
        note(CodePointName(cp) + " " + Quoted(character) + " stored as " + Quoted(back));
      }
      bytes += *encoded;
    }
    if (bytes.size() > sizes[f]) {
      const std::string lost = page.DecodeToUtf8(std::string_view(bytes).substr(sizes[f]));
      bytes.resize(sizes[f]);
      note("cut to " + std::to_string(sizes[f]) + " characters; left out " + Quoted(lost));
    }
    result.fields[f] = std::move(bytes);
  }
  return result;
}

Contact ContactFromTableFields(const std::array<std::string, kContactFieldCount>& fields) {
  const platform::CodePage& page = platform::CodePage::Arabic();
  Contact contact;
  for (std::size_t f = 0; f < kContactFieldCount; ++f) contact.fields[f] = TrimBlanks(page.DecodeToUtf8(fields[f]));
  return contact;
}

}  // namespace telvora::tools
