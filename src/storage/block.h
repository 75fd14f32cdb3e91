#pragma once
// TBlock: one BLOB block held in the block cache of a BLOB file.
//
// Holds the block's number, its header fields unpacked, its data part
// (B - 18 bytes), a modified flag (the object differs from the file), a pin
// count (users holding the block; a pinned block is never evicted or
// refreshed from the file) and its links in the cache's recency list. Every
// setter marks the block modified. Only TBlobBlocks creates blocks, numbers
// them, pins them and links them; users reach them pinned through it.
// Not thread-safe: used under its BLOB file's ownership by one thread.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "storage/blob_block_header.h"

namespace telvora::storage {

class TBlock {
 public:
  explicit TBlock(std::size_t data_size) : data_(data_size, 0) {}
  TBlock(const TBlock&) = delete;
  TBlock& operator=(const TBlock&) = delete;

  std::int32_t Number() const { return number_; }
  const TBlobBlockHeader& Header() const { return header_; }
  std::int32_t Previous() const { return header_.previous; }
  std::int32_t Next() const { return header_.next; }
  std::uint16_t UsedBytes() const { return header_.used_bytes; }
  std::int32_t BlobKey() const { return header_.blob_key; }
  std::int32_t TotalLength() const { return header_.total_length; }
  std::span<const std::uint8_t> Data() const { return data_; }
  std::size_t DataSize() const { return data_.size(); }
  bool Modified() const { return modified_; }
  int PinCount() const { return pin_count_; }

  void SetPrevious(std::int32_t block);
  void SetNext(std::int32_t block);
  void SetUsedBytes(std::uint16_t count);
  void SetBlobKey(std::int32_t key);
  void SetTotalLength(std::int32_t length);
  std::span<std::uint8_t> MutableData();
  // Header fields and data all zero; modified.
  void Clear();

  // The block image as it goes to the file (plain).
  // REQUIRES: image.size() == kBlobBlockHeaderSize + DataSize().
  void PackImage(std::span<std::uint8_t> image) const;

 private:
  friend class TBlobBlocks;

  // Takes a plain image read from the file; clean afterwards.
  void LoadImage(std::span<const std::uint8_t> image);

  std::int32_t number_ = 0;
  TBlobBlockHeader header_;
  std::vector<std::uint8_t> data_;
  bool modified_ = false;
  int pin_count_ = 0;
  bool detached_ = false;     // dropped from the cache while still pinned
  TBlock* newer_ = nullptr;   // towards the head of the recency list
  TBlock* older_ = nullptr;   // towards the tail
};

}  // namespace telvora::storage
