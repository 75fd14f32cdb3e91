#include "engine/expression_evaluator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/expression_conversion.h"
#include "engine/expression_types.h"
#include "engine/locale_case.h"
#include "engine/locale_collation.h"
#include "storage/bcd_value.h"
#include "storage/date_time_values.h"
#include "storage/record_image.h"

namespace telvora::engine {

using namespace storage;

namespace {

__extension__ typedef __int128 Wide;  // room for products of two 64-bit values

constexpr int kDaysPerWeek = 7;
constexpr int kThursdayOffset = 4;
constexpr std::int64_t kMillisecondsPerSecond = 1000;
constexpr std::int64_t kMillisecondsPerMinute = 60 * kMillisecondsPerSecond;
constexpr std::int64_t kMillisecondsPerHour = 60 * kMillisecondsPerMinute;
constexpr int kBcdUnitPlaces = 4;
const std::int64_t kLastDayNumber = DayNumberFromDate(kMaxYear, 12, 31);

// Rounds a / b half away from zero. REQUIRES: b != 0.
Wide DivideRounded(Wide a, Wide b) {
  const bool negative = (a < 0) != (b < 0);
  const Wide magnitude_a = a < 0 ? -a : a;
  const Wide magnitude_b = b < 0 ? -b : b;
  const Wide quotient = (magnitude_a + magnitude_b / 2) / magnitude_b;
  return negative ? -quotient : quotient;
}

bool FitsInt64(Wide value) {
  return value >= std::numeric_limits<std::int64_t>::min() && value <= std::numeric_limits<std::int64_t>::max();
}

std::int64_t Narrow(Wide value) {
  // Wrapping keeps an overflowing result defined.
  return static_cast<std::int64_t>(static_cast<unsigned long long>(value));
}

double RealOf(const TExpToken& v) {
  if (v.type == kTypeFloat || v.type == kTypeTimeStamp) return v.real_value;
  if (v.type == kTypeBcd) return static_cast<double>(v.integer_value) / kBcdUnit;
  return static_cast<double>(v.integer_value);
}

// A number as ten-thousandths.
Wide ScaledOf(const TExpToken& v) {
  if (v.type == kTypeBcd) return v.integer_value;
  return static_cast<Wide>(v.integer_value) * kBcdUnit;
}

// A date or timestamp as milliseconds.
double PointOf(const TExpToken& v) {
  if (v.type == kTypeDate) return static_cast<double>(v.integer_value) * kMillisecondsPerDay;
  return v.real_value;
}

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

// Compares two non-null values of comparable types.
int CompareValues(const Locale& locale, const TExpToken& a, const TExpToken& b) {
  if (IsStringType(a.type, a.subtype) || IsStringType(b.type, b.subtype)) {
    return CompareStrings(locale, a.string_value.c_str(), b.string_value.c_str(), false);
  }
  if (IsBytesType(a.type)) {
    const std::size_t common = std::min(a.string_value.size(), b.string_value.size());
    const int result = std::memcmp(a.string_value.data(), b.string_value.data(), common);
    if (result != 0) return result < 0 ? -1 : 1;
    return Sign(a.string_value.size(), b.string_value.size());
  }
  if ((a.type == kTypeDate || a.type == kTypeTimeStamp) && (b.type == kTypeDate || b.type == kTypeTimeStamp)) {
    return Sign(PointOf(a), PointOf(b));
  }
  if (a.type == kTypeFloat || b.type == kTypeFloat) return Sign(RealOf(a), RealOf(b));
  if (a.type == kTypeBcd || b.type == kTypeBcd) return Sign(ScaledOf(a), ScaledOf(b));
  if (a.type == kTypeBoolean) return Sign(a.integer_value != 0, b.integer_value != 0);
  return Sign(a.integer_value, b.integer_value);
}

bool IsStringValue(const TExpToken& v) { return IsStringType(v.type, v.subtype); }

TExpTokenPtr NewValue(const TExpToken& typed) {
  TExpTokenPtr value = TExpTokenStack::Take();
  value->kind = ekConstant;
  value->type = typed.type;
  value->subtype = typed.subtype;
  value->size = typed.size;
  value->scale = typed.scale;
  value->text = typed.text;
  return value;
}

TExpTokenPtr NullValue(const TExpToken& typed) {
  TExpTokenPtr value = NewValue(typed);
  value->SetNull();
  return value;
}

TExpTokenPtr BooleanValue(const TExpToken& typed, bool truth) {
  TExpTokenPtr value = NewValue(typed);
  value->type = kTypeBoolean;
  value->integer_value = truth ? 1 : 0;
  return value;
}

TExpTokenPtr IntegerValue(const TExpToken& typed, std::int64_t number) {
  TExpTokenPtr value = NewValue(typed);
  value->integer_value = number;
  return value;
}

TExpTokenPtr StringValue(const TExpToken& typed, std::string text) {
  TExpTokenPtr value = NewValue(typed);
  if (text.empty()) {
    value->SetNull();
  } else {
    value->string_value = std::move(text);
  }
  return value;
}

// One evaluation of one tree for one record; every node's value is a fresh
// constant from the pool. Lives for one EvaluateExpression call.
class TEvaluator {
 public:
  TEvaluator(std::span<const std::uint8_t> record, const TEvaluationContext& context)
      : record_(record), context_(context) {}

