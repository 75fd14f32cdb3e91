#include "engine/expression_tokenizer.h"

#include "engine/expression_messages.h"

namespace telvora::engine {

namespace {

constexpr unsigned char kFirstHighByte = 128;
constexpr unsigned char kLastHighByte = 254;
constexpr unsigned char kLastBlank = 0x20;

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsHigh(unsigned char c) { return c >= kFirstHighByte && c <= kLastHighByte; }
bool StartsSymbol(unsigned char c) { return IsLetter(c) || c == '_' || IsHigh(c); }
bool ContinuesSymbol(unsigned char c) {
  return StartsSymbol(c) || IsDigit(c) || c == '!' || c == '$' || c == '@';
}

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

TExpressionTokenizer::TExpressionTokenizer(std::string_view text, const TExpressionContext& context)
    : text_(text.substr(0, text.find('\0'))), context_(context) {}

bool TExpressionTokenizer::IsKeyword(std::string_view keyword) const {
  return current_.token_class == TExpTokenClass::tcSymbol && SameTextIgnoringCase(current_.text, keyword);
}

bool TExpressionTokenizer::IsOther(char c) const {
  return current_.token_class == TExpTokenClass::tcOther && current_.text.size() == 1 && current_.text[0] == c;
}

std::string TExpressionTokenizer::Source(std::size_t start, std::size_t end) const {
  if (end > text_.size()) end = text_.size();
  if (start >= end) return std::string();
  std::string_view view(text_.data() + start, end - start);
  while (!view.empty() && static_cast<unsigned char>(view.back()) <= kLastBlank) view.remove_suffix(1);
  return std::string(view);
}

void TExpressionTokenizer::SkipBlanksAndComments() {
  for (;;) {
    while (offset_ < text_.size() && static_cast<unsigned char>(text_[offset_]) <= kLastBlank) ++offset_;
    if (offset_ + 1 < text_.size() && text_[offset_] == '/' && text_[offset_ + 1] == '*') {
      const std::size_t close = text_.find("*/", offset_ + 2);
      if (close == std::string::npos) {
        RaiseExpressionError(context_, messages::ContextMessage(messages::kMissingEndingComment, context_.context_name));
      }
      offset_ = close + 2;
      continue;
    }
    return;
  }
}

void TExpressionTokenizer::ReadQuoted(char quote, TExpTokenClass token_class, std::string_view missing_message) {
  std::string value;
  std::size_t at = offset_ + 1;
  for (;;) {
    if (at >= text_.size()) {
      RaiseExpressionError(context_, messages::TokenMessage(missing_message, value, context_.context_name));
    }
    if (text_[at] == quote) {
      if (at + 1 < text_.size() && text_[at + 1] == quote) {
        value.push_back(quote);
        at += 2;
        continue;
      }
      ++at;
      break;
    }
    value.push_back(text_[at]);
    ++at;
  }
  current_.token_class = token_class;
  current_.text = std::move(value);
  offset_ = at;
}

void TExpressionTokenizer::Next() {
  SkipBlanksAndComments();
  current_ = TExpLexeme();
  current_.start = offset_;
  if (offset_ >= text_.size()) {
    current_.token_class = TExpTokenClass::tcEnd;
    current_.end = offset_;
    return;
  }
  const auto c = static_cast<unsigned char>(text_[offset_]);
  const auto at = [this](std::size_t i) -> unsigned char {
    return i < text_.size() ? static_cast<unsigned char>(text_[i]) : 0;
  };
  if (StartsSymbol(c)) {
    std::size_t end = offset_ + 1;
    while (end < text_.size() && ContinuesSymbol(at(end))) ++end;
    current_.token_class = TExpTokenClass::tcSymbol;
    current_.text = text_.substr(offset_, end - offset_);
    offset_ = end;
  } else if (c == '[') {
    const std::size_t close = text_.find(']', offset_ + 1);
    if (close == std::string::npos) {
      RaiseExpressionError(context_, messages::TokenMessage(messages::kMissingRightBracket, text_.substr(offset_ + 1),
                                                            context_.context_name));
    }
    current_.token_class = TExpTokenClass::tcBracketed;
    current_.text = text_.substr(offset_ + 1, close - offset_ - 1);
    offset_ = close + 1;
  } else if (c == '\'') {
    ReadQuoted('\'', TExpTokenClass::tcSingleQuoted, messages::kMissingSingleQuote);
  } else if (c == '"') {
    ReadQuoted('"', TExpTokenClass::tcDoubleQuoted, messages::kMissingDoubleQuote);
  } else if (c == '#' && IsDigit(at(offset_ + 1))) {
    std::size_t end = offset_ + 1;
    while (IsDigit(at(end))) ++end;
    current_.token_class = TExpTokenClass::tcCharacter;
    current_.text = text_.substr(offset_ + 1, end - offset_ - 1);
    offset_ = end;
  } else if (IsDigit(c) || (c == '.' && IsDigit(at(offset_ + 1)))) {
    std::size_t end = offset_;
    bool is_float = false;
    while (IsDigit(at(end))) ++end;
    if (at(end) == '.') {
      is_float = true;
      ++end;
      while (IsDigit(at(end))) ++end;
    }
    // An exponent: E or e, an optional sign, and digits.
    if (at(end) == 'E' || at(end) == 'e') {
      std::size_t exponent = end + 1;
      if (at(exponent) == '+' || at(exponent) == '-') ++exponent;
      if (IsDigit(at(exponent))) {
        while (IsDigit(at(exponent))) ++exponent;
        end = exponent;
        is_float = true;
      }
    }
    current_.token_class = is_float ? TExpTokenClass::tcFloat : TExpTokenClass::tcInteger;
    current_.text = text_.substr(offset_, end - offset_);
    offset_ = end;
  } else {
    current_.token_class = TExpTokenClass::tcOther;
    current_.text = text_.substr(offset_, 1);
    ++offset_;
  }
  current_.end = offset_;
}

}  // namespace telvora::engine
