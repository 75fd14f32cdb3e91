#include "tools/contact_vcard.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

#include "platform/code_page.h"
#include "tools/utf8_text.h"

namespace telvora::tools {
namespace {

constexpr std::size_t kFoldWidth = 75;  // bytes per written line, line break excluded
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kTelScheme = "tel:";

std::string Upper(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return out;
}

std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

struct PhysicalLine {
  std::string_view text;
  int number;
};

std::vector<PhysicalLine> SplitLines(std::string_view text) {
  std::vector<PhysicalLine> lines;
  int number = 1;
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back({line, number++});
    start = end + 1;
  }
  return lines;
}

// A content line: [group.]NAME *(;PARAM) : VALUE
struct ContentLine {
  std::string name;                                   // upper case, group removed
  std::multimap<std::string, std::string> params;     // upper-case keys; values as given
  std::vector<std::string> types;                     // upper case
  std::string value;                                  // raw, quoted-printable still encoded
  int line = 0;
};

// The index of the first `wanted` outside double quotes, or npos.
std::size_t FindUnquoted(std::string_view text, char wanted, std::size_t from = 0) {
  bool quoted = false;
  for (std::size_t i = from; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    else if (text[i] == wanted && !quoted) return i;
  }
  return std::string_view::npos;
}

std::vector<std::string> SplitUnquoted(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const auto at = FindUnquoted(text, separator, start);
    parts.emplace_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
    if (at == std::string_view::npos) break;
    start = at + 1;
  }
  return parts;
}

std::string Unquote(std::string_view text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return std::string(text.substr(1, text.size() - 2));
  return std::string(text);
}

bool IsQuotedPrintable(std::string_view head) {
  return Upper(head).find("QUOTED-PRINTABLE") != std::string::npos;
}

ContentLine ParseContentLine(std::string_view text, int line, int card) {
  const auto colon = FindUnquoted(text, ':');
  if (colon == std::string_view::npos) {
    throw ContactFormatError(line, "card " + std::to_string(card) + ": content line without ':'");
  }
  ContentLine result;
  result.line = line;
  result.value = std::string(text.substr(colon + 1));
  std::vector<std::string> head = SplitUnquoted(text.substr(0, colon), ';');
  std::string name = Upper(Trim(head[0]));
  if (const auto dot = name.rfind('.'); dot != std::string::npos) name.erase(0, dot + 1);
  if (name.empty()) throw ContactFormatError(line, "card " + std::to_string(card) + ": content line without a name");
  result.name = name;
  for (std::size_t i = 1; i < head.size(); ++i) {
    const std::string param = Trim(head[i]);
    if (param.empty()) continue;
    const auto eq = param.find('=');
    if (eq == std::string::npos) {
      // Version 2.1 writes types and encodings bare: TEL;CELL;VOICE:...
      const std::string bare = Upper(param);
      if (bare == "QUOTED-PRINTABLE" || bare == "BASE64" || bare == "8BIT" || bare == "7BIT") {
        result.params.emplace("ENCODING", bare);
      } else {
        result.types.push_back(bare);
      }
      continue;
    }
    const std::string key = Upper(Trim(param.substr(0, eq)));
    const std::string value = Unquote(Trim(param.substr(eq + 1)));
    if (key == "TYPE") {
      for (const std::string& t : SplitUnquoted(value, ',')) {
        if (!t.empty()) result.types.push_back(Upper(Unquote(Trim(t))));
      }
    } else {
      result.params.emplace(key, value);
    }
  }
  return result;
}

std::optional<std::string> Param(const ContentLine& c, const std::string& key) {
  auto it = c.params.find(key);
  if (it == c.params.end()) return std::nullopt;
  return it->second;
}

bool HasType(const ContentLine& c, std::string_view type) {
  return std::find(c.types.begin(), c.types.end(), type) != c.types.end();
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string DecodeQuotedPrintable(std::string_view text, int line, int card) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '=') {
      out += text[i];
      continue;
    }
    if (i + 1 == text.size()) break;  // a soft line break left at the very end
    const int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
    const int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
    if (high < 0 || low < 0) {
      throw ContactFormatError(line, "card " + std::to_string(card) + ": malformed quoted-printable value");
    }
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

// The Windows code page a CHARSET parameter names, 0 for UTF-8.
std::optional<std::uint16_t> CharsetCodePage(const std::string& charset) {
  const std::string name = Upper(charset);
  if (name == "UTF-8" || name == "UTF8" || name == "US-ASCII" || name == "ASCII") return 0;
  if (name == "ISO-8859-1" || name == "LATIN1" || name == "ISO8859-1") return platform::kCodePageWestern;
  for (const std::string_view prefix : {"WINDOWS-", "CP", "WINDOWS"}) {
    if (name.compare(0, prefix.size(), prefix) == 0) {
      const std::string digits = name.substr(prefix.size());
      if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); })) continue;
      if (digits.size() > 5) return std::nullopt;
      const auto number = static_cast<std::uint16_t>(std::stoi(digits));
      if (platform::CodePage::Find(number) != nullptr) return number;
    }
  }
  return std::nullopt;
}

