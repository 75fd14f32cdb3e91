#include "storage/date_time_values.h"

#include <ctime>

namespace telvora::storage {
namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days before 1 January of `year` counted from 1 January of year 1.
std::int32_t DaysBeforeYear(int year) {
  const std::int32_t y = year - 1;
  return y * 365 + y / 4 - y / 100 + y / 400;
}

}  // namespace

bool IsValidCalendarDate(int year, int month, int day) {
  return year >= kMinYear && year <= kMaxYear && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

std::int32_t DayNumberFromDate(int year, int month, int day) {
  std::int32_t days = DaysBeforeYear(year);
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return days + day;
}

CalendarDate DateFromDayNumber(std::int32_t day_number) {
  // Estimate the year from the mean Gregorian year, then correct by one.
  int year = static_cast<int>((static_cast<std::int64_t>(day_number) * 400) / 146097) + 1;
  while (year > 1 && DaysBeforeYear(year) >= day_number) --year;
  while (DaysBeforeYear(year + 1) < day_number) ++year;
  int remaining = day_number - DaysBeforeYear(year);
  int month = 1;
  while (remaining > DaysInMonth(year, month)) {
    remaining -= DaysInMonth(year, month);
    ++month;
  }
  return CalendarDate{year, month, remaining};
}

std::int32_t MillisecondsFromTime(int hour, int minute, int second, int millisecond) {
  return ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
}

double TimeStampFromDayAndMilliseconds(std::int32_t day_number, std::int32_t milliseconds) {
  return static_cast<double>(day_number) * kMillisecondsPerDay + milliseconds;
}

double DateTimeFromDayAndMilliseconds(std::int32_t day_number, std::int32_t milliseconds) {
  return static_cast<double>(day_number - kDayNumberOf18991230) +
         static_cast<double>(milliseconds) / kMillisecondsPerDay;
}

double CurrentLocalDateTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  const std::int32_t day =
      DayNumberFromDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  // A leap second (tm_sec 60) is counted as the last millisecond of the minute.
  const int second = local.tm_sec > 59 ? 59 : local.tm_sec;
  const std::int32_t ms = MillisecondsFromTime(local.tm_hour, local.tm_min, second,
                                               static_cast<int>(now.tv_nsec / 1000000));
  return DateTimeFromDayAndMilliseconds(day, ms);
}

}  // namespace telvora::storage
