#include "engine/expression_parser.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "engine/expression_messages.h"
#include "engine/expression_tokenizer.h"
#include "storage/date_time_values.h"
#include "storage/field_types.h"

namespace telvora::engine {

namespace m = messages;
using storage::kTypeBcd;
using storage::kTypeBlob;
using storage::kTypeBoolean;
using storage::kTypeBytes;
using storage::kTypeDate;
using storage::kTypeFloat;
using storage::kTypeInteger;
using storage::kTypeLargeInt;
using storage::kTypeSmallInt;
using storage::kTypeString;
using storage::kTypeTime;
using storage::kTypeTimeStamp;
using storage::kTypeWord;

namespace {

constexpr int kMaxCharacterConstant = 255;
constexpr int kMaxCastLength = 250;
constexpr int kMaxBcdCastScale = 4;
constexpr int kBlobSubtypeBase = 21;
constexpr std::uint8_t kBinaryBlobSubtype = 23;

struct TKeywordCode {
  std::string_view keyword;
  TExpCode code;
};

constexpr TKeywordCode kAggregates[] = {
    {"SUM", ecSum}, {"RUNSUM", ecRunSum}, {"AVG", ecAvg}, {"MIN", ecMin}, {"MAX", ecMax}, {"COUNT", ecCount},
};

constexpr TKeywordCode kExtractParts[] = {
    {"YEAR", ecExtractYear},           {"MONTH", ecExtractMonth},         {"WEEK", ecExtractWeek},
    {"DAY", ecExtractDay},             {"DAYOFWEEK", ecExtractDayOfWeek}, {"DAYOFYEAR", ecExtractDayOfYear},
    {"HOUR", ecExtractHour},           {"MINUTE", ecExtractMinute},       {"SECOND", ecExtractSecond},
};

bool IsComparisonCode(TExpCode code) { return code >= ecEqual && code <= ecLessOrEqual; }

}  // namespace

// One parse: the tokenizer, the flags and the productions.
class TExpressionParser::TRun {
 public:
  TRun(std::string_view text, std::uint32_t flags, const TExpressionContext& context)
      : tokens_(text, context), flags_(flags), context_(context) {}

  TExpTokenPtr Parse() {
    Advance();
    return OrExpression();
  }

 private:
  const TExpLexeme& Token() const { return tokens_.Current(); }
  void Advance() {
    previous_end_ = Token().end;
    tokens_.Next();
  }
  bool IsKeyword(std::string_view keyword) const { return tokens_.IsKeyword(keyword); }
  bool IsOther(char c) const { return tokens_.IsOther(c); }

  [[noreturn]] void Fail(std::string_view fixed) {
    RaiseExpressionError(context_, m::TokenMessage(fixed, Token().text, context_.context_name));
  }
  [[noreturn]] void FailContext(std::string_view fixed) {
    RaiseExpressionError(context_, m::ContextMessage(fixed, context_.context_name));
  }
  [[noreturn]] void FailFound(std::string_view prefix, std::string_view token) {
    std::string text(prefix);
    text.append(token).append("'").append(m::kFoundIn).append(context_.context_name);
    RaiseExpressionError(context_, text);
  }
  void Expect(char c, std::string_view fixed) {
    if (!IsOther(c)) Fail(fixed);
    Advance();
  }
  void ExpectKeyword(std::string_view keyword, std::string_view fixed) {
    if (!IsKeyword(keyword)) Fail(fixed);
    Advance();
  }
  void RequireExtended() {
    if ((flags_ & kAllowExtendedPredicates) == 0) FailContext(m::kExtendedPredicatesNotAllowed);
  }
  void SetText(TExpToken& node, std::size_t start) { node.text = tokens_.Source(start, previous_end_); }

