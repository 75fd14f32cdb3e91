#include "engine/records_bitmap.h"

#include <algorithm>
#include <bit>

namespace telvora::engine {

namespace {
constexpr std::size_t kWordsPerGrowth = TRecordsBitmap::kGrowthBytes / sizeof(std::uint32_t);

std::size_t WordOf(std::int32_t n) { return static_cast<std::size_t>(n - 1) / TRecordsBitmap::kWordBits; }
std::uint32_t BitOf(std::int32_t n) { return 1u << (static_cast<std::size_t>(n - 1) % TRecordsBitmap::kWordBits); }
}  // namespace

void TRecordsBitmap::SetSize(std::int32_t n) {
  size_ = std::max(n, 0);
  const std::size_t words = WordCount();
  if (words > words_.capacity()) {
    words_.reserve((words + kWordsPerGrowth - 1) / kWordsPerGrowth * kWordsPerGrowth);
  }
  words_.resize(words);
  InvalidateCounts();
}

std::uint32_t TRecordsBitmap::ValidMask(std::size_t w) const {
  const std::size_t bits = static_cast<std::size_t>(size_) - w * kWordBits;
  return bits >= kWordBits ? ~0u : (1u << bits) - 1u;
}

bool TRecordsBitmap::Test(std::int32_t n) const { return (words_[WordOf(n)] & BitOf(n)) != 0; }

void TRecordsBitmap::Set(std::int32_t n) {
  std::uint32_t& word = words_[WordOf(n)];
  if ((word & BitOf(n)) != 0) return;
  word |= BitOf(n);
  if (counts_valid_) ++block_counts_[WordOf(n) / kBlockWords];
}

void TRecordsBitmap::Clear(std::int32_t n) {
  std::uint32_t& word = words_[WordOf(n)];
  if ((word & BitOf(n)) == 0) return;
  word &= ~BitOf(n);
  if (counts_valid_) --block_counts_[WordOf(n) / kBlockWords];
}

void TRecordsBitmap::BuildCounts() const {
  const std::size_t words = WordCount();
  block_counts_.assign((words + kBlockWords - 1) / kBlockWords, 0);
  for (std::size_t w = 0; w < words; ++w) block_counts_[w / kBlockWords] += std::popcount(Word(w));
  counts_valid_ = true;
}

std::int32_t TRecordsBitmap::Count() const {
  if (!counts_valid_) BuildCounts();
  std::int32_t total = 0;
  for (std::int32_t c : block_counts_) total += c;
  return total;
}

void TRecordsBitmap::ClearAll() {
  std::fill(words_.begin(), words_.end(), 0u);
  InvalidateCounts();
}

void TRecordsBitmap::SetAll() {
  std::fill(words_.begin(), words_.end(), ~0u);
  InvalidateCounts();
}

void TRecordsBitmap::CopyFrom(const TRecordsBitmap& other) {
  SetSize(other.size_);
  std::copy(other.words_.begin(), other.words_.end(), words_.begin());
  InvalidateCounts();
}

void TRecordsBitmap::And(const TRecordsBitmap& other) {
  const std::size_t n = std::min(words_.size(), other.words_.size());
  for (std::size_t w = 0; w < n; ++w) words_[w] &= other.words_[w];
  for (std::size_t w = n; w < words_.size(); ++w) words_[w] = 0;
  InvalidateCounts();
}

void TRecordsBitmap::Or(const TRecordsBitmap& other) {
  const std::size_t n = std::min(words_.size(), other.words_.size());
  for (std::size_t w = 0; w < n; ++w) words_[w] |= other.words_[w];
  InvalidateCounts();
}

void TRecordsBitmap::Not() {
  for (std::uint32_t& word : words_) word = ~word;
  InvalidateCounts();
}

std::int32_t TRecordsBitmap::NextSet(std::int32_t after) const {
  if (after < 0) after = 0;
  if (after >= size_) return 0;
  std::size_t w = static_cast<std::size_t>(after) / kWordBits;
  std::uint32_t word = Word(w) & ~((BitOf(after + 1)) - 1u);
  while (true) {
    if (word != 0) return static_cast<std::int32_t>(w * kWordBits) + std::countr_zero(word) + 1;
    if (++w >= WordCount()) return 0;
    word = Word(w);
  }
}

std::int32_t TRecordsBitmap::NextSet(std::int32_t after, std::int32_t step, std::int32_t& passed) const {
  passed = 0;
  std::int32_t n = std::max(after, 0);
  while (passed < step) {
    const std::int32_t next = NextSet(n);
    if (next == 0) return 0;
    ++passed;
    n = next;
  }
  return n;
}

std::int32_t TRecordsBitmap::PriorSet(std::int32_t before) const {
  if (before > size_ + 1) before = size_ + 1;
  if (before <= 1) return 0;
  const std::int32_t last = before - 1;  // the highest candidate
  std::size_t w = WordOf(last);
  const std::size_t bit = static_cast<std::size_t>(last - 1) % kWordBits;
  std::uint32_t word = Word(w) & (bit == kWordBits - 1 ? ~0u : (2u << bit) - 1u);
  while (true) {
    if (word != 0) return static_cast<std::int32_t>(w * kWordBits + kWordBits) - std::countl_zero(word);
    if (w == 0) return 0;
    word = Word(--w);
  }
}

std::int32_t TRecordsBitmap::Rank(std::int32_t n) const {
  if (n <= 1) return 0;
  if (n > size_) return Count();
  if (!counts_valid_) BuildCounts();
  const std::size_t w = WordOf(n);
  const std::size_t block = w / kBlockWords;
  std::int32_t rank = 0;
  for (std::size_t b = 0; b < block; ++b) rank += block_counts_[b];
  for (std::size_t i = block * kBlockWords; i < w; ++i) rank += std::popcount(Word(i));
  rank += std::popcount(Word(w) & (BitOf(n) - 1u));
  return rank;
}

std::int32_t TRecordsBitmap::Select(std::int32_t k) const {
  if (k < 1) return 0;
  if (!counts_valid_) BuildCounts();
  std::int32_t left = k;
  std::size_t block = 0;
  while (block < block_counts_.size() && block_counts_[block] < left) left -= block_counts_[block++];
  if (block == block_counts_.size()) return 0;
  for (std::size_t w = block * kBlockWords; w < WordCount(); ++w) {
    std::uint32_t word = Word(w);
    const int bits = std::popcount(word);
    if (bits < left) {
      left -= bits;
      continue;
    }
    while (--left > 0) word &= word - 1;  // drop the lower set bits
    return static_cast<std::int32_t>(w * kWordBits) + std::countr_zero(word) + 1;
  }
  return 0;
}

// --- Pool ---

TRecordsBitmapStack& TRecordsBitmapStack::Instance() {
  static TRecordsBitmapStack stack;
  return stack;
}

std::unique_ptr<TRecordsBitmap> TRecordsBitmapStack::Take() {
  std::unique_ptr<TRecordsBitmap> set;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!kept_.empty()) {
      set = std::move(kept_.back());
      kept_.pop_back();
    }
  }
  if (!set) set = std::make_unique<TRecordsBitmap>();
  set->SetSize(0);
  set->ClearAll();
  return set;
}

void TRecordsBitmapStack::Release(std::unique_ptr<TRecordsBitmap> set) {
  if (!set) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (kept_.size() < kKeptSets) kept_.push_back(std::move(set));
}

std::size_t TRecordsBitmapStack::KeptCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return kept_.size();
}

}  // namespace telvora::engine