  TExpTokenPtr Eval(const TExpToken& node) {
    switch (node.kind) {
      case ekConstant: {
        TExpTokenPtr value = NewValue(node);
        value->is_null = node.is_null;
        value->string_value = node.string_value;
        value->integer_value = node.integer_value;
        value->real_value = node.real_value;
        return value;
      }
      case ekColumn: {
        TExpTokenPtr value = NewValue(node);
        value->field_number = node.field_number;
        value->field_name = node.field_name;
        if (context_.column_reader) {
          context_.column_reader(record_, *value);
        } else {
          value->SetNull();
        }
        return value;
      }
      case ekUnary:
        return Unary(node);
      case ekBinary:
        return Binary(node);
      case ekOptionCompare: {
        TExpTokenPtr left = Eval(*node.left);
        TExpTokenPtr right = Eval(*node.right);
        const bool equal =
            OptionCompareEqual(context_.locale, *left, *right, node.partial_length, node.case_insensitive);
        return BooleanValue(node, node.code == ecNotEqual ? !equal : equal);
      }
      case ekPredicate:
        return Predicate(node);
      case ekFunction:
        return Function(node);
      case ekNone:
        break;
    }
    return NullValue(node);
  }

 private:
  bool Equal(const TExpToken& a, const TExpToken& b) {
    if (a.is_null || b.is_null) return a.is_null && b.is_null;
    return CompareValues(context_.locale, a, b) == 0;
  }

  // <, >, <=, >=.
  bool Ordered(TExpCode code, const TExpToken& a, const TExpToken& b) {
    int result = 0;
    if (IsStringValue(a) || IsStringValue(b)) {
      // A NULL string orders as the empty string.
      result = CompareStrings(context_.locale, a.string_value.c_str(), b.string_value.c_str(), false);
    } else if (a.is_null != b.is_null) {
      return false;
    } else if (!a.is_null) {
      result = CompareValues(context_.locale, a, b);
    }
    switch (code) {
      case ecGreater: return result > 0;
      case ecLess: return result < 0;
      case ecGreaterOrEqual: return result >= 0;
      default: return result <= 0;
    }
  }

  TExpTokenPtr Unary(const TExpToken& node) {
    TExpTokenPtr operand = Eval(*node.left);
    if (node.code == ecNot) return BooleanValue(node, !IsTrue(*operand));
    if (operand->is_null || node.code == ecPlusSign) {
      TExpTokenPtr value = NewValue(node);
      value->is_null = operand->is_null;
      value->integer_value = operand->integer_value;
      value->real_value = operand->real_value;
      return value;
    }
    TExpTokenPtr value = NewValue(node);
    value->integer_value = Narrow(-static_cast<Wide>(operand->integer_value));
    value->real_value = -operand->real_value;
    return value;
  }

  TExpTokenPtr Binary(const TExpToken& node) {
    if (node.code == ecAnd || node.code == ecOr) {
      // The right operand first; the left one only when it still matters.
      const bool right = IsTrue(*Eval(*node.right));
      if (node.code == ecAnd && !right) return BooleanValue(node, false);
      if (node.code == ecOr && right) return BooleanValue(node, true);
      return BooleanValue(node, IsTrue(*Eval(*node.left)));
    }
    TExpTokenPtr left = Eval(*node.left);
    TExpTokenPtr right = Eval(*node.right);
    switch (node.code) {
      case ecEqual: return BooleanValue(node, Equal(*left, *right));
      case ecNotEqual: return BooleanValue(node, !Equal(*left, *right));
      case ecGreater:
      case ecLess:
      case ecGreaterOrEqual:
      case ecLessOrEqual:
        return BooleanValue(node, Ordered(node.code, *left, *right));
      default:
        return Arithmetic(node, *left, *right);
    }
  }

