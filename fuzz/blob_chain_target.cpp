// A BLOB file's blocks as the disk would hand them over, read as the chain of
// one value and then freed (repairing foreign keys) as a delete would. The
// first bytes choose the block size, the value's first block and key and the
// free chain's head; the rest is the blocks, the last one zero-filled.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_targets.h"
#include "storage/blob_block_file.h"
#include "storage/blob_blocks.h"
#include "storage/blob_chain.h"
#include "storage/engine_error.h"

namespace telvora::fuzz {
namespace {

constexpr std::size_t kParameterBytes = 7;
constexpr std::uint16_t kBlockSizeStep = 64;  // the smallest block size, and the step
constexpr int kBlockSizeSteps = 16;           // 64 .. 1,024

class MemoryBlocks final : public storage::TBlobBlockFile {
 public:
  MemoryBlocks(std::uint16_t block_size, std::vector<std::uint8_t> blocks, std::int32_t free_head)
      : block_size_(block_size), bytes_(std::move(blocks)), free_head_(free_head) {
    next_block_ = static_cast<std::int32_t>(bytes_.size() / block_size_) + 1;
  }
  const std::string& TableName() const override { return name_; }
  std::uint16_t BlockSize() const override { return block_size_; }
  std::int32_t NextBlockNumber() const override { return next_block_; }
  void SetNextBlockNumber(std::int32_t block) override { next_block_ = block; }
  std::int32_t FreeChainHead() const override { return free_head_; }
  void SetFreeChainHead(std::int32_t block) override { free_head_ = block; }
  std::int32_t NextBlobKey() override { return ++last_key_; }
  bool DetectChangeBeforeRead() override { return false; }
  bool MayWriteToMakeRoom() const override { return true; }
  std::int32_t ReadBlocks(std::int32_t first, std::int32_t count, std::span<std::uint8_t> images) override {
    std::int32_t got = 0;
    for (; got < count; ++got) {
      const std::size_t at = static_cast<std::size_t>(first - 1 + got) * block_size_;
      if (at + block_size_ > bytes_.size()) break;
      std::memcpy(images.data() + static_cast<std::size_t>(got) * block_size_, bytes_.data() + at, block_size_);
    }
    return got;
  }
  void WriteBlocks(std::int32_t first, std::int32_t count, std::span<const std::uint8_t> images) override {
    const std::size_t at = static_cast<std::size_t>(first - 1) * block_size_;
    const std::size_t length = static_cast<std::size_t>(count) * block_size_;
    if (images.size() < length) FuzzCheckFailed("blob_chain", "a write shorter than its blocks");
    if (bytes_.size() < at + length) bytes_.resize(at + length);
    std::memcpy(bytes_.data() + at, images.data(), length);
  }

 private:
  std::string name_ = "Fuzz";
  std::uint16_t block_size_;
  std::vector<std::uint8_t> bytes_;
  std::int32_t next_block_ = 1;
  std::int32_t free_head_;
  std::int32_t last_key_ = 1000;
};

std::int32_t Int32At(const std::uint8_t* p) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | p[i];
  return static_cast<std::int32_t>(value);
}

}  // namespace

int FuzzBlobChain(const std::uint8_t* data, std::size_t size) {
  if (size < kParameterBytes) return 0;
  const auto block_size = static_cast<std::uint16_t>(kBlockSizeStep * (1 + data[0] % kBlockSizeSteps));
  const std::int32_t first_block = data[1] % 16;
  const std::int32_t blob_key = Int32At(data + 2);
  const std::int32_t free_head = data[6] % 16;
  std::vector<std::uint8_t> blocks(data + kParameterBytes, data + size);
  blocks.resize((blocks.size() + block_size - 1) / block_size * block_size, 0);

  MemoryBlocks file(block_size, std::move(blocks), free_head);
  storage::TBlobBlocks cache(file, storage::TBlobCacheSettings{});
  try {
    const std::vector<std::uint8_t> value = storage::ReadBlobChain(cache, first_block, blob_key);
    if (first_block == 0 && !value.empty()) FuzzCheckFailed("blob_chain", "a value read without a first block");
  } catch (const storage::EVoraEngineError&) {
  }
  try {
    storage::FreeBlobChain(cache, first_block, blob_key, /*repair=*/true);
  } catch (const storage::EVoraEngineError&) {
  }
  return 0;
}

}  // namespace telvora::fuzz
