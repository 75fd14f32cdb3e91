// Random inserts and deletes on index trees of every shape, checked against
// an ordered map after every batch: the in-order walk, the pages' counts,
// kinds and sibling links, and each key's ordinal position.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "memory_index_page_file.h"
#include "storage/index_key.h"
#include "storage/index_page_cache.h"
#include "storage/index_tree.h"
#include "storage/storage_errors.h"

namespace telvora::storage {
namespace {

using Key = std::vector<std::uint8_t>;

struct TreeCase {
  const char* name;
  std::size_t key_length;
  bool unique;
  bool descending;
  std::uint8_t compression;
  bool no_counts;
  int operations;
  int data_buffer_bytes = 16384;  // 2 cached pages, the default
};

int CompareBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t length, bool descending) {
  const int result = std::memcmp(a, b, length);
  const int sign = result == 0 ? 0 : (result < 0 ? -1 : 1);
  return descending ? -sign : sign;
}

class TreeModel {
 public:
  explicit TreeModel(const TreeCase& c)
      : case_(c),
        compare_([descending = c.descending](const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
          return CompareBytes(a, b, n, descending);
        }),
        model_([descending = c.descending](const Key& a, const Key& b) {
          return CompareBytes(a.data(), b.data(), a.size(), descending) < 0;
        }),
        cache_(file_, spares_, 1, Format(c), c.data_buffer_bytes),
        tree_(cache_, compare_, "ByValue"),
        random_(static_cast<unsigned>(c.key_length * 7919 + c.compression * 31 + (c.unique ? 1 : 0))) {
    for (int i = 0; i < 4; ++i) prefixes_.push_back(RandomBytes(ValueLength()));
  }

  static TPageFormat Format(const TreeCase& c) {
    TPageFormat format;
    format.slot = 1;
    format.key_length = c.key_length;
    format.descending = c.descending;
    format.unique = c.unique;
    format.attribute = c.no_counts ? 1 : 0;
    format.compression = c.compression;
    return format;
  }

  std::size_t ValueLength() const { return case_.key_length - (case_.unique ? 0 : kRecordIdSuffixLength); }

  Key RandomBytes(std::size_t n) {
    std::uniform_int_distribution<int> byte(1, 255);
    Key bytes(n);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(byte(random_));
    return bytes;
  }

  // Keys with shared prefixes of random length and zero tails, from a small
  // alphabet so that equal values (duplicates) come often.
  Key RandomKey() {
    const std::size_t value_length = ValueLength();
    Key key(case_.key_length, 0);
    std::uniform_int_distribution<std::size_t> prefix_pick(0, prefixes_.size() - 1);
    std::uniform_int_distribution<std::size_t> prefix_length(0, value_length);
    const Key& prefix = prefixes_[prefix_pick(random_)];
    const std::size_t shared = prefix_length(random_);
    std::copy_n(prefix.begin(), shared, key.begin());
    std::uniform_int_distribution<std::size_t> tail_length(0, 6);
    std::uniform_int_distribution<int> letter(1, 12);
    const std::size_t tail = std::min(tail_length(random_), value_length - shared);
    for (std::size_t i = 0; i < tail; ++i) key[shared + i] = static_cast<std::uint8_t>(letter(random_));
    if (!case_.unique) {
      EncodeSignedKey(next_record_id_++, std::span<std::uint8_t>(key).subspan(value_length));
    }
    return key;
  }

  void Insert() {
    Key key = RandomKey();
    const std::int32_t record = next_record_++;
    const bool present = model_.count(key) != 0;
    try {
      tree_.AddKey(key.data(), record);
      ASSERT_FALSE(present) << "a duplicate key was accepted";
      model_.emplace(std::move(key), record);
    } catch (const EVoraEngineError& error) {
      ASSERT_TRUE(present) << error.what();
      ASSERT_EQ(error.EngineCode, VORA_KEYVIOL);
      ASSERT_TRUE(case_.unique);
      duplicates_refused_++;
    }
  }

  void Delete() {
    if (model_.empty() || random_() % 8 == 0) {
      // A key the index does not hold is refused without a change.
      Key key = RandomKey();
      if (model_.count(key) == 0) {
        ASSERT_FALSE(tree_.DeleteKey(key.data()));
      }
      return;
    }
    auto it = model_.begin();
    std::advance(it, static_cast<long>(random_() % model_.size()));
    ASSERT_TRUE(tree_.DeleteKey(it->first.data()));
    model_.erase(it);
  }

