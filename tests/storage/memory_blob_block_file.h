#pragma once
// TMemoryBlobBlockFile: a BLOB file kept in a byte vector, for testing the
// block cache and the value chains without the file layer.
//
// The bytes are laid out as on disk (512 header bytes, then the blocks,
// scrambled when encrypted). It counts every read and write, can make the
// next disk reads see a change by another writer (dropping the cache it was
// given, as the table does), can act as a locked table, and accepts short
// reads only when told to.

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "storage/blob_block_cache.h"
#include "storage/blob_block_file.h"
#include "storage/blob_block_header.h"
#include "storage/blob_file_header.h"
#include "storage/data_file_header.h"
#include "storage/engine_error_codes.h"
#include "storage/storage_errors.h"

namespace telvora::storage::testing {

struct BlockRun {
  std::int32_t first;
  std::int32_t count;
  bool operator==(const BlockRun&) const = default;
};

class TMemoryBlobBlockFile final : public TBlobBlockFile {
 public:
  explicit TMemoryBlobBlockFile(std::uint16_t block_size = 512, bool encrypted = false)
      : block_size_(block_size), encrypted_(encrypted), header_(TBlobFileHeader::New()),
        bytes_(kFirstBlobBlockOffset, 0) {}

  const std::string& TableName() const override { return name_; }
  std::uint16_t BlockSize() const override { return block_size_; }
  std::int32_t NextBlockNumber() const override { return header_.NextBlockNumber(); }
  void SetNextBlockNumber(std::int32_t block) override { header_.SetNextBlockNumber(block); }
  std::int32_t FreeChainHead() const override { return header_.FreeChainHead(); }
  void SetFreeChainHead(std::int32_t block) override { header_.SetFreeChainHead(block); }
  std::int32_t NextBlobKey() override { return data_header_.NextBlobKey(); }

  bool DetectChangeBeforeRead() override {
    ++change_checks;
    if (changes_to_report == 0) return false;
    --changes_to_report;
    if (cache != nullptr) cache->DropBlocks();
    return true;
  }

  bool MayWriteToMakeRoom() const override { return !table_locked; }

  std::int32_t ReadBlocks(std::int32_t first, std::int32_t count, std::span<std::uint8_t> images) override {
    reads.push_back({first, count});
    const std::int64_t on_file = StoredBlockCount();
    const auto got = static_cast<std::int32_t>(std::clamp<std::int64_t>(on_file - (first - 1), 0, count));
    if (got < count && !allow_short_reads) RaiseTableError(VORA_READERR, name_);
    for (std::int32_t i = 0; i < got; ++i) {
      std::span<std::uint8_t> image = images.subspan(static_cast<std::size_t>(i) * block_size_, block_size_);
      const std::uint64_t at = BlobBlockOffset(first + i, block_size_);
      std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at), block_size_, image.begin());
      if (encrypted_) ScrambleBlobBlockImage(image);
    }
    return got;
  }

  void WriteBlocks(std::int32_t first, std::int32_t count, std::span<const std::uint8_t> images) override {
    writes.push_back({first, count});
    for (std::int32_t i = 0; i < count; ++i) {
      std::vector<std::uint8_t> image(images.begin() + static_cast<std::ptrdiff_t>(i) * block_size_,
                                      images.begin() + static_cast<std::ptrdiff_t>(i + 1) * block_size_);
      if (encrypted_) ScrambleBlobBlockImage(image);
      const std::uint64_t at = BlobBlockOffset(first + i, block_size_);
      if (bytes_.size() < at + block_size_) bytes_.resize(at + block_size_, 0);
      std::copy(image.begin(), image.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(at));
    }
  }

  // Test side --------------------------------------------------------------

  // Block n as stored (scrambled in an encrypted file).
  std::vector<std::uint8_t> StoredImage(std::int32_t n) const {
    const std::uint64_t at = BlobBlockOffset(n, block_size_);
    return {bytes_.begin() + static_cast<std::ptrdiff_t>(at),
            bytes_.begin() + static_cast<std::ptrdiff_t>(at + block_size_)};
  }
  // Block n as stored, unscrambled.
  std::vector<std::uint8_t> PlainImage(std::int32_t n) const {
    std::vector<std::uint8_t> image = StoredImage(n);
    if (encrypted_) ScrambleBlobBlockImage(image);
    return image;
  }
  TBlobBlockHeader StoredHeader(std::int32_t n) const { return TBlobBlockHeader::Unpack(PlainImage(n)); }

  // Stores block n directly (as another program would have written it) and
  // moves the next block number past it.
  void PutBlock(std::int32_t n, const TBlobBlockHeader& header, std::span<const std::uint8_t> data = {}) {
    std::vector<std::uint8_t> image(block_size_, 0);
    header.Pack(image);
    std::copy(data.begin(), data.end(), image.begin() + kBlobBlockHeaderSize);
    WriteBlocks(n, 1, image);
    writes.pop_back();
    if (header_.NextBlockNumber() <= n) header_.SetNextBlockNumber(n + 1);
  }

  std::int64_t StoredBlockCount() const {
    return static_cast<std::int64_t>((bytes_.size() - kFirstBlobBlockOffset) / block_size_);
  }
  TDataFileHeader& DataHeader() { return data_header_; }

  std::vector<BlockRun> reads;
  std::vector<BlockRun> writes;
  int change_checks = 0;
  int changes_to_report = 0;
  bool table_locked = false;
  bool allow_short_reads = false;
  TBlobBlockCache* cache = nullptr;

 private:
  std::string name_ = "BlobTest";
  std::uint16_t block_size_;
  bool encrypted_;
  TBlobFileHeader header_;
  TDataFileHeader data_header_;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace telvora::storage::testing
