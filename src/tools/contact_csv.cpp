#include "tools/contact_csv.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

#include "tools/utf8_text.h"

namespace telvora::tools {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr char kSeparator = ',';
constexpr char kQuote = '"';
constexpr std::string_view kRecordEnd = "\r\n";

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

int LineOf(std::string_view text, std::size_t offset) {
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

// Splits the text into records of raw fields, keeping each record's line.
class CsvScanner {
 public:
  explicit CsvScanner(std::string_view text) : text_(text) {}

  // The next non-empty record, or nothing at the end of the text.
  std::optional<std::vector<std::string>> Next(int* line) {
    while (at_ < text_.size() && (text_[at_] == '\n' || text_[at_] == '\r')) {
      if (text_[at_] == '\r' && (at_ + 1 >= text_.size() || text_[at_ + 1] != '\n')) break;
      line_ += text_[at_] == '\n' ? 1 : 0;
      ++at_;
    }
    if (at_ >= text_.size()) return std::nullopt;
    *line = line_;
    std::vector<std::string> fields;
    while (true) {
      fields.push_back(Field());
      if (at_ >= text_.size()) break;
      const char c = text_[at_];
      if (c == kSeparator) {
        ++at_;
        continue;
      }
      // A record end: CRLF or LF.
      if (c == '\r') ++at_;
      if (at_ < text_.size() && text_[at_] == '\n') {
        ++at_;
        ++line_;
        break;
      }
      throw ContactFormatError(line_, "a carriage return without a line feed");
    }
    return fields;
  }

 private:
  std::string Field() {
    std::string value;
    if (at_ < text_.size() && text_[at_] == kQuote) {
      const int opened = line_;
      ++at_;
      while (true) {
        if (at_ >= text_.size()) {
          throw ContactFormatError(opened, "a quoted field is not closed before the end of the file (truncated?)");
        }
        const char c = text_[at_++];
        if (c == '\n') ++line_;
        if (c != kQuote) {
          value += c;
        } else if (at_ < text_.size() && text_[at_] == kQuote) {
          value += kQuote;
          ++at_;
        } else {
          break;
        }
      }
      if (at_ < text_.size() && text_[at_] != kSeparator && text_[at_] != '\r' && text_[at_] != '\n') {
        throw ContactFormatError(line_, "text after the closing quote of a field");
      }
      return value;
    }
    while (at_ < text_.size() && text_[at_] != kSeparator && text_[at_] != '\r' && text_[at_] != '\n') {
      if (text_[at_] == kQuote) throw ContactFormatError(line_, "a quote inside an unquoted field");
      value += text_[at_++];
    }
    return value;
  }

  std::string_view text_;
  std::size_t at_ = 0;
  int line_ = 1;
};

bool NeedsQuotes(std::string_view value) {
  if (value.empty()) return false;
  if (value.front() == ' ' || value.back() == ' ') return true;
  return value.find_first_of(",\"\r\n") != std::string_view::npos;
}

void AppendField(std::string& out, std::string_view value) {
  if (!NeedsQuotes(value)) {
    out += value;
    return;
  }
  out += kQuote;
  for (char c : value) {
    if (c == kQuote) out += kQuote;
    out += c;
  }
  out += kQuote;
}

}  // namespace

std::vector<SourcedContact> ReadContactsCsv(std::string_view text) {
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
  if (const auto nul = text.find('\0'); nul != std::string_view::npos) {
    throw ContactFormatError(LineOf(text, nul), "a NUL byte: this is not a text file");
  }
  if (const auto bad = FindInvalidUtf8(text)) {
    throw ContactFormatError(LineOf(text, *bad), "bytes that are not UTF-8 text (offset " + std::to_string(*bad) + ")");
  }
  CsvScanner scanner(text);
  int line = 1;
  const auto header = scanner.Next(&line);
  if (!header) throw ContactFormatError(1, "empty file: the header row Name,Family,Tel1,Tel2,Mobile,Address is missing");

  // Column i of the file holds contact field columns[i].
  std::vector<std::size_t> columns;
  std::array<bool, kContactFieldCount> seen{};
  for (const std::string& raw : *header) {
    const std::string name = Lower(raw);
    auto it = std::find_if(kContactFieldNames.begin(), kContactFieldNames.end(),
                           [&](std::string_view field) { return Lower(field) == name; });
    if (it == kContactFieldNames.end()) {
      throw ContactFormatError(line, "wrong header: unknown column \"" + raw +
                                         "\" (expected Name, Family, Tel1, Tel2, Mobile, Address)");
    }
    const auto index = static_cast<std::size_t>(it - kContactFieldNames.begin());
    if (seen[index]) throw ContactFormatError(line, "wrong header: column \"" + raw + "\" appears twice");
    seen[index] = true;
    columns.push_back(index);
  }
  for (std::size_t i = 0; i < kContactFieldCount; ++i) {
    if (!seen[i]) throw ContactFormatError(line, "wrong header: column \"" + std::string(kContactFieldNames[i]) + "\" missing");
  }

  std::vector<SourcedContact> contacts;
  while (auto record = scanner.Next(&line)) {
    if (record->size() != columns.size()) {
      throw ContactFormatError(line, std::to_string(record->size()) + " fields, the header has " +
                                         std::to_string(columns.size()));
    }
    SourcedContact c;
    c.position = line;
    c.line = line;
    for (std::size_t i = 0; i < columns.size(); ++i) c.contact.fields[columns[i]] = std::move((*record)[i]);
    contacts.push_back(std::move(c));
  }
  return contacts;
}

std::string WriteContactsCsv(const std::vector<Contact>& contacts) {
  std::string out;
  for (std::size_t i = 0; i < kContactFieldCount; ++i) {
    if (i > 0) out += kSeparator;
    out += kContactFieldNames[i];
  }
  out += kRecordEnd;
  for (const Contact& c : contacts) {
    for (std::size_t i = 0; i < kContactFieldCount; ++i) {
      if (i > 0) out += kSeparator;
      AppendField(out, c.fields[i]);
    }
    out += kRecordEnd;
  }
  return out;
}

}  // namespace telvora::tools
