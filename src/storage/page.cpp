#include "storage/page.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "storage/index_file_header.h"

namespace telvora::storage {

bool TPageFormat::HasSubtreeCounts() const { return attribute == 0 && slot != kTextIndexSlot; }

void TPage::Reset(std::int32_t number, const TPageFormat& format) {
  number_ = number;
  format_ = format;
  kind_ = PageKind::RootBranch;
  count_ = 0;
  left_ = 0;
  right_ = 0;
  packed_size_ = 0;
  modified_ = false;
  pin_count_ = 0;
  freed_ = false;
  if (entries_.size() < kPageDataSize) entries_.resize(kBufferStep);
  std::fill(entries_.begin(), entries_.end(), 0);
}

void TPage::Reserve(int entries) {
  const std::size_t needed = std::max<std::size_t>(static_cast<std::size_t>(entries) * Stride(), kPageDataSize);
  if (entries_.size() >= needed) return;
  const std::size_t steps = (needed + kBufferStep - 1) / kBufferStep;
  entries_.resize(steps * kBufferStep, 0);
}

std::int32_t TPage::Pointer(int i) const {
  assert(i >= 0 && i < count_);
  std::int32_t value;
  std::memcpy(&value, Entry(i) + format_.key_length, sizeof value);
  return value;
}

void TPage::SetPointer(int i, std::int32_t value) {
  assert(i >= 0 && i < count_);
  std::memcpy(Entry(i) + format_.key_length, &value, sizeof value);
}

std::int32_t TPage::SubtreeCount(int i) const {
  assert(i >= 0 && i < count_);
  std::int32_t value;
  std::memcpy(&value, Entry(i) + format_.key_length + 4, sizeof value);
  return value;
}

void TPage::SetSubtreeCount(int i, std::int32_t value) {
  assert(i >= 0 && i < count_);
  std::memcpy(Entry(i) + format_.key_length + 4, &value, sizeof value);
}

void TPage::SetCompressionCounts(int i, int leading, int trailing) {
  Entry(i)[format_.key_length + 8] = static_cast<std::uint8_t>(leading);
  Entry(i)[format_.key_length + 9] = static_cast<std::uint8_t>(trailing);
}

void TPage::InsertEntry(int at, const std::uint8_t* key, std::int32_t pointer, std::int32_t subtree_count) {
  assert(at >= 0 && at <= count_);
  Reserve(count_ + 1);
  std::uint8_t* place = Entry(at);
  std::memmove(place + Stride(), place, static_cast<std::size_t>(count_ - at) * Stride());
  std::memcpy(place, key, format_.key_length);
  ++count_;
  SetPointer(at, pointer);
  SetSubtreeCount(at, subtree_count);
  SetCompressionCounts(at, 0, 0);
}

void TPage::InsertEntries(int at, const TPage& from, int from_first, int n) {
  assert(at >= 0 && at <= count_ && n >= 0 && from_first + n <= from.count_);
  assert(from.Stride() == Stride());
  if (n == 0) return;
  Reserve(count_ + n);
  std::uint8_t* place = Entry(at);
  std::memmove(place + static_cast<std::size_t>(n) * Stride(), place,
               static_cast<std::size_t>(count_ - at) * Stride());
  std::memcpy(place, from.Entry(from_first), static_cast<std::size_t>(n) * Stride());
  count_ += n;
}

void TPage::RemoveEntries(int at, int n) {
  assert(at >= 0 && n >= 0 && at + n <= count_);
  if (n == 0) return;
  std::uint8_t* place = Entry(at);
  std::memmove(place, place + static_cast<std::size_t>(n) * Stride(),
               static_cast<std::size_t>(count_ - at - n) * Stride());
  count_ -= n;
  std::fill(Entry(count_), Entry(count_) + static_cast<std::size_t>(n) * Stride(), 0);
}

void TPage::ReplaceKey(int i, const std::uint8_t* key) { std::memmove(MutableKey(i), key, format_.key_length); }

// Entry i's d and t as the writer packs them: the bytes it shares with
// entry i-1 (at most kMaxCompressedRun), then the zeros ending the rest of
// its key before the record-id suffix, which is always stored.
void TPage::ComputeCompressionCounts(int i) {
  const std::size_t k = format_.key_length;
  const bool leading = format_.compression == 1 || format_.compression == 3;
  const bool trailing = format_.compression == 2 || format_.compression == 3;
  const std::size_t zone_end =
      format_.HasRecordIdSuffix() && k >= kEntryPointerLength ? k - kEntryPointerLength : k;
  const std::uint8_t* key = Key(i);
  std::size_t d = 0;
  if (leading && i > 0) {
    const std::uint8_t* previous = Key(i - 1);
    while (d < k && d < static_cast<std::size_t>(kMaxCompressedRun) && key[d] == previous[d]) ++d;
  }
  std::size_t t = 0;
  if (trailing && d < zone_end) {
    while (t < zone_end - d && t < static_cast<std::size_t>(kMaxCompressedRun) && key[zone_end - 1 - t] == 0) ++t;
  }
  SetCompressionCounts(i, static_cast<int>(d), static_cast<int>(t));
}

void TPage::RecomputeCompression() {
  packed_size_ = 0;
  const bool compressed = IsCompressedLeaf();
  for (int i = 0; i < count_; ++i) {
    if (compressed) {
      ComputeCompressionCounts(i);
      packed_size_ += DiskEntrySize(i);
    } else {
      SetCompressionCounts(i, 0, 0);
    }
  }
}

void TPage::RecomputeCompressionAfterInsert(int at) {
  assert(at >= 0 && at < count_);
  if (!IsCompressedLeaf()) return;  // the new entry's counts are 0 already
  // The entry after the new one was packed against a different neighbour.
  const bool next = at + 1 < count_;
  if (next) packed_size_ -= DiskEntrySize(at + 1);
  ComputeCompressionCounts(at);
  packed_size_ += DiskEntrySize(at);
  if (next) {
    ComputeCompressionCounts(at + 1);
    packed_size_ += DiskEntrySize(at + 1);
  }
}

void TPage::RemoveEntryKeepingCompression(int at) {
  assert(at >= 0 && at < count_);
  if (!IsCompressedLeaf()) {
    RemoveEntries(at, 1);
    return;
  }
  packed_size_ -= DiskEntrySize(at);
  const bool next = at + 1 < count_;
  if (next) packed_size_ -= DiskEntrySize(at + 1);
  RemoveEntries(at, 1);
  if (next) {
    // The old next entry now follows the removed one's predecessor.
    ComputeCompressionCounts(at);
    packed_size_ += DiskEntrySize(at);
  }
}

void TPage::RecomputePackedSize() {
  packed_size_ = 0;
  if (!IsCompressedLeaf()) return;
  for (int i = 0; i < count_; ++i) packed_size_ += DiskEntrySize(i);
}

std::size_t TPage::DiskEntrySize(int i) const {
  const std::size_t k = format_.key_length;
  if (IsBranch()) return k + kEntryPointerLength + (format_.HasSubtreeCounts() ? kEntryCountLength : 0);
  const std::size_t d = static_cast<std::size_t>(Leading(i));
  const std::size_t t = static_cast<std::size_t>(Trailing(i));
  switch (format_.compression) {
    case 1: return 1 + k - d + kEntryPointerLength;
    case 2: return 1 + k - t + kEntryPointerLength;
    case 3: return 2 + k - d - t + kEntryPointerLength;
    default: return k + kEntryPointerLength;
  }
}

int TPage::Capacity() const {
  if (IsBranch()) return BranchCapacity(format_.key_length, format_.HasSubtreeCounts());
  return LeafCapacity(format_.key_length);
}

bool TPage::Overfull() const {
  if (IsCompressedLeaf()) return packed_size_ > kPageDataSize;
  return count_ > Capacity();
}

std::int64_t TPage::TotalSubtreeCount() const { return CountBefore(count_); }

std::int64_t TPage::CountBefore(int i) const {
  if (!IsBranch()) return i;
  std::int64_t sum = 0;
  for (int j = 0; j < i; ++j) sum += SubtreeCount(j);
  return sum;
}

int TPage::ConsecutiveRecordRun(int i, int direction) const {
  int run = 1;
  for (int j = i + direction; j >= 0 && j < count_; j += direction) {
    if (Pointer(j) != Pointer(j - direction) + direction) break;
    ++run;
  }
  return run;
}

std::span<std::uint8_t> TPage::Data() {
  Reserve(0);
  return std::span<std::uint8_t>(entries_).first(kPageDataSize);
}

std::span<const std::uint8_t> TPage::Data() const {
  return std::span<const std::uint8_t>(entries_).first(std::min(entries_.size(), kPageDataSize));
}

}  // namespace telvora::storage