  TExpTokenPtr Node(TExpKind kind, TExpCode code) {
    TExpTokenPtr node = TExpTokenStack::Take();
    node->kind = kind;
    node->code = code;
    return node;
  }
  TExpTokenPtr Binary(TExpCode code, TExpTokenPtr left, TExpTokenPtr right, std::size_t start) {
    TExpTokenPtr node = Node(ekBinary, code);
    node->left = std::move(left);
    node->right = std::move(right);
    SetText(*node, start);
    return node;
  }

  // Level 1 and 2.
  TExpTokenPtr OrExpression() {
    const std::size_t start = Token().start;
    TExpTokenPtr left = AndExpression();
    while (IsKeyword("OR")) {
      Advance();
      TExpTokenPtr right = AndExpression();
      left = Binary(ecOr, std::move(left), std::move(right), start);
    }
    return left;
  }

  TExpTokenPtr AndExpression() {
    const std::size_t start = Token().start;
    TExpTokenPtr left = NotExpression();
    while (IsKeyword("AND")) {
      Advance();
      TExpTokenPtr right = NotExpression();
      left = Binary(ecAnd, std::move(left), std::move(right), start);
    }
    return left;
  }

  // Level 3: one NOT at most.
  TExpTokenPtr NotExpression() {
    const std::size_t start = Token().start;
    if (!IsKeyword("NOT")) return Comparison();
    Advance();
    TExpTokenPtr node = Node(ekUnary, ecNot);
    node->left = Comparison();
    SetText(*node, start);
    return node;
  }

  // Level 4: at most one comparison or predicate.
  TExpTokenPtr Comparison() {
    const std::size_t start = Token().start;
    TExpTokenPtr left = Sum();
    TExpCode code = ecNone;
    if (IsOther('=')) {
      code = ecEqual;
      Advance();
    } else if (IsOther('<')) {
      Advance();
      if (IsOther('>')) {
        code = ecNotEqual;
        Advance();
      } else if (IsOther('=')) {
        code = ecLessOrEqual;
        Advance();
      } else {
        code = ecLess;
      }
    } else if (IsOther('>')) {
      Advance();
      if (IsOther('=')) {
        code = ecGreaterOrEqual;
        Advance();
      } else {
        code = ecGreater;
      }
    }
    if (IsComparisonCode(code)) {
      TExpTokenPtr right = Sum();
      return Binary(code, std::move(left), std::move(right), start);
    }
    return Predicate(std::move(left), start);
  }

  TExpTokenPtr Predicate(TExpTokenPtr left, std::size_t start) {
    bool negated = false;
    if (IsKeyword("NOT")) {
      // NOT starts a predicate only before LIKE, BETWEEN or IN; otherwise the
      // comparison ends here and the rest is not read.
      const auto saved = tokens_.Save();
      const std::size_t saved_end = previous_end_;
      Advance();
      if (!IsKeyword("LIKE") && !IsKeyword("BETWEEN") && !IsKeyword("IN")) {
        tokens_.Restore(saved);
        previous_end_ = saved_end;
        return left;
      }
      negated = true;
    }
    if (IsKeyword("LIKE")) {
      RequireExtended();
      Advance();
      TExpTokenPtr node = Node(ekPredicate, negated ? ecNotLike : ecLike);
      node->arguments.push_back(std::move(left));
      node->arguments.push_back(Sum());
      SetText(*node, start);
      return node;
    }
    if (IsKeyword("BETWEEN")) {
      RequireExtended();
      Advance();
      TExpTokenPtr node = Node(ekPredicate, negated ? ecNotBetween : ecBetween);
      node->arguments.push_back(std::move(left));
      node->arguments.push_back(Sum());
      ExpectKeyword("AND", negated ? m::kNotBetweenAnd : m::kBetweenAnd);
      node->arguments.push_back(Sum());
      SetText(*node, start);
      return node;
    }
    if (IsKeyword("IN")) {
      RequireExtended();
      Advance();
      return InPredicate(std::move(left), negated, start);
    }
    if (IsKeyword("IS") && !negated) {
      RequireExtended();
      Advance();
      TExpCode code = ecEqual;
      if (IsKeyword("NOT")) {
        code = ecNotEqual;
        Advance();
      }
      if (!IsKeyword("NULL")) FailFound(m::kUnknownSymbolPrefix, Token().text);
      Advance();
      return Binary(code, std::move(left), MakeNullConstant(), start);
    }
    return left;
  }

