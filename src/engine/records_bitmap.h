#pragma once
// TRecordsBitmap: a set of record numbers 1 .. n of one table, one bit per
// record, as the cursor keeps the records it may show (live, in range,
// passing its filters).
//
// Bits are stored in 32-bit words; the bit count is rounded up to a multiple
// of 32 and the storage grows in steps of 256 bytes. Bits beyond n (spare
// bits) may hold anything after Not; no operation reads them. A count of set
// bits is cached per block of words so that Rank (the number of set bits
// before a record) stays cheap on a million records: record numbers in
// natural order are ranks.
//
// TRecordsBitmapStack: the process-wide pool the cursors take their sets
// from. It keeps up to 64 released sets for reuse; a taken set is empty.
//
// Threads: a set belongs to one cursor and is used by one thread at a time;
// the pool is guarded by one mutex and may be used from any thread.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace telvora::engine {

class TRecordsBitmap {
 public:
  static constexpr std::size_t kWordBits = 32;
  static constexpr std::size_t kGrowthBytes = 256;
  // Words per cached block count.
  static constexpr std::size_t kBlockWords = 64;

  TRecordsBitmap() = default;

  // Records 1 .. n. Keeps the existing words; new bits are undefined until
  // cleared (ClearAll or SetAll).
  void SetSize(std::int32_t n);
  std::int32_t Size() const { return size_; }

  // REQUIRES (bit operations): 1 <= n <= Size().
  bool Test(std::int32_t n) const;
  void Set(std::int32_t n);
  void Clear(std::int32_t n);

  std::int32_t Count() const;
  void ClearAll();
  void SetAll();
  // Takes size and bits of another set.
  void CopyFrom(const TRecordsBitmap& other);
  // Word by word with a set of the same size.
  void And(const TRecordsBitmap& other);
  void Or(const TRecordsBitmap& other);
  void Not();

  // The first set bit after `after` (0 = from the start), or 0 when none.
  std::int32_t NextSet(std::int32_t after) const;
  // The step-th set bit after `after` (step >= 1); passed counts the set
  // bits passed on the way (step when found). 0 when there are fewer.
  std::int32_t NextSet(std::int32_t after, std::int32_t step, std::int32_t& passed) const;
  // The last set bit before `before` (Size() + 1 = from the end), or 0.
  std::int32_t PriorSet(std::int32_t before) const;
  // Set bits among 1 .. n-1.
  std::int32_t Rank(std::int32_t n) const;
  // The record whose rank is k - 1, i.e. the k-th set bit (k >= 1), or 0.
  std::int32_t Select(std::int32_t k) const;

 private:
  std::size_t WordCount() const { return (static_cast<std::size_t>(size_) + kWordBits - 1) / kWordBits; }
  // Mask of the valid bits of word w.
  std::uint32_t ValidMask(std::size_t w) const;
  std::uint32_t Word(std::size_t w) const { return words_[w] & ValidMask(w); }
  void InvalidateCounts() const { counts_valid_ = false; }
  void BuildCounts() const;

  std::int32_t size_ = 0;
  std::vector<std::uint32_t> words_;
  // Set bits per block of kBlockWords words, rebuilt lazily after a change
  // of many bits; single-bit changes keep it current.
  mutable std::vector<std::int32_t> block_counts_;
  mutable bool counts_valid_ = false;
};

class TRecordsBitmapStack {
 public:
  static constexpr std::size_t kKeptSets = 64;

  static TRecordsBitmapStack& Instance();

  // An empty set of size 0, from the pool when one is kept.
  std::unique_ptr<TRecordsBitmap> Take();
  // Keeps the set for reuse (up to kKeptSets), else frees it.
  void Release(std::unique_ptr<TRecordsBitmap> set);
  std::size_t KeptCount() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<TRecordsBitmap>> kept_;
};

}  // namespace telvora::engine
