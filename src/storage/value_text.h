#pragma once
// The texts a field descriptor may hold as its minimum, maximum and default
// value, and their conversion to values.
//
// Forms (keywords compared without regard to case, blanks around a text
// ignored):
//   date       yyyy-mm-dd (1-4 digit year 1..9999, 1-2 digit month and day)
//   time       hh:mm[:ss[.zzz]], with AM or PM (any case) anywhere in the
//              text; with AM/PM the hour is 0..12, 12 AM is 0 h and PM adds
//              12 h except to 12 PM; .zzz is a fraction of a second (.5 is
//              500 ms)
//   timestamp  date, blank, time; a text with ':' and no blank is a time
//              (on day 0), one with neither is a date (at midnight)
//   numbers    [sign]digits, or for Float and BCD digits with '.' as the
//              decimal point and an optional exponent
//
// Pure functions.

#include <cstdint>
#include <optional>
#include <string_view>

namespace telvora::storage {

inline constexpr std::string_view kCurrentDateKeyword = "CURRENT_DATE";
inline constexpr std::string_view kCurrentTimeKeyword = "CURRENT_TIME";
inline constexpr std::string_view kCurrentTimeStampKeyword = "CURRENT_TIMESTAMP";
inline constexpr std::string_view kTrueKeyword = "TRUE";
inline constexpr std::string_view kFalseKeyword = "FALSE";

// Day number (1 = 0001-01-01).
std::optional<std::int32_t> ParseDateText(std::string_view text);
// Milliseconds since midnight.
std::optional<std::int32_t> ParseTimeText(std::string_view text);
// Day number × 86,400,000 + milliseconds.
std::optional<double> ParseTimeStampText(std::string_view text);
std::optional<bool> ParseBooleanText(std::string_view text);
// A whole number within [minimum, maximum].
std::optional<std::int64_t> ParseWholeNumberText(std::string_view text, std::int64_t minimum,
                                                 std::int64_t maximum);
std::optional<double> ParseFloatText(std::string_view text);

// Whether a keyword (CURRENT_DATE, TRUE, ...) equals the text, ignoring case
// and surrounding blanks.
bool IsKeywordText(std::string_view text, std::string_view keyword);

// The open check's rule: an empty text is valid for every type; otherwise
// the text must have the form of the field type (see above). Types without
// a value form accept anything.
bool IsValidValueText(std::uint8_t type, std::string_view text);

}  // namespace telvora::storage