  TExpTokenPtr InPredicate(TExpTokenPtr left, bool negated, std::size_t start) {
    Expect('(', negated ? m::kNotInLeftParentheses : m::kInLeftParentheses);
    if (IsKeyword("SELECT")) {
      if ((flags_ & kAllowSubSelects) == 0) FailContext(m::kSubSelectsNotAllowed);
      // The SQL engine reads the sub-select; here its text is kept whole.
      TExpTokenPtr node = Node(ekPredicate, negated ? ecNotInSelect : ecInSelect);
      const std::size_t select_start = Token().start;
      int depth = 0;
      while (Token().token_class != TExpTokenClass::tcEnd && !(depth == 0 && IsOther(')'))) {
        if (IsOther('(')) ++depth;
        if (IsOther(')')) --depth;
        Advance();
      }
      TExpTokenPtr select = Node(ekConstant, ecNone);
      select->type = kTypeString;
      select->string_value = tokens_.Source(select_start, previous_end_);
      select->text = select->string_value;
      Expect(')', negated ? m::kNotInSelectRightParentheses : m::kInSelectRightParentheses);
      node->arguments.push_back(std::move(left));
      node->arguments.push_back(std::move(select));
      SetText(*node, start);
      return node;
    }
    if (IsOther(')')) FailContext(negated ? m::kNotInNeedsValue : m::kInNeedsValue);
    TExpTokenPtr node = Node(ekPredicate, negated ? ecNotInList : ecInList);
    node->arguments.push_back(std::move(left));
    node->arguments.push_back(Sum());
    while (IsOther(',')) {
      Advance();
      node->arguments.push_back(Sum());
    }
    Expect(')', negated ? m::kNotInRightParentheses : m::kInRightParentheses);
    SetText(*node, start);
    return node;
  }

  // Level 5 and 6.
  TExpTokenPtr Sum() {
    const std::size_t start = Token().start;
    TExpTokenPtr left = Product();
    for (;;) {
      TExpCode code = ecNone;
      if (IsOther('+')) {
        code = ecAdd;
        Advance();
      } else if (IsOther('-')) {
        code = ecSubtract;
        Advance();
      } else if (IsOther('|')) {
        Advance();
        if (!IsOther('|')) Fail(m::kSecondConcatenationSymbol);
        Advance();
        code = ecAdd;
      } else {
        return left;
      }
      TExpTokenPtr right = Product();
      left = Binary(code, std::move(left), std::move(right), start);
    }
  }

  TExpTokenPtr Product() {
    const std::size_t start = Token().start;
    TExpTokenPtr left = Unary();
    for (;;) {
      TExpCode code = ecNone;
      if (IsOther('*')) {
        code = ecMultiply;
      } else if (IsOther('/')) {
        code = ecDivide;
      } else {
        return left;
      }
      Advance();
      TExpTokenPtr right = Unary();
      left = Binary(code, std::move(left), std::move(right), start);
    }
  }

  // Level 7: the sign applies to a primary.
  TExpTokenPtr Unary() {
    const std::size_t start = Token().start;
    TExpCode code = ecNone;
    if (IsOther('-')) code = ecNegate;
    if (IsOther('+')) code = ecPlusSign;
    if (code == ecNone) return Primary();
    Advance();
    TExpTokenPtr node = Node(ekUnary, code);
    node->left = Primary();
    SetText(*node, start);
    return node;
  }

