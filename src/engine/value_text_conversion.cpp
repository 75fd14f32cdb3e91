#include "engine/value_text_conversion.h"

#include <cmath>
#include <limits>
#include <optional>

#include "engine/locale_case.h"
#include "storage/bcd_value.h"
#include "storage/date_time_values.h"
#include "storage/field_types.h"
#include "storage/value_text.h"

namespace telvora::engine {
namespace {

using storage::TFieldLayout;

[[noreturn]] void Fail(std::string_view text, std::string_view what) {
  throw EValueConversionError("'" + std::string(text) + "' is not a valid " + std::string(what));
}

// Today's day number and the milliseconds since midnight, from one reading
// of the clock.
struct Now {
  std::int32_t day;
  std::int32_t milliseconds;
};

Now ReadClock() {
  const double now = storage::CurrentLocalDateTime();
  const double days = std::floor(now);
  auto ms = static_cast<std::int32_t>(std::llround((now - days) * storage::kMillisecondsPerDay));
  auto day = static_cast<std::int32_t>(days) + storage::kDayNumberOf18991230;
  if (ms >= storage::kMillisecondsPerDay) {
    ms -= storage::kMillisecondsPerDay;
    ++day;
  }
  return {day, ms};
}

std::int64_t WholeNumber(std::string_view text, std::int64_t minimum, std::int64_t maximum) {
  const std::optional<std::int64_t> value = storage::ParseWholeNumberText(text, minimum, maximum);
  if (!value) Fail(text, "integer value");
  return *value;
}

}  // namespace

storage::CaseMapping MakeCaseMapping(const Locale& locale) {
  return [locale](std::string_view text, storage::CharacterCase target) {
    std::string mapped(text);
    if (target == storage::CharacterCase::Upper) UpperCase(locale, mapped);
    if (target == storage::CharacterCase::Lower) LowerCase(locale, mapped);
    return mapped;
  };
}

bool StoreValueText(const storage::TFieldDescriptor& field, std::string_view text, const Locale& locale,
                    storage::TRecordImage& image) {
  const TFieldLayout layout = TFieldLayout::Of(field);
  if (layout.IsAutoInc()) return false;
  using storage::IsKeywordText;
  switch (layout.type) {
    case storage::kTypeString:
      image.SetString(layout, text, MakeCaseMapping(locale));
      return true;
    case storage::kTypeDate: {
      if (IsKeywordText(text, storage::kCurrentDateKeyword)) {
        image.SetDate(layout, ReadClock().day);
        return true;
      }
      const std::optional<std::int32_t> day = storage::ParseDateText(text);
      if (!day) Fail(text, "date");
      image.SetDate(layout, *day);
      return true;
    }
    case storage::kTypeTime: {
      if (IsKeywordText(text, storage::kCurrentTimeKeyword)) {
        image.SetTime(layout, ReadClock().milliseconds);
        return true;
      }
      const std::optional<std::int32_t> ms = storage::ParseTimeText(text);
      if (!ms) Fail(text, "time");
      image.SetTime(layout, *ms);
      return true;
    }
    case storage::kTypeTimeStamp: {
      const Now now = ReadClock();
      if (IsKeywordText(text, storage::kCurrentTimeStampKeyword)) {
        image.SetTimeStamp(layout, storage::TimeStampFromDayAndMilliseconds(now.day, now.milliseconds));
      } else if (IsKeywordText(text, storage::kCurrentDateKeyword)) {
        image.SetTimeStamp(layout, storage::TimeStampFromDayAndMilliseconds(now.day, 0));
      } else if (IsKeywordText(text, storage::kCurrentTimeKeyword)) {
        image.SetTimeStamp(layout, storage::TimeStampFromDayAndMilliseconds(0, now.milliseconds));
      } else {
        const std::optional<double> stamp = storage::ParseTimeStampText(text);
        if (!stamp) Fail(text, "date and time");
        image.SetTimeStamp(layout, *stamp);
      }
      return true;
    }
    case storage::kTypeBoolean: {
      const std::optional<bool> value = storage::ParseBooleanText(text);
      if (!value) Fail(text, "boolean");
      image.SetBoolean(layout, *value ? 1 : 0);
      return true;
    }
    case storage::kTypeSmallInt:
      image.SetSmallInt(layout, static_cast<std::int16_t>(WholeNumber(text, std::numeric_limits<std::int16_t>::min(),
                                                                      std::numeric_limits<std::int16_t>::max())));
      return true;
    case storage::kTypeInteger:
      image.SetInteger(layout, static_cast<std::int32_t>(WholeNumber(text, std::numeric_limits<std::int32_t>::min(),
                                                                     std::numeric_limits<std::int32_t>::max())));
      return true;
    case storage::kTypeWord:
      image.SetWord(layout, static_cast<std::uint16_t>(WholeNumber(text, 0, std::numeric_limits<std::uint16_t>::max())));
      return true;
    case storage::kTypeLargeInt:
      image.SetLargeInt(layout, WholeNumber(text, std::numeric_limits<std::int64_t>::min(),
                                            std::numeric_limits<std::int64_t>::max()));
      return true;
    case storage::kTypeFloat: {
      const std::optional<double> value = storage::ParseFloatText(text);
      if (!value) Fail(text, "floating point value");
      image.SetFloat(layout, *value);
      return true;
    }
    case storage::kTypeBcd: {
      const std::optional<storage::BcdRecord> value = storage::BcdFromText(text, field.Decimals());
      if (!value) Fail(text, "BCD value");
      image.SetBcd(layout, *value);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace telvora::engine
