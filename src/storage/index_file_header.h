#pragma once
// TIndexFileHeader: the 4096-byte header at the start of a table's index
// file (page 0).
//
//   Offset        Width     Content
//   0             4 signed  change counter
//   4             4         reserved, zero
//   8             1         format version, always 5
//   9             4 signed  next page number (pages in the file + 1)
//   13            1         number of secondary indexes, 0 to 30
//   14 + 120 × k  120       index descriptor k, k = 0..32: 0 primary, 1..30
//                           secondary, 31 record-id index "Sys Deleted",
//                           32 text index "Sys Text"
//   3974          4 signed  number of active records in the table
//   3978          1         primary-index-unavailable flag
//   3979          1         modified marker
//   3980          116       reserved, zero
//
// The image is kept plain in memory; in an encrypted table the file holds it
// scrambled as a whole with the data key (ImageForFile / FromFileImage).
// Every setter that changes the image sets the modified marker.
//
// Not thread-safe; owned by one index file object, used under its table's
// locks.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "storage/index_descriptor.h"

namespace telvora::storage {

inline constexpr std::size_t kIndexFileHeaderSize = 4096;
inline constexpr int kPrimaryIndexSlot = 0;
inline constexpr int kMaxSecondaryIndexes = 30;
inline constexpr int kRecordIdIndexSlot = 31;
inline constexpr int kTextIndexSlot = 32;
inline constexpr int kIndexSlotCount = 33;
// The secondary count an opened index file may claim before the full check.
inline constexpr int kMaxSecondaryCountOnOpen = 32;
inline constexpr std::string_view kRecordIdIndexName = "Sys Deleted";
inline constexpr std::string_view kTextIndexName = "Sys Text";
inline constexpr std::int16_t kRecordIdKeyLength = 5;
inline constexpr std::int16_t kTextKeyLength = 68;

class TIndexFileHeader {
 public:
  static constexpr std::size_t kChangeCounterOffset = 0;
  static constexpr std::size_t kVersionOffset = 8;
  static constexpr std::size_t kNextPageOffset = 9;
  static constexpr std::size_t kSecondaryCountOffset = 13;
  static constexpr std::size_t kDescriptorsOffset = 14;
  static constexpr std::size_t kActiveRecordsOffset = 3974;
  static constexpr std::size_t kPrimaryUnavailableOffset = 3978;
  static constexpr std::size_t kModifiedOffset = 3979;

  TIndexFileHeader() { image_.fill(0); }
  explicit TIndexFileHeader(std::span<const std::uint8_t> image);

  // The header of a new index file: version 5, next page 1, the two reserved
  // slots named and sized (record-id index key length 5, no compression;
  // text index key length 68, compression 3; neither unique nor with key
  // fields), active count 0, modified marker 1, every other byte zero.
  static TIndexFileHeader New();

  // The header as read from the file: unscrambled with the data key when the
  // table is encrypted.
  static TIndexFileHeader FromFileImage(std::span<const std::uint8_t> file_image, bool encrypted);
  // The image to write at offset 0, scrambled when encrypted.
  std::array<std::uint8_t, kIndexFileHeaderSize> ImageForFile(bool encrypted) const;

  std::int32_t ChangeCounter() const;
  std::uint8_t Version() const { return image_[kVersionOffset]; }
  std::int32_t NextPageNumber() const;
  void SetNextPageNumber(std::int32_t page);
  std::uint8_t SecondaryIndexCount() const { return image_[kSecondaryCountOffset]; }
  void SetSecondaryIndexCount(std::uint8_t count);
  // REQUIRES: 0 <= slot < 33.
  TIndexDescriptor Descriptor(int slot) const;
  void SetDescriptor(int slot, const TIndexDescriptor& descriptor);
  std::int32_t ActiveRecordCount() const;
  void SetActiveRecordCount(std::int32_t count);
  void IncrementActiveRecordCount();
  void DecrementActiveRecordCount();
  bool PrimaryIndexUnavailable() const { return image_[kPrimaryUnavailableOffset] != 0; }
  // Setting the flag clears the primary descriptor (TIndexDescriptor::
  // ClearForPrimaryUnavailable); clearing it leaves the descriptor alone.
  void SetPrimaryIndexUnavailable(bool unavailable);
  bool Modified() const { return image_[kModifiedOffset] != 0; }

  void MarkModified();
  // Before a write: change counter + 1.
  void PrepareWrite();
  void ClearModified() { image_[kModifiedOffset] = 0; }

  std::span<const std::uint8_t> Image() const { return image_; }
  // Raw access for tests and repairs; changes made here do not set the marker.
  std::span<std::uint8_t> MutableImage() { return image_; }

 private:
  static std::size_t DescriptorOffset(int slot);
  void SetModifiedMarker() { image_[kModifiedOffset] = 1; }

  std::array<std::uint8_t, kIndexFileHeaderSize> image_;
};

}  // namespace telvora::storage
