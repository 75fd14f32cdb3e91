// The page cache of an index: capacity, recency eviction, pinning and
// growth, writing modified pages in runs, and the index's free page chain.

#include <gtest/gtest.h>

#include "memory_index_page_file.h"
#include "storage/byte_image.h"
#include "storage/index_page_cache.h"
#include "storage/storage_errors.h"

namespace telvora::storage {
namespace {

using testing::TMemoryIndexPageFile;

TPageFormat LeafFormat() {
  TPageFormat format;
  format.slot = 2;
  format.key_length = 4;
  return format;
}

std::uint16_t ErrorCode(const std::function<void()>& action) {
  try {
    action();
  } catch (const EVoraEngineError& error) {
    return static_cast<std::uint16_t>(error.EngineCode);
  }
  return 0;
}

class IndexPageCacheTest : public ::testing::Test {
 protected:
  IndexPageCacheTest() {
    // Pages 1 to 6 exist in the file as leaves.
    for (std::int32_t n = 1; n <= 6; ++n) {
      auto& image = file_.pages[n];
      image.fill(0);
      image[kPageKindOffset] = static_cast<std::uint8_t>(PageKind::Leaf);
    }
    file_.header().SetNextPageNumber(7);
  }

  void Touch(std::int32_t n, bool modify = false) {
    TPage* page = cache_.GetPage(n);
    ASSERT_NE(page, nullptr);
    if (modify) page->set_modified(true);
    cache_.ReleasePage(page);
  }

