#pragma once
// TRecordImage: a view over one record image, the bytes of a record slot and
// of the record buffer the cursor and the table component exchange.
//
//   Offset Width     Content
//   0      1         deleted flag: 0 active, 1 deleted
//   1      4 signed  active: the slot's own record number; deleted: the next
//                    slot of the deleted-record chain, 0 at its end
//   5      4 signed  record id (the record's auto-increment value; also the
//                    value of an auto-increment field, whose offset is 5)
//   9 ...            per field other than auto-increment, at its offset:
//                    one flag byte (1 value, 0 null), then stored-length
//                    bytes of value
//
// Value bytes by type:
//   String     characters and a zero byte within size + 1 bytes; written
//              values lose trailing blanks, take the field's character case,
//              and are null when nothing is left
//   Date       int32 day number, 1 = 0001-01-01, 693,594 = 1899-12-30
//   BLOB       int32 first block (0 = empty), int32 BLOB key; the flag is
//              1 exactly when the first block is not 0
//   Boolean    uint16 0 or 1 (any non-zero written value is stored as 1)
//   SmallInt   int16        Integer  int32        Float  double (and money)
//   BCD        the 34-byte record of bcd_value.h
//   Time       int32 milliseconds since midnight
//   TimeStamp  double, day number × 86,400,000 + milliseconds
//   Word       uint16       LargeInt int64
//   Bytes, VarBytes, 4- and 10-byte values: raw bytes as supplied
//
// A null field has flag 0 and all value bytes 0 (a BLOB only its 4
// reference bytes; its key bytes are left). The view does not own the bytes;
// it is as thread-safe as the buffer it views.
// REQUIRES (every field accessor): the layout comes from a checked
// descriptor of this table, so the field lies inside the image.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "storage/bcd_value.h"
#include "storage/field_descriptor.h"

namespace telvora::storage {

// Where and how a field lies in the record image, taken from its descriptor.
struct TFieldLayout {
  std::uint8_t type = 0;
  std::uint8_t subtype = 0;
  std::uint16_t offset = 0;
  std::uint8_t stored_length = 0;
  CharacterCase character_case = CharacterCase::Unchanged;

  static TFieldLayout Of(const TFieldDescriptor& descriptor);
  bool IsAutoInc() const;
};

// Lower- or upper-cases a string under the table's locale.
using CaseMapping = std::function<std::string(std::string_view text, CharacterCase target)>;

class TRecordImage {
 public:
  static constexpr std::size_t kDeletedFlagOffset = 0;
  static constexpr std::size_t kRecordNumberOffset = 1;
  static constexpr std::size_t kRecordIdOffset = 5;
  static constexpr std::size_t kHeaderSize = 9;

  explicit TRecordImage(std::span<std::uint8_t> bytes) : bytes_(bytes) {}

  bool Deleted() const { return bytes_[kDeletedFlagOffset] != 0; }
  void SetDeleted(bool deleted) { bytes_[kDeletedFlagOffset] = deleted ? 1 : 0; }
  // The record number of an active slot, the chain link of a deleted one.
  std::int32_t RecordNumber() const;
  void SetRecordNumber(std::int32_t value);
  std::int32_t RecordId() const;
  void SetRecordId(std::int32_t value);

  bool IsNull(const TFieldLayout& field) const;
  // Flag 0 and the value bytes zeroed; an auto-increment field is left alone.
  void SetNull(const TFieldLayout& field);

  // The characters up to the terminator; "" when null.
  std::string GetString(const TFieldLayout& field) const;
  // Cut to size + 1 characters, trailing blanks removed, case applied
  // (case_mapping is called only for lower or upper case), at most size
  // characters stored with their terminator, the rest of the field zeroed;
  // an empty result is stored as null.
  void SetString(const TFieldLayout& field, std::string_view value, const CaseMapping& case_mapping);

  std::int32_t GetDate(const TFieldLayout& field) const;
  void SetDate(const TFieldLayout& field, std::int32_t day_number);
  std::int32_t GetTime(const TFieldLayout& field) const;
  void SetTime(const TFieldLayout& field, std::int32_t milliseconds);
  double GetTimeStamp(const TFieldLayout& field) const;
  void SetTimeStamp(const TFieldLayout& field, double value);
  bool GetBoolean(const TFieldLayout& field) const;
  void SetBoolean(const TFieldLayout& field, std::uint16_t value);
  std::int16_t GetSmallInt(const TFieldLayout& field) const;
  void SetSmallInt(const TFieldLayout& field, std::int16_t value);
  // An auto-increment field reads and writes the record id at offset 5.
  std::int32_t GetInteger(const TFieldLayout& field) const;
  void SetInteger(const TFieldLayout& field, std::int32_t value);
  double GetFloat(const TFieldLayout& field) const;
  void SetFloat(const TFieldLayout& field, double value);
  BcdRecord GetBcd(const TFieldLayout& field) const;
  void SetBcd(const TFieldLayout& field, const BcdRecord& value);
  std::uint16_t GetWord(const TFieldLayout& field) const;
  void SetWord(const TFieldLayout& field, std::uint16_t value);
  std::int64_t GetLargeInt(const TFieldLayout& field) const;
  void SetLargeInt(const TFieldLayout& field, std::int64_t value);
  std::int32_t GetBlobFirstBlock(const TFieldLayout& field) const;
  std::int32_t GetBlobKey(const TFieldLayout& field) const;
  void SetBlobReference(const TFieldLayout& field, std::int32_t first_block, std::int32_t blob_key);

  // The stored-length value bytes after the flag (raw types).
  std::span<const std::uint8_t> ValueBytes(const TFieldLayout& field) const;
  // Copies the bytes (zero-filled or cut to the stored length), flag 1.
  void SetValueBytes(const TFieldLayout& field, std::span<const std::uint8_t> value);

  std::span<std::uint8_t> Bytes() const { return bytes_; }

 private:
  std::span<std::uint8_t> Value(const TFieldLayout& field) const;
  void SetHasValue(const TFieldLayout& field) { bytes_[field.offset] = 1; }

  std::span<std::uint8_t> bytes_;
};

}  // namespace telvora::storage
