// TRecordsBitmap against a plain vector of flags: sizes that are and are not
// multiples of 32, the word operations (NOT flips spare bits that no query
// may see), next/previous set bit, rank and select; and the pool's limit.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "engine/records_bitmap.h"

namespace telvora::engine {
namespace {

// Record r is flags[r] (index 0 unused).
std::vector<bool> Model(const TRecordsBitmap& set) {
  std::vector<bool> flags(static_cast<std::size_t>(set.Size()) + 1, false);
  for (std::int32_t r = 1; r <= set.Size(); ++r) flags[static_cast<std::size_t>(r)] = set.Test(r);
  return flags;
}

void ExpectQueriesMatch(const TRecordsBitmap& set, const std::vector<bool>& flags) {
  const std::int32_t n = set.Size();
  std::int32_t count = 0;
  for (std::int32_t r = 1; r <= n; ++r) count += flags[static_cast<std::size_t>(r)] ? 1 : 0;
  EXPECT_EQ(set.Count(), count);
  std::int32_t rank = 0;
  std::int32_t prior = 0;
  for (std::int32_t r = 1; r <= n + 1; ++r) {
    ASSERT_EQ(set.Rank(r), rank) << r;
    ASSERT_EQ(set.PriorSet(r), prior) << r;
    if (r <= n && flags[static_cast<std::size_t>(r)]) {
      ++rank;
      prior = r;
      ASSERT_EQ(set.Select(rank), r) << rank;
    }
  }
  EXPECT_EQ(set.Select(rank + 1), 0);
  std::int32_t next = 0;
  for (std::int32_t r = n; r >= 0; --r) {
    ASSERT_EQ(set.NextSet(r), next) << r;
    if (r >= 1 && flags[static_cast<std::size_t>(r)]) next = r;
  }
}

TEST(RecordsBitmapTest, QueriesMatchAPlainModel) {
  std::mt19937 random(7);
  for (const std::int32_t size : {1, 31, 32, 33, 64, 1000, 4097, 70000}) {
    SCOPED_TRACE(size);
    TRecordsBitmap set;
    set.SetSize(size);
    set.ClearAll();
    std::vector<bool> flags(static_cast<std::size_t>(size) + 1, false);
    for (int i = 0; i < size / 3 + 1; ++i) {
      const std::int32_t r = static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(size)) + 1;
      set.Set(r);
      flags[static_cast<std::size_t>(r)] = true;
    }
    ExpectQueriesMatch(set, flags);
    set.Clear(size);
    flags[static_cast<std::size_t>(size)] = false;
    // Counts stay right through single-bit changes after a query built them.
    ExpectQueriesMatch(set, flags);

    set.Not();
    for (std::size_t r = 1; r < flags.size(); ++r) flags[r] = !flags[r];
    ExpectQueriesMatch(set, flags);  // the flipped spare bits stay unseen

    TRecordsBitmap other;
    other.SetSize(size);
    other.SetAll();
    other.Clear(1);
    set.And(other);
    flags[1] = false;
    ExpectQueriesMatch(set, flags);
    other.ClearAll();
    other.Set(1);
    set.Or(other);
    flags[1] = true;
    ExpectQueriesMatch(set, flags);

    TRecordsBitmap copy;
    copy.CopyFrom(set);
    EXPECT_EQ(Model(copy), flags);
  }
}

TEST(RecordsBitmapTest, StepsOverSetBits) {
  TRecordsBitmap set;
  set.SetSize(100);
  set.ClearAll();
  for (const std::int32_t r : {3, 10, 64, 65, 99}) set.Set(r);
  std::int32_t passed = 0;
  EXPECT_EQ(set.NextSet(0, 3, passed), 64);
  EXPECT_EQ(passed, 3);
  EXPECT_EQ(set.NextSet(64, 5, passed), 0);
  EXPECT_EQ(passed, 2);
}

TEST(RecordsBitmapTest, ThePoolKeepsSixtyFourEmptySets) {
  TRecordsBitmapStack& pool = TRecordsBitmapStack::Instance();
  std::vector<std::unique_ptr<TRecordsBitmap>> taken;
  for (int i = 0; i < 80; ++i) {
    taken.push_back(pool.Take());
    taken.back()->SetSize(50);
    taken.back()->SetAll();
  }
  for (auto& set : taken) pool.Release(std::move(set));
  EXPECT_EQ(pool.KeptCount(), TRecordsBitmapStack::kKeptSets);
  const auto again = pool.Take();
  EXPECT_EQ(again->Size(), 0);
  EXPECT_EQ(again->Count(), 0);
  EXPECT_EQ(pool.KeptCount(), TRecordsBitmapStack::kKeptSets - 1);
  pool.Release(nullptr);
  EXPECT_EQ(pool.KeptCount(), TRecordsBitmapStack::kKeptSets - 1);
}

}  // namespace
}  // namespace telvora::engine
