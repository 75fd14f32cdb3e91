#include "engine/index_reader.h"

#include <algorithm>
#include <utility>

#include "storage/engine_error_codes.h"
#include "storage/storage_errors.h"

namespace telvora::engine {

using storage::TPage;

// Keeps a page pinned for the length of a scope.
class TIndexReader::PinnedPage {
 public:
  PinnedPage(TIndexReader& reader, std::int32_t n) : cache_(reader.cache_), page_(reader.Get(n)) {}
  ~PinnedPage() { cache_.ReleasePage(page_); }
  PinnedPage(const PinnedPage&) = delete;
  PinnedPage& operator=(const PinnedPage&) = delete;
  TPage* operator->() const { return page_; }
  TPage& operator*() const { return *page_; }

 private:
  storage::TIndexPageCache& cache_;
  TPage* page_;
};

TIndexReader::TIndexReader(storage::TIndexPageCache& cache, storage::KeyComparator compare,
                           std::string table_name)
    : cache_(cache), compare_(std::move(compare)), table_name_(std::move(table_name)) {}

void TIndexReader::Corrupt() const { storage::RaiseTableError(storage::VORA_INDEXCORRUPT, table_name_); }

std::int32_t TIndexReader::Root() const { return cache_.file().RootPage(cache_.slot()); }

TPage* TIndexReader::Get(std::int32_t n) {
  TPage* page = cache_.GetPage(n);
  if (page == nullptr) throw ETableChanged{};
  if (page->freed() || page->kind() == storage::PageKind::Data || (page->IsBranch() && page->count() == 0)) {
    cache_.ReleasePage(page);
    Corrupt();
  }
  return page;
}

std::int64_t TIndexReader::Count() {
  const std::int32_t root = Root();
  if (root == 0) return 0;
  PinnedPage page(*this, root);
  return page->TotalSubtreeCount();
}

std::int64_t TIndexReader::Bound(const std::uint8_t* key, std::size_t length, bool first_at_or_after) {
  std::int32_t n = Root();
  if (n == 0) return first_at_or_after ? 1 : 0;
  std::int64_t before = 0;
  for (int depth = 0; depth < kMaxIndexDepth; ++depth) {
    PinnedPage page(*this, n);
    if (page->IsBranch()) {
      // A branch key is its child's first key. Equal keys over a short
      // length may begin in the child before the first equal branch key, so
      // a forward search enters the last child whose first key is less; a
      // backward one the last child whose first key is not greater.
      const storage::TPageSearch search =
          storage::SearchForPosition(*page, key, length, compare_, first_at_or_after);
      const int position = first_at_or_after ? search.position - 1 : search.position;
      const int entry = std::max(position, 1) - 1;
      before += page->CountBefore(entry);
      n = page->Pointer(entry);
      continue;
    }
    const storage::TPageSearch search =
        storage::SearchForPosition(*page, key, length, compare_, first_at_or_after);
    // Entries are numbered from 1 in the page: the place is the entries
    // before the leaf plus the position (count + 1 / 0 run into the
    // neighbouring leaves, whose places follow on).
    return before + search.position;
  }
  Corrupt();
}

std::int64_t TIndexReader::LowerBound(const std::uint8_t* key, std::size_t length) {
  return Bound(key, length, true);
}

std::int64_t TIndexReader::UpperBound(const std::uint8_t* key, std::size_t length) {
  return Bound(key, length, false);
}

TIndexEntry TIndexReader::EntryAt(std::int64_t seq) {
  std::int32_t n = Root();
  if (n == 0 || seq < 1) Corrupt();
  std::int64_t left = seq - 1;
  for (int depth = 0; depth < kMaxIndexDepth; ++depth) {
    PinnedPage page(*this, n);
    if (page->IsBranch()) {
      int entry = 0;
      while (entry < page->count() - 1 && left >= page->SubtreeCount(entry)) {
        left -= page->SubtreeCount(entry);
        ++entry;
      }
      n = page->Pointer(entry);
      continue;
    }
    if (left >= page->count()) Corrupt();
    const int i = static_cast<int>(left);
    TIndexEntry result;
    result.key.assign(page->Key(i), page->Key(i) + page->key_length());
    result.record_number = page->Pointer(i);
    return result;
  }
  Corrupt();
}

void TIndexReader::ForEachFrom(const std::uint8_t* key, std::size_t length,
                               const std::function<bool(const std::uint8_t* key, std::int32_t record)>& visit) {
  std::int32_t n = Root();
  if (n == 0) return;
  int first = 0;
  for (int depth = 0;; ++depth) {
    if (depth >= kMaxIndexDepth) Corrupt();
    PinnedPage page(*this, n);
    const storage::TPageSearch search = storage::SearchForPosition(*page, key, length, compare_, true);
    if (page->IsBranch()) {
      n = page->Pointer(std::max(search.position - 1, 1) - 1);
      continue;
    }
    first = search.position - 1;
    break;
  }
  while (n != 0) {
    PinnedPage page(*this, n);
    for (int i = first; i < page->count(); ++i) {
      if (!visit(page->Key(i), page->Pointer(i))) return;
    }
    first = 0;
    n = page->right();
  }
}

}  // namespace telvora::engine
