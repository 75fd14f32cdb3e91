#pragma once
// TBlobFileHeader: the 512-byte header at the start of a table's BLOB file.
//
//   Offset Width     Content
//   0      4 signed  change counter
//   4      4         reserved, zero
//   8      1         format version, always 5
//   9      4 signed  head of the free block chain, 0 = none
//   13     4 signed  next block number (blocks in the file + 1)
//   17     1         modified marker
//   18     494       reserved, zero
//
// Kept plain in memory; scrambled as a whole with the data key in the file
// of an encrypted table. Every setter that changes the image sets the
// modified marker. Not thread-safe; owned by one BLOB file object.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace telvora::storage {

inline constexpr std::size_t kBlobFileHeaderSize = 512;

class TBlobFileHeader {
 public:
  static constexpr std::size_t kChangeCounterOffset = 0;
  static constexpr std::size_t kVersionOffset = 8;
  static constexpr std::size_t kFreeHeadOffset = 9;
  static constexpr std::size_t kNextBlockOffset = 13;
  static constexpr std::size_t kModifiedOffset = 17;

  TBlobFileHeader() { image_.fill(0); }
  explicit TBlobFileHeader(std::span<const std::uint8_t> image);

  // Version 5, free head 0, next block 1, modified marker 1.
  static TBlobFileHeader New();
  static TBlobFileHeader FromFileImage(std::span<const std::uint8_t> file_image, bool encrypted);
  std::array<std::uint8_t, kBlobFileHeaderSize> ImageForFile(bool encrypted) const;

  std::int32_t ChangeCounter() const;
  std::uint8_t Version() const { return image_[kVersionOffset]; }
  std::int32_t FreeChainHead() const;
  void SetFreeChainHead(std::int32_t block);
  std::int32_t NextBlockNumber() const;
  void SetNextBlockNumber(std::int32_t block);
  bool Modified() const { return image_[kModifiedOffset] != 0; }

  void MarkModified();
  void PrepareWrite();  // change counter + 1
  void ClearModified() { image_[kModifiedOffset] = 0; }

  std::span<const std::uint8_t> Image() const { return image_; }
  std::span<std::uint8_t> MutableImage() { return image_; }

 private:
  void SetModifiedMarker() { image_[kModifiedOffset] = 1; }

  std::array<std::uint8_t, kBlobFileHeaderSize> image_;
};

}  // namespace telvora::storage
