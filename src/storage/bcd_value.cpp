#include "storage/bcd_value.h"

#include <cctype>
#include <limits>

namespace telvora::storage {
namespace {

constexpr std::size_t kPrecisionOffset = 0;
constexpr std::size_t kSignPlacesOffset = 1;
constexpr std::size_t kDigitsOffset = 2;
constexpr std::uint8_t kSignBit = 0x80;
constexpr std::uint8_t kPlacesMask = 0x3F;
// Exponents beyond this only produce digits no record can hold.
constexpr int kMaxExponent = 200;

// A decimal value as its digit string and the number of those digits after
// the point: digits "1250", places 2 is 12.50.
struct Decimal {
  bool negative = false;
  std::string digits;
  int places = 0;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Gives the value at least one integer digit, so that the places never
// exceed the digits (1e-5 parses as digits "1" with 5 places).
void PadIntegerDigit(Decimal& value) {
  const std::size_t needed = static_cast<std::size_t>(value.places) + 1;
  if (value.digits.size() < needed) value.digits.insert(0, needed - value.digits.size(), '0');
}

std::optional<Decimal> ParseDecimal(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  Decimal value;
  if (i < n && (text[i] == '+' || text[i] == '-')) value.negative = text[i++] == '-';
  bool any_digit = false;
  while (i < n && IsDigit(text[i])) {
    value.digits.push_back(text[i++]);
    any_digit = true;
  }
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && IsDigit(text[i])) {
      value.digits.push_back(text[i++]);
      ++value.places;
      any_digit = true;
    }
  }
  if (!any_digit) return std::nullopt;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool exponent_negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) exponent_negative = text[i++] == '-';
    if (i == n || !IsDigit(text[i])) return std::nullopt;
    int exponent = 0;
    while (i < n && IsDigit(text[i])) {
      if (exponent <= kMaxExponent) exponent = exponent * 10 + (text[i] - '0');
      ++i;
    }
    if (exponent > kMaxExponent) return std::nullopt;
    if (exponent_negative) {
      value.places += exponent;
    } else if (exponent <= value.places) {
      value.places -= exponent;
    } else {
      value.digits.append(static_cast<std::size_t>(exponent - value.places), '0');
      value.places = 0;
    }
  }
  while (i < n && text[i] == ' ') ++i;
  if (i != n) return std::nullopt;
  PadIntegerDigit(value);
  return value;
}

// Brings the value to exactly `places` places, rounding half away from zero.
void RoundToPlaces(Decimal& value, int places) {
  if (value.places <= places) {
    value.digits.append(static_cast<std::size_t>(places - value.places), '0');
    value.places = places;
    return;
  }
  const std::size_t drop = static_cast<std::size_t>(value.places - places);
  // Keep at least one digit position so that a carry out of a value like
  // 0.5 rounded to 0 places has somewhere to go.
  if (value.digits.size() <= drop) value.digits.insert(0, drop + 1 - value.digits.size(), '0');
  const bool round_up = value.digits[value.digits.size() - drop] >= '5';
  value.digits.resize(value.digits.size() - drop);
  value.places = places;
  if (!round_up) return;
  std::size_t i = value.digits.size();
  while (i > 0) {
    --i;
    if (value.digits[i] == '9') {
      value.digits[i] = '0';
    } else {
      ++value.digits[i];
      return;
    }
  }
  value.digits.insert(value.digits.begin(), '1');
}

void StripLeadingZeros(Decimal& value) {
  std::size_t integer_digits = value.digits.size() - static_cast<std::size_t>(value.places);
  std::size_t strip = 0;
  while (strip + 1 < integer_digits && value.digits[strip] == '0') ++strip;
  value.digits.erase(0, strip);
  if (integer_digits == 0) value.digits.insert(value.digits.begin(), '0');
}

bool IsZero(const Decimal& value) {
  return value.digits.find_first_not_of('0') == std::string::npos;
}