// The value as UTF-8: quoted-printable decoded, then converted from its
// charset (UTF-8 unless a CHARSET says otherwise).
std::string DecodeValue(const ContentLine& c, int card) {
  std::string bytes = c.value;
  const std::string encoding = Upper(Param(c, "ENCODING").value_or(""));
  if (encoding == "QUOTED-PRINTABLE") bytes = DecodeQuotedPrintable(bytes, c.line, card);
  const std::string where = "card " + std::to_string(card) + ", " + c.name + ": ";
  if (bytes.find('\0') != std::string::npos) throw ContactFormatError(c.line, where + "a NUL byte in the value");
  if (const auto charset = Param(c, "CHARSET")) {
    const auto page = CharsetCodePage(*charset);
    if (!page) throw ContactFormatError(c.line, where + "unknown CHARSET \"" + *charset + "\"");
    if (*page != 0) return platform::CodePage::Find(*page)->DecodeToUtf8(bytes);
  }
  if (FindInvalidUtf8(bytes)) throw ContactFormatError(c.line, where + "the value is not UTF-8 text and names no CHARSET");
  return bytes;
}

// Undoes the text escapes of one value or one component of a structured
// value.
std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[++i];
      out += (next == 'n' || next == 'N') ? '\n' : next;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The components of a structured value, split at unescaped ';'.
std::vector<std::string> Components(std::string_view text) {
  std::vector<std::string> parts(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      parts.back() += text[i];
      parts.back() += text[++i];
    } else if (text[i] == ';') {
      parts.emplace_back();
    } else {
      parts.back() += text[i];
    }
  }
  for (std::string& p : parts) p = Trim(Unescape(p));
  return parts;
}

std::string JoinNonEmpty(const std::vector<std::string>& parts, std::size_t first, std::size_t last,
                         std::string_view separator) {
  std::string out;
  for (std::size_t i = first; i < parts.size() && i < last; ++i) {
    if (parts[i].empty()) continue;
    if (!out.empty()) out += separator;
    out += parts[i];
  }
  return out;
}

// The fields of one card as its properties arrive; N and FN, ADR and
// LABEL are settled when the card ends, since either may come first.
class CardBuilder {
 public:
  CardBuilder(int number, int line) {
    contact_.position = number;
    contact_.line = line;
  }

  void Take(const ContentLine& c) {
    const int card = contact_.position;
    if (c.name == "N") {
      const auto parts = Components(DecodeValue(c, card));
      if (!parts.empty()) family_ = parts[0];
      given_ = JoinNonEmpty(parts, 1, 3, " ");
    } else if (c.name == "FN") {
      if (full_name_.empty()) full_name_ = Trim(Unescape(DecodeValue(c, card)));
    } else if (c.name == "TEL") {
      std::string number = Trim(Unescape(DecodeValue(c, card)));
      if (Upper(number.substr(0, kTelScheme.size())) == Upper(kTelScheme)) number.erase(0, kTelScheme.size());
      if (number.empty()) return;
      const ContactField field = HasType(c, "CELL")  ? ContactField::kMobile
                                 : HasType(c, "FAX") ? ContactField::kTel2
                                                     : ContactField::kTel1;
      Set(field, number, c.line);
    } else if (c.name == "ADR") {
      // post office box; extended address; street; locality; region; code; country
      const std::string address = JoinNonEmpty(Components(DecodeValue(c, card)), 0, 7, ", ");
      if (!address.empty()) Set(ContactField::kAddress, address, c.line);
    } else if (c.name == "LABEL") {
      if (label_.empty()) label_ = Trim(Unescape(DecodeValue(c, card)));
    }
  }

  SourcedContact Finish() {
    Contact& c = contact_.contact;
    c[ContactField::kFamily] = family_;
    c[ContactField::kName] = given_;
    if (given_.empty() && family_.empty()) c[ContactField::kName] = full_name_;
    if (c[ContactField::kAddress].empty()) c[ContactField::kAddress] = label_;
    return std::move(contact_);
  }

 private:
  void Set(ContactField field, const std::string& value, int line) {
    std::string& slot = contact_.contact[field];
    if (slot.empty()) {
      slot = value;
      return;
    }
    contact_.notes.push_back("line " + std::to_string(line) + ": another " +
                             std::string(kContactFieldNames[static_cast<std::size_t>(field)]) + " \"" + value +
                             "\" left out");
  }

  SourcedContact contact_;
  std::string family_, given_, full_name_, label_;
};

// --- Writing ---

std::string Escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == ',' || c == ';') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c != '\r') {
      out += c;
    }
  }
  return out;
}

// A number a tel: URI carries as it is: printable ASCII without the bytes
// a value would need to escape.
bool FitsTelUri(std::string_view number) {
  return std::all_of(number.begin(), number.end(), [](char c) {
    return c > ' ' && c < 0x7f && c != '\\' && c != ',' && c != ';';
  });
}

