#pragma once
// TBlobFileBlocks: the table's BLOB file seen as the block file of its block
// cache (TBlobBlockFile). It adds to the raw block I/O of TBlobFile what the
// cache needs from the open table: the shared lock and change detection
// before a read, the short-read rule, the table lock that keeps modified
// blocks in memory, and the data file header's next BLOB key (handed in by
// the table, which owns the data file).
//
// Owned by its TBlobFile together with the TBlobBlocks that use it; it lives
// as long as the file is open. Same thread rules as the BLOB file.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>

#include "storage/blob_block_file.h"

namespace telvora::storage {

class TBlobFile;

// Draws the next BLOB key from the data file header (marker set).
using NextBlobKeySource = std::function<std::int32_t()>;

class TBlobFileBlocks final : public TBlobBlockFile {
 public:
  TBlobFileBlocks(TBlobFile& file, NextBlobKeySource next_blob_key)
      : file_(file), next_blob_key_(std::move(next_blob_key)) {}

  const std::string& TableName() const override;
  std::uint16_t BlockSize() const override;
  std::int32_t NextBlockNumber() const override;
  void SetNextBlockNumber(std::int32_t block) override;
  std::int32_t FreeChainHead() const override;
  void SetFreeChainHead(std::int32_t block) override;
  std::int32_t NextBlobKey() override;
  bool DetectChangeBeforeRead() override;
  bool MayWriteToMakeRoom() const override;
  std::int32_t ReadBlocks(std::int32_t first, std::int32_t count, std::span<std::uint8_t> images) override;
  void WriteBlocks(std::int32_t first, std::int32_t count, std::span<const std::uint8_t> images) override;

 private:
  TBlobFile& file_;
  NextBlobKeySource next_blob_key_;
};

}  // namespace telvora::storage
