#include "storage/blob_chain.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <unordered_set>
#include <utility>

#include "storage/storage_errors.h"

namespace telvora::storage {

namespace {

// Holds one pin of a block and gives it back when it goes.
class PinnedBlock {
 public:
  PinnedBlock(TBlobBlocks& blocks, TBlock* block) : blocks_(&blocks), block_(block) {}
  PinnedBlock(PinnedBlock&& other) noexcept
      : blocks_(other.blocks_), block_(std::exchange(other.block_, nullptr)) {}
  PinnedBlock& operator=(PinnedBlock&& other) noexcept {
    if (this != &other) {
      Release();
      blocks_ = other.blocks_;
      block_ = std::exchange(other.block_, nullptr);
    }
    return *this;
  }
  PinnedBlock(const PinnedBlock&) = delete;
  PinnedBlock& operator=(const PinnedBlock&) = delete;
  ~PinnedBlock() { Release(); }

  void Release() { blocks_->ReleaseBlock(std::exchange(block_, nullptr)); }
  explicit operator bool() const { return block_ != nullptr; }
  TBlock* operator->() const { return block_; }
  TBlock& operator*() const { return *block_; }

 private:
  TBlobBlocks* blocks_;
  TBlock* block_;
};

[[noreturn]] void Raise(const TBlobBlocks& blocks, std::uint16_t code) {
  RaiseTableError(code, blocks.File().TableName());
}

// Blocks needed for `bytes` bytes of data, at least 1.
std::int32_t BlocksFor(std::int64_t bytes, std::size_t data_size) {
  if (bytes <= 0) return 1;
  const std::int64_t per_block = static_cast<std::int64_t>(data_size);
  return static_cast<std::int32_t>(std::min<std::int64_t>((bytes + per_block - 1) / per_block,
                                                          std::numeric_limits<std::int32_t>::max()));
}

// Checks a next link read from a block: 1 to the last block of the file.
void CheckNextLink(const TBlobBlocks& blocks, std::int32_t next) {
  if (next < 1 || next >= blocks.File().NextBlockNumber()) Raise(blocks, VORA_MEMOCORRUPT);
}

// A block fetched by a writer: the write lock is held, so change detection
// cannot fire; if it does, the cache was dropped under our feet.
PinnedBlock GetForChange(TBlobBlocks& blocks, std::int32_t n, std::int32_t wanted) {
  PinnedBlock block(blocks, blocks.GetBlock(n, wanted));
  if (!block) Raise(blocks, VORA_MEMOCORRUPT);
  return block;
}

void RequireOnlyOurPin(const TBlobBlocks& blocks, const PinnedBlock& block) {
  if (block->PinCount() > 1) Raise(blocks, VORA_MEMOCORRUPT);
}

// One attempt at reading a value; nullopt when change detection fired.
std::optional<std::vector<std::uint8_t>> TryReadBlobChain(TBlobBlocks& blocks, std::int32_t first_block,
                                                          std::int32_t blob_key) {
  PinnedBlock block(blocks, blocks.GetBlock(first_block));
  if (!block) return std::nullopt;
  if (block->BlobKey() != blob_key) Raise(blocks, VORA_KEYORRECDELETED);

  const std::int64_t total = block->TotalLength();
  const std::size_t data_size = blocks.DataSize();
  std::vector<std::uint8_t> value;
  // Reserve for the chain actually read, not for a length a damaged block
  // may claim.
  value.reserve(static_cast<std::size_t>(std::clamp<std::int64_t>(total, 0, std::int64_t{1} << 20)));
  std::int64_t missing = total;
  // A damaged chain may lead back into itself; with a large claimed length
  // reading it would go round for as long as the length allows.
  std::unordered_set<std::int32_t> seen{first_block};
  for (;;) {
    RequireOnlyOurPin(blocks, block);
    if (block->BlobKey() != blob_key) Raise(blocks, VORA_KEYORRECDELETED);
    const std::size_t ask = static_cast<std::size_t>(std::clamp<std::int64_t>(missing, 0, std::int64_t(data_size)));
    const std::size_t before = value.size();
    value.resize(before + ask);
    const std::size_t got = blocks.ReadData(*block, 0, ask, std::span(value).subspan(before));
    value.resize(before + got);
    missing -= static_cast<std::int64_t>(got);
    const std::int32_t next = block->Next();
    if (got == 0 || got < ask || missing <= 0 || next == 0) break;
    CheckNextLink(blocks, next);
    if (!seen.insert(next).second) Raise(blocks, VORA_MEMOCORRUPT);
    block.Release();
    block = PinnedBlock(blocks, blocks.GetBlock(next, BlocksFor(missing, data_size)));
    if (!block) return std::nullopt;
  }
  if (static_cast<std::int64_t>(value.size()) != total) Raise(blocks, VORA_ENDOFBLOB);
  return value;
}

}  // namespace

std::vector<std::uint8_t> ReadBlobChain(TBlobBlocks& blocks, std::int32_t first_block, std::int32_t blob_key) {
  if (first_block == 0) return {};
  for (;;) {
    if (auto value = TryReadBlobChain(blocks, first_block, blob_key)) return std::move(*value);
  }
}

void WriteBlobChain(TBlobBlocks& blocks, std::int32_t& first_block, std::int32_t blob_key,
                    std::span<const std::uint8_t> value) {
  if (value.empty()) {
    FreeBlobChain(blocks, first_block, blob_key, /*repair=*/true);
    first_block = 0;
    return;
  }
  if (value.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    Raise(blocks, VORA_INVALIDBLOBLEN);
  }
  const auto total = static_cast<std::int32_t>(value.size());
  const std::size_t data_size = blocks.DataSize();

  std::int32_t old_total = 0;
  PinnedBlock current(blocks, nullptr);
  if (first_block != 0) {
    current = GetForChange(blocks, first_block, 1);
    RequireOnlyOurPin(blocks, current);
    old_total = current->TotalLength();
  } else {
    current = PinnedBlock(blocks, blocks.NewBlock());
    first_block = current->Number();
  }
  current->SetPrevious(0);
  current->SetBlobKey(blob_key);
  current->SetTotalLength(total);

  // The blocks of this value so far: a link back into them is a chain that
  // runs into itself, and reusing it would overwrite what was just written.
  std::unordered_set<std::int32_t> written{current->Number()};
  const std::int32_t old_blocks = old_total > 0 ? BlocksFor(old_total, data_size) : 0;
  std::size_t done = 0;
  std::int32_t blocks_written = 0;
  for (;;) {
    const std::size_t chunk = std::min(data_size, value.size() - done);
    blocks.WriteData(*current, 0, value.subspan(done, chunk));
    done += chunk;
    ++blocks_written;
    if (done >= value.size()) break;

    PinnedBlock following(blocks, nullptr);
    const std::int32_t next = current->Next();
    if (next != 0) {
      CheckNextLink(blocks, next);
      if (written.contains(next)) Raise(blocks, VORA_MEMOCORRUPT);
      following = GetForChange(blocks, next, std::max(1, old_blocks - blocks_written));
      RequireOnlyOurPin(blocks, following);
    } else {
      following = PinnedBlock(blocks, blocks.NewBlock());
      if (written.contains(following->Number())) Raise(blocks, VORA_MEMOCORRUPT);
    }
    current->SetNext(following->Number());
    following->SetPrevious(current->Number());
    following->SetBlobKey(blob_key);
    following->SetTotalLength(0);
    written.insert(following->Number());
    current = std::move(following);
  }
  if (done != value.size()) Raise(blocks, VORA_ENDOFBLOB);

  // The old value was longer: its remaining blocks go back to the free chain.
  if (const std::int32_t rest = current->Next(); rest != 0) {
    if (written.contains(rest)) Raise(blocks, VORA_MEMOCORRUPT);
    FreeBlobChain(blocks, rest, blob_key, /*repair=*/true);
    current->SetNext(0);
  }
}

void FreeBlobChain(TBlobBlocks& blocks, std::int32_t first_block, std::int32_t blob_key, bool repair) {
  if (first_block == 0) return;
  CheckNextLink(blocks, first_block);
  const auto check_key = [&](const PinnedBlock& block) {
    if (block->BlobKey() == blob_key) return;
    if (!repair) Raise(blocks, VORA_MEMOCORRUPT);
    block->SetBlobKey(blob_key);
  };

  PinnedBlock block = GetForChange(blocks, first_block, 1);
  RequireOnlyOurPin(blocks, block);
  check_key(block);
  // Only a read-ahead hint: a damaged length must not change what is freed.
  const std::int32_t needed = BlocksFor(block->TotalLength(), blocks.DataSize());
  std::unordered_set<std::int32_t> seen{first_block};
  for (;;) {
    const std::int32_t next = block->Next();
    if (next == 0) break;
    CheckNextLink(blocks, next);
    if (seen.contains(next)) Raise(blocks, VORA_MEMOCORRUPT);
    PinnedBlock following =
        GetForChange(blocks, next, std::max(1, needed - static_cast<std::int32_t>(seen.size())));
    RequireOnlyOurPin(blocks, following);
    check_key(following);
    blocks.FreeBlock(*block);
    block = std::move(following);
    seen.insert(next);
  }
  blocks.FreeBlock(*block);
}

}  // namespace telvora::storage