  TPage* Page(std::int32_t n) {
    TPage* page = cache_.GetPage(n);
    EXPECT_NE(page, nullptr);
    return page;
  }

  // Walks one subtree: checks kinds, first keys and counts; collects the
  // pages of each level in order. Returns the number of leaf entries.
  std::int64_t CheckSubtree(std::int32_t n, int level, bool root, std::vector<std::vector<std::int32_t>>& levels,
                            const Key* first_key) {
    TPage* page = Page(n);
    if (static_cast<int>(levels.size()) <= level) levels.resize(static_cast<std::size_t>(level) + 1);
    levels[static_cast<std::size_t>(level)].push_back(n);
    EXPECT_EQ(page->IsRoot(), root) << "page " << n;
    EXPECT_FALSE(page->freed());
    EXPECT_GT(page->count(), 0) << "an empty page stayed in the tree: " << n;
    if (page->IsCompressedLeaf()) {
      EXPECT_LE(page->packed_size(), kPageDataSize);
    } else {
      EXPECT_LE(page->count(), page->Capacity());
    }
    if (first_key != nullptr && page->count() > 0) {
      EXPECT_EQ(std::memcmp(page->Key(0), first_key->data(), case_.key_length), 0) << "parent key of page " << n;
    }
    std::int64_t total = 0;
    if (page->IsLeaf()) {
      total = page->count();
      for (int i = 0; i < page->count(); ++i) {
        walk_.emplace_back(Key(page->Key(i), page->Key(i) + case_.key_length), page->Pointer(i));
      }
    } else {
      std::vector<std::pair<Key, std::pair<std::int32_t, std::int32_t>>> entries;
      for (int i = 0; i < page->count(); ++i) {
        entries.push_back({Key(page->Key(i), page->Key(i) + case_.key_length),
                           {page->Pointer(i), page->SubtreeCount(i)}});
      }
      cache_.ReleasePage(page);
      page = nullptr;
      for (const auto& [key, child] : entries) {
        const std::int64_t below = CheckSubtree(child.first, level + 1, false, levels, &key);
        EXPECT_EQ(child.second, case_.no_counts ? 0 : below) << "count of child " << child.first;
        total += below;
      }
    }
    cache_.ReleasePage(page);
    return total;
  }

  void Check() {
    walk_.clear();
    const std::int32_t root = file_.RootPage(1);
    if (model_.empty()) {
      ASSERT_EQ(root, 0) << "an empty index keeps a root";
    } else {
      ASSERT_NE(root, 0);
      std::vector<std::vector<std::int32_t>> levels;
      CheckSubtree(root, 0, true, levels, nullptr);
      // Sibling links run through each level in key order.
      for (const auto& pages : levels) {
        for (std::size_t i = 0; i < pages.size(); ++i) {
          TPage* page = Page(pages[i]);
          EXPECT_EQ(page->left(), i == 0 ? 0 : pages[i - 1]) << "left link of " << pages[i];
          EXPECT_EQ(page->right(), i + 1 == pages.size() ? 0 : pages[i + 1]) << "right link of " << pages[i];
          cache_.ReleasePage(page);
        }
      }
    }
    ASSERT_EQ(walk_.size(), model_.size());
    auto expected = model_.begin();
    for (std::size_t i = 0; i < walk_.size(); ++i, ++expected) {
      ASSERT_EQ(walk_[i].first, expected->first) << "key " << i;
      ASSERT_EQ(walk_[i].second, expected->second) << "record of key " << i;
    }
    ASSERT_EQ(tree_.KeyCount(), static_cast<std::int64_t>(model_.size()));
    // Ordinal positions, forward and backward finds, for about 250 keys
    // spread over the index (the walk above saw every key already).
    const std::size_t stride = std::max<std::size_t>(1, model_.size() / 250);
    std::int64_t rank = -1;
    for (const auto& [key, record] : model_) {
      ++rank;
      if (static_cast<std::size_t>(rank) % stride != 0 && static_cast<std::size_t>(rank) + 1 != model_.size()) continue;
      const auto forward = tree_.Find(key.data(), key.size(), true);
      ASSERT_TRUE(forward.has_value());
      EXPECT_EQ(forward->record_number, record);
      EXPECT_EQ(forward->ordinal, case_.no_counts ? -1 : rank);
      const auto backward = tree_.Find(key.data(), key.size(), false);
      ASSERT_TRUE(backward.has_value());
      EXPECT_EQ(backward->record_number, record);
    }
    // Every page is unpinned again.
    for (int n = 1; n < file_.header().NextPageNumber(); ++n) {
      if (cache_.Contains(n)) {
        TPage* page = cache_.GetPage(n);
        EXPECT_EQ(page->pin_count(), 1) << "page " << n << " left pinned";
        cache_.ReleasePage(page);
      }
    }
  }

