#pragma once
// TDataFileHeader: the 127-byte header at the start of a table's data file.
//
//   Offset Width       Content
//   0      4 signed    change counter, +1 on every write of the header
//   4      4 unsigned  BLOB block size (low 16 bits used; 0 means 512)
//   8      1           format version, always 5
//   9      4 signed    head of the deleted-record chain, 0 = empty
//   13     4 signed    next record number (record slots + 1)
//   17     4 signed    last auto-increment value issued
//   21     2 unsigned  record size
//   23     2 unsigned  field count, 0 to 1,024
//   25     2 signed    number of BLOB fields
//   27     8 double    last-update stamp: local date-time − 693,594
//   35     51          description, short string (characters scrambled with
//                      the text key in an encrypted table)
//   86     1           encrypted flag
//   87     16          password, short string, characters scrambled with the
//                      text key; all zero when not encrypted
//   103    2 unsigned  language identifier of the locale, 0 = none
//   105    2 unsigned  sort identifier of the locale
//   107    2 unsigned  user major version
//   109    2 unsigned  user minor version
//   111    1           modified marker
//   112    4 signed    last BLOB key issued
//   116    8 signed    engine version that last wrote, × 10,000 (32400)
//   124    3           reserved, zero
//
// The data file header is never scrambled as a whole. The image is the
// authority for its counters; every operation that changes a counter sets
// the modified marker, which stays set until the owner has written the image
// (PrepareWrite, then the write, then ClearModified).
//
// Not thread-safe; owned by one data file object, used under its table's
// locks.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "storage/field_descriptor.h"
#include "storage/table_format.h"

namespace telvora::storage {

inline constexpr std::size_t kDataFileHeaderSize = 127;
inline constexpr std::int64_t kEngineVersion = 32400;  // 3.24 as a fixed-point × 10,000
inline constexpr std::uint16_t kMaxFieldCount = 1024;
inline constexpr std::int16_t kMaxBlobFieldCount = 128;
inline constexpr std::uint16_t kDefaultBlobBlockSize = 512;
inline constexpr std::uint16_t kMinBlobBlockSize = 64;
inline constexpr std::size_t kMaxPasswordLength = 15;
inline constexpr std::size_t kMaxDescriptionLength = 50;
inline constexpr std::uint32_t kRecordHeaderSize = 9;
inline constexpr std::uint16_t kAutoIncFieldOffset = 5;
inline constexpr std::uint32_t kMaxRecordSize = 65535;
inline constexpr std::int32_t kMaxCounterValue = 2147483647;

// Everything the table creation hands to a new data file; checked by the
// caller beforehand.
struct TDataFileCreation {
  std::uint16_t language_id = 0;
  std::uint16_t sort_id = 0;
  std::uint16_t blob_block_size = kDefaultBlobBlockSize;
  std::string description;
  std::string password;
  bool encrypted = false;
  std::uint16_t user_major_version = 1;
  std::uint16_t user_minor_version = 0;
};

class TDataFileHeader {
 public:
  static constexpr std::size_t kChangeCounterOffset = 0;
  static constexpr std::size_t kBlobBlockSizeOffset = 4;
  static constexpr std::size_t kVersionOffset = 8;
  static constexpr std::size_t kDeletedHeadOffset = 9;
  static constexpr std::size_t kNextRecordOffset = 13;
  static constexpr std::size_t kLastAutoIncOffset = 17;
  static constexpr std::size_t kRecordSizeOffset = 21;
  static constexpr std::size_t kFieldCountOffset = 23;
  static constexpr std::size_t kBlobFieldCountOffset = 25;
  static constexpr std::size_t kLastUpdateOffset = 27;
  static constexpr std::size_t kDescriptionOffset = 35;
  static constexpr std::size_t kDescriptionWidth = 51;
  static constexpr std::size_t kEncryptedOffset = 86;
  static constexpr std::size_t kPasswordOffset = 87;
  static constexpr std::size_t kPasswordWidth = 16;
  static constexpr std::size_t kLanguageIdOffset = 103;
  static constexpr std::size_t kSortIdOffset = 105;
  static constexpr std::size_t kUserMajorOffset = 107;
  static constexpr std::size_t kUserMinorOffset = 109;
  static constexpr std::size_t kModifiedOffset = 111;
  static constexpr std::size_t kLastBlobKeyOffset = 112;
  static constexpr std::size_t kEngineVersionOffset = 116;