  // Level 8.
  TExpTokenPtr Primary() {
    const std::size_t start = Token().start;
    const TExpLexeme token = Token();
    switch (token.token_class) {
      case TExpTokenClass::tcSymbol:
        return SymbolPrimary(start);
      case TExpTokenClass::tcBracketed: {
        Advance();
        return ColumnOrCorrelation(token.text, start);
      }
      case TExpTokenClass::tcSingleQuoted:
      case TExpTokenClass::tcDoubleQuoted: {
        Advance();
        if (IsOther('.')) return ColumnOrCorrelation(token.text, start);
        return StringConstant(token.text, true);
      }
      case TExpTokenClass::tcCharacter: {
        int value = 0;
        const auto result = std::from_chars(token.text.data(), token.text.data() + token.text.size(), value);
        if (result.ec != std::errc() || value > kMaxCharacterConstant) {
          std::string text(m::kCharacterRangePrefix);
          text.append(m::kCharacterRangeLow).append(m::kCharacterRangeTo).append(m::kCharacterRangeHigh);
          FailContext(text.append(m::kIn));
        }
        Advance();
        TExpTokenPtr node = StringConstant(std::string(1, static_cast<char>(value)), false);
        node->text = "#" + token.text;
        return node;
      }
      case TExpTokenClass::tcInteger:
      case TExpTokenClass::tcFloat:
        return NumberConstant(token);
      case TExpTokenClass::tcOther:
        if (IsOther('(')) {
          Advance();
          TExpTokenPtr inner = OrExpression();
          Expect(')', m::kRightParenthesesExpected);
          return inner;
        }
        if (IsOther('*')) {
          if ((flags_ & kAllowAllColumns) == 0) FailContext(m::kAllColumnsNotAllowed);
          Advance();
          TExpTokenPtr node = Node(ekColumn, ecNone);
          node->field_name = "*";
          node->text = "*";
          return node;
        }
        if (IsOther('?')) {
          if ((flags_ & kAllowParameters) == 0) FailContext(m::kParametersNotAllowed);
          Advance();
          TExpTokenPtr node = MakeNullConstant();
          node->text = "?";
          return node;
        }
        break;
      case TExpTokenClass::tcEnd:
        break;
    }
    FailFound(m::kUnknownSymbolPrefix, token.text);
  }

  TExpTokenPtr StringConstant(const std::string& value, bool quoted) {
    TExpTokenPtr node = Node(ekConstant, ecNone);
    node->type = kTypeString;
    node->quoted = quoted;
    node->text = value;
    // A zero byte ends a stored string; an empty string is NULL.
    node->string_value = value.substr(0, value.find('\0'));
    node->size = static_cast<int>(node->string_value.size()) + 1;
    if (node->string_value.empty()) node->SetNull();
    return node;
  }

  TExpTokenPtr NumberConstant(const TExpLexeme& token) {
    Advance();
    TExpTokenPtr node = Node(ekConstant, ecNone);
    node->text = token.text;
    const char* first = token.text.data();
    const char* last = first + token.text.size();
    if (token.token_class == TExpTokenClass::tcInteger) {
      std::int64_t value = 0;
      const auto result = std::from_chars(first, last, value);
      if (result.ec == std::errc() && result.ptr == last) {
        const bool fits32 = value <= std::numeric_limits<std::int32_t>::max();
        node->type = fits32 ? kTypeInteger : kTypeLargeInt;
        node->size = fits32 ? 4 : 8;
        node->integer_value = value;
        return node;
      }
    }
    double value = 0.0;
    const auto result = std::from_chars(first, last, value);
    if (result.ec != std::errc() || result.ptr != last || !std::isfinite(value)) {
      std::string text(m::kConstantPrefix);
      text.append(token.text).append("'").append(m::kNotAValidNumber).append(m::kIn).append(context_.context_name);
      RaiseExpressionError(context_, text);
    }
    node->type = kTypeFloat;
    node->size = 8;
    node->real_value = value;
    return node;
  }

