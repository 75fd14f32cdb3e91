#include "storage/index_tree.h"

#include <algorithm>
#include <utility>

#include "storage/storage_errors.h"

namespace telvora::storage {
namespace {

// The number of entries less than the key (lower bound) and not greater
// (upper bound), over the compared length.
int LowerBound(const TPage& page, const std::uint8_t* key, std::size_t length, const KeyComparator& compare) {
  int low = 0;
  int high = page.count();
  while (low < high) {
    const int middle = low + (high - low) / 2;
    if (compare(page.Key(middle), key, length) < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

int UpperBound(const TPage& page, const std::uint8_t* key, std::size_t length, const KeyComparator& compare) {
  int low = 0;
  int high = page.count();
  while (low < high) {
    const int middle = low + (high - low) / 2;
    if (compare(page.Key(middle), key, length) <= 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

// The counts of the entries before the 1-based position's entry.
std::int64_t CountsBeforePosition(const TPage& page, int position) {
  return position <= 1 ? 0 : page.CountBefore(position - 1);
}

}  // namespace

TPageSearch SearchForInsert(const TPage& page, const std::uint8_t* key, std::size_t length,
                            const KeyComparator& compare) {
  TPageSearch result;
  result.position = UpperBound(page, key, length, compare);
  result.found = result.position > 0 && compare(page.Key(result.position - 1), key, length) == 0;
  result.counts_before = CountsBeforePosition(page, result.position);
  return result;
}

TPageSearch SearchExact(const TPage& page, const std::uint8_t* key, std::size_t length,
                        const KeyComparator& compare) {
  TPageSearch result;
  const int lower = LowerBound(page, key, length, compare);
  if (lower < page.count() && compare(page.Key(lower), key, length) == 0) {
    result.position = lower + 1;
    result.found = true;
  } else {
    result.position = lower;
  }
  result.counts_before = CountsBeforePosition(page, result.position);
  return result;
}

TPageSearch SearchForPosition(const TPage& page, const std::uint8_t* key, std::size_t length,
                              const KeyComparator& compare, bool first_at_or_after) {
  TPageSearch result;
  if (first_at_or_after) {
    const int lower = LowerBound(page, key, length, compare);
    result.position = lower + 1;
    result.found = lower < page.count() && compare(page.Key(lower), key, length) == 0;
    result.counts_before = page.CountBefore(lower);
  } else {
    result.position = UpperBound(page, key, length, compare);
    result.found = result.position > 0 && compare(page.Key(result.position - 1), key, length) == 0;
    result.counts_before = CountsBeforePosition(page, result.position);
  }
  return result;
}

// A page pinned for the length of a scope.
class TIndexTree::Pinned {
 public:
  Pinned(TIndexTree& tree, std::int32_t n) : cache_(tree.cache_), page_(tree.Get(n)) {}
  Pinned(TIndexPageCache& cache, TPage* page) : cache_(cache), page_(page) {}
  ~Pinned() { cache_.ReleasePage(page_); }
  Pinned(const Pinned&) = delete;
  Pinned& operator=(const Pinned&) = delete;
  TPage* operator->() const { return page_; }
  TPage& operator*() const { return *page_; }

 private:
  TIndexPageCache& cache_;
  TPage* page_;
};

TIndexTree::TIndexTree(TIndexPageCache& cache, KeyComparator compare, std::string index_name)
    : cache_(cache), compare_(std::move(compare)), index_name_(std::move(index_name)) {}

void TIndexTree::Corrupt() const { RaiseTableError(VORA_INDEXCORRUPT, cache_.file().TableName()); }

std::int32_t TIndexTree::Root() const { return cache_.file().RootPage(cache_.slot()); }

TPage* TIndexTree::Get(std::int32_t n) {
  TPage* page = cache_.GetPage(n);
  // Changes run under the write lock, where change detection never fires;
  // a page that cannot be had there is a broken cache.
  if (page == nullptr) Corrupt();
  if (page->freed() || page->kind() == PageKind::Data) {
    cache_.ReleasePage(page);
    Corrupt();
  }
  return page;
}

std::int32_t TIndexTree::CountFor(const TPage& page) const {
  return Counts() ? static_cast<std::int32_t>(page.TotalSubtreeCount()) : 0;
}

void TIndexTree::Descend(const std::uint8_t* key) {
  path_.Clear();
  std::int32_t n = Root();
  while (true) {
    Pinned page(*this, n);
    if (page->IsRoot() != path_.empty()) Corrupt();
    if (page->IsLeaf()) {
      path_.Push(n, 0, cache_.file().TableName());
      return;
    }
    if (page->count() == 0) Corrupt();
    const TPageSearch search = SearchForInsert(*page, key, K(), compare_);
    const int entry = std::max(search.position, 1) - 1;
    path_.Push(n, entry, cache_.file().TableName());
    n = page->Pointer(entry);
  }
}

void TIndexTree::AdjustCounts(int below_level, std::int32_t delta) {
  if (!Counts()) return;
  for (int level = 0; level < below_level; ++level) {
    Pinned page(*this, path_[level].page);
    page->AddToSubtreeCount(path_[level].position, delta);
    page->set_modified(true);
  }
}

void TIndexTree::UpdateParentKeys(int level) {
  for (int l = level; l > 0; --l) {
    Pinned child(*this, path_[l].page);
    Pinned parent(*this, path_[l - 1].page);
    const int entry = path_[l - 1].position;
    if (child->count() == 0 || entry >= parent->count() || parent->Pointer(entry) != child->number()) Corrupt();
    parent->ReplaceKey(entry, child->Key(0));
    parent->set_modified(true);
    if (entry != 0) return;
  }
}

void TIndexTree::AddKey(const std::uint8_t* key, std::int32_t record_number) {
  TIndexPageFile& file = cache_.file();
  if (Root() == 0) {
    Pinned page(cache_, cache_.NewPage());
    page->set_kind(PageKind::RootLeaf);
    page->InsertEntry(0, key, record_number, 1);
    page->RecomputeCompression();
    file.SetRootPage(cache_.slot(), page->number());
    path_.Clear();
    path_.Push(page->number(), 0, file.TableName());
    return;
  }
  Descend(key);
  const int leaf_level = path_.depth() - 1;
  int position = 0;
  {
    Pinned leaf(*this, path_[leaf_level].page);
    const TPageSearch search = SearchForInsert(*leaf, key, K(), compare_);
    if (search.found) RaiseTableError(VORA_KEYVIOL, file.TableName(), {}, index_name_);
    position = search.position;
  }
  AdjustCounts(leaf_level, 1);
  bool overfull = false;
  {
    Pinned leaf(*this, path_[leaf_level].page);
    leaf->InsertEntry(position, key, record_number, 1);
    leaf->RecomputeCompressionAfterInsert(position);
    leaf->set_modified(true);
    overfull = leaf->Overfull();
  }
  path_[leaf_level].position = position;
  if (position == 0 && leaf_level > 0) UpdateParentKeys(leaf_level);
  if (overfull) Split(leaf_level);
  file.PagesChanged();
}

void TIndexTree::Split(int level) {
  TIndexPageFile& file = cache_.file();
  bool parent_overfull = false;
  {
    Pinned page(*this, path_[level].page);
    const bool root = page->IsRoot();
    if (root && level != 0) RaiseTableError(VORA_TABLEFULL, file.TableName());
    if (!root && level == 0) Corrupt();
    Pinned fresh(cache_, cache_.NewPage());
    const PageKind kind = page->IsBranch() ? PageKind::Branch : PageKind::Leaf;
    page->set_kind(kind);
    fresh->set_kind(kind);
    const int count = page->count();
    const int keep = count - count / 2;
    fresh->InsertEntries(0, *page, keep, count - keep);
    page->RemoveEntries(keep, count - keep);
    page->RecomputeCompression();
    fresh->RecomputeCompression();
    if (page->IsCompressedLeaf()) {
      // Halves by count may still not pack: move entries one at a time from
      // the fuller side until both fit.
      for (int guard = count; guard > 0; --guard) {
        const bool left_over = page->packed_size() > kPageDataSize;
        const bool right_over = fresh->packed_size() > kPageDataSize;
        if (!left_over && !right_over) break;
        if (page->packed_size() > fresh->packed_size()) {
          if (page->count() <= 1) break;
          fresh->InsertEntries(0, *page, page->count() - 1, 1);
          page->RemoveEntries(page->count() - 1, 1);
        } else {
          if (fresh->count() <= 1) break;
          page->InsertEntries(page->count(), *fresh, 0, 1);
          fresh->RemoveEntries(0, 1);
        }
        page->RecomputeCompression();
        fresh->RecomputeCompression();
      }
      if (page->packed_size() > kPageDataSize || fresh->packed_size() > kPageDataSize) Corrupt();
    }
    fresh->set_left(page->number());
    fresh->set_right(page->right());
    if (page->right() != 0) {
      Pinned right(*this, page->right());
      right->set_left(fresh->number());
      right->set_modified(true);
    }
    page->set_right(fresh->number());
    page->set_modified(true);
    fresh->set_modified(true);
    if (root) {
      Pinned top(cache_, cache_.NewPage());
      top->set_kind(PageKind::RootBranch);
      top->InsertEntry(0, page->Key(0), page->number(), CountFor(*page));
      top->InsertEntry(1, fresh->Key(0), fresh->number(), CountFor(*fresh));
      file.SetRootPage(cache_.slot(), top->number());
      return;
    }
    Pinned parent(*this, path_[level - 1].page);
    const int entry = path_[level - 1].position;
    if (entry >= parent->count() || parent->Pointer(entry) != page->number()) Corrupt();
    parent->SetSubtreeCount(entry, CountFor(*page));
    parent->InsertEntry(entry + 1, fresh->Key(0), fresh->number(), CountFor(*fresh));
    parent->set_modified(true);
    parent_overfull = parent->Overfull();
  }
  if (parent_overfull) Split(level - 1);
}

bool TIndexTree::DeleteKey(const std::uint8_t* key) {
  if (Root() == 0) return false;
  Descend(key);
  const int leaf_level = path_.depth() - 1;
  int entry = 0;
  {
    Pinned leaf(*this, path_[leaf_level].page);
    const TPageSearch search = SearchExact(*leaf, key, K(), compare_);
    if (!search.found) return false;
    entry = search.position - 1;
  }
  path_[leaf_level].position = entry;
  AdjustCounts(leaf_level, -1);
  int remaining = 0;
  bool compressed = false;
  int capacity = 0;
  {
    Pinned leaf(*this, path_[leaf_level].page);
    leaf->RemoveEntryKeepingCompression(entry);
    leaf->set_modified(true);
    remaining = leaf->count();
    compressed = leaf->IsCompressedLeaf();
    capacity = leaf->Capacity();
    if (remaining == 0 && leaf_level == 0) {
      cache_.FreePage(&*leaf);
      cache_.file().SetRootPage(cache_.slot(), 0);
    }
  }
  if (leaf_level > 0) {
    if (remaining == 0 && compressed) {
      RemoveEmptyPage(leaf_level);
    } else {
      if (entry == 0 && remaining > 0) UpdateParentKeys(leaf_level);
      if (!compressed && remaining < capacity / 2) Balance(leaf_level);
    }
  }
  cache_.file().PagesChanged();
  return true;
}

void TIndexTree::RemoveEmptyPage(int level) {
  {
    Pinned page(*this, path_[level].page);
    const std::int32_t left = page->left();
    const std::int32_t right = page->right();
    if (left != 0) {
      Pinned neighbour(*this, left);
      neighbour->set_right(right);
      neighbour->set_modified(true);
    }
    if (right != 0) {
      Pinned neighbour(*this, right);
      neighbour->set_left(left);
      neighbour->set_modified(true);
    }
    cache_.FreePage(&*page);
  }
  RemoveFromBranch(level - 1, path_[level - 1].position);
}

void TIndexTree::RemoveFromBranch(int level, int entry) {
  int remaining = 0;
  int capacity = 0;
  {
    Pinned page(*this, path_[level].page);
    if (entry >= page->count()) Corrupt();
    page->RemoveEntries(entry, 1);
    page->set_modified(true);
    remaining = page->count();
    capacity = page->Capacity();
    if (page->IsRoot()) {
      if (remaining > 1) return;
      const std::int32_t child = remaining == 1 ? page->Pointer(0) : 0;
      cache_.FreePage(&*page);
      if (child != 0) {
        // The only child becomes the root.
        Pinned only(*this, child);
        only->set_kind(only->IsBranch() ? PageKind::RootBranch : PageKind::RootLeaf);
        only->set_left(0);
        only->set_right(0);
        only->set_modified(true);
      }
      cache_.file().SetRootPage(cache_.slot(), child);
      return;
    }
  }
  if (remaining == 0) {
    RemoveEmptyPage(level);
    return;
  }
  if (entry == 0) UpdateParentKeys(level);
  if (remaining < capacity / 2) Balance(level);
}

void TIndexTree::Balance(int level) {
  const int entry = path_[level - 1].position;
  bool lone = false;
  bool empty = false;
  {
    Pinned parent(*this, path_[level - 1].page);
    Pinned page(*this, path_[level].page);
    lone = parent->count() < 2;
    empty = page->count() == 0;
  }
  if (lone) {
    // No sibling under the same parent; an empty page still has to go.
    if (empty) RemoveEmptyPage(level);
    return;
  }
  if (MergeOrRedistribute(level, entry)) {
    RemoveFromBranch(level - 1, entry);
  } else if (entry == 0) {
    // An empty first child took its new entries from its right sibling: the
    // parent's first key changed, and so may the keys above it.
    UpdateParentKeys(level - 1);
  }
}

bool TIndexTree::MergeOrRedistribute(int level, int entry) {
  Pinned parent(*this, path_[level - 1].page);
  bool merged = false;
  const bool use_left = entry > 0;
  const int sibling_entry = use_left ? entry - 1 : entry + 1;
  Pinned page(*this, path_[level].page);
  const std::int32_t sibling_number = parent->Pointer(sibling_entry);
  if ((use_left ? page->left() : page->right()) != sibling_number || sibling_number == 0) Corrupt();
  Pinned sibling(*this, sibling_number);
  const int total = page->count() + sibling->count();
  if (total < page->Capacity()) {
    // Merge this page into its sibling and free it.
    if (use_left) {
      sibling->InsertEntries(sibling->count(), *page, 0, page->count());
      sibling->set_right(page->right());
      if (page->right() != 0) {
        Pinned right(*this, page->right());
        right->set_left(sibling->number());
        right->set_modified(true);
      }
    } else {
      sibling->InsertEntries(0, *page, 0, page->count());
      sibling->set_left(page->left());
      if (page->left() != 0) {
        Pinned left(*this, page->left());
        left->set_right(sibling->number());
        left->set_modified(true);
      }
      parent->ReplaceKey(sibling_entry, sibling->Key(0));
    }
    page->RemoveAll();
    sibling->RecomputeCompression();
    sibling->set_modified(true);
    parent->SetSubtreeCount(sibling_entry, CountFor(*sibling));
    parent->set_modified(true);
    cache_.FreePage(&*page);
    merged = true;
  } else {
    // Redistribute: the sibling takes the larger half.
    const int sibling_target = (total + 1) / 2;
    if (use_left) {
      const int surplus = sibling->count() - sibling_target;
      if (surplus > 0) {
        page->InsertEntries(0, *sibling, sibling->count() - surplus, surplus);
        sibling->RemoveEntries(sibling->count() - surplus, surplus);
      } else if (surplus < 0) {
        sibling->InsertEntries(sibling->count(), *page, 0, -surplus);
        page->RemoveEntries(0, -surplus);
      }
    } else {
      const int page_target = total - sibling_target;
      const int surplus = page->count() - page_target;
      if (surplus > 0) {
        sibling->InsertEntries(0, *page, page->count() - surplus, surplus);
        page->RemoveEntries(page->count() - surplus, surplus);
      } else if (surplus < 0) {
        page->InsertEntries(page->count(), *sibling, 0, -surplus);
        sibling->RemoveEntries(0, -surplus);
      }
    }
    page->RecomputeCompression();
    sibling->RecomputeCompression();
    page->set_modified(true);
    sibling->set_modified(true);
    parent->ReplaceKey(entry, page->Key(0));
    parent->SetSubtreeCount(entry, CountFor(*page));
    parent->ReplaceKey(sibling_entry, sibling->Key(0));
    parent->SetSubtreeCount(sibling_entry, CountFor(*sibling));
    parent->set_modified(true);
  }
  return merged;
}

std::optional<TKeyPosition> TIndexTree::Find(const std::uint8_t* key, std::size_t length, bool first_at_or_after) {
  std::int32_t n = Root();
  if (n == 0) return std::nullopt;
  path_.Clear();
  std::int64_t ordinal = 0;
  while (true) {
    TPage* page = cache_.GetPage(n);
    if (page == nullptr) return std::nullopt;
    Pinned pinned(cache_, page);
    if (page->freed() || page->kind() == PageKind::Data) Corrupt();
    if (page->IsBranch()) {
      if (page->count() == 0) Corrupt();
      // Equal keys over a short length may begin in the child before the
      // first equal branch key, so a forward search enters the last child
      // whose first key is less.
      const int bound = first_at_or_after ? LowerBound(*page, key, length, compare_)
                                          : UpperBound(*page, key, length, compare_);
      const int entry = std::max(bound, 1) - 1;
      ordinal += page->CountBefore(entry);
      path_.Push(n, entry, cache_.file().TableName());
      n = page->Pointer(entry);
      continue;
    }
    const TPageSearch search = SearchForPosition(*page, key, length, compare_, first_at_or_after);
    int entry = search.position - 1;
    std::int32_t leaf = n;
    TKeyPosition result;
    if (first_at_or_after) {
      ordinal += entry;
      if (entry >= page->count()) {
        leaf = page->right();
        if (leaf == 0) return std::nullopt;
        entry = 0;
      }
    } else {
      if (entry < 0) {
        leaf = page->left();
        if (leaf == 0) return std::nullopt;
        ordinal -= 1;
        entry = -1;
      } else {
        ordinal += entry;
      }
    }
    if (leaf != n) {
      Pinned next(*this, leaf);
      if (next->count() == 0) Corrupt();
      if (entry < 0) entry = next->count() - 1;
      result.record_number = next->Pointer(entry);
    } else {
      result.record_number = page->Pointer(entry);
    }
    path_.Push(leaf, entry, cache_.file().TableName());
    result.leaf = leaf;
    result.entry = entry;
    result.ordinal = Counts() ? ordinal : -1;
    return result;
  }
}

std::int64_t TIndexTree::KeyCount() {
  std::int32_t n = Root();
  if (n == 0) return 0;
  if (Counts()) {
    Pinned root(*this, n);
    return root->TotalSubtreeCount();
  }
  // Without counts: down the first entries to the leftmost leaf, then along
  // the leaves.
  while (true) {
    Pinned page(*this, n);
    if (page->IsLeaf()) break;
    if (page->count() == 0) Corrupt();
    n = page->Pointer(0);
  }
  std::int64_t total = 0;
  for (std::int64_t pages = 0; n != 0; ++pages) {
    if (pages > kMaxIndexPagesInFile) Corrupt();  // the leaves' links run in a circle
    Pinned page(*this, n);
    total += page->count();
    n = page->right();
  }
  return total;
}

}  // namespace telvora::storage