// Folds a content line: at most 75 bytes a line, continuation lines starting
// with a blank, never inside a UTF-8 sequence.
void AppendFolded(std::string& out, std::string_view line) {
  std::size_t width = 0;
  std::size_t limit = kFoldWidth;
  for (std::size_t i = 0; i < line.size();) {
    std::size_t length = 1;
    const auto c = static_cast<unsigned char>(line[i]);
    if (c >= 0xF0) length = 4;
    else if (c >= 0xE0) length = 3;
    else if (c >= 0xC0) length = 2;
    length = std::min(length, line.size() - i);
    if (width + length > limit) {
      out += kLineEnd;
      out += ' ';
      width = 0;
      limit = kFoldWidth - 1;  // the leading blank counts
    }
    out.append(line.substr(i, length));
    width += length;
    i += length;
  }
  out += kLineEnd;
}

}  // namespace

std::vector<SourcedContact> ReadContactsVcard(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  const std::vector<PhysicalLine> lines = SplitLines(text);
  std::vector<SourcedContact> contacts;
  std::optional<CardBuilder> card;
  int card_line = 0;
  int cards = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int number = lines[i].number;
    if (lines[i].text.find('\0') != std::string_view::npos) {
      throw ContactFormatError(number, "a NUL byte: this is not a vCard text file");
    }
    std::string logical(lines[i].text);
    // Unfold: quoted-printable soft breaks ('=' at the end) and folded lines.
    while (i + 1 < lines.size()) {
      const std::string_view next = lines[i + 1].text;
      const auto colon = FindUnquoted(logical, ':');
      const bool soft_break = colon != std::string::npos && IsQuotedPrintable(std::string_view(logical).substr(0, colon)) &&
                              !logical.empty() && logical.back() == '=';
      if (soft_break) {
        logical.pop_back();
        logical += next;
      } else if (!next.empty() && (next.front() == ' ' || next.front() == '\t')) {
        logical += next.substr(1);
      } else {
        break;
      }
      ++i;
    }
    if (Trim(logical).empty()) continue;
    const std::string upper = Upper(Trim(logical));
    if (upper == "BEGIN:VCARD") {
      if (card) {
        throw ContactFormatError(number, "BEGIN:VCARD inside card " + std::to_string(cards) + " (begun on line " +
                                             std::to_string(card_line) + "), which has no END:VCARD");
      }
      card.emplace(++cards, number);
      card_line = number;
      continue;
    }
    if (upper == "END:VCARD") {
      if (!card) throw ContactFormatError(number, "END:VCARD without BEGIN:VCARD");
      contacts.push_back(card->Finish());
      card.reset();
      continue;
    }
    if (!card) throw ContactFormatError(number, "text outside BEGIN:VCARD ... END:VCARD: this is not a vCard file");
    card->Take(ParseContentLine(logical, number, cards));
  }
  if (card) {
    throw ContactFormatError(card_line, "card " + std::to_string(cards) +
                                            " has no END:VCARD before the end of the file (truncated?)");
  }
  if (cards == 0) throw ContactFormatError(1, "no BEGIN:VCARD: this is not a vCard file");
  return contacts;
}

std::string WriteContactsVcard(const std::vector<Contact>& contacts, VcardVersion version) {
  const bool v4 = version == VcardVersion::k40;
  std::string out;
  for (const Contact& c : contacts) {
    out += "BEGIN:VCARD";
    out += kLineEnd;
    out += v4 ? "VERSION:4.0" : "VERSION:3.0";
    out += kLineEnd;
    const std::string& name = c[ContactField::kName];
    const std::string& family = c[ContactField::kFamily];
    AppendFolded(out, "N:" + Escape(family) + ";" + Escape(name) + ";;;");
    std::string full = name;
    if (!full.empty() && !family.empty()) full += ' ';
    full += family;
    AppendFolded(out, "FN:" + Escape(full));
    const std::pair<ContactField, const char*> numbers[] = {
        {ContactField::kTel1, "voice"}, {ContactField::kTel2, "fax"}, {ContactField::kMobile, "cell"}};
    for (const auto& [field, type] : numbers) {
      const std::string& number = c[field];
      if (number.empty()) continue;
      if (v4 && FitsTelUri(number)) {
        AppendFolded(out, std::string("TEL;VALUE=uri;TYPE=") + type + ":" + std::string(kTelScheme) + number);
      } else if (v4) {
        // Written raw into a URI, a line break in the number would start a
        // content line of its own; as text it is escaped like any value.
        AppendFolded(out, std::string("TEL;VALUE=text;TYPE=") + type + ":" + Escape(number));
      } else {
        AppendFolded(out, "TEL;TYPE=" + Upper(type) + ":" + Escape(number));
      }
    }
    if (!c[ContactField::kAddress].empty()) AppendFolded(out, "ADR:;;" + Escape(c[ContactField::kAddress]) + ";;;;");
    out += "END:VCARD";
    out += kLineEnd;
  }
  return out;
}

}  // namespace telvora::tools