  TExpTokenPtr ColumnOrCorrelation(const std::string& name, std::size_t start) {
    TExpTokenPtr node = Node(ekColumn, ecNone);
    if (IsOther('.')) {
      Advance();
      const TExpTokenClass kind = Token().token_class;
      const bool accepted = kind == TExpTokenClass::tcSymbol || kind == TExpTokenClass::tcSingleQuoted ||
                            kind == TExpTokenClass::tcDoubleQuoted || IsOther('*');
      if (!accepted) Fail(m::kSymbolAfterCorrelation);
      node->correlation_name = name;
      node->field_name = Token().text.substr(0, kMaxColumnNameLength);
      Advance();
    } else {
      node->field_name = name.substr(0, kMaxColumnNameLength);
    }
    SetText(*node, start);
    node->text = node->field_name;
    return node;
  }

  TExpTokenPtr SymbolPrimary(std::size_t start) {
    const std::string name = Token().text;
    if (TExpTokenPtr function = Function(start)) return function;
    if (IsKeyword("TRUE") || IsKeyword("FALSE")) {
      const bool value = IsKeyword("TRUE");
      Advance();
      return MakeBooleanConstant(value);
    }
    if (IsKeyword("NULL")) {
      Advance();
      return MakeNullConstant();
    }
    if (IsKeyword("CURRENT_DATE") || IsKeyword("CURRENT_TIME") || IsKeyword("CURRENT_TIMESTAMP")) {
      return CurrentValue();
    }
    for (const TKeywordCode& aggregate : kAggregates) {
      if (IsKeyword(aggregate.keyword)) return Aggregate(aggregate, start);
    }
    Advance();
    if (IsOther('(')) FailFound(m::kUnknownFunctionPrefix, name);
    return ColumnOrCorrelation(name, start);
  }

  TExpTokenPtr CurrentValue() {
    std::string keyword = Token().text;
    for (char& c : keyword) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    Advance();
    if (IsOther('(')) {
      Advance();
      Expect(')', m::RightParenthesesAfterCurrent(keyword));
    }
    // The value at parse time, in the engine's day numbers and milliseconds.
    const double now = storage::CurrentLocalDateTime();
    const double days = std::floor(now);
    const auto day_number = static_cast<std::int32_t>(days) + storage::kDayNumberOf18991230;
    auto milliseconds = static_cast<std::int32_t>(std::llround((now - days) * storage::kMillisecondsPerDay));
    if (milliseconds >= storage::kMillisecondsPerDay) milliseconds = storage::kMillisecondsPerDay - 1;
    TExpTokenPtr node = Node(ekConstant, ecNone);
    node->text = keyword;
    if (keyword == "CURRENT_DATE") {
      node->type = kTypeDate;
      node->size = 4;
      node->integer_value = day_number;
    } else if (keyword == "CURRENT_TIME") {
      node->type = kTypeTime;
      node->size = 4;
      node->integer_value = milliseconds;
    } else {
      node->type = kTypeTimeStamp;
      node->size = 8;
      node->real_value = storage::TimeStampFromDayAndMilliseconds(day_number, milliseconds);
    }
    return node;
  }

  TExpTokenPtr Aggregate(const TKeywordCode& aggregate, std::size_t start) {
    if ((flags_ & kAllowAggregates) == 0) FailContext(m::kAggregatesNotAllowed);
    Advance();
    TExpTokenPtr node = Node(ekFunction, aggregate.code);
    Expect('(', m::LeftParenthesesAfterKeyword(aggregate.keyword));
    if (IsOther('*')) {
      Advance();
      TExpTokenPtr all = Node(ekColumn, ecNone);
      all->field_name = "*";
      all->text = "*";
      node->arguments.push_back(std::move(all));
    } else {
      node->arguments.push_back(Sum());
    }
    Expect(')', m::RightParenthesesAfterArgument(aggregate.keyword));
    SetText(*node, start);
    return node;
  }

