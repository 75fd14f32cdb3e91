#pragma once
// Conversion of expression values between types (CAST and the conversion of
// constants), and the text form of every value.
//
// Texts: dates yyyy-mm-dd; times hh:mm[:ss[.zzz]] on the 12-hour clock
// followed by a blank and AM or PM; timestamps date, blank, time; booleans
// TRUE or FALSE; numbers with '.' as the decimal point. Reading a text
// accepts the forms of storage/value_text.h. A text that does not read as
// the target raises EExpressionConversionError with the message of its
// type. Converting NULL gives NULL of the target type; an empty string
// result is NULL.
//
// Pure functions; any thread.

#include <cstdint>
#include <stdexcept>
#include <string>

#include "engine/exp_token.h"

namespace telvora::engine {

// A value that cannot be converted; what() is the message.
class EExpressionConversionError : public std::runtime_error {
 public:
  explicit EExpressionConversionError(const std::string& message) : std::runtime_error(message) {}
};

// The scale BCD values are held at in a node (ten-thousandths).
inline constexpr std::int64_t kBcdUnit = 10000;

// The value's text form; "" for NULL.
std::string ValueText(const TExpToken& value);

// Converts the constant's value in place to the type. REQUIRES: `value` is
// a constant. size is a string's value size (declared length + 1; 0 keeps
// the whole text), scale a BCD's places.
void ConvertValue(TExpToken& value, std::uint8_t type, std::uint8_t subtype, int size, int scale);

// The checker's conversion of a string constant to a date, time or
// timestamp; false (changing nothing) when the text does not read as one.
bool ConvertStringToDateLike(TExpToken& value, std::uint8_t type);

// The type a text reads as for a timestamp-accepting target: a time when it
// holds ':' and no blank, a date when it holds neither, else a timestamp.
std::uint8_t DateLikeTypeOfText(const std::string& text);

}  // namespace telvora::engine
