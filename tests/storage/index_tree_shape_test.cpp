// The shapes an index takes at its edges: the first key, the first split,
// emptying and refilling, duplicates in unique indexes, compressed leaves,
// searches with short keys, and the 64-level path limit.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "memory_index_page_file.h"
#include "storage/index_key.h"
#include "storage/index_tree.h"
#include "storage/storage_errors.h"

namespace telvora::storage {
namespace {

using testing::TMemoryIndexPageFile;

int CompareAscending(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  const int result = std::memcmp(a, b, n);
  return result == 0 ? 0 : (result < 0 ? -1 : 1);
}

struct Index {
  explicit Index(std::size_t k, std::uint8_t compression = 0, bool unique = true)
      : cache(file, spares, 1, Format(k, compression, unique), 16384), tree(cache, CompareAscending, "ByName") {}

  static TPageFormat Format(std::size_t k, std::uint8_t compression, bool unique) {
    TPageFormat format;
    format.slot = 1;
    format.key_length = k;
    format.compression = compression;
    format.unique = unique;
    return format;
  }

  PageKind Kind(std::int32_t n) {
    TPage* page = cache.GetPage(n);
    const PageKind kind = page->kind();
    cache.ReleasePage(page);
    return kind;
  }
  int Count(std::int32_t n) {
    TPage* page = cache.GetPage(n);
    const int count = page->count();
    cache.ReleasePage(page);
    return count;
  }
  std::int32_t Root() const { return file.RootPage(1); }