  // The function keywords; nullptr when the current symbol is none of them.
  TExpTokenPtr Function(std::size_t start) {
    struct TSimple {
      std::string_view keyword;
      TExpCode code;
      bool primary_argument;
    };
    static constexpr TSimple kSimple[] = {
        {"UPPER", ecUpper, false},          {"LOWER", ecLower, false},
        {"LENGTH", ecLength, false},        {"ABS", ecAbs, false},
        {"LASTAUTOINC", ecLastAutoInc, true}, {"IDENT_CURRENT", ecIdentCurrent, true},
    };
    for (const TSimple& simple : kSimple) {
      if (!IsKeyword(simple.keyword)) continue;
      TExpTokenPtr node = Begin(simple.code, simple.keyword);
      node->arguments.push_back(simple.primary_argument ? Primary() : Sum());
      return Finish(std::move(node), m::RightParenthesesAfterArgument(simple.keyword), start);
    }
    if (IsKeyword("TEXTSEARCH") || IsKeyword("TEXTOCCURS")) {
      const bool search = IsKeyword("TEXTSEARCH");
      const std::string_view keyword = search ? "TEXTSEARCH" : "TEXTOCCURS";
      TExpTokenPtr node = Begin(search ? ecTextSearch : ecTextOccurs, keyword);
      node->arguments.push_back(Sum());
      ExpectKeyword("IN", search ? m::kTextSearchIn : m::kTextOccursIn);
      node->arguments.push_back(Primary());
      return Finish(std::move(node), m::RightParenthesesAfterArgument(keyword), start);
    }
    if (IsKeyword("SUBSTRING")) {
      TExpTokenPtr node = Begin(ecSubstring, "SUBSTRING");
      node->arguments.push_back(Sum());
      ExpectKeyword("FROM", m::kSubstringFrom);
      node->arguments.push_back(Sum());
      if (IsKeyword("FOR")) {
        Advance();
        node->arguments.push_back(Sum());
      }
      return Finish(std::move(node), m::RightParenthesesAfterArguments("SUBSTRING"), start);
    }
    if (IsKeyword("REPLACE")) {
      TExpTokenPtr node = Begin(ecReplace, "REPLACE");
      node->arguments.push_back(Sum());
      ExpectKeyword("WITH", m::kReplaceWith);
      node->arguments.push_back(Sum());
      ExpectKeyword("IN", m::kReplaceIn);
      node->arguments.push_back(Sum());
      return Finish(std::move(node), m::RightParenthesesAfterArguments("REPLACE"), start);
    }
    if (IsKeyword("POS") || IsKeyword("OCCURS")) {
      const bool pos = IsKeyword("POS");
      const std::string_view keyword = pos ? "POS" : "OCCURS";
      TExpTokenPtr node = Begin(pos ? ecPos : ecOccurs, keyword);
      node->arguments.push_back(Sum());
      ExpectKeyword("IN", pos ? m::kPosIn : m::kOccursIn);
      node->arguments.push_back(Sum());
      return Finish(std::move(node), m::RightParenthesesAfterArguments(keyword), start);
    }
    if (IsKeyword("TRIM")) {
      TExpTokenPtr node = Begin(ecTrimBoth, "TRIM");
      if (IsKeyword("LEADING")) {
        node->code = ecTrimLeading;
      } else if (IsKeyword("TRAILING")) {
        node->code = ecTrimTrailing;
      } else if (!IsKeyword("BOTH")) {
        Fail(m::kTrimKeyword);
      }
      Advance();
      node->arguments.push_back(Primary());
      ExpectKeyword("FROM", m::kTrimFrom);
      node->arguments.push_back(Sum());
      return Finish(std::move(node), m::RightParenthesesAfterArguments("TRIM"), start);
    }
    if (IsKeyword("EXTRACT")) {
      TExpTokenPtr node = Begin(ecNone, "EXTRACT");
      for (const TKeywordCode& part : kExtractParts) {
        if (IsKeyword(part.keyword)) node->code = part.code;
      }
      if (node->code == ecNone) Fail(m::kExtractKeyword);
      Advance();
      ExpectKeyword("FROM", m::kExtractFrom);
      node->arguments.push_back(Sum());
      return Finish(std::move(node), m::RightParenthesesAfterArguments("EXTRACT"), start);
    }
    if (IsKeyword("CAST")) {
      TExpTokenPtr node = Begin(ecCast, "CAST");
      node->arguments.push_back(Sum());
      ExpectKeyword("AS", m::kCastAs);
      CastType(*node);
      return Finish(std::move(node), m::RightParenthesesAfterArguments("CAST"), start);
    }
    if (IsKeyword("ROUND")) {
      TExpTokenPtr node = Begin(ecRound, "ROUND");
      node->arguments.push_back(Sum());
      if (IsKeyword("TO")) {
        Advance();
        node->arguments.push_back(Primary());
      }
      return Finish(std::move(node), m::RightParenthesesAfterArguments("ROUND"), start);
    }
    if (IsKeyword("IF") || IsKeyword("IFNULL")) {
      const bool is_if = IsKeyword("IF");
      const std::string_view keyword = is_if ? "IF" : "IFNULL";
      TExpTokenPtr node = Begin(is_if ? ecIf : ecIfNull, keyword);
      // The condition may use the extended predicates whatever the flags.
      const std::uint32_t saved_flags = flags_;
      if (is_if) flags_ |= kAllowExtendedPredicates;
      node->arguments.push_back(OrExpression());
      flags_ = saved_flags;
      if (!IsKeyword("THEN") && !IsOther(',')) Fail(is_if ? m::kIfThen : m::kIfNullThen);
      Advance();
      node->arguments.push_back(Sum());
      if (!IsKeyword("ELSE") && !IsOther(',')) Fail(is_if ? m::kIfElse : m::kIfNullElse);
      Advance();
      node->arguments.push_back(Sum());
      return Finish(std::move(node), m::RightParenthesesAfterArguments(keyword), start);
    }
    if (IsKeyword("COALESCE")) {
      TExpTokenPtr node = Begin(ecCoalesce, "COALESCE");
      if (IsOther(')')) FailContext(m::kCoalesceNeedsValue);
      node->arguments.push_back(Sum());
      while (IsOther(',')) {
        Advance();
        node->arguments.push_back(Sum());
      }
      return Finish(std::move(node), m::kCoalesceRightParentheses, start);
    }
    return nullptr;
  }