  TExpTokenPtr Arithmetic(const TExpToken& node, const TExpToken& l, const TExpToken& r) {
    if (node.code == ecAdd && IsStringValue(node)) return StringValue(node, l.string_value + r.string_value);
    if (l.is_null || r.is_null) return NullValue(node);
    TExpTokenPtr value = NewValue(node);
    const bool subtract = node.code == ecSubtract;
    // Dates, times and timestamps.
    if (IsDateLikeType(l.type) || IsDateLikeType(r.type)) {
      if (subtract && IsDateLikeType(r.type)) {
        if (l.type == kTypeDate && r.type == kTypeDate) {
          value->integer_value = l.integer_value - r.integer_value;
        } else if (l.type == kTypeTime) {
          value->integer_value = l.integer_value - r.integer_value;
        } else if (r.type == kTypeTimeStamp) {
          value->real_value = (l.real_value - r.real_value) / kMillisecondsPerDay;
        } else {
          const double subtrahend = r.type == kTypeDate ? PointOf(r) : static_cast<double>(r.integer_value);
          value->integer_value = std::llround(l.real_value - subtrahend);
        }
        return value;
      }
      const TExpToken& dated = IsDateLikeType(l.type) ? l : r;
      const TExpToken& count = IsDateLikeType(l.type) ? r : l;
      const Wide n = subtract ? -static_cast<Wide>(count.integer_value) : static_cast<Wide>(count.integer_value);
      if (dated.type == kTypeTimeStamp) {
        value->real_value = dated.real_value + static_cast<double>(n) * kMillisecondsPerDay;
      } else {
        const Wide moved = dated.integer_value + n;
        // A day outside the calendar is no date.
        if (dated.type == kTypeDate && (moved < 1 || moved > kLastDayNumber)) return NullValue(node);
        if (!FitsInt64(moved)) return NullValue(node);
        value->integer_value = static_cast<std::int64_t>(moved);
      }
      return value;
    }
    switch (node.type) {
      case kTypeFloat: {
        const double a = RealOf(l);
        const double b = RealOf(r);
        if (node.code == ecDivide && b == 0.0) return NullValue(node);
        switch (node.code) {
          case ecAdd: value->real_value = a + b; break;
          case ecSubtract: value->real_value = a - b; break;
          case ecMultiply: value->real_value = a * b; break;
          default: value->real_value = a / b; break;
        }
        return value;
      }
      case kTypeBcd: {
        const Wide a = ScaledOf(l);
        const Wide b = ScaledOf(r);
        Wide result = 0;
        switch (node.code) {
          case ecAdd: result = a + b; break;
          case ecSubtract: result = a - b; break;
          case ecMultiply: {
            Wide product = 0;
            // Two 64-bit integers seen as ten-thousandths can overflow even
            // 128 bits; such a product has no BCD value.
            if (__builtin_mul_overflow(a, b, &product)) return NullValue(node);
            result = DivideRounded(product, kBcdUnit);
            break;
          }
          default:
            if (b == 0) return NullValue(node);
            result = DivideRounded(a * kBcdUnit, b);
            break;
        }
        if (!FitsInt64(result)) return NullValue(node);
        value->integer_value = static_cast<std::int64_t>(result);
        return value;
      }
      default: {
        const Wide a = l.integer_value;
        const Wide b = r.integer_value;
        Wide result = 0;
        switch (node.code) {
          case ecAdd: result = a + b; break;
          case ecSubtract: result = a - b; break;
          case ecMultiply: result = a * b; break;
          default:
            if (b == 0) return NullValue(node);
            result = a / b;
            break;
        }
        // A result beyond 64 bits has no value, like a division by zero.
        if (!FitsInt64(result)) return NullValue(node);
        value->integer_value = static_cast<std::int64_t>(result);
        return value;
      }
    }
  }