  TMemoryIndexPageFile file;
  TPageStack spares;
  TIndexPageCache cache;
  TIndexTree tree;
};

std::vector<std::uint8_t> NumberKey(std::size_t k, std::int32_t n) {
  std::vector<std::uint8_t> key(k, 0);
  EncodeSignedKey(n, std::span<std::uint8_t>(key).first(4));
  return key;
}

TEST(IndexTreeShapeTest, FirstKeyMakesRootLeafAndOverflowMakesRootBranch) {
  Index index(60);
  index.tree.AddKey(NumberKey(60, 1).data(), 1);
  ASSERT_NE(index.Root(), 0);
  EXPECT_EQ(index.Kind(index.Root()), PageKind::RootLeaf);
  for (int i = 2; i <= 63; ++i) index.tree.AddKey(NumberKey(60, i).data(), i);
  EXPECT_EQ(index.Kind(index.Root()), PageKind::RootLeaf) << "63 entries fit a leaf of K = 60";
  index.tree.AddKey(NumberKey(60, 64).data(), 64);
  const std::int32_t root = index.Root();
  ASSERT_EQ(index.Kind(root), PageKind::RootBranch);
  TPage* page = index.cache.GetPage(root);
  ASSERT_EQ(page->count(), 2);
  const std::int32_t left = page->Pointer(0);
  const std::int32_t right = page->Pointer(1);
  EXPECT_EQ(page->SubtreeCount(0), 32);
  EXPECT_EQ(page->SubtreeCount(1), 32);
  index.cache.ReleasePage(page);
  EXPECT_EQ(index.Kind(left), PageKind::Leaf);
  EXPECT_EQ(index.Kind(right), PageKind::Leaf);
  EXPECT_EQ(index.tree.KeyCount(), 64);
}

TEST(IndexTreeShapeTest, DeletingTheLastKeyFreesTheRootForReuse) {
  Index index(8);
  const auto key = NumberKey(8, 5);
  index.tree.AddKey(key.data(), 5);
  const std::int32_t page = index.Root();
  EXPECT_TRUE(index.tree.DeleteKey(key.data()));
  EXPECT_EQ(index.Root(), 0);
  EXPECT_EQ(index.file.FreeChainHead(1), page);
  EXPECT_FALSE(index.tree.DeleteKey(key.data()));
  EXPECT_FALSE(index.tree.Find(key.data(), 8, true).has_value());
  index.tree.AddKey(key.data(), 6);
  EXPECT_EQ(index.Root(), page) << "the freed page is taken again";
  EXPECT_EQ(index.file.FreeChainHead(1), 0);
}

TEST(IndexTreeShapeTest, UniqueIndexRefusesAnEqualKeyWithItsName) {
  Index index(5);
  const auto key = NumberKey(5, 9);
  index.tree.AddKey(key.data(), 1);
  const int changes = index.file.changes;
  try {
    index.tree.AddKey(key.data(), 2);
    FAIL() << "accepted";
  } catch (const EVoraEngineError& error) {
    EXPECT_EQ(error.EngineCode, VORA_KEYVIOL);
    EXPECT_EQ(error.ContextIndex, "ByName");
    EXPECT_EQ(error.ContextTable, "Tree");
  }
  EXPECT_EQ(index.file.changes, changes);
  EXPECT_EQ(index.tree.KeyCount(), 1);
}

TEST(IndexTreeShapeTest, NonUniqueIndexKeepsEqualValuesInRecordIdOrder) {
  Index index(9, 0, false);
  for (std::int32_t id : {3, 1, 2}) {
    std::vector<std::uint8_t> key(9, 0);
    EncodeSignedKey(7, std::span<std::uint8_t>(key).first(4));
    key[4] = 1;
    EncodeSignedKey(id, std::span<std::uint8_t>(key).subspan(5));
    index.tree.AddKey(key.data(), id * 10);
  }
  // A search over the value alone finds the first and the last of them.
  const auto value = NumberKey(5, 7);
  std::vector<std::uint8_t> prefix(value);
  prefix[4] = 1;
  const auto first = index.tree.Find(prefix.data(), 5, true);
  const auto last = index.tree.Find(prefix.data(), 5, false);
  ASSERT_TRUE(first && last);
  EXPECT_EQ(first->record_number, 10);
  EXPECT_EQ(first->ordinal, 0);
  EXPECT_EQ(last->record_number, 30);
  EXPECT_EQ(last->ordinal, 2);
}

TEST(IndexTreeShapeTest, ShortKeySearchesCrossLeafBoundaries) {
  Index index(8);
  for (std::int32_t i = 0; i < 2000; ++i) {
    std::vector<std::uint8_t> key(8, 0);
    EncodeSignedKey(i / 100, std::span<std::uint8_t>(key).first(4));  // 100 equal prefixes each
    EncodeSignedKey(i, std::span<std::uint8_t>(key).subspan(4));
    index.tree.AddKey(key.data(), i + 1);
  }
  for (std::int32_t group = 0; group < 20; ++group) {
    const auto prefix = NumberKey(4, group);
    const auto first = index.tree.Find(prefix.data(), 4, true);
    const auto last = index.tree.Find(prefix.data(), 4, false);
    ASSERT_TRUE(first && last) << group;
    EXPECT_EQ(first->ordinal, group * 100);
    EXPECT_EQ(first->record_number, group * 100 + 1);
    EXPECT_EQ(last->ordinal, group * 100 + 99);
    EXPECT_EQ(last->record_number, group * 100 + 100);
  }
  // Past the ends.
  const auto beyond = NumberKey(4, 20);
  EXPECT_FALSE(index.tree.Find(beyond.data(), 4, true).has_value());
  const auto before = NumberKey(4, -1);
  EXPECT_FALSE(index.tree.Find(before.data(), 4, false).has_value());
}

TEST(IndexTreeShapeTest, CompressedLeavesHoldMoreThanUncompressedCapacity) {
  Index plain(61);
  Index packed(61, 3);
  for (std::int32_t i = 0; i < 200; ++i) {
    std::vector<std::uint8_t> key(61, 0);
    std::fill_n(key.begin(), 50, 'M');  // a long shared prefix
    EncodeSignedKey(i, std::span<std::uint8_t>(key).subspan(50, 4));
    plain.tree.AddKey(key.data(), i);
    packed.tree.AddKey(key.data(), i);
  }
  EXPECT_EQ(plain.Kind(plain.Root()), PageKind::RootBranch);
  EXPECT_EQ(packed.Kind(packed.Root()), PageKind::RootLeaf);
  EXPECT_EQ(packed.Count(packed.Root()), 200);
  EXPECT_GT(200, LeafCapacity(61));
}

TEST(PagePathTest, MoreThan64LevelsIsCorrupt) {
  TPagePath path;
  for (int i = 0; i < kMaxPathLevels; ++i) path.Push(i + 1, 0, "Deep");
  try {
    path.Push(65, 0, "Deep");
    FAIL() << "accepted";
  } catch (const EVoraEngineError& error) {
    EXPECT_EQ(error.EngineCode, VORA_INDEXCORRUPT);
  }
  EXPECT_EQ(path.depth(), kMaxPathLevels);
}

TEST(IndexTreeShapeTest, ACycleOfBranchPagesIsCorrupt) {
  // A root branch whose child is a branch pointing back at it: the descent
  // must stop with 8965, not loop.
  Index index(4);
  TPage* root = index.cache.NewPage();
  TPage* child = index.cache.NewPage();
  const std::uint8_t key[4] = {0, 0, 0, 1};
  root->set_kind(PageKind::RootBranch);
  root->InsertEntry(0, key, child->number(), 1);
  child->set_kind(PageKind::Branch);
  child->InsertEntry(0, key, root->number(), 1);
  index.file.SetRootPage(1, root->number());
  index.cache.ReleasePage(root);
  index.cache.ReleasePage(child);
  try {
    index.tree.AddKey(key, 1);
    FAIL() << "accepted";
  } catch (const EVoraEngineError& error) {
    EXPECT_EQ(error.EngineCode, VORA_INDEXCORRUPT);
  }
}

}  // namespace
}  // namespace telvora::storage
