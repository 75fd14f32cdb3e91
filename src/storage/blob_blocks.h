#pragma once
// TBlobBlocks: the blocks of one BLOB file as this process holds them: the
// block cache with read-ahead, the free-block chain, and access to the data
// part of a block.
//
// Cache: a list of blocks sorted by block number and a recency list (head =
// most recently used). A lookup tries the four most recent blocks, then a
// binary search. The capacity is min(BLOB buffer bytes / B, BLOB buffer
// count); when the cache is full a clean unpinned block is evicted from the
// tail, after writing the modified blocks when none is clean (only when the
// file allows it: never while the table is locked, so changes of a
// transaction stay in memory), otherwise the capacity grows by 32. A read
// from the disk brings in up to min(16,384 / B (at least 1), the blocks the
// caller still needs, next block number - n) consecutive blocks at once.
//
// Invariants: no block number is cached twice; a pinned block is never
// evicted, refreshed from the disk or reused; a modified block reaches the
// disk before it leaves the cache, except when the cache is dropped. Blocks
// still pinned when the cache is dropped are detached: they stay valid for
// their holders and are discarded on their last release.
//
// Not thread-safe: owned by one BLOB file, used by one thread at a time
// (the table's users take turns under its locks).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "storage/blob_block_cache.h"
#include "storage/blob_block_file.h"
#include "storage/block.h"
#include "storage/block_stack.h"

namespace telvora::storage {

inline constexpr std::uint32_t kDefaultBlobBufferBytes = 32768;
inline constexpr std::uint32_t kDefaultBlobBufferCount = 8192;

// The session settings that size the block cache.
struct TBlobCacheSettings {
  std::uint32_t blob_buffer_bytes = kDefaultBlobBufferBytes;
  std::uint32_t blob_buffer_count = kDefaultBlobBufferCount;
};

class TBlobBlocks final : public TBlobBlockCache {
 public:
  // Most bytes one read-ahead brings in.
  static constexpr std::size_t kReadAheadBytes = 16384;
  // Blocks added to the capacity when nothing can be evicted.
  static constexpr std::size_t kCapacityGrowth = 32;
  // Recent blocks looked at before the binary search.
  static constexpr int kRecentBlocksTried = 4;

  // Raises 9498 when the file's block size is below 64 (a damaged data
  // file header; no block would hold data).
  TBlobBlocks(TBlobBlockFile& file, const TBlobCacheSettings& settings);
  ~TBlobBlocks() override;
  TBlobBlocks(const TBlobBlocks&) = delete;
  TBlobBlocks& operator=(const TBlobBlocks&) = delete;

  TBlobBlockFile& File() const { return file_; }
  std::uint16_t BlockSize() const { return block_size_; }
  // B - 18: the data bytes of one block.
  std::size_t DataSize() const { return data_size_; }
  std::size_t Capacity() const { return capacity_; }
  // The capacity the settings give; Trim brings a grown cache back to it.
  std::size_t BaseCapacity() const { return base_capacity_; }
  std::size_t CachedCount() const { return sorted_.size(); }
  // The cached block n, without pinning it or touching the recency list;
  // nullptr when not cached. For inspection.
  const TBlock* Peek(std::int32_t n) const;
  // Cached block numbers from the most to the least recently used.
  std::vector<std::int32_t> RecencyOrder() const;

  // Block n, pinned once more. From the cache when there; otherwise read
  // from the disk with up to `wanted` blocks (the blocks the caller still
  // needs, at least 1) brought in by the same read. Returns nullptr, the
  // not-obtained result, when the file's change detection fired before the
  // read (the cache has then been dropped). Raises 8963 when n is not a
  // block of the file (below 1 or at or past the next block number) or the
  // read did not produce block n.
  TBlock* GetBlock(std::int32_t n, std::int32_t wanted = 1);
  // Unpins (the pin count never goes below 0). nullptr is ignored.
  void ReleaseBlock(TBlock* block);

  // A cleared block, pinned: the head of the free chain (whose next link
  // becomes the new head) or, when the chain is empty, a new block at the
  // end (the next block number moves on). Raises 9479 when the new block
  // would pass block number 2,000,000,000 or file end 4,000,000,000 (the
  // header is then unchanged), 8963 when the free chain head is not a block
  // of the file or its block is pinned by someone else.
  // REQUIRES: the caller may change the file (write lock or exclusive).
  TBlock* NewBlock();
  // Pushes the block on the free chain: its next link becomes the current
  // head (0 when the chain is empty) and it becomes the head. Raises 8963
  // when it already is the head (freeing it twice would close the chain on
  // itself). REQUIRES: the block is pinned by the caller.
  void FreeBlock(TBlock& block);

  // Copies up to count bytes from offset of the block's data into
  // destination, limited by the block's used bytes; returns the bytes
  // copied. Raises 10029 when offset + count passes B - 18.
  std::size_t ReadData(const TBlock& block, std::size_t offset, std::size_t count,
                       std::span<std::uint8_t> destination) const;
  // Copies source into the block's data at offset; the block's used bytes
  // become offset + source.size(). Raises 10029 when that passes B - 18.
  void WriteData(TBlock& block, std::size_t offset, std::span<const std::uint8_t> source);

  bool WriteModifiedBlocks() override;
  void DropBlocks() override;
  // Evicts clean unpinned blocks (writing modified ones first when the file
  // allows it) while the cache holds more than its base capacity; the
  // capacity then becomes max(blocks held, base capacity).
  void Trim() override;

 private:
  TBlock* Lookup(std::int32_t n);
  std::vector<std::unique_ptr<TBlock>>::iterator SortedPosition(std::int32_t n);
  std::vector<std::unique_ptr<TBlock>>::const_iterator SortedPosition(std::int32_t n) const;
  // Refreshes or adds block `number` from a plain image just read.
  TBlock* LoadFromImage(std::int32_t number, std::span<const std::uint8_t> image);
  // A block object to hold a new number: a spare one while the cache has
  // room, otherwise an evicted one, otherwise (the capacity grown) a spare.
  std::unique_ptr<TBlock> TakeBlockObject();
  // The least recently used clean, unpinned block, writing modified blocks
  // first when none is clean and the file allows it; nullptr when none.
  TBlock* FindVictim();
  TBlock* FindCleanUnpinned() const;
  std::unique_ptr<TBlock> Remove(TBlock* block);
  TBlock* Insert(std::unique_ptr<TBlock> block, std::int32_t number);
  void LinkAtHead(TBlock* block);
  void Unlink(TBlock* block);
  void MoveToHead(TBlock* block);
  [[noreturn]] void RaiseCorrupt() const;

  TBlobBlockFile& file_;
  std::uint16_t block_size_;
  std::size_t data_size_;
  std::size_t base_capacity_;  // from the settings
  std::size_t capacity_;       // grown by kCapacityGrowth when nothing could go
  TBlockStack stack_;
  std::vector<std::unique_ptr<TBlock>> sorted_;
  std::vector<std::unique_ptr<TBlock>> detached_;
  TBlock* head_ = nullptr;
  TBlock* tail_ = nullptr;
  std::vector<std::uint8_t> read_buffer_;
  std::vector<std::uint8_t> write_buffer_;
};

}  // namespace telvora::storage
