#pragma once
// The field type and subtype codes shared by the whole engine, and the room
// each type takes in a record and in a key.
//
// A field's stored length (descriptor offset 88) is derived from its type
// and declared size, never trusted from the file: the engine recomputes it
// before every check and at creation. Codes 19 and 24 and above have no
// stored length; code 0 has one (the size) but is refused by every check.
//
// Pure constants and functions.

#include <cstdint>
#include <optional>

namespace telvora::storage {

// Field type codes (descriptor offset 84).
inline constexpr std::uint8_t kTypeNone = 0;
inline constexpr std::uint8_t kTypeString = 1;
inline constexpr std::uint8_t kTypeDate = 2;
inline constexpr std::uint8_t kTypeBlob = 3;
inline constexpr std::uint8_t kTypeBoolean = 4;
inline constexpr std::uint8_t kTypeSmallInt = 5;
inline constexpr std::uint8_t kTypeInteger = 6;
inline constexpr std::uint8_t kTypeFloat = 7;
inline constexpr std::uint8_t kTypeBcd = 8;
inline constexpr std::uint8_t kTypeBytes = 9;
inline constexpr std::uint8_t kTypeTime = 10;
inline constexpr std::uint8_t kTypeTimeStamp = 11;
inline constexpr std::uint8_t kTypeWord = 12;
inline constexpr std::uint8_t kTypeFourBytes = 13;
inline constexpr std::uint8_t kTypeTenBytes = 14;
inline constexpr std::uint8_t kTypeVarBytes = 15;
inline constexpr std::uint8_t kTypeNoStorage16 = 16;
inline constexpr std::uint8_t kTypeNoStorage17 = 17;
inline constexpr std::uint8_t kTypeLargeInt = 18;
inline constexpr std::uint8_t kTypeAdt = 20;
inline constexpr std::uint8_t kTypeArray = 21;
inline constexpr std::uint8_t kTypeReference = 22;
inline constexpr std::uint8_t kTypeDataSet = 23;

// Field subtype codes (descriptor offset 85).
inline constexpr std::uint8_t kSubtypePlain = 0;
inline constexpr std::uint8_t kSubtypeMoney = 21;          // Float
inline constexpr std::uint8_t kSubtypeMemo = 22;           // BLOB
inline constexpr std::uint8_t kSubtypeFormattedMemo = 24;  // BLOB
inline constexpr std::uint8_t kSubtypeGraphic = 26;        // BLOB
inline constexpr std::uint8_t kSubtypeTypedBinary = 28;    // BLOB
inline constexpr std::uint8_t kSubtypeAutoInc = 29;        // Integer
inline constexpr std::uint8_t kSubtypeFixedString = 31;    // String
inline constexpr std::uint8_t kSubtypeWideString = 32;     // String

// The largest declared size of a String, Bytes or VarBytes field.
inline constexpr std::uint8_t kMaxDeclaredSize = 250;
// A BCD value takes this many bytes in a key instead of its 34.
inline constexpr std::uint8_t kBcdKeyLength = 8;

// Types whose declared size is given by the user (1, 9, 15); every other
// type must declare size 0.
constexpr bool HasDeclaredSize(std::uint8_t type) {
  return type == kTypeString || type == kTypeBytes || type == kTypeVarBytes;
}

// The auto-increment field lives in the record header (offset 5) and has no
// slot of its own.
constexpr bool IsAutoInc(std::uint8_t type, std::uint8_t subtype) {
  return type == kTypeInteger && subtype == kSubtypeAutoInc;
}

// Stored length in the record for a type and declared size; nullopt for a
// code the engine does not know.
constexpr std::optional<std::uint8_t> StoredLengthOf(std::uint8_t type, std::uint8_t size) {
  switch (type) {
    case kTypeString:
      // Declared sizes above 250 are refused by the checks; 255 would not
      // fit the stored-length byte.
      return size == 255 ? std::nullopt : std::optional<std::uint8_t>(static_cast<std::uint8_t>(size + 1));
    case kTypeDate: return 4;
    case kTypeBlob: return 8;
    case kTypeBoolean: return 2;
    case kTypeSmallInt: return 2;
    case kTypeInteger: return 4;
    case kTypeFloat: return 8;
    case kTypeBcd: return 34;
    case kTypeTime: return 4;
    case kTypeTimeStamp: return 8;
    case kTypeWord: return 2;
    case kTypeFourBytes: return 4;
    case kTypeTenBytes: return 10;
    case kTypeLargeInt: return 8;
    case kTypeNone:
    case kTypeBytes:
    case kTypeVarBytes:
    case kTypeNoStorage16:
    case kTypeNoStorage17:
    case kTypeAdt:
    case kTypeArray:
    case kTypeReference:
    case kTypeDataSet:
      return size;
    default:
      return std::nullopt;
  }
}

// Bytes a field of this type takes in a key after its flag byte: the stored
// length, except BCD, which keys as an 8-byte fixed-point integer.
constexpr std::optional<std::uint8_t> KeyLengthOf(std::uint8_t type, std::uint8_t size) {
  if (type == kTypeBcd) return kBcdKeyLength;
  return StoredLengthOf(type, size);
}

}  // namespace telvora::storage
