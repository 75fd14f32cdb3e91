#include "storage/blob_file_blocks.h"

#include "storage/blob_file.h"

namespace telvora::storage {

const std::string& TBlobFileBlocks::TableName() const { return file_.table_name(); }

std::uint16_t TBlobFileBlocks::BlockSize() const { return file_.block_size(); }

std::int32_t TBlobFileBlocks::NextBlockNumber() const { return file_.Header().NextBlockNumber(); }

void TBlobFileBlocks::SetNextBlockNumber(std::int32_t block) { file_.MutableHeader().SetNextBlockNumber(block); }

std::int32_t TBlobFileBlocks::FreeChainHead() const { return file_.Header().FreeChainHead(); }

void TBlobFileBlocks::SetFreeChainHead(std::int32_t block) { file_.MutableHeader().SetFreeChainHead(block); }

std::int32_t TBlobFileBlocks::NextBlobKey() { return next_blob_key_(); }

bool TBlobFileBlocks::DetectChangeBeforeRead() {
  TTableFileOwner* owner = file_.owner();
  return owner != nullptr && !owner->Settings().StrictChangeDetection && owner->LockForRead();
}

bool TBlobFileBlocks::MayWriteToMakeRoom() const {
  const TTableFileOwner* owner = file_.owner();
  return owner == nullptr || !owner->TableLocked();
}

std::int32_t TBlobFileBlocks::ReadBlocks(std::int32_t first, std::int32_t count, std::span<std::uint8_t> images) {
  const TTableFileOwner* owner = file_.owner();
  const std::size_t bytes = static_cast<std::size_t>(count) * file_.block_size();
  return static_cast<std::int32_t>(
      file_.ReadBlockImages(first, images.first(bytes), owner != nullptr && owner->ShortReadAllowed()));
}

void TBlobFileBlocks::WriteBlocks(std::int32_t first, std::int32_t count, std::span<const std::uint8_t> images) {
  file_.WriteBlockImages(first, images.first(static_cast<std::size_t>(count) * file_.block_size()));
}

}  // namespace telvora::storage
