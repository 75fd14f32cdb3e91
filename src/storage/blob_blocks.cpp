#include "storage/blob_blocks.h"

#include <algorithm>
#include <cstring>

#include "storage/data_file_header.h"
#include "storage/storage_errors.h"

namespace telvora::storage {

namespace {

std::size_t InitialCapacity(const TBlobCacheSettings& settings, std::uint16_t block_size) {
  const std::size_t by_bytes = settings.blob_buffer_bytes / block_size;
  return std::min<std::size_t>(by_bytes, settings.blob_buffer_count);
}

}  // namespace

TBlobBlocks::TBlobBlocks(TBlobBlockFile& file, const TBlobCacheSettings& settings)
    : file_(file),
      block_size_(file.BlockSize()),
      data_size_(BlobBlockDataSize(file.BlockSize())),
      base_capacity_(0),
      capacity_(0),
      stack_(BlobBlockDataSize(file.BlockSize())) {
  if (block_size_ < kMinBlobBlockSize) RaiseTableError(kBlobLimit, file_.TableName());
  base_capacity_ = InitialCapacity(settings, block_size_);
  capacity_ = base_capacity_;
}

TBlobBlocks::~TBlobBlocks() = default;

const TBlock* TBlobBlocks::Peek(std::int32_t n) const {
  const auto it = SortedPosition(n);
  return it != sorted_.end() && (*it)->number_ == n ? it->get() : nullptr;
}

std::vector<std::int32_t> TBlobBlocks::RecencyOrder() const {
  std::vector<std::int32_t> order;
  for (const TBlock* block = head_; block != nullptr; block = block->older_) order.push_back(block->number_);
  return order;
}

TBlock* TBlobBlocks::GetBlock(std::int32_t n, std::int32_t wanted) {
  if (n < 1 || n >= file_.NextBlockNumber()) RaiseCorrupt();
  if (TBlock* cached = Lookup(n)) {
    ++cached->pin_count_;
    return cached;
  }
  if (file_.DetectChangeBeforeRead()) return nullptr;

  // The header may have been re-read by the change detection above.
  const std::int32_t next = file_.NextBlockNumber();
  if (n >= next) RaiseCorrupt();
  const std::int64_t by_bytes = std::max<std::int64_t>(1, kReadAheadBytes / block_size_);
  const std::int64_t count =
      std::min({by_bytes, std::int64_t{std::max(wanted, 1)}, std::int64_t{next} - n});
  const auto k = static_cast<std::int32_t>(count);
  read_buffer_.resize(static_cast<std::size_t>(k) * block_size_);
  const std::int32_t got = std::clamp(file_.ReadBlocks(n, k, read_buffer_), 0, k);
  if (got < 1) RaiseCorrupt();

  // Block n comes in first and is pinned at once, so that taking objects
  // for the rest of the run can never evict it.
  TBlock* wanted_block = LoadFromImage(n, std::span(read_buffer_).first(block_size_));
  ++wanted_block->pin_count_;
  try {
    for (std::int32_t i = 1; i < got; ++i) {
      const auto offset = static_cast<std::size_t>(i) * block_size_;
      LoadFromImage(n + i, std::span(read_buffer_).subspan(offset, block_size_));
    }
  } catch (...) {
    ReleaseBlock(wanted_block);
    throw;
  }
  MoveToHead(wanted_block);
  return wanted_block;
}

void TBlobBlocks::ReleaseBlock(TBlock* block) {
  if (block == nullptr) return;
  if (block->pin_count_ > 0) --block->pin_count_;
  if (block->detached_ && block->pin_count_ == 0) {
    const auto it = std::find_if(detached_.begin(), detached_.end(),
                                 [block](const std::unique_ptr<TBlock>& held) { return held.get() == block; });
    if (it != detached_.end()) {
      std::unique_ptr<TBlock> owned = std::move(*it);
      detached_.erase(it);
      owned->detached_ = false;
      stack_.Push(std::move(owned));
    }
  }
}

TBlock* TBlobBlocks::NewBlock() {
  const std::int32_t head = file_.FreeChainHead();
  if (head != 0) {
    TBlock* block = GetBlock(head);
    // The caller holds the write lock, so change detection cannot fire; if
    // it does, nothing the cache held can be trusted.
    if (block == nullptr) RaiseCorrupt();
    if (block->pin_count_ > 1) {
      ReleaseBlock(block);
      RaiseCorrupt();
    }
    file_.SetFreeChainHead(block->Next());
    block->Clear();
    return block;
  }

  const std::int32_t n = file_.NextBlockNumber();
  if (!BlobBlockWithinLimits(n, block_size_)) RaiseTableError(VORA_TABLEFULL, file_.TableName());
  if (Peek(n) != nullptr) RaiseCorrupt();
  TBlock* block = Insert(TakeBlockObject(), n);
  block->Clear();
  block->pin_count_ = 1;
  file_.SetNextBlockNumber(n + 1);
  return block;
}

void TBlobBlocks::FreeBlock(TBlock& block) {
  const std::int32_t head = file_.FreeChainHead();
  if (head == block.number_) RaiseCorrupt();
  block.SetNext(head);
  file_.SetFreeChainHead(block.number_);
}

std::size_t TBlobBlocks::ReadData(const TBlock& block, std::size_t offset, std::size_t count,
                                  std::span<std::uint8_t> destination) const {
  if (offset > data_size_ || count > data_size_ - offset) RaiseTableError(VORA_INVALIDBLOBLEN, file_.TableName());
  const std::size_t used = std::min<std::size_t>(block.UsedBytes(), data_size_);
  if (offset >= used) return 0;
  const std::size_t copied = std::min({count, used - offset, destination.size()});
  if (copied == 0) return 0;
  std::memcpy(destination.data(), block.Data().data() + offset, copied);
  return copied;
}

void TBlobBlocks::WriteData(TBlock& block, std::size_t offset, std::span<const std::uint8_t> source) {
  if (offset > data_size_ || source.size() > data_size_ - offset) {
    RaiseTableError(VORA_INVALIDBLOBLEN, file_.TableName());
  }
  std::span<std::uint8_t> data = block.MutableData();
  if (!source.empty()) std::memcpy(data.data() + offset, source.data(), source.size());
  block.SetUsedBytes(static_cast<std::uint16_t>(offset + source.size()));
}

bool TBlobBlocks::WriteModifiedBlocks() {
  bool wrote = false;
  std::size_t i = 0;
  while (i < sorted_.size()) {
    const TBlock& first = *sorted_[i];
    if (!first.modified_ || first.pin_count_ > 0) {
      ++i;
      continue;
    }
    // A run: consecutive numbers, every block modified and unpinned.
    std::size_t end = i + 1;
    while (end < sorted_.size() && sorted_[end]->modified_ && sorted_[end]->pin_count_ == 0 &&
           sorted_[end]->number_ == sorted_[end - 1]->number_ + 1) {
      ++end;
    }
    const auto count = static_cast<std::int32_t>(end - i);
    write_buffer_.assign(static_cast<std::size_t>(count) * block_size_, 0);
    for (std::size_t j = i; j < end; ++j) {
      sorted_[j]->PackImage(std::span(write_buffer_).subspan((j - i) * block_size_, block_size_));
    }
    file_.WriteBlocks(first.number_, count, write_buffer_);
    for (std::size_t j = i; j < end; ++j) sorted_[j]->modified_ = false;
    wrote = true;
    i = end;
  }
  return wrote;
}

void TBlobBlocks::DropBlocks() {
  for (std::unique_ptr<TBlock>& block : sorted_) {
    block->newer_ = nullptr;
    block->older_ = nullptr;
    if (block->pin_count_ > 0) {
      block->detached_ = true;
      detached_.push_back(std::move(block));
    } else {
      stack_.Push(std::move(block));
    }
  }
  sorted_.clear();
  head_ = nullptr;
  tail_ = nullptr;
}

void TBlobBlocks::Trim() {
  // Growth made room for blocks that could not be written (a transaction,
  // everything pinned); once they can go, the cache returns to its size.
  while (sorted_.size() > base_capacity_) {
    TBlock* victim = FindVictim();
    if (victim == nullptr) break;
    stack_.Push(Remove(victim));
  }
  capacity_ = std::max(base_capacity_, sorted_.size());
}

TBlock* TBlobBlocks::Lookup(std::int32_t n) {
  TBlock* block = head_;
  for (int i = 0; i < kRecentBlocksTried && block != nullptr; ++i, block = block->older_) {
    if (block->number_ == n) {
      MoveToHead(block);
      return block;
    }
  }
  const auto it = SortedPosition(n);
  if (it == sorted_.end() || (*it)->number_ != n) return nullptr;
  MoveToHead(it->get());
  return it->get();
}

std::vector<std::unique_ptr<TBlock>>::iterator TBlobBlocks::SortedPosition(std::int32_t n) {
  return std::lower_bound(sorted_.begin(), sorted_.end(), n,
                          [](const std::unique_ptr<TBlock>& block, std::int32_t number) {
                            return block->number_ < number;
                          });
}

std::vector<std::unique_ptr<TBlock>>::const_iterator TBlobBlocks::SortedPosition(std::int32_t n) const {
  return std::lower_bound(sorted_.begin(), sorted_.end(), n,
                          [](const std::unique_ptr<TBlock>& block, std::int32_t number) {
                            return block->number_ < number;
                          });
}

TBlock* TBlobBlocks::LoadFromImage(std::int32_t number, std::span<const std::uint8_t> image) {
  const auto it = SortedPosition(number);
  if (it != sorted_.end() && (*it)->number_ == number) {
    TBlock* cached = it->get();
    if (!cached->modified_ && cached->pin_count_ == 0) cached->LoadImage(image);
    return cached;
  }
  TBlock* block = Insert(TakeBlockObject(), number);
  block->LoadImage(image);
  return block;
}

std::unique_ptr<TBlock> TBlobBlocks::TakeBlockObject() {
  if (sorted_.size() < capacity_) return stack_.Pop();
  if (TBlock* victim = FindVictim()) return Remove(victim);
  capacity_ += kCapacityGrowth;
  return stack_.Pop();
}

TBlock* TBlobBlocks::FindVictim() {
  TBlock* victim = FindCleanUnpinned();
  if (victim == nullptr && file_.MayWriteToMakeRoom() && WriteModifiedBlocks()) victim = FindCleanUnpinned();
  return victim;
}

TBlock* TBlobBlocks::FindCleanUnpinned() const {
  for (TBlock* block = tail_; block != nullptr; block = block->newer_) {
    if (!block->modified_ && block->pin_count_ == 0) return block;
  }
  return nullptr;
}

std::unique_ptr<TBlock> TBlobBlocks::Remove(TBlock* block) {
  const auto it = SortedPosition(block->number_);
  if (it == sorted_.end() || it->get() != block) RaiseCorrupt();
  Unlink(block);
  std::unique_ptr<TBlock> owned = std::move(*it);
  sorted_.erase(it);
  return owned;
}

TBlock* TBlobBlocks::Insert(std::unique_ptr<TBlock> block, std::int32_t number) {
  const auto it = SortedPosition(number);
  if (it != sorted_.end() && (*it)->number_ == number) {
    stack_.Push(std::move(block));
    RaiseCorrupt();
  }
  block->number_ = number;
  block->modified_ = false;
  block->pin_count_ = 0;
  block->detached_ = false;
  block->newer_ = nullptr;
  block->older_ = nullptr;
  TBlock* raw = block.get();
  sorted_.insert(it, std::move(block));
  LinkAtHead(raw);
  return raw;
}

void TBlobBlocks::LinkAtHead(TBlock* block) {
  block->newer_ = nullptr;
  block->older_ = head_;
  if (head_ != nullptr) head_->newer_ = block;
  head_ = block;
  if (tail_ == nullptr) tail_ = block;
}

void TBlobBlocks::Unlink(TBlock* block) {
  if (block->newer_ != nullptr) block->newer_->older_ = block->older_;
  else head_ = block->older_;
  if (block->older_ != nullptr) block->older_->newer_ = block->newer_;
  else tail_ = block->newer_;
  block->newer_ = nullptr;
  block->older_ = nullptr;
}

void TBlobBlocks::MoveToHead(TBlock* block) {
  if (head_ == block) return;
  Unlink(block);
  LinkAtHead(block);
}

void TBlobBlocks::RaiseCorrupt() const { RaiseTableError(VORA_MEMOCORRUPT, file_.TableName()); }

}  // namespace telvora::storage