  TExpTokenPtr Predicate(const TExpToken& node) {
    TExpTokenPtr left = Eval(*node.arguments[0]);
    switch (node.code) {
      case ecLike:
      case ecNotLike: {
        TExpTokenPtr pattern = Eval(*node.arguments[1]);
        const bool negated = node.code == ecNotLike;
        if (left->is_null || pattern->is_null) return BooleanValue(node, negated);
        const bool match = MatchesLikePattern(context_.locale, left->string_value, pattern->string_value);
        return BooleanValue(node, negated ? !match : match);
      }
      case ecInList:
      case ecNotInList: {
        bool found = false;
        for (std::size_t i = 1; i < node.arguments.size() && !found; ++i) {
          found = Equal(*left, *Eval(*node.arguments[i]));
        }
        return BooleanValue(node, node.code == ecNotInList ? !found : found);
      }
      case ecBetween:
      case ecNotBetween: {
        bool inside = Ordered(ecGreaterOrEqual, *left, *Eval(*node.arguments[1]));
        if (inside) inside = Ordered(ecLessOrEqual, *left, *Eval(*node.arguments[2]));
        return BooleanValue(node, node.code == ecNotBetween ? !inside : inside);
      }
      default:
        // Sub-selects are answered by the SQL engine only.
        return BooleanValue(node, false);
    }
  }

  // The result of IF, IFNULL or COALESCE in the function's own type.
  TExpTokenPtr Result(const TExpToken& node, TExpTokenPtr value) {
    if (value->is_null || value->type == node.type || IsStringValue(node)) {
      value->type = node.type == kTypeNone ? value->type : node.type;
      if (IsStringValue(node)) value->subtype = node.subtype;
      return value;
    }
    ConvertValue(*value, node.type, node.subtype, node.size, node.scale);
    return value;
  }

  TExpTokenPtr Function(const TExpToken& node) {
    const auto& args = node.arguments;
    switch (node.code) {
      case ecUpper:
      case ecLower: {
        std::string text = Eval(*args[0])->string_value;
        if (node.code == ecUpper) {
          UpperCase(context_.locale, text);
        } else {
          LowerCase(context_.locale, text);
        }
        return StringValue(node, std::move(text));
      }
      case ecLength: {
        TExpTokenPtr x = Eval(*args[0]);
        if (x->is_null) return NullValue(node);
        return IntegerValue(node, static_cast<std::int64_t>(x->string_value.size()));
      }
      case ecSubstring:
        return Substring(node);
      case ecReplace: {
        const std::string search = Eval(*args[0])->string_value;
        const std::string replacement = Eval(*args[1])->string_value;
        std::string text = Eval(*args[2])->string_value;
        if (!search.empty()) {
          std::string result;
          std::size_t from = 0;
          for (std::size_t at = text.find(search); at != std::string::npos; at = text.find(search, from)) {
            result.append(text, from, at - from).append(replacement);
            from = at + search.size();
          }
          result.append(text, from, std::string::npos);
          text = std::move(result);
        }
        return StringValue(node, std::move(text));
      }
      case ecPos:
      case ecOccurs: {
        const std::string search = Eval(*args[0])->string_value;
        TExpTokenPtr text = Eval(*args[1]);
        if (text->is_null) return NullValue(node);
        if (search.empty()) return IntegerValue(node, 0);
        if (node.code == ecPos) {
          const std::size_t at = text->string_value.find(search);
          return IntegerValue(node, at == std::string::npos ? 0 : static_cast<std::int64_t>(at) + 1);
        }
        std::int64_t count = 0;
        for (std::size_t at = text->string_value.find(search); at != std::string::npos;
             at = text->string_value.find(search, at + search.size())) {
          ++count;
        }
        return IntegerValue(node, count);
      }
      case ecTrimLeading:
      case ecTrimTrailing:
      case ecTrimBoth: {
        const std::string character = Eval(*args[0])->string_value;
        std::string text = Eval(*args[1])->string_value;
        if (!character.empty()) {
          const char c = character[0];
          if (node.code != ecTrimTrailing) text.erase(0, text.find_first_not_of(c) == std::string::npos
                                                                 ? text.size()
                                                                 : text.find_first_not_of(c));
          if (node.code != ecTrimLeading) {
            const std::size_t last = text.find_last_not_of(c);
            text.erase(last == std::string::npos ? 0 : last + 1);
          }
        }
        return StringValue(node, std::move(text));
      }
      case ecCast: {
        TExpTokenPtr value = Eval(*args[0]);
        ConvertValue(*value, node.type, node.subtype, node.size, node.scale);
        value->text = node.text;
        return value;
      }
      case ecExtractYear:
      case ecExtractMonth:
      case ecExtractWeek:
      case ecExtractDay:
      case ecExtractDayOfWeek:
      case ecExtractDayOfYear:
      case ecExtractHour:
      case ecExtractMinute:
      case ecExtractSecond:
        return Extract(node);
      case ecAbs: {
        TExpTokenPtr value = Eval(*args[0]);
        value->text = node.text;
        value->integer_value = value->integer_value < 0 ? Narrow(-static_cast<Wide>(value->integer_value))
                                                        : value->integer_value;
        value->real_value = std::fabs(value->real_value);
        return value;
      }
      case ecRound:
        return Round(node);
      case ecIf: {
        const bool condition = IsTrue(*Eval(*args[0]));
        return Result(node, Eval(*args[condition ? 1 : 2]));
      }
      case ecIfNull: {
        const bool is_null = Eval(*args[0])->is_null;
        return Result(node, Eval(*args[is_null ? 1 : 2]));
      }
      case ecCoalesce:
        for (const TExpTokenPtr& argument : args) {
          TExpTokenPtr value = Eval(*argument);
          if (!value->is_null) return Result(node, std::move(value));
        }
        return NullValue(node);
      case ecTextSearch:
      case ecTextOccurs:
        return TextWords(node);
      case ecLastAutoInc:
      case ecIdentCurrent:
        // Only the SQL engine knows other tables' counters.
        return IntegerValue(node, 0);
      default:
        // Aggregates are computed by the SQL engine over many records.
        return NullValue(node);
    }
  }

