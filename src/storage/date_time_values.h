#pragma once
// The engine's calendar numbers.
//
// Dates are day numbers of the proleptic Gregorian calendar with 1 January
// of year 1 as day 1 (so 30 December 1899 is day 693,594); times are
// milliseconds since midnight; a timestamp is day number × 86,400,000 +
// milliseconds. The date-time of the dataset layer (and of the data file's
// last-update stamp) counts days since 30 December 1899 with the time of day
// as the fraction.
//
// Pure functions except CurrentLocalDateTime, which reads the clock.

#include <cstdint>

namespace telvora::storage {

inline constexpr std::int32_t kDayNumberOf18991230 = 693594;
inline constexpr std::int32_t kMillisecondsPerDay = 86400000;
inline constexpr int kMinYear = 1;
inline constexpr int kMaxYear = 9999;

struct CalendarDate {
  int year;
  int month;
  int day;
  friend bool operator==(const CalendarDate&, const CalendarDate&) = default;
};

bool IsValidCalendarDate(int year, int month, int day);

// REQUIRES: IsValidCalendarDate(year, month, day).
std::int32_t DayNumberFromDate(int year, int month, int day);

// Any day number from 1 (0001-01-01) to that of 9999-12-31.
CalendarDate DateFromDayNumber(std::int32_t day_number);

std::int32_t MillisecondsFromTime(int hour, int minute, int second, int millisecond);

// The stored form of a timestamp: day number × 86,400,000 + milliseconds.
double TimeStampFromDayAndMilliseconds(std::int32_t day_number, std::int32_t milliseconds);

// Days since 30 December 1899, fraction = time of day.
double DateTimeFromDayAndMilliseconds(std::int32_t day_number, std::int32_t milliseconds);

// The local date and time of now, as a date-time value.
double CurrentLocalDateTime();

}  // namespace telvora::storage
