#pragma once
// TPage: one index page in memory, as the page cache holds it.
//
// Entries are kept expanded whatever the index's compression: each takes
// K + 10 bytes in the entry buffer:
//   key (K) | pointer (4: child page in a branch, record number in a leaf) |
//   subtree count (4) | leading-duplicate count d (1) | trailing-zero count t (1)
// Entry positions here are 0-based. The buffer grows in steps of 4,096 bytes
// and is not shrunk while the page lives.
//
// Invariants kept by its users: entries are in key order; d, t and the
// packed size are current after RecomputeCompression (which every change of
// a compressed leaf's entries is followed by); a branch entry's count is the
// number of leaf entries below its child (not kept when the index carries no
// counts). A data page (kind 4) keeps its 4,083 raw bytes in Data().
//
// Not thread-safe: used under the owning table's locks by one cursor at a
// time, pinned while in use.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "storage/page_image.h"

namespace telvora::storage {

// What a page needs to know of its index.
struct TPageFormat {
  int slot = 0;
  std::size_t key_length = 0;  // K
  bool descending = false;
  bool unique = true;
  std::uint8_t attribute = 0;  // set: branch entries carry no subtree counts
  std::uint8_t compression = 0;

  bool HasRecordIdSuffix() const { return !unique; }
  bool HasSubtreeCounts() const;
};

class TPage {
 public:
  static constexpr std::size_t kEntryExtra = 10;  // pointer, count, d, t
  static constexpr std::size_t kBufferStep = 4096;

  TPage() = default;

  // Makes the object page `number` of an index, empty (kind 0, no links).
  void Reset(std::int32_t number, const TPageFormat& format);

  std::int32_t number() const { return number_; }
  const TPageFormat& format() const { return format_; }
  std::size_t key_length() const { return format_.key_length; }

  PageKind kind() const { return kind_; }
  void set_kind(PageKind kind) { kind_ = kind; }
  bool IsBranch() const { return kind_ == PageKind::RootBranch || kind_ == PageKind::Branch; }
  bool IsLeaf() const { return kind_ == PageKind::Leaf || kind_ == PageKind::RootLeaf; }
  bool IsRoot() const { return kind_ == PageKind::RootBranch || kind_ == PageKind::RootLeaf; }
  // A leaf of an index with compression: limited by packed bytes, not count.
  bool IsCompressedLeaf() const { return IsLeaf() && format_.compression != 0; }

  int count() const { return count_; }
  std::int32_t left() const { return left_; }
  void set_left(std::int32_t page) { left_ = page; }
  std::int32_t right() const { return right_; }
  void set_right(std::int32_t page) { right_ = page; }
  std::size_t packed_size() const { return packed_size_; }

  bool modified() const { return modified_; }
  void set_modified(bool value) { modified_ = value; }
  int pin_count() const { return pin_count_; }
  void Pin() { ++pin_count_; }
  void Unpin() { if (pin_count_ > 0) --pin_count_; }
  bool freed() const { return freed_; }
  void set_freed(bool value) { freed_ = value; }

  // REQUIRES (entry accessors): 0 <= i < count().
  const std::uint8_t* Key(int i) const { return Entry(i); }
  std::uint8_t* MutableKey(int i) { return Entry(i); }
  std::int32_t Pointer(int i) const;
  void SetPointer(int i, std::int32_t value);
  std::int32_t SubtreeCount(int i) const;
  void SetSubtreeCount(int i, std::int32_t value);
  void AddToSubtreeCount(int i, std::int32_t delta) { SetSubtreeCount(i, SubtreeCount(i) + delta); }
  int Leading(int i) const { return Entry(i)[format_.key_length + 8]; }
  int Trailing(int i) const { return Entry(i)[format_.key_length + 9]; }
  void SetCompressionCounts(int i, int leading, int trailing);

  // Inserts an entry before position at (0 <= at <= count()).
  void InsertEntry(int at, const std::uint8_t* key, std::int32_t pointer, std::int32_t subtree_count);
  // Inserts n entries copied from another page of the same index.
  void InsertEntries(int at, const TPage& from, int from_first, int n);
  void RemoveEntries(int at, int n);
  void RemoveAll() { RemoveEntries(0, count_); }
  void ReplaceKey(int i, const std::uint8_t* key);

  // The entries' d, t and the packed size of a compressed leaf (0 for every
  // other page).
  void RecomputeCompression();
  // The same after one change, for a page whose counts and packed size
  // were right before it: only the entries next to the change are worked
  // out again. After InsertEntry(at, ...):
  void RecomputeCompressionAfterInsert(int at);
  // Removes entry `at` and works out again the entry that moves up.
  void RemoveEntryKeepingCompression(int at);
  // The packed size from the entries' d and t as they stand, for a page
  // whose counts were read from the file (0 for every page but a compressed
  // leaf).
  void RecomputePackedSize();
  // Bytes entry i takes on disk under the current d and t.
  std::size_t DiskEntrySize(int i) const;

  // Entries the page may hold: the capacity of its kind; a compressed leaf
  // is limited by bytes instead (Overfull tells).
  int Capacity() const;
  bool Overfull() const;
  // Leaf entries below the page: the sum of its entries' counts for a
  // branch, the entry count for a leaf.
  std::int64_t TotalSubtreeCount() const;
  // Sum of the counts of entries 0 .. i-1 (a leaf's entries count 1 each).
  std::int64_t CountBefore(int i) const;
  // The number of entries from i in the given direction (+1 or -1) whose
  // record numbers follow each other (r, r+1, ... or r, r-1, ...), at least
  // 1. For read-ahead over a run of records. REQUIRES: a leaf.
  int ConsecutiveRecordRun(int i, int direction) const;

  std::span<std::uint8_t> Data();  // kind 4: the 4,083 raw bytes
  std::span<const std::uint8_t> Data() const;

 private:
  void ComputeCompressionCounts(int i);
  std::size_t Stride() const { return format_.key_length + kEntryExtra; }
  std::uint8_t* Entry(int i) { return entries_.data() + static_cast<std::size_t>(i) * Stride(); }
  const std::uint8_t* Entry(int i) const { return entries_.data() + static_cast<std::size_t>(i) * Stride(); }
  void Reserve(int entries);

  std::int32_t number_ = 0;
  TPageFormat format_;
  PageKind kind_ = PageKind::RootBranch;
  int count_ = 0;
  std::int32_t left_ = 0;
  std::int32_t right_ = 0;
  std::size_t packed_size_ = 0;
  bool modified_ = false;
  int pin_count_ = 0;
  bool freed_ = false;
  std::vector<std::uint8_t> entries_;
};

}  // namespace telvora::storage