  TExpTokenPtr Substring(const TExpToken& node) {
    const auto& args = node.arguments;
    const std::string text = Eval(*args[0])->string_value;
    TExpTokenPtr start = Eval(*args[1]);
    if (start->is_null) return NullValue(node);
    const std::int64_t first = std::max<std::int64_t>(start->integer_value, 1);
    const auto length = static_cast<std::int64_t>(text.size());
    std::int64_t count = length;
    if (args.size() > 2) {
      TExpTokenPtr for_count = Eval(*args[2]);
      if (for_count->is_null) return NullValue(node);
      count = std::max<std::int64_t>(for_count->integer_value, 0);
    }
    if (first > length) return NullValue(node);
    count = std::min(count, length - first + 1);
    return StringValue(node, text.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(count)));
  }

  TExpTokenPtr Extract(const TExpToken& node) {
    TExpTokenPtr x = Eval(*node.arguments[0]);
    if (x->is_null) return NullValue(node);
    std::int64_t day = 0;
    std::int64_t ms = 0;
    if (x->type == kTypeDate) {
      day = x->integer_value;
    } else if (x->type == kTypeTime) {
      ms = x->integer_value;
    } else {
      const auto total = static_cast<std::int64_t>(std::llround(x->real_value));
      day = total / kMillisecondsPerDay;
      ms = total % kMillisecondsPerDay;
    }
    const bool has_day = day >= 1 && day <= kLastDayNumber;
    const CalendarDate date = has_day ? DateFromDayNumber(static_cast<std::int32_t>(day)) : CalendarDate{0, 0, 0};
    const std::int64_t day_of_week = has_day ? (day - 1) % kDaysPerWeek + 1 : 0;  // day 1 was a Monday
    std::int64_t result = 0;
    switch (node.code) {
      case ecExtractYear: result = date.year; break;
      case ecExtractMonth: result = date.month; break;
      case ecExtractDay: result = date.day; break;
      case ecExtractDayOfWeek: result = day_of_week; break;
      case ecExtractDayOfYear:
        result = has_day ? day - DayNumberFromDate(date.year, 1, 1) + 1 : 0;
        break;
      case ecExtractWeek:
        if (has_day) {
          // ISO 8601: the week belongs to the year of its Thursday.
          const std::int64_t thursday = day - day_of_week + kThursdayOffset;
          const int year = DateFromDayNumber(static_cast<std::int32_t>(thursday)).year;
          result = (thursday - DayNumberFromDate(year, 1, 1)) / kDaysPerWeek + 1;
        }
        break;
      case ecExtractHour: result = ms / kMillisecondsPerHour; break;
      case ecExtractMinute: result = ms / kMillisecondsPerMinute % 60; break;
      default: result = ms / kMillisecondsPerSecond % 60; break;
    }
    return IntegerValue(node, result);
  }