std::optional<BcdRecord> Encode(Decimal value, int places) {
  if (places < 0 || places > kBcdMaxPlaces) return std::nullopt;
  RoundToPlaces(value, places);
  StripLeadingZeros(value);
  if (value.digits.size() > static_cast<std::size_t>(kBcdMaxDigits)) return std::nullopt;
  BcdRecord bcd{};
  bcd[kPrecisionOffset] = static_cast<std::uint8_t>(value.digits.size());
  bcd[kSignPlacesOffset] = static_cast<std::uint8_t>(places);
  if (value.negative && !IsZero(value)) bcd[kSignPlacesOffset] |= kSignBit;
  for (std::size_t i = 0; i < value.digits.size(); ++i) {
    const auto nibble = static_cast<std::uint8_t>(value.digits[i] - '0');
    bcd[kDigitsOffset + i / 2] |= static_cast<std::uint8_t>(i % 2 == 0 ? nibble << 4 : nibble);
  }
  return bcd;
}

std::optional<Decimal> Decode(std::span<const std::uint8_t, kBcdSize> bcd) {
  const int precision = bcd[kPrecisionOffset];
  const int places = bcd[kSignPlacesOffset] & kPlacesMask;
  if (precision > kBcdMaxDigits || places > precision) return std::nullopt;
  Decimal value;
  value.negative = (bcd[kSignPlacesOffset] & kSignBit) != 0;
  value.places = places;
  for (int i = 0; i < precision; ++i) {
    const std::uint8_t byte = bcd[kDigitsOffset + static_cast<std::size_t>(i / 2)];
    const int nibble = i % 2 == 0 ? byte >> 4 : byte & 0x0F;
    if (nibble > 9) return std::nullopt;
    value.digits.push_back(static_cast<char>('0' + nibble));
  }
  PadIntegerDigit(value);
  return value;
}

std::optional<std::int64_t> ToScaled(Decimal value) {
  RoundToPlaces(value, kBcdKeyPlaces);
  // The magnitude of the most negative value is one more than the largest.
  const std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) +
                              (value.negative ? 1u : 0u);
  std::uint64_t magnitude = 0;
  for (char c : value.digits) {
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (magnitude > (limit - digit) / 10) return std::nullopt;
    magnitude = magnitude * 10 + digit;
  }
  if (!value.negative) return static_cast<std::int64_t>(magnitude);
  return magnitude == 0 ? 0 : static_cast<std::int64_t>(0 - magnitude);
}

}  // namespace

std::optional<BcdRecord> BcdFromScaled(std::int64_t ten_thousandths, int places) {
  Decimal value;
  value.negative = ten_thousandths < 0;
  const std::uint64_t magnitude = value.negative ? 0 - static_cast<std::uint64_t>(ten_thousandths)
                                                 : static_cast<std::uint64_t>(ten_thousandths);
  value.digits = std::to_string(magnitude);
  value.places = kBcdKeyPlaces;
  PadIntegerDigit(value);
  return Encode(std::move(value), places);
}

std::optional<BcdRecord> BcdFromText(std::string_view text, int places) {
  auto value = ParseDecimal(text);
  if (!value) return std::nullopt;
  return Encode(std::move(*value), places);
}

std::optional<std::int64_t> ScaledFromBcd(std::span<const std::uint8_t, kBcdSize> bcd) {
  auto value = Decode(bcd);
  if (!value) return std::nullopt;
  return ToScaled(std::move(*value));
}

std::optional<std::string> TextFromBcd(std::span<const std::uint8_t, kBcdSize> bcd) {
  auto value = Decode(bcd);
  if (!value) return std::nullopt;
  StripLeadingZeros(*value);
  std::string text;
  if (value->negative && !IsZero(*value)) text.push_back('-');
  const std::size_t integer_digits = value->digits.size() - static_cast<std::size_t>(value->places);
  text.append(value->digits, 0, integer_digits);
  if (value->places > 0) {
    text.push_back('.');
    text.append(value->digits, integer_digits, std::string::npos);
  }
  return text;
}

std::optional<std::int64_t> ScaledFromText(std::string_view text) {
  auto value = ParseDecimal(text);
  if (!value) return std::nullopt;
  return ToScaled(std::move(*value));
}

}  // namespace telvora::storage
