// The entry primitives of an in-memory page: counts before an entry, the
// subtree count of a page, runs of consecutive record numbers for
// read-ahead, and entry storage growing past its first 4,096 bytes.

#include <gtest/gtest.h>

#include <vector>

#include "storage/page.h"

namespace telvora::storage {
namespace {

TPage MakePage(PageKind kind, const std::vector<std::int32_t>& pointers, const std::vector<std::int32_t>& counts = {}) {
  TPageFormat format;
  format.slot = 1;
  format.key_length = 4;
  TPage page;
  page.Reset(1, format);
  page.set_kind(kind);
  for (std::size_t i = 0; i < pointers.size(); ++i) {
    const std::uint8_t key[4] = {0, 0, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)};
    page.InsertEntry(static_cast<int>(i), key, pointers[i], counts.empty() ? 1 : counts[i]);
  }
  return page;
}

TEST(PageEntriesTest, CountsBeforeAnEntryAndOfTheWholePage) {
  const TPage branch = MakePage(PageKind::Branch, {10, 11, 12}, {5, 7, 2});
  EXPECT_EQ(branch.CountBefore(0), 0);
  EXPECT_EQ(branch.CountBefore(2), 12);
  EXPECT_EQ(branch.TotalSubtreeCount(), 14);
  const TPage leaf = MakePage(PageKind::Leaf, {4, 9, 1});
  EXPECT_EQ(leaf.CountBefore(2), 2);
  EXPECT_EQ(leaf.TotalSubtreeCount(), 3);
}

TEST(PageEntriesTest, RunsOfConsecutiveRecordNumbersInEitherDirection) {
  const TPage leaf = MakePage(PageKind::Leaf, {3, 4, 5, 9, 8, 7, 6});
  EXPECT_EQ(leaf.ConsecutiveRecordRun(0, 1), 3);   // 3, 4, 5
  EXPECT_EQ(leaf.ConsecutiveRecordRun(2, -1), 3);  // 5, 4, 3
  EXPECT_EQ(leaf.ConsecutiveRecordRun(3, 1), 1);   // 9 then 8
  // Walking left a backward read takes slots n - k + 1 to n: 6 then 7 is
  // no run.
  EXPECT_EQ(leaf.ConsecutiveRecordRun(6, -1), 1);
  EXPECT_EQ(leaf.ConsecutiveRecordRun(6, 1), 1);   // the last entry
}

TEST(PageEntriesTest, EntryStorageGrowsAndShrinksItsCount) {
  std::vector<std::int32_t> pointers(1000);
  for (std::size_t i = 0; i < pointers.size(); ++i) pointers[i] = static_cast<std::int32_t>(i);
  TPage page = MakePage(PageKind::Leaf, pointers);  // 14 bytes each: past 4,096
  ASSERT_EQ(page.count(), 1000);
  EXPECT_EQ(page.Pointer(999), 999);
  page.RemoveEntries(10, 980);
  ASSERT_EQ(page.count(), 20);
  EXPECT_EQ(page.Pointer(9), 9);
  EXPECT_EQ(page.Pointer(10), 990);
  TPage other = MakePage(PageKind::Leaf, {});
  other.InsertEntries(0, page, 5, 10);
  EXPECT_EQ(other.count(), 10);
  EXPECT_EQ(other.Pointer(0), 5);
  EXPECT_EQ(other.Pointer(9), 994);
}

}  // namespace
}  // namespace telvora::storage