  TMemoryIndexPageFile file_;
  TPageStack spares_;
  TIndexPageCache cache_{file_, spares_, 2, LeafFormat(), 16384};
};

TEST_F(IndexPageCacheTest, CapacityIsDataBufferBytesPer8192) {
  EXPECT_EQ(cache_.capacity(), 2);
  TIndexPageCache larger(file_, spares_, 3, LeafFormat(), 65536);
  EXPECT_EQ(larger.capacity(), 8);
}

TEST_F(IndexPageCacheTest, LeastRecentlyUsedCleanPageLeaves) {
  Touch(1);
  Touch(2);
  Touch(1);  // 2 is now the least recently used
  Touch(3);
  EXPECT_EQ(cache_.size(), 2);
  EXPECT_TRUE(cache_.Contains(1));
  EXPECT_FALSE(cache_.Contains(2));
  EXPECT_TRUE(cache_.Contains(3));
  EXPECT_EQ(file_.reads, 3);
  Touch(1);
  EXPECT_EQ(file_.reads, 3) << "a cached page is not read again";
}

TEST_F(IndexPageCacheTest, PinnedPagesMakeTheCacheGrowByFour) {
  TPage* one = cache_.GetPage(1);
  TPage* two = cache_.GetPage(2);
  TPage* three = cache_.GetPage(3);
  EXPECT_EQ(cache_.capacity(), 6);
  EXPECT_EQ(cache_.size(), 3);
  EXPECT_EQ(one->pin_count(), 1);
  cache_.ReleasePage(one);
  cache_.ReleasePage(two);
  cache_.ReleasePage(three);
  cache_.ReleasePage(three);  // not below 0
  EXPECT_EQ(three->pin_count(), 0);
  // Trimming evicts down to the capacity, which then stays where it is.
  cache_.Trim();
  EXPECT_EQ(cache_.capacity(), 6);
}

TEST_F(IndexPageCacheTest, ModifiedPagesAreWrittenToMakeRoom) {
  Touch(1, true);
  Touch(2, true);
  Touch(3);
  EXPECT_EQ(file_.writes, 1) << "pages 1 and 2 go in one write";
  EXPECT_EQ(file_.pages_written, 2);
  EXPECT_EQ(cache_.capacity(), 2);
  EXPECT_TRUE(cache_.Contains(3));
}

TEST_F(IndexPageCacheTest, LockedTableKeepsModifiedPagesAndGrows) {
  file_.table_locked = true;
  Touch(1, true);
  Touch(2, true);
  Touch(3);
  EXPECT_EQ(file_.writes, 0);
  EXPECT_EQ(cache_.capacity(), 6);
  EXPECT_EQ(cache_.size(), 3);
}

TEST_F(IndexPageCacheTest, WritesRunsOfConsecutiveUnpinnedPages) {
  file_.table_locked = true;  // keep everything cached while setting up
  for (std::int32_t n : {1, 2, 3, 5, 6}) Touch(n, true);
  TPage* pinned = cache_.GetPage(6);
  EXPECT_TRUE(cache_.WriteModifiedPages());
  EXPECT_EQ(file_.writes, 2) << "runs 1-3 and 5";
  EXPECT_EQ(file_.pages_written, 4);
  EXPECT_TRUE(pinned->modified()) << "a pinned page is not written";
  cache_.ReleasePage(pinned);
  EXPECT_TRUE(cache_.WriteModifiedPages());
  EXPECT_FALSE(cache_.WriteModifiedPages());
}

TEST_F(IndexPageCacheTest, PageZeroIsCorruptAndChangeDetectionGivesNothing) {
  EXPECT_EQ(ErrorCode([&] { cache_.GetPage(0); }), VORA_INDEXCORRUPT);
  file_.change_detected = true;
  EXPECT_EQ(cache_.GetPage(4), nullptr);
  EXPECT_FALSE(cache_.Contains(4));
}

TEST_F(IndexPageCacheTest, FreedPagesAreReusedLastFreedFirst) {
  TIndexPageCache cache(file_, spares_, 5, LeafFormat(), 16384);
  std::vector<std::int32_t> numbers;
  for (int i = 0; i < 3; ++i) {
    TPage* page = cache.NewPage();
    EXPECT_EQ(page->kind(), PageKind::RootBranch);
    EXPECT_EQ(page->count(), 0);
    EXPECT_TRUE(page->modified());
    numbers.push_back(page->number());
    cache.ReleasePage(page);
  }
  EXPECT_EQ(numbers, (std::vector<std::int32_t>{7, 8, 9}));
  for (std::int32_t n : {8, 9}) {
    TPage* page = cache.GetPage(n);
    page->set_kind(PageKind::Leaf);
    page->set_left(7);
    cache.FreePage(page);
    EXPECT_EQ(page->left(), 0) << "links are cleared on the free chain";
    cache.ReleasePage(page);
  }
  EXPECT_EQ(file_.FreeChainHead(5), 9);
  cache.WriteModifiedPages();
  // The freed page is stored with its kind, no entries and the chain link.
  const auto& image = file_.pages[9];
  EXPECT_EQ(image[kPageKindOffset], static_cast<std::uint8_t>(PageKind::Leaf));
  EXPECT_EQ(LoadLittle<std::uint16_t>(image, kPageCountOffset), 0);
  EXPECT_EQ(LoadLittle<std::int32_t>(image, kPageRightOffset), 8);
  cache.Drop();  // the chain is followed through the file
  std::vector<std::int32_t> reused;
  for (int i = 0; i < 3; ++i) {
    TPage* page = cache.NewPage();
    EXPECT_FALSE(page->freed());
    EXPECT_EQ(page->right(), 0);
    reused.push_back(page->number());
    cache.ReleasePage(page);
  }
  EXPECT_EQ(reused, (std::vector<std::int32_t>{9, 8, 10}));
  EXPECT_EQ(file_.FreeChainHead(5), 0);
  // Each index keeps its own chain.
  EXPECT_EQ(file_.FreeChainHead(2), 0);
}

TEST(IndexPageLimitTest, NewPagesStopAtTheFileLimits) {
  // Page 976,561 ends at byte 3,999,997,951; page 976,562 would pass
  // 4,000,000,000.
  EXPECT_EQ(ErrorCode([] { CheckNewPageNumber(976561, "Full"); }), 0);
  EXPECT_EQ(ErrorCode([] { CheckNewPageNumber(976562, "Full"); }), VORA_TABLEFULL);
  EXPECT_EQ(ErrorCode([] { CheckNewPageNumber(2'000'000'001, "Full"); }), VORA_TABLEFULL);
  TMemoryIndexPageFile file;
  TPageStack spares;
  TIndexPageCache cache(file, spares, 1, LeafFormat(), 16384);
  file.header().SetNextPageNumber(976562);
  EXPECT_EQ(ErrorCode([&] { cache.NewPage(); }), VORA_TABLEFULL);
  EXPECT_EQ(file.header().NextPageNumber(), 976562);
}

TEST(PageStackTest, KeepsAtMostFourSparePages) {
  TPageStack stack;
  for (int i = 0; i < 6; ++i) stack.Give(std::make_unique<TPage>());
  EXPECT_EQ(stack.size(), 4u);
  auto page = stack.Take();
  EXPECT_NE(page, nullptr);
  EXPECT_EQ(stack.size(), 3u);
}

}  // namespace
}  // namespace telvora::storage