  TDataFileHeader() { image_.fill(0); }
  // The image as read from the file (exactly 127 bytes expected; shorter
  // input is zero-filled, the caller having reported the short read).
  explicit TDataFileHeader(std::span<const std::uint8_t> image);

  // Fills a new header from the creation parameters and the descriptors,
  // which get their stored lengths, decimals copies and record offsets here
  // (record_layout rule: from 9 in field order, auto-increment at 5,
  // computed fields without room). Raises 9492 above 1,024 fields, 9498 for
  // more than 128 BLOB fields or a block size below 64, 9477 for a record
  // above 65,535 bytes. The result carries the modified marker.
  static TDataFileHeader Create(const TDataFileCreation& creation, std::span<TFieldDescriptor> descriptors,
                                const std::string& table);

  std::int32_t ChangeCounter() const;
  std::uint32_t StoredBlobBlockSize() const;
  // The effective block size: the low 16 bits, 512 when they are 0.
  std::uint16_t BlobBlockSize() const;
  std::uint8_t Version() const { return image_[kVersionOffset]; }
  std::int32_t DeletedChainHead() const;
  void SetDeletedChainHead(std::int32_t record_number);
  std::int32_t NextRecordNumber() const;
  void SetNextRecordNumber(std::int32_t record_number);
  std::int64_t PhysicalRecordCount() const { return std::int64_t{NextRecordNumber()} - 1; }
  std::int32_t LastAutoIncValue() const;
  // Stores the value (restructure, import); the marker is set when it differs.
  void SetLastAutoIncValue(std::int32_t value);
  // The last value moved on by one (2,147,483,647 wraps so that 1 follows),
  // stored, marker set; returns the new value.
  std::int32_t NextAutoIncValue();
  std::uint16_t RecordSize() const;
  std::uint16_t FieldCount() const;
  std::int16_t BlobFieldCount() const;
  double LastUpdateStamp() const;
  bool Encrypted() const { return image_[kEncryptedOffset] != 0; }
  std::uint8_t EncryptedByte() const { return image_[kEncryptedOffset]; }
  // Unscrambled with the text key when the table is encrypted.
  std::string Description() const;
  // Plain; empty when the table is not encrypted.
  std::string Password() const;
  std::uint16_t LanguageId() const;
  std::uint16_t SortId() const;
  std::uint16_t UserMajorVersion() const;
  std::uint16_t UserMinorVersion() const;
  bool Modified() const { return image_[kModifiedOffset] != 0; }
  std::int32_t LastBlobKey() const;
  void SetLastBlobKey(std::int32_t value);
  // Same rule as NextAutoIncValue, on offset 112.
  std::int32_t NextBlobKey();
  std::int64_t EngineVersion() const;

  // Marks a change not yet written: change counter + 1, marker set.
  void MarkModified();
  // Before a write: change counter + 1, last-update stamp from the given
  // local date-time (days since 1899-12-30), engine version 32400. The image
  // then is what goes to offset 0; the marker, if set, goes with it.
  void PrepareWrite(double local_date_time);
  // After the image reached the file, and after an open has read it.
  void ClearModified() { image_[kModifiedOffset] = 0; }

  std::span<const std::uint8_t> Image() const { return image_; }
  // Raw access for tests and repairs; changes made here do not set the marker.
  std::span<std::uint8_t> MutableImage() { return image_; }

 private:
  void SetModifiedMarker() { image_[kModifiedOffset] = 1; }
  std::int32_t NextCounterValue(std::size_t offset);

  std::array<std::uint8_t, kDataFileHeaderSize> image_;
};

// Days since 1899-12-30 as stored in the last-update stamp (the value minus
// 693,594: present-day stamps are negative).
double LastUpdateStampFromDateTime(double local_date_time);

// Stored lengths, decimals copies and offsets by the record size rule;
// returns the record size (which may exceed 65,535: the caller decides).
std::uint32_t AssignRecordLayout(std::span<TFieldDescriptor> descriptors);

}  // namespace telvora::storage