  // The keyword and its left parenthesis.
  TExpTokenPtr Begin(TExpCode code, std::string_view keyword) {
    Advance();
    Expect('(', m::LeftParenthesesAfterKeyword(keyword));
    return Node(ekFunction, code);
  }

  TExpTokenPtr Finish(TExpTokenPtr node, std::string_view right_message, std::size_t start) {
    Expect(')', right_message);
    SetText(*node, start);
    return node;
  }

  // An integer token's value; nullopt for any other token.
  std::optional<int> IntegerToken() const {
    if (Token().token_class != TExpTokenClass::tcInteger) return std::nullopt;
    int value = 0;
    const auto result = std::from_chars(Token().text.data(), Token().text.data() + Token().text.size(), value);
    if (result.ec != std::errc()) return std::nullopt;
    return value;
  }

  // CAST's target type: keyword and optional arguments.
  void CastType(TExpToken& node) {
    if (Token().token_class != TExpTokenClass::tcSymbol) Fail(m::kDataTypeExpected);
    std::string keyword = Token().text;
    for (char& c : keyword) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto is = [&keyword](std::initializer_list<std::string_view> names) {
      for (std::string_view name : names) {
        if (keyword == name) return true;
      }
      return false;
    };
    std::uint8_t type = 0;
    std::uint8_t subtype = 0;
    if (is({"SMALLINT"})) {
      type = kTypeSmallInt;
    } else if (is({"WORD"})) {
      type = kTypeWord;
    } else if (is({"INTEGER", "INT"})) {
      type = kTypeInteger;
    } else if (is({"LARGEINT"})) {
      type = kTypeLargeInt;
    } else if (is({"AUTOINC"})) {
      type = kTypeInteger;
      subtype = storage::kSubtypeAutoInc;
    } else if (is({"DECIMAL", "NUMERIC"})) {
      type = kTypeBcd;
    } else if (is({"FLOAT"})) {
      type = kTypeFloat;
    } else if (is({"MONEY"})) {
      type = kTypeFloat;
      subtype = storage::kSubtypeMoney;
    } else if (is({"CHARACTER", "CHAR", "VARCHAR"})) {
      type = kTypeString;
    } else if (is({"BYTES", "VARBYTES", "BINARY", "VARBINARY"})) {
      type = kTypeBytes;
    } else if (is({"DATE"})) {
      type = kTypeDate;
    } else if (is({"TIME"})) {
      type = kTypeTime;
    } else if (is({"TIMESTAMP"})) {
      type = kTypeTimeStamp;
    } else if (is({"BOOLEAN", "BOOL", "BIT"})) {
      type = kTypeBoolean;
    } else if (is({"BLOB"})) {
      type = kTypeBlob;
      subtype = kBinaryBlobSubtype;
    } else if (is({"LONGVARBINARY"})) {
      type = kTypeBlob;
      subtype = kBinaryBlobSubtype;
    } else if (is({"LONGVARCHAR", "MEMO"})) {
      type = kTypeBlob;
      subtype = storage::kSubtypeMemo;
    } else if (is({"GRAPHIC"})) {
      type = kTypeBlob;
      subtype = storage::kSubtypeGraphic;
    } else {
      Fail(m::kDataTypeExpected);
    }
    Advance();
    node.cast_type = type;
    node.cast_subtype = subtype;
    if (!IsOther('(')) return;
    if (type == kTypeString || type == kTypeBytes) {
      Advance();
      const std::optional<int> length = IntegerToken();
      if (!length) FailContext(m::kLengthMustBeInteger);
      if (*length < 1 || *length > kMaxCastLength) {
        std::string text(m::kLengthRangePrefix);
        FailContext(text.append(m::kMaxLengthText).append(m::kIn));
      }
      node.cast_size = *length;
      Advance();
      Expect(')', m::TypeRightParentheses(keyword));
    } else if (type == kTypeBcd || (type == kTypeFloat && subtype == 0)) {
      Advance();
      const std::string name = type == kTypeFloat ? "FLOAT" : keyword;
      if (!IntegerToken()) FailContext(m::kLengthMustBeInteger);
      Advance();
      if (IsOther(',')) {
        Advance();
        const std::optional<int> scale = IntegerToken();
        if (!scale) FailContext(m::kScaleMustBeInteger);
        if (type == kTypeBcd && (*scale < 0 || *scale > kMaxBcdCastScale)) FailContext(m::kBcdScaleRange);
        node.cast_scale = *scale;
        Advance();
      } else if (!IsOther(')')) {
        Fail(type == kTypeFloat ? std::string(m::kFloatComma) : m::TypeComma(name));
      }
      Expect(')', type == kTypeFloat ? std::string(m::kFloatRightParentheses) : m::TypeRightParentheses(name));
    } else if (keyword == "BLOB") {
      Advance();
      if (!IntegerToken()) FailContext(m::kFirstBlobArgument);
      Advance();
      Expect(',', m::kBlobComma);
      const std::optional<int> blob_type = IntegerToken();
      if (!blob_type) FailContext(m::kBlobTypeArgument);
      if (*blob_type != 1 && *blob_type != 2 && *blob_type != 3 && *blob_type != 5 && *blob_type != 7) {
        FailContext(m::kBlobTypeValue);
      }
      node.cast_subtype = static_cast<std::uint8_t>(kBlobSubtypeBase + *blob_type);
      Advance();
      Expect(')', m::kBlobRightParentheses);
    }
  }

  TExpressionTokenizer tokens_;
  std::uint32_t flags_;
  const TExpressionContext& context_;
  std::size_t previous_end_ = 0;
};

TExpTokenPtr TExpressionParser::ParseExpression(std::string_view text, std::uint32_t flags) {
  TRun run(text, flags, context_);
  return run.Parse();
}

}  // namespace telvora::engine
