#include "engine/expression_conversion.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "engine/expression_messages.h"
#include "engine/expression_types.h"
#include "storage/date_time_values.h"
#include "storage/bcd_value.h"
#include "storage/value_text.h"

namespace telvora::engine {

namespace m = messages;
using namespace storage;

namespace {

constexpr int kNoonHour = 12;
constexpr int kMillisecondsPerSecond = 1000;
constexpr int kSecondsPerMinute = 60;
constexpr int kMinutesPerHour = 60;
constexpr int kBcdUnitPlaces = 4;

std::string DateText(std::int64_t day_number) {
  // Days outside the calendar (reachable only by arithmetic) have no text.
  if (day_number < 1 || day_number > DayNumberFromDate(kMaxYear, 12, 31)) return std::string();
  const CalendarDate date = DateFromDayNumber(static_cast<std::int32_t>(day_number));
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", date.year, date.month, date.day);
  return buffer;
}

std::string TimeText(std::int64_t milliseconds) {
  milliseconds %= kMillisecondsPerDay;
  if (milliseconds < 0) milliseconds += kMillisecondsPerDay;
  const int ms = static_cast<int>(milliseconds % kMillisecondsPerSecond);
  const int seconds = static_cast<int>(milliseconds / kMillisecondsPerSecond % kSecondsPerMinute);
  const int minutes = static_cast<int>(milliseconds / (kMillisecondsPerSecond * kSecondsPerMinute) % kMinutesPerHour);
  const int hours = static_cast<int>(milliseconds / (kMillisecondsPerSecond * kSecondsPerMinute * kMinutesPerHour));
  const bool pm = hours >= kNoonHour;
  int clock_hour = hours % kNoonHour;
  if (clock_hour == 0) clock_hour = kNoonHour;
  char buffer[32];
  if (ms != 0) {
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", clock_hour, minutes, seconds, ms);
  } else if (seconds != 0) {
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", clock_hour, minutes, seconds);
  } else {
    std::snprintf(buffer, sizeof buffer, "%02d:%02d", clock_hour, minutes);
  }
  return std::string(buffer) + (pm ? " PM" : " AM");
}

std::string FloatText(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// ten-thousandths shown with `places` digits after the point (rounded half
// away from zero when fewer than four).
std::string BcdText(std::int64_t scaled, int places) {
  const bool negative = scaled < 0;
  unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(scaled)
                                          : static_cast<unsigned long long>(scaled);
  int shown = places < 0 ? 0 : places;
  if (shown < kBcdUnitPlaces) {
    unsigned long long divisor = 1;
    for (int i = shown; i < kBcdUnitPlaces; ++i) divisor *= 10;
    magnitude = (magnitude + divisor / 2) / divisor;
  }
  std::string digits = std::to_string(magnitude);
  const int fraction_digits = shown < kBcdUnitPlaces ? shown : kBcdUnitPlaces;
  if (static_cast<int>(digits.size()) <= fraction_digits) {
    digits.insert(0, static_cast<std::size_t>(fraction_digits + 1) - digits.size(), '0');
  }
  std::string text = digits;
  if (fraction_digits > 0) text.insert(text.size() - static_cast<std::size_t>(fraction_digits), ".");
  for (int i = kBcdUnitPlaces; i < shown; ++i) text.push_back('0');
  if (negative && magnitude != 0) text.insert(0, "-");
  return text;
}

[[noreturn]] void Fail(std::string_view pattern, const std::string& text) {
  throw EExpressionConversionError(m::ConversionMessage(pattern, text));
}

double NumberAsReal(const TExpToken& value) {
  if (value.type == kTypeFloat) return value.real_value;
  if (value.type == kTypeBcd) return static_cast<double>(value.integer_value) / kBcdUnit;
  return static_cast<double>(value.integer_value);
}

std::int64_t WholeRange(std::uint8_t type, bool maximum) {
  switch (type) {
    case kTypeSmallInt:
      return maximum ? std::numeric_limits<std::int16_t>::max() : std::numeric_limits<std::int16_t>::min();
    case kTypeWord:
      return maximum ? std::numeric_limits<std::uint16_t>::max() : 0;
    case kTypeInteger:
      return maximum ? std::numeric_limits<std::int32_t>::max() : std::numeric_limits<std::int32_t>::min();
    default:
      return maximum ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
  }
}

}  // namespace

std::string ValueText(const TExpToken& value) {
  if (value.is_null) return std::string();
  switch (value.type) {
    case kTypeDate:
      return DateText(value.integer_value);
    case kTypeTime:
      return TimeText(value.integer_value);
    case kTypeTimeStamp: {
      const auto total = static_cast<std::int64_t>(std::llround(value.real_value));
      const std::int64_t day = total / kMillisecondsPerDay;
      const std::string time = TimeText(total % kMillisecondsPerDay);
      return day < 1 ? time : DateText(day) + " " + time;
    }
    case kTypeBoolean:
      return value.integer_value != 0 ? "TRUE" : "FALSE";
    case kTypeSmallInt:
    case kTypeInteger:
    case kTypeWord:
    case kTypeLargeInt:
      return std::to_string(value.integer_value);
    case kTypeFloat:
      return FloatText(value.real_value);
    case kTypeBcd:
      return BcdText(value.integer_value, value.scale);
    default:
      return value.string_value;
  }
}

std::uint8_t DateLikeTypeOfText(const std::string& text) {
  std::string_view trimmed(text);
  while (!trimmed.empty() && trimmed.front() == ' ') trimmed.remove_prefix(1);
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.remove_suffix(1);
  const bool blank = trimmed.find(' ') != std::string_view::npos;
  const bool colon = trimmed.find(':') != std::string_view::npos;
  if (colon && !blank) return kTypeTime;
  if (!colon && !blank) return kTypeDate;
  return kTypeTimeStamp;
}

bool ConvertStringToDateLike(TExpToken& value, std::uint8_t type) {
  try {
    ConvertValue(value, type, 0, 0, 0);
    return true;
  } catch (const EExpressionConversionError&) {
    return false;
  }
}

void ConvertValue(TExpToken& value, std::uint8_t type, std::uint8_t subtype, int size, int scale) {
  const std::uint8_t source = value.type;
  const bool from_text = IsStringType(source, value.subtype) || IsBytesType(source) || source == kTypeBlob;
  const std::string text = ValueText(value);
  TExpToken result;
  result.type = type;
  result.subtype = subtype;
  result.scale = type == kTypeBcd ? scale : 0;
  result.size = FixedValueSize(type);
  if (value.is_null) {
    if (type == kTypeString || IsBytesType(type)) result.size = size > 0 ? size : value.size;
  } else if (type == kTypeString || IsBytesType(type) || type == kTypeBlob) {
    result.string_value = text;
    const int limit = type == kTypeString ? size - 1 : size;
    if (size > 0 && static_cast<int>(result.string_value.size()) > limit) result.string_value.resize(limit);
    if (type == kTypeString) {
      // A zero byte ends a stored string.
      result.string_value = result.string_value.substr(0, result.string_value.find('\0'));
      result.size = size > 0 ? size : static_cast<int>(result.string_value.size()) + 1;
    } else if (type != kTypeBlob) {
      result.size = size > 0 ? size : static_cast<int>(result.string_value.size());
    }
    if (result.string_value.empty()) result.is_null = true;
  } else if (type == kTypeDate) {
    if (source == kTypeDate) {
      result.integer_value = value.integer_value;
    } else if (source == kTypeTimeStamp) {
      const double day = std::floor(value.real_value / kMillisecondsPerDay);
      if (!(std::fabs(day) < static_cast<double>(std::numeric_limits<std::int32_t>::max()))) {
        Fail(m::kNotAValidDate, text);
      }
      result.integer_value = static_cast<std::int64_t>(day);
    } else {
      const auto day = ParseDateText(text);
      if (!day) Fail(m::kNotAValidDate, text);
      result.integer_value = *day;
    }
  } else if (type == kTypeTime) {
    if (source == kTypeTime) {
      result.integer_value = value.integer_value;
    } else if (source == kTypeTimeStamp) {
      const double ms = std::fmod(value.real_value, kMillisecondsPerDay);
      if (!std::isfinite(ms)) Fail(m::kNotAValidTime, text);
      result.integer_value = static_cast<std::int64_t>(ms);
    } else {
      const auto ms = ParseTimeText(text);
      if (!ms) Fail(m::kNotAValidTime, text);
      result.integer_value = *ms;
    }
  } else if (type == kTypeTimeStamp) {
    if (source == kTypeTimeStamp) {
      result.real_value = value.real_value;
    } else if (source == kTypeDate) {
      result.real_value = static_cast<double>(value.integer_value) * kMillisecondsPerDay;
    } else if (source == kTypeTime) {
      result.real_value = static_cast<double>(value.integer_value);
    } else {
      const auto stamp = ParseTimeStampText(text);
      if (!stamp) Fail(m::kNotAValidDateTime, text);
      result.real_value = *stamp;
    }
  } else if (type == kTypeBoolean) {
    if (from_text) {
      const auto truth = ParseBooleanText(text);
      if (!truth) Fail(m::kNotAValidBoolean, text);
      result.integer_value = *truth ? 1 : 0;
    } else {
      result.integer_value = NumberAsReal(value) != 0.0 ? 1 : 0;
    }
  } else if (IsIntegerType(type)) {
    const std::int64_t low = WholeRange(type, false);
    const std::int64_t high = WholeRange(type, true);
    if (from_text) {
      const auto whole = ParseWholeNumberText(text, low, high);
      if (!whole) Fail(m::kNotAValidInteger, text);
      result.integer_value = *whole;
    } else if (source == kTypeFloat || source == kTypeBcd) {
      // Whole part, toward zero.
      const double whole = std::trunc(NumberAsReal(value));
      if (!(whole >= static_cast<double>(low) && whole <= static_cast<double>(high))) Fail(m::kNotAValidInteger, text);
      result.integer_value = static_cast<std::int64_t>(whole);
    } else {
      if (value.integer_value < low || value.integer_value > high) Fail(m::kNotAValidInteger, text);
      result.integer_value = value.integer_value;
    }
  } else if (type == kTypeFloat) {
    if (from_text) {
      const auto real = ParseFloatText(text);
      if (!real) Fail(m::kNotAValidFloat, text);
      result.real_value = *real;
    } else {
      result.real_value = NumberAsReal(value);
    }
  } else if (type == kTypeBcd) {
    if (from_text) {
      const auto scaled = ScaledFromText(text);
      if (!scaled) Fail(m::kNotAValidFloat, text);
      result.integer_value = *scaled;
    } else if (source == kTypeBcd) {
      result.integer_value = value.integer_value;
    } else if (source == kTypeFloat) {
      const double scaled = std::round(value.real_value * kBcdUnit);
      if (!(std::fabs(scaled) < 9.2e18)) Fail(m::kNotAValidFloat, text);
      result.integer_value = static_cast<std::int64_t>(scaled);
    } else {
      if (value.integer_value > std::numeric_limits<std::int64_t>::max() / kBcdUnit ||
          value.integer_value < std::numeric_limits<std::int64_t>::min() / kBcdUnit) {
        Fail(m::kNotAValidFloat, text);
      }
      result.integer_value = value.integer_value * kBcdUnit;
    }
  }
  if (value.is_null) result.SetNull();
  value.type = result.type;
  value.subtype = result.subtype;
  value.size = result.size;
  value.scale = result.scale;
  value.is_null = result.is_null;
  value.string_value = std::move(result.string_value);
  value.integer_value = result.integer_value;
  value.real_value = result.real_value;
}

}  // namespace telvora::engine
