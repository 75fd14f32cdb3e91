#pragma once
// The 34-byte binary-coded decimal record that BCD fields store.
//
//   Offset Width Content
//   0      1     precision: number of decimal digits held, 0 to 64
//   1      1     sign and places: bit 7 set for a negative value, bits 0-5
//                the number of digits after the decimal point (<= precision)
//   2      32    the digits packed two per byte, high nibble first; nibbles
//                after the last digit are zero
//
// The record we write holds the integer digits without leading zeros (at
// least one digit) followed by exactly the places asked for, and never a
// negative zero. Any well-formed record is read, whatever its precision.
//
// Index keys and value checks see a BCD value as a 64-bit integer of
// ten-thousandths (four places): reading rounds extra places half away from
// zero, and a value outside the 64-bit range has no key form (nullopt).
// Decimal texts use '.' as the decimal point and may carry an exponent.
//
// Pure functions.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace telvora::storage {

inline constexpr std::size_t kBcdSize = 34;
inline constexpr int kBcdMaxDigits = 64;
inline constexpr int kBcdMaxPlaces = 63;
inline constexpr int kBcdKeyPlaces = 4;  // the fixed-point scale of keys and checks

using BcdRecord = std::array<std::uint8_t, kBcdSize>;

// The value ten_thousandths / 10,000 with `places` digits after the point,
// rounded half away from zero when places < 4. nullopt when places is above
// kBcdMaxPlaces or the digits would not fit.
std::optional<BcdRecord> BcdFromScaled(std::int64_t ten_thousandths, int places);

// A decimal text ([blanks][sign]digits[.digits][e[sign]digits][blanks]) with
// `places` digits after the point, rounded half away from zero. nullopt for
// a text that is not a number or a value that does not fit 64 digits.
std::optional<BcdRecord> BcdFromText(std::string_view text, int places);

// nullopt for a malformed record (precision above 64, places above the
// precision, a nibble above 9) or a value outside the 64-bit range.
std::optional<std::int64_t> ScaledFromBcd(std::span<const std::uint8_t, kBcdSize> bcd);

// The value as text with the record's places ("-12.50"); nullopt when
// malformed.
std::optional<std::string> TextFromBcd(std::span<const std::uint8_t, kBcdSize> bcd);

// A decimal text as ten-thousandths, rounded half away from zero; nullopt
// when it is not a number or does not fit 64 bits.
std::optional<std::int64_t> ScaledFromText(std::string_view text);

}  // namespace telvora::storage
