#pragma once
// TBlobFile: a table's BLOB file: its 512-byte header (scrambled as a whole
// with the data key in an encrypted table) and raw access to the blocks that
// follow it.
//
// Block n (n >= 1) of block size B occupies bytes 512 + (n − 1) × B to
// 512 + n × B − 1. In an encrypted table the 18-byte block header and the
// B − 18 data bytes are each scrambled with the data key, each starting
// again from the key. Block numbers go up to 2,000,000,000 and no block may
// end past byte 4,000,000,000 (9479).
//
// The header image is the authority for the next block number and the free
// chain head. The blocks themselves are cached and interpreted by the BLOB
// code, which attaches its TBlobBlockCache.
//
// Threads: one thread at a time, under the owning table's locks.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "storage/blob_block_cache.h"
#include "storage/blob_block_header.h"
#include "storage/blob_file_header.h"
#include "storage/data_file_header.h"
#include "storage/file_handler.h"
#include "storage/table_file_owner.h"

namespace telvora::storage {

class TBlobBlocks;
class TBlobFileBlocks;


class TBlobFile : public TFileHandler {
 public:
  TBlobFile();
  ~TBlobFile() override;

  void set_owner(TTableFileOwner* owner) { owner_ = owner; }
  TTableFileOwner* owner() const { return owner_; }
  void set_table_name(const std::string& name) { table_name_ = name; }
  const std::string& table_name() const { return table_name_; }
  // From the data file header; set before Open or Create.
  void set_encrypted(bool encrypted) { encrypted_ = encrypted; }
  void set_block_size(std::uint16_t size) { block_size_ = size; }
  bool encrypted() const { return encrypted_; }
  std::uint16_t block_size() const { return block_size_; }
  void set_block_cache(TBlobBlockCache* cache) { block_cache_ = cache; }
  TBlobBlockCache* block_cache() const { return block_cache_; }

  // Makes this file's own block cache, sized by the session's BLOB buffer
  // settings, and attaches it; next_blob_key draws the data file header's
  // next BLOB key. Replaces a cache attached before (its blocks are
  // forgotten). 9498 for a block size below 64. REQUIRES: the file is open.
  void AttachBlocks(std::uint32_t blob_buffer_bytes, std::uint32_t blob_buffer_count,
                    std::function<std::int32_t()> next_blob_key);
  // The cache made by AttachBlocks, or null.
  TBlobBlocks* blocks() const { return blocks_.get(); }

  // Opens the file and reads the header (short read: 9217). A failure
  // leaves the file closed.
  void Open() override;
  // Drops the cached blocks and closes the file.
  void Close() override;
  // Creates the file empty with a new header (version 5, free head 0, next
  // block 1, modified), written by the next header write.
  void Create() override;

  bool RereadHeaderIfChanged();
  void RereadHeader();
  bool WriteHeader(bool force);
  void MarkModified();

  const TBlobFileHeader& Header() const { return header_; }
  TBlobFileHeader& MutableHeader() { return header_; }
  std::int32_t NextBlockNumber() const { return header_.NextBlockNumber(); }
  // Hands out the next block number at the end of the file (header marked
  // modified); 9479 past the limits, header unchanged.
  std::int32_t TakeNextBlockNumber();
  std::uint64_t BlockPosition(std::int32_t block) const {
    return kBlobFileHeaderSize + std::uint64_t(block - 1) * block_size_;
  }

  // Reads `image.size() / B` consecutive blocks from `first`, unscrambled.
  // REQUIRES: image.size() is a multiple of B. 8963 for blocks outside 1 to
  // next − 1. Returns the whole blocks read; fewer than asked is 9217 unless
  // allow_short.
  std::size_t ReadBlockImages(std::int32_t first, std::span<std::uint8_t> image, bool allow_short = false);
  // Writes consecutive blocks from `first` in one write, scrambled when
  // encrypted. 8963 outside 1 to next − 1.
  void WriteBlockImages(std::int32_t first, std::span<const std::uint8_t> image);

  bool WriteModifiedBlocks();
  void DropBlocks();
  void TrimBlocks();

 private:
  [[noreturn]] void RaiseTable(std::uint16_t code) const;
  TBlobFileHeader ReadHeaderFromFile();
  void CheckBlocks(std::int32_t first, std::size_t count) const;
  // Scrambles each block's header and data part on their own.
  void ScrambleBlocks(std::span<std::uint8_t> image) const;

  TTableFileOwner* owner_ = nullptr;
  std::string table_name_;
  bool encrypted_ = false;
  std::uint16_t block_size_ = kDefaultBlobBlockSize;
  TBlobFileHeader header_;
  TBlobBlockCache* block_cache_ = nullptr;
  std::unique_ptr<TBlobFileBlocks> block_file_;
  std::unique_ptr<TBlobBlocks> blocks_;
};

}  // namespace telvora::storage
