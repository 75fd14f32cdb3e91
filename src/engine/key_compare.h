#pragma once
// Compare keys: the order of the entries of an index, which the index pages
// are searched and kept sorted by.
//
// A key is built from a record field by field in index order: per field a
// null-flag byte (1 value, 0 null) and the field's key bytes (a string
// zero-filled to its length, upper-cased first for a case-insensitive index;
// numbers big-endian with the sign flipped); a non-unique index appends the
// record id (4 bytes) to make every key distinct. Two reserved slots have
// keys of their own: the record slot index (31), a status byte and the
// record id, and the text index (32), a 3-byte head (flag byte and field
// number), a 61-byte word and the record id.
//
// The order:
// - record slot index: unsigned bytes;
// - text index: the head as unsigned bytes, then the word under the locale
//   (case-sensitive: words are stored upper-cased), then the record id as
//   unsigned bytes;
// - byte-order table: unsigned bytes, reversed when the index descends (a
//   descending field of such a table is stored inverted, so it needs no
//   care here);
// - under a locale, field by field while the compared length lasts: the
//   null-flag byte as an unsigned byte, then a string value under the locale
//   (case-sensitive, at most the field's key length) or any other value as
//   unsigned bytes; a field's result is reversed when the index or the
//   field descends. Bytes after the last field (the record id) compare as
//   unsigned bytes, reversed when the index descends, so that equal values
//   keep the same record-id order under every locale and a range whose keys
//   are filled with the highest values of a descending index starts before
//   its equal entries, not after them.
//
// KeyDescription is what the comparison needs of an index descriptor; the
// caller fills it from the index it works on. Pure functions: any thread.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/locale.h"

namespace telvora::engine {

// Reserved index slots.
inline constexpr int kRecordSlotIndexSlot = 31;
inline constexpr int kTextIndexSlot = 32;

// Layout of a text index key.
inline constexpr std::size_t kTextKeyHeadLength = 3;
inline constexpr std::size_t kTextKeyWordLength = 61;
inline constexpr std::size_t kTextKeyRecordIdLength = 4;
inline constexpr std::size_t kTextKeyLength =
    kTextKeyHeadLength + kTextKeyWordLength + kTextKeyRecordIdLength;

// The field type code of a string field; its key bytes compare under the
// locale.
inline constexpr std::uint8_t kStringFieldTypeCode = 1;

// Bytes of a key field besides its value: the null-flag byte.
inline constexpr std::size_t kKeyFieldFlagLength = 1;

struct KeyFieldDescription {
  std::uint8_t field_type = 0;  // field type code
  std::size_t key_length = 0;   // value bytes in the key, without the flag byte
  bool descending = false;
};

struct KeyDescription {
  int slot = 0;             // index slot; 31 and 32 are the reserved ones
  bool descending = false;  // the index descends as a whole
  std::vector<KeyFieldDescription> fields;  // in key order
  Locale locale;                            // the table's
};

// Compares the first length bytes of key1 and key2: -1, 0 or 1.
// REQUIRES: both keys hold at least length bytes.
int CompareKeys(const KeyDescription& index, const std::uint8_t* key1, const std::uint8_t* key2,
                std::size_t length);

}  // namespace telvora::engine