  TExpTokenPtr Round(const TExpToken& node) {
    TExpTokenPtr value = Eval(*node.arguments[0]);
    value->text = node.text;
    if (value->is_null) return value;
    std::int64_t places = 0;
    if (node.arguments.size() > 1) places = Eval(*node.arguments[1])->integer_value;
    if (value->type == kTypeBcd) {
      // A BCD value keeps at most four places.
      places = std::min<std::int64_t>(places, kBcdUnitPlaces);
      Wide divisor = 1;
      for (std::int64_t i = places; i < kBcdUnitPlaces; ++i) divisor *= 10;
      value->integer_value = Narrow(DivideRounded(value->integer_value, divisor) * divisor);
      return value;
    }
    const double factor = std::pow(10.0, static_cast<double>(places));
    const double scaled = value->real_value * factor;
    if (std::isfinite(scaled)) value->real_value = std::round(scaled) / factor;
    return value;
  }

  bool WordMatches(const std::string& column_word, const std::string& search_word) {
    const Locale& locale = context_.locale;
    if (!search_word.empty() && search_word.back() == '*') {
      const std::string prefix = search_word.substr(0, search_word.find_last_not_of('*') + 1);
      if (prefix.empty()) return true;
      if (column_word.size() < prefix.size()) return false;
      return CompareStrings(locale, column_word.c_str(), prefix.c_str(), true, static_cast<int>(prefix.size())) == 0;
    }
    return CompareStrings(locale, column_word.c_str(), search_word.c_str(), true) == 0;
  }

  TExpTokenPtr TextWords(const TExpToken& node) {
    const std::string search = Eval(*node.arguments[0])->string_value;
    const std::string text = Eval(*node.arguments[1])->string_value;
    // Without a word source of the caller's, the text index's defaults cut.
    const TTextWordSource words = context_.words.cut_words
                                      ? context_.words
                                      : MakeTextWordSource(TTextIndexParameters::Defaults(), context_.locale);
    std::vector<std::string> search_words;
    for (std::string& word : words.cut_words(search, true)) {
      if (words.is_stop_word && words.is_stop_word(word)) continue;
      search_words.push_back(std::move(word));
    }
    std::vector<std::string> column_words = words.cut_words(text, false);
    if (node.code == ecTextSearch) {
      // The column's words as the text index holds them: no stop word, and
      // each word once under the locale (a word with a vowel mark and the
      // same word without count once, as the first one written). A search
      // word ending in '*' could otherwise match a word the index does not
      // hold, and reading the record would disagree with the index.
      std::vector<std::string> distinct;
      for (std::string& word : column_words) {
        if (words.is_stop_word && words.is_stop_word(word)) continue;
        const bool seen = std::any_of(distinct.begin(), distinct.end(), [&](const std::string& other) {
          return CompareStrings(context_.locale, other.c_str(), word.c_str(), true) == 0;
        });
        if (!seen) distinct.push_back(std::move(word));
      }
      column_words = std::move(distinct);
    }
    const auto occurs = [&](const std::string& search_word) {
      return std::any_of(column_words.begin(), column_words.end(),
                         [&](const std::string& word) { return WordMatches(word, search_word); });
    };
    if (node.code == ecTextSearch) {
      return BooleanValue(node, std::all_of(search_words.begin(), search_words.end(), occurs));
    }
    std::int64_t count = 0;
    for (const std::string& word : column_words) {
      for (const std::string& search_word : search_words) {
        if (WordMatches(word, search_word)) {
          ++count;
          break;
        }
      }
    }
    return IntegerValue(node, count);
  }

  std::span<const std::uint8_t> record_;
  const TEvaluationContext& context_;
};

}  // namespace

bool IsTrue(const TExpToken& value) { return !value.is_null && value.integer_value != 0; }

TExpTokenPtr EvaluateExpression(const TExpToken& tree, std::span<const std::uint8_t> record,
                                const TEvaluationContext& context) {
  TEvaluator evaluator(record, context);
  return evaluator.Eval(tree);
}