  // Writes every page and forgets the cache, so that the next batch reads
  // the images back.
  void Flush() {
    cache_.WriteModifiedPages();
    cache_.Drop();
  }

  void Run() {
    const int batch = std::max(200, case_.operations / 15);
    for (int done = 0; done < case_.operations; done += batch) {
      // Grow during the first half, shrink during the second.
      const bool growing = done < case_.operations / 2;
      for (int i = 0; i < batch; ++i) {
        const bool insert = (random_() % 100) < (growing ? 75u : 25u);
        if (insert) {
          ASSERT_NO_FATAL_FAILURE(Insert());
        } else {
          ASSERT_NO_FATAL_FAILURE(Delete());
        }
      }
      ASSERT_NO_FATAL_FAILURE(Check()) << "after " << done + batch << " operations";
      if ((done / batch) % 3 == 0) Flush();
    }
    // Empty it completely: the root goes and the pages join the free chain.
    while (!model_.empty()) {
      ASSERT_TRUE(tree_.DeleteKey(model_.begin()->first.data()));
      model_.erase(model_.begin());
    }
    ASSERT_NO_FATAL_FAILURE(Check());
    EXPECT_NE(file_.FreeChainHead(1), 0);
    // Growing again takes the freed pages before new ones at the end.
    const std::int32_t end = file_.header().NextPageNumber();
    for (int i = 0; i < 50; ++i) ASSERT_NO_FATAL_FAILURE(Insert());
    ASSERT_NO_FATAL_FAILURE(Check());
    EXPECT_EQ(file_.header().NextPageNumber(), end);
    if (case_.unique) {
      EXPECT_GT(duplicates_refused_, 0);
    }
  }

 private:
  TreeCase case_;
  KeyComparator compare_;
  std::multimap<Key, std::int32_t, std::function<bool(const Key&, const Key&)>> model_;
  testing::TMemoryIndexPageFile file_;
  TPageStack spares_;
  TIndexPageCache cache_;
  TIndexTree tree_;
  std::mt19937 random_;
  std::vector<Key> prefixes_;
  std::vector<std::pair<Key, std::int32_t>> walk_;
  std::int32_t next_record_ = 1;
  std::int32_t next_record_id_ = 1;
  int duplicates_refused_ = 0;
};

class IndexTreeModelTest : public ::testing::TestWithParam<TreeCase> {};

TEST_P(IndexTreeModelTest, MatchesOrderedModelThroughInsertsAndDeletes) {
  TreeModel model(GetParam());
  model.Run();
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, IndexTreeModelTest,
    ::testing::Values(TreeCase{"k2_unique", 2, true, false, 0, false, 2000},
                      TreeCase{"k2_unique_desc_leading", 2, true, true, 1, false, 2000},
                      TreeCase{"k6_both", 6, false, false, 3, false, 12000, 65536},
                      TreeCase{"k12_desc_trailing", 12, false, true, 2, false, 3000},
                      TreeCase{"k20_unique_no_counts", 20, true, false, 0, true, 8000, 65536},
                      TreeCase{"k65_plain", 65, false, false, 0, false, 12000, 65536},
                      TreeCase{"k65_both", 65, false, false, 3, false, 12000, 65536},
                      TreeCase{"k65_unique_desc_both", 65, true, true, 3, false, 2000},
                      TreeCase{"k130_unique_leading", 130, true, false, 1, false, 2000},
                      TreeCase{"k300_desc_trailing_no_counts", 300, false, true, 2, true, 2000},
                      TreeCase{"k522_unique", 522, true, false, 0, false, 1500},
                      TreeCase{"k526_both", 526, false, false, 3, false, 1500}),
    [](const ::testing::TestParamInfo<TreeCase>& shape) { return std::string(shape.param.name); });

}  // namespace
}  // namespace telvora::storage
