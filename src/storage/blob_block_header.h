#pragma once
// TBlobBlockHeader: the 18-byte header at the start of every BLOB block, and
// the rest of the block image format.
//
// A BLOB file holds its 512-byte header and then blocks of B bytes (B from
// the data file header, 0 meaning 512, at least 64); block n (n >= 1) starts
// at 512 + (n - 1) × B. Each block image is:
//
//   Offset Width      Content
//   0      4 signed   previous block of the same value, 0 for the first
//   4      4 signed   next block of the same value, 0 for the last; for a
//                     free block the next block of the free chain
//   8      2 unsigned data bytes used in this block
//   10     4 signed   BLOB key of the value the block belongs to
//   14     4 signed   total length of the value (first block only; 0 in the
//                     others)
//   18     B - 18     data
//
// In an encrypted table the header part and the data part are scrambled
// each on its own with the data key, each starting again from the key.
//
// Pure value type and functions; any thread.

#include <cstddef>
#include <cstdint>
#include <span>

namespace telvora::storage {

inline constexpr std::size_t kBlobBlockHeaderSize = 18;
// The BLOB file header that comes before block 1.
inline constexpr std::uint64_t kFirstBlobBlockOffset = 512;
// A new block at the end of the file is refused (9479) when its number would
// pass this or its end would pass kMaxBlobFileEnd.
inline constexpr std::int32_t kMaxBlobBlockNumber = 2000000000;
inline constexpr std::uint64_t kMaxBlobFileEnd = 4000000000ULL;

struct TBlobBlockHeader {
  static constexpr std::size_t kPreviousOffset = 0;
  static constexpr std::size_t kNextOffset = 4;
  static constexpr std::size_t kUsedBytesOffset = 8;
  static constexpr std::size_t kBlobKeyOffset = 10;
  static constexpr std::size_t kTotalLengthOffset = 14;

  std::int32_t previous = 0;
  std::int32_t next = 0;
  std::uint16_t used_bytes = 0;
  std::int32_t blob_key = 0;
  std::int32_t total_length = 0;

  // REQUIRES: image holds at least kBlobBlockHeaderSize bytes.
  static TBlobBlockHeader Unpack(std::span<const std::uint8_t> image);
  void Pack(std::span<std::uint8_t> image) const;

  bool operator==(const TBlobBlockHeader&) const = default;
};

// The data bytes a block of block_size bytes carries.
constexpr std::size_t BlobBlockDataSize(std::uint16_t block_size) {
  return block_size > kBlobBlockHeaderSize ? block_size - kBlobBlockHeaderSize : 0;
}

// Byte position of block n in the BLOB file. REQUIRES: n >= 1.
constexpr std::uint64_t BlobBlockOffset(std::int32_t n, std::uint16_t block_size) {
  return kFirstBlobBlockOffset + static_cast<std::uint64_t>(n - 1) * block_size;
}

// Whether block n may be added at the end of the file: its number and the
// file's end stay within the limits above.
constexpr bool BlobBlockWithinLimits(std::int32_t n, std::uint16_t block_size) {
  return n >= 1 && n <= kMaxBlobBlockNumber &&
         kFirstBlobBlockOffset + static_cast<std::uint64_t>(n) * block_size <= kMaxBlobFileEnd;
}

// Scrambles (or, applied again, unscrambles) one whole block image of an
// encrypted table: the header part, then the data part, each from the key.
// REQUIRES: image is one block (at least kBlobBlockHeaderSize bytes).
void ScrambleBlobBlockImage(std::span<std::uint8_t> image);

}  // namespace telvora::storage