bool OptionCompareEqual(const Locale& locale, const TExpToken& value, const TExpToken& constant,
                        int partial_length, bool case_insensitive) {
  if (value.is_null || constant.is_null) return value.is_null && constant.is_null;
  if (partial_length > 0 && value.string_value.size() < static_cast<std::size_t>(partial_length)) return false;
  return CompareStrings(locale, value.string_value.c_str(), constant.string_value.c_str(), case_insensitive,
                        partial_length) == 0;
}

bool MatchesLikePattern(const Locale& locale, std::string_view text, std::string_view pattern) {
  std::size_t i = 0;
  std::size_t j = 0;
  std::size_t star = std::string_view::npos;
  std::size_t mark = 0;
  while (i < text.size()) {
    if (j < pattern.size() && pattern[j] == '%') {
      star = j++;
      mark = i;
    } else if (j < pattern.size() && (pattern[j] == '_' || CompareCharacters(locale, pattern[j], text[i]) == 0)) {
      ++i;
      ++j;
    } else if (star != std::string_view::npos) {
      // Let the last % take one more character.
      j = star + 1;
      i = ++mark;
    } else {
      return false;
    }
  }
  while (j < pattern.size() && pattern[j] == '%') ++j;
  return j == pattern.size();
}

TColumnReader RecordColumnReader(std::span<const TFieldDescriptor> fields, TBlobTextReader blob_text) {
  std::vector<TFieldLayout> layouts;
  std::vector<int> decimals;
  for (const TFieldDescriptor& field : fields) {
    layouts.push_back(TFieldLayout::Of(field));
    decimals.push_back(field.Decimals());
  }
  return [layouts = std::move(layouts), decimals = std::move(decimals), blob_text = std::move(blob_text)](
             std::span<const std::uint8_t> record, TExpToken& column) {
    const int number = column.field_number;
    if (number < 1 || static_cast<std::size_t>(number) > layouts.size()) {
      column.SetNull();
      return;
    }
    const TFieldLayout& field = layouts[static_cast<std::size_t>(number - 1)];
    const std::size_t needed =
        field.IsAutoInc() ? TRecordImage::kHeaderSize : field.offset + 1u + field.stored_length;
    if (record.size() < needed) {
      // No record (constants evaluated ahead of any record) or a short one.
      column.SetNull();
      return;
    }
    // The image is only read; TRecordImage views mutable bytes.
    const TRecordImage image(std::span<std::uint8_t>(const_cast<std::uint8_t*>(record.data()), record.size()));
    column.SetNull();
    if (field.type == kTypeBlob) {
      std::optional<std::string> text = blob_text ? blob_text(record, number) : std::nullopt;
      if (text && !text->empty()) {
        column.is_null = false;
        column.string_value = std::move(*text);
      }
      return;
    }
    if (image.IsNull(field)) return;
    column.is_null = false;
    switch (field.type) {
      case kTypeString:
        column.string_value = image.GetString(field);
        column.is_null = column.string_value.empty();
        break;
      case kTypeDate: column.integer_value = image.GetDate(field); break;
      case kTypeTime: column.integer_value = image.GetTime(field); break;
      case kTypeTimeStamp: column.real_value = image.GetTimeStamp(field); break;
      case kTypeBoolean: column.integer_value = image.GetBoolean(field) ? 1 : 0; break;
      case kTypeSmallInt: column.integer_value = image.GetSmallInt(field); break;
      case kTypeInteger: column.integer_value = image.GetInteger(field); break;
      case kTypeFloat: column.real_value = image.GetFloat(field); break;
      case kTypeWord: column.integer_value = image.GetWord(field); break;
      case kTypeLargeInt: column.integer_value = image.GetLargeInt(field); break;
      case kTypeBcd: {
        const BcdRecord bcd = image.GetBcd(field);
        const std::optional<std::int64_t> scaled = ScaledFromBcd(bcd);
        if (!scaled) {
          column.SetNull();
        } else {
          column.integer_value = *scaled;
          column.scale = decimals[static_cast<std::size_t>(number - 1)];
        }
        break;
      }
      default: {
        const std::span<const std::uint8_t> bytes = image.ValueBytes(field);
        column.string_value.assign(bytes.begin(), bytes.end());
        break;
      }
    }
  };
}

}  // namespace telvora::engine
