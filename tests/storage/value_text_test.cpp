// Date, time, timestamp and number texts: their values and which texts each
// field type accepts as a minimum, maximum or default.

#include "storage/value_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ctime>
#include <optional>

#include "storage/date_time_values.h"
#include "storage/field_types.h"

namespace telvora::storage {
namespace {

TEST(ValueTextTest, DatesBecomeDayNumbersFromYearOne) {
  const struct {
    const char* text;
    std::optional<std::int32_t> day;
  } cases[] = {
      {"0001-01-01", 1},        {"1899-12-30", 693594},  {"1970-1-1", 719163},
      {"2024-01-01", 738886},   {"2000-02-29", 730179},  {"9999-12-31", 3652059},
      {" 2024-01-01 ", 738886}, {"1600-03-01", 584083},  {"1900-02-29", std::nullopt},
      {"2023-02-29", std::nullopt}, {"0000-01-01", std::nullopt}, {"2024-13-01", std::nullopt},
      {"2024-00-10", std::nullopt}, {"2024-01-32", std::nullopt}, {"2024/01/01", std::nullopt},
      {"10000-01-01", std::nullopt}, {"2024-01-01x", std::nullopt}, {"2024-001-01", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseDateText(c.text), c.day) << c.text;
}

TEST(ValueTextTest, DayNumbersTurnBackIntoTheSameCalendarDays) {
  CalendarDate previous = DateFromDayNumber(1);
  EXPECT_EQ(previous, (CalendarDate{1, 1, 1}));
  for (std::int32_t day = 2; day <= 3652059; ++day) {
    const CalendarDate date = DateFromDayNumber(day);
    const bool next_day = date.year == previous.year && date.month == previous.month && date.day == previous.day + 1;
    const bool next_month = date.year == previous.year && date.month == previous.month + 1 && date.day == 1;
    const bool next_year = date.year == previous.year + 1 && date.month == 1 && date.day == 1 &&
                           previous.month == 12 && previous.day == 31;
    ASSERT_TRUE(next_day || next_month || next_year) << day;
    ASSERT_EQ(DayNumberFromDate(date.year, date.month, date.day), day);
    previous = date;
  }
  EXPECT_EQ(previous, (CalendarDate{9999, 12, 31}));
}

TEST(ValueTextTest, CurrentLocalDateTimeIsToday) {
  // 25,569 is 1970-01-01 as days since 1899-12-30; local time differs from
  // UTC by less than a day.
  const double utc = static_cast<double>(std::time(nullptr)) / 86400.0 + 25569.0;
  EXPECT_LT(std::fabs(CurrentLocalDateTime() - utc), 1.0);
  EXPECT_EQ(DateTimeFromDayAndMilliseconds(693594 + 1, 43200000), 1.5);
}

TEST(ValueTextTest, TimesBecomeMillisecondsWithAmAndPmAnywhere) {
  const struct {
    const char* text;
    std::optional<std::int32_t> ms;
  } cases[] = {
      {"00:00", 0},
      {"10:30", 37800000},
      {"9:05:07", 32707000},
      {"23:59:59.999", 86399999},
      {"10:30:15.5", 37815500},
      {"10:30:15.05", 37815050},
      {"12:00 AM", 0},
      {"12:30 PM", 45000000},
      {"1:05 pm", 47100000},
      {"AM 10:30", 37800000},
      {"10:30am", 37800000},
      {"0:15 AM", 900000},
      {"13:00 PM", std::nullopt},
      {"24:00", std::nullopt},
      {"10:60", std::nullopt},
      {"10:30:60", std::nullopt},
      {"10", std::nullopt},
      {"10:30:15.1234", std::nullopt},
      {"10:30.5", std::nullopt},
      {"10:30 AM PM", std::nullopt},
      {"10 :30", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseTimeText(c.text), c.ms) << c.text;
}

TEST(ValueTextTest, TimeStampsAreDateBlankTimeOrEitherAlone) {
  constexpr double kDay = 86400000.0;
  const struct {
    const char* text;
    std::optional<double> value;
  } cases[] = {
      {"2024-01-01 10:30", 738886 * kDay + 37800000},
      {"2024-01-01 10:30:00 PM", 738886 * kDay + 81000000},
      {"2024-01-01", 738886 * kDay},
      {"10:30", 37800000.0},
      {"2024-01-01 25:00", std::nullopt},
      {"2024-02-30 10:00", std::nullopt},
      {"yesterday", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseTimeStampText(c.text), c.value) << c.text;
}

TEST(ValueTextTest, EachTypeAcceptsItsOwnForms) {
  const struct {
    std::uint8_t type;
    const char* text;
    bool valid;
  } cases[] = {
      {kTypeString, "anything at all", true},
      {kTypeBytes, "x", true},
      {kTypeVarBytes, "x", true},
      {kTypeDate, "current_date", true},
      {kTypeDate, "CURRENT_TIME", false},
      {kTypeDate, "2024-05-06", true},
      {kTypeTime, "Current_Time", true},
      {kTypeTime, "CURRENT_DATE", false},
      {kTypeTime, "18:00", true},
      {kTypeTimeStamp, "CURRENT_TIMESTAMP", true},
      {kTypeTimeStamp, "current_date", true},
      {kTypeTimeStamp, "CURRENT_TIME", true},
      {kTypeTimeStamp, "2024-05-06 18:00", true},
      {kTypeTimeStamp, "2024-05-06", true},
      {kTypeTimeStamp, "18:00", true},
      {kTypeBoolean, "true", true},
      {kTypeBoolean, "FALSE", true},
      {kTypeBoolean, "1", false},
      {kTypeSmallInt, "-32768", true},
      {kTypeSmallInt, "32767", true},
      {kTypeSmallInt, "32768", false},
      {kTypeSmallInt, "1.0", false},
      {kTypeInteger, "-2147483648", true},
      {kTypeInteger, "2147483648", false},
      {kTypeInteger, "+17", true},
      {kTypeWord, "65535", true},
      {kTypeWord, "-1", false},
      {kTypeLargeInt, "-9223372036854775808", true},
      {kTypeLargeInt, "9223372036854775808", false},
      {kTypeFloat, "3.25", true},
      {kTypeFloat, "-1.5e10", true},
      {kTypeFloat, "3,25", false},
      {kTypeFloat, "inf", false},
      {kTypeFloat, "1e999", false},
      {kTypeBcd, "12.3456", true},
      {kTypeBcd, "922337203685477.5807", true},
      {kTypeBcd, "922337203685477.5808", false},
      {kTypeBcd, "12,5", false},
      {kTypeBlob, "whatever", true},
      {kTypeDate, "", true},
      {kTypeInteger, "", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidValueText(c.type, c.text), c.valid) << int(c.type) << " '" << c.text << "'";
  }
}

}  // namespace
}  // namespace telvora::storage
