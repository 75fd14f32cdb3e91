#include "storage/value_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "storage/bcd_value.h"
#include "storage/date_time_values.h"
#include "storage/field_types.h"

namespace telvora::storage {
namespace {

constexpr char kBlank = ' ';

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == kBlank) text.remove_prefix(1);
  while (!text.empty() && text.back() == kBlank) text.remove_suffix(1);
  return text;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads 1 to max_digits digits at text[pos]; advances pos.
std::optional<int> ReadNumber(std::string_view text, std::size_t& pos, std::size_t max_digits) {
  const std::size_t start = pos;
  int value = 0;
  while (pos < text.size() && IsDigit(text[pos]) && pos - start < max_digits) {
    value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  if (pos == start) return std::nullopt;
  return value;
}

// Finds the first "AM" or "PM" (any case).
std::size_t FindAmPm(std::string_view text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    const char first = Upper(text[i]);
    if ((first == 'A' || first == 'P') && Upper(text[i + 1]) == 'M') return i;
  }
  return std::string_view::npos;
}

// The whole text must be the number `pattern` describes: [blanks] [sign]
// digits [. digits] [e [sign] digits] [blanks], with `fraction` allowing the
// point and exponent.
bool HasNumberForm(std::string_view text, bool fraction) {
  text = Trim(text);
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  bool digits = false;
  while (i < text.size() && IsDigit(text[i])) ++i, digits = true;
  if (fraction && i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, digits = true;
  }
  if (!digits) return false;
  if (fraction && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i == text.size() || !IsDigit(text[i])) return false;
    while (i < text.size() && IsDigit(text[i])) ++i;
  }
  return i == text.size();
}

}  // namespace

bool IsKeywordText(std::string_view text, std::string_view keyword) {
  text = Trim(text);
  if (text.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (Upper(text[i]) != Upper(keyword[i])) return false;
  }
  return true;
}

std::optional<std::int32_t> ParseDateText(std::string_view text) {
  constexpr std::size_t kYearDigits = 4;
  constexpr std::size_t kMonthDayDigits = 2;
  text = Trim(text);
  std::size_t pos = 0;
  const auto year = ReadNumber(text, pos, kYearDigits);
  if (!year || pos >= text.size() || text[pos++] != '-') return std::nullopt;
  const auto month = ReadNumber(text, pos, kMonthDayDigits);
  if (!month || pos >= text.size() || text[pos++] != '-') return std::nullopt;
  const auto day = ReadNumber(text, pos, kMonthDayDigits);
  if (!day || pos != text.size()) return std::nullopt;
  if (!IsValidCalendarDate(*year, *month, *day)) return std::nullopt;
  return DayNumberFromDate(*year, *month, *day);
}

std::optional<std::int32_t> ParseTimeText(std::string_view text) {
  constexpr std::size_t kFieldDigits = 2;
  constexpr std::size_t kMillisecondDigits = 3;
  constexpr int kHoursPerHalfDay = 12;
  std::string rest(Trim(text));
  enum { kNone, kAm, kPm } half = kNone;
  const std::size_t marker = FindAmPm(rest);
  if (marker != std::string::npos) {
    half = Upper(rest[marker]) == 'A' ? kAm : kPm;
    rest.erase(marker, 2);
  }
  const std::string_view body = Trim(rest);
  std::size_t pos = 0;
  auto hour = ReadNumber(body, pos, kFieldDigits);
  if (!hour || pos >= body.size() || body[pos++] != ':') return std::nullopt;
  const auto minute = ReadNumber(body, pos, kFieldDigits);
  if (!minute) return std::nullopt;
  int second = 0;
  int millisecond = 0;
  if (pos < body.size()) {
    if (body[pos++] != ':') return std::nullopt;
    const auto s = ReadNumber(body, pos, kFieldDigits);
    if (!s) return std::nullopt;
    second = *s;
    if (pos < body.size()) {
      if (body[pos++] != '.') return std::nullopt;
      const std::size_t start = pos;
      const auto fraction = ReadNumber(body, pos, kMillisecondDigits);
      if (!fraction || pos != body.size()) return std::nullopt;
      millisecond = *fraction;
      for (std::size_t digits = pos - start; digits < kMillisecondDigits; ++digits) millisecond *= 10;
    }
  }
  if (half != kNone) {
    if (*hour > kHoursPerHalfDay) return std::nullopt;
    if (*hour == kHoursPerHalfDay) *hour = 0;
    if (half == kPm) *hour += kHoursPerHalfDay;
  }
  if (*hour > 23 || *minute > 59 || second > 59) return std::nullopt;
  return MillisecondsFromTime(*hour, *minute, second, millisecond);
}

