#pragma once
// The keys of an index, built from record images.
//
// A key (K bytes) holds, per key field in the order of the index descriptor,
// one flag byte (1 value, 0 null) and the field's key bytes; a non-unique
// index appends the record id (4 bytes) so that every key is distinct.
//
//   Type                          Key bytes (after the flag byte)
//   String                        the characters, zero-filled to the stored
//                                 length; upper-cased first for a
//                                 case-insensitive index
//   SmallInt, Integer, Date,      big-endian, sign bit inverted
//   Time, LargeInt
//   Word, Boolean                 big-endian
//   Float, TimeStamp (money)      the double big-endian; values >= 0 with the
//                                 sign bit set, negative values all bits
//                                 inverted
//   BCD                           64-bit ten-thousandths, big-endian, sign
//                                 bit inverted (8 bytes instead of 34)
//   other types                   the stored bytes unchanged
//
// A null field keys as the value zero. On a table without a locale (byte
// order) a field whose own descending flag is set in an index that does not
// descend as a whole is stored inverted: the flag byte and every value byte,
// except the last byte of a string (its terminator room), so that plain byte
// comparison sorts it backwards. Under a locale the comparison reverses such
// fields instead.
//
// The reserved slots key on their own: the record-id index (slot 31, K = 5)
// on the deleted flag and the record id; the text index (slot 32, K = 68) on
// a flag byte, the field number, a 61-byte word and the record id.
//
// Pure functions and value types; any thread.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/field_descriptor.h"
#include "storage/index_descriptor.h"
#include "storage/record_image.h"

namespace telvora::storage {

// The largest sum of (key bytes + 1) over the key fields of an index.
inline constexpr std::size_t kMaxKeyFieldsLength = 522;
// The record id that ends the keys of non-unique indexes.
inline constexpr std::size_t kRecordIdSuffixLength = 4;
inline constexpr std::size_t kKeyFlagLength = 1;

// Text index key: flag byte, field number, word, record id.
inline constexpr std::size_t kTextKeyFlagOffset = 0;
inline constexpr std::size_t kTextKeyFieldNumberOffset = 1;
inline constexpr std::size_t kTextKeyWordOffset = 3;
inline constexpr std::size_t kTextKeyWordLength = 61;
inline constexpr std::size_t kTextKeyRecordIdOffset = 64;
inline constexpr std::uint8_t kTextKeyFlag = 1;

// Upper-cases length bytes in place under the table's locale (a table without
// one maps under United States English). The engine supplies it; storage
// knows no locales.
using KeyUpperCase = std::function<void(char* text, std::size_t length)>;

// One key field: where the field lies in the record and its key bytes.
struct TKeyField {
  TFieldLayout layout;
  std::uint16_t field_number = 0;
  std::size_t key_length = 0;  // value bytes in the key, after the flag byte
  bool descending = false;     // the field's own descending flag
};

// What building a key needs of an index and its table.
struct TIndexKeyDefinition {
  int slot = 0;
  bool unique = true;
  bool descending = false;        // the index as a whole
  bool case_insensitive = false;
  bool byte_order = true;         // the table has no locale (language id 0)
  std::vector<TKeyField> fields;  // in key order
  std::size_t key_length = 0;     // K, the suffix included

  bool HasRecordIdSuffix() const { return !unique; }
};

// Reads the key fields of an index from its descriptor and the table's field
// descriptors and computes K. Raises, with the table and index names:
//   12292 a key field is a BLOB (the field's name as the field text);
//   10026 the fields take more than 522 bytes, or none while the index needs
//         some (every index but a primary whose order is unavailable);
//   8961  a key field number names no field of the table.
TIndexKeyDefinition DefineIndexKey(const TIndexDescriptor& index, int slot,
                                   std::span<const TFieldDescriptor> fields, bool byte_order,
                                   bool primary_unavailable, const std::string& table_name);

// Writes the key of a record into out (K bytes). REQUIRES: out.size() >=
// definition.key_length; upper_case is given when the index is
// case-insensitive.
void BuildKey(const TIndexKeyDefinition& definition, const TRecordImage& record,
              const KeyUpperCase& upper_case, std::span<std::uint8_t> out);
std::vector<std::uint8_t> BuildKey(const TIndexKeyDefinition& definition, const TRecordImage& record,
                                   const KeyUpperCase& upper_case);

// The record-id index key: the deleted flag, then the record id as an
// Integer key.
std::array<std::uint8_t, 5> RecordIdIndexKey(bool deleted, std::int32_t record_id);

// The text index key. The word is cut to 61 bytes and zero-padded; it is
// expected upper-cased already.
std::array<std::uint8_t, 68> TextIndexKey(std::uint16_t field_number, std::string_view word,
                                          std::int32_t record_id);

// Key encodings of single values, shared with callers that build search keys
// from values rather than records.
void EncodeSignedKey(std::int64_t value, std::span<std::uint8_t> out);  // out.size() 2, 4 or 8
void EncodeUnsignedKey(std::uint64_t value, std::span<std::uint8_t> out);
void EncodeDoubleKey(double value, std::span<std::uint8_t, 8> out);

}  // namespace telvora::storage
