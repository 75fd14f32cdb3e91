#pragma once
// The groups of expression value types the type rules speak of, and the
// value size a node of each type has.
//
// "Integers" are small integer, integer, word and large integer; "numbers"
// the integers, float and BCD; "strings" a string or a memo (a BLOB of the
// memo subtype); bytes and varbytes are one group. Type 0 is the untyped
// NULL of the keyword NULL.
//
// Pure functions.

#include <cstdint>

#include "storage/field_types.h"

namespace telvora::engine {

// Value size of a node holding a memo's or BLOB's text reference.
inline constexpr int kBlobValueSize = 4;
// String value size used when a result's length is not known beforehand.
inline constexpr int kUnboundedStringSize = storage::kMaxDeclaredSize + 1;

constexpr bool IsIntegerType(std::uint8_t type) {
  return type == storage::kTypeSmallInt || type == storage::kTypeInteger || type == storage::kTypeWord ||
         type == storage::kTypeLargeInt;
}
constexpr bool IsNumberType(std::uint8_t type) {
  return IsIntegerType(type) || type == storage::kTypeFloat || type == storage::kTypeBcd;
}
constexpr bool IsMemoType(std::uint8_t type, std::uint8_t subtype) {
  return type == storage::kTypeBlob && subtype == storage::kSubtypeMemo;
}
constexpr bool IsStringType(std::uint8_t type, std::uint8_t subtype) {
  return type == storage::kTypeString || IsMemoType(type, subtype);
}
constexpr bool IsBytesType(std::uint8_t type) {
  return type == storage::kTypeBytes || type == storage::kTypeVarBytes;
}
constexpr bool IsDateLikeType(std::uint8_t type) {
  return type == storage::kTypeDate || type == storage::kTypeTime || type == storage::kTypeTimeStamp;
}

// The value size of a type that has a fixed one; 0 for strings and bytes
// (their size comes from their length).
constexpr int FixedValueSize(std::uint8_t type) {
  switch (type) {
    case storage::kTypeDate:
    case storage::kTypeInteger:
    case storage::kTypeTime:
      return 4;
    case storage::kTypeBlob:
      return kBlobValueSize;
    case storage::kTypeBoolean:
    case storage::kTypeSmallInt:
    case storage::kTypeWord:
      return 2;
    case storage::kTypeFloat:
    case storage::kTypeTimeStamp:
    case storage::kTypeLargeInt:
      return 8;
    case storage::kTypeBcd:
      return 34;
    default:
      return 0;
  }
}

}  // namespace telvora::engine