std::optional<double> ParseTimeStampText(std::string_view text) {
  text = Trim(text);
  const std::size_t blank = text.find(kBlank);
  if (blank != std::string_view::npos) {
    const auto day = ParseDateText(text.substr(0, blank));
    const auto ms = ParseTimeText(text.substr(blank + 1));
    if (!day || !ms) return std::nullopt;
    return static_cast<double>(*day) * kMillisecondsPerDay + *ms;
  }
  if (text.find(':') != std::string_view::npos) {
    const auto ms = ParseTimeText(text);
    if (!ms) return std::nullopt;
    return static_cast<double>(*ms);
  }
  const auto day = ParseDateText(text);
  if (!day) return std::nullopt;
  return static_cast<double>(*day) * kMillisecondsPerDay;
}

std::optional<bool> ParseBooleanText(std::string_view text) {
  if (IsKeywordText(text, kTrueKeyword)) return true;
  if (IsKeywordText(text, kFalseKeyword)) return false;
  return std::nullopt;
}

std::optional<std::int64_t> ParseWholeNumberText(std::string_view text, std::int64_t minimum,
                                                 std::int64_t maximum) {
  if (!HasNumberForm(text, false)) return std::nullopt;
  text = Trim(text);
  if (text.front() == '+') text.remove_prefix(1);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < minimum || value > maximum) return std::nullopt;
  return value;
}

std::optional<double> ParseFloatText(std::string_view text) {
  if (!HasNumberForm(text, true)) return std::nullopt;
  text = Trim(text);
  if (text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

bool IsValidValueText(std::uint8_t type, std::string_view text) {
  if (text.empty()) return true;
  switch (type) {
    case kTypeString:
    case kTypeBytes:
    case kTypeVarBytes:
      return true;
    case kTypeDate:
      return IsKeywordText(text, kCurrentDateKeyword) || ParseDateText(text).has_value();
    case kTypeTime:
      return IsKeywordText(text, kCurrentTimeKeyword) || ParseTimeText(text).has_value();
    case kTypeTimeStamp:
      return IsKeywordText(text, kCurrentTimeStampKeyword) || IsKeywordText(text, kCurrentDateKeyword) ||
             IsKeywordText(text, kCurrentTimeKeyword) || ParseTimeStampText(text).has_value();
    case kTypeBoolean:
      return ParseBooleanText(text).has_value();
    case kTypeSmallInt:
      return ParseWholeNumberText(text, std::numeric_limits<std::int16_t>::min(),
                                  std::numeric_limits<std::int16_t>::max()).has_value();
    case kTypeInteger:
      return ParseWholeNumberText(text, std::numeric_limits<std::int32_t>::min(),
                                  std::numeric_limits<std::int32_t>::max()).has_value();
    case kTypeWord:
      return ParseWholeNumberText(text, 0, std::numeric_limits<std::uint16_t>::max()).has_value();
    case kTypeLargeInt:
      return ParseWholeNumberText(text, std::numeric_limits<std::int64_t>::min(),
                                  std::numeric_limits<std::int64_t>::max()).has_value();
    case kTypeFloat:
      return ParseFloatText(text).has_value();
    case kTypeBcd:
      return ScaledFromText(text).has_value();
    default:
      return true;
  }
}

}  // namespace telvora::storage
