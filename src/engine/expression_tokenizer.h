#pragma once
// TExpressionTokenizer: cuts an expression text into tokens.
//
// Before each token, bytes 0x01-0x20 and comments /* ... */ are skipped.
// Token classes: symbols (a letter, '_' or a byte 128-254 first; then also
// digits, '!', '$' and '@'), bracketed names [..], strings in single or
// double quotes (a doubled quote stands for one), character constants #n,
// integers, floats (digits with '.', or '.' and digits, optionally followed
// by an exponent), any other single character, and the end of the text.
// A string's or bracketed name's text is without its delimiters, with
// doubled quotes collapsed.
//
// The tokenizer copies the text. Positions can be saved and restored, which
// the parser uses to look one token ahead. One thread at a time.

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/expression_context.h"

namespace telvora::engine {

enum class TExpTokenClass {
  tcSymbol,
  tcBracketed,
  tcSingleQuoted,
  tcDoubleQuoted,
  tcCharacter,
  tcInteger,
  tcFloat,
  tcOther,
  tcEnd,
};

struct TExpLexeme {
  TExpTokenClass token_class = TExpTokenClass::tcEnd;
  std::string text;        // without delimiters; "" at the end
  std::size_t start = 0;   // source position of the first byte
  std::size_t end = 0;     // one past the last byte
};

class TExpressionTokenizer {
 public:
  TExpressionTokenizer(std::string_view text, const TExpressionContext& context);

  // Reads the next token into Current(). Raises the context's error for an
  // unterminated comment, bracketed name or string.
  void Next();
  const TExpLexeme& Current() const { return current_; }

  // Whether the current token is a symbol equal to the keyword, ignoring
  // case (ASCII letters).
  bool IsKeyword(std::string_view keyword) const;
  bool IsOther(char c) const;

  // Saved state for looking ahead.
  struct TPosition {
    std::size_t offset;
    TExpLexeme current;
  };
  TPosition Save() const { return TPosition{offset_, current_}; }
  void Restore(const TPosition& position) {
    offset_ = position.offset;
    current_ = position.current;
  }

  // The source text between two positions, trimmed of blanks.
  std::string Source(std::size_t start, std::size_t end) const;
  const std::string& Text() const { return text_; }

 private:
  void SkipBlanksAndComments();
  void ReadQuoted(char quote, TExpTokenClass token_class, std::string_view missing_message);

  std::string text_;
  const TExpressionContext& context_;
  std::size_t offset_ = 0;
  TExpLexeme current_;
};

// Whether two texts are equal ignoring the case of ASCII letters.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

}  // namespace telvora::engine
