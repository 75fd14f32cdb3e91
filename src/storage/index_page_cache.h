#pragma once
// TIndexPageCache: the cached pages of one index, and the index's free page
// chain.
//
// Pages are kept in a list sorted by page number (binary search) and a
// recency list (front = most recently used). A lookup first tries the two
// most recently used pages, then the sorted list. The capacity starts at
// data buffer bytes / 8,192; a page that must enter a full cache evicts the
// least recently used page that is neither modified nor pinned; when there
// is none, the modified unpinned pages are written first (unless the file
// says the table is locked, whose changes must stay in memory), and when
// there is still none the capacity grows by 4.
//
// Invariants: every cached page is in both lists exactly once; a pinned page
// is never evicted, refreshed or written; a freed page stays cached until it
// is written (as a header without entries) and evicted.
//
// Not thread-safe: owned by the table's index page store, used under the
// table's locks by one cursor at a time.

#include <cstdint>
#include <memory>
#include <vector>

#include "storage/index_page_file.h"
#include "storage/page.h"
#include "storage/page_stack.h"

namespace telvora::storage {

inline constexpr int kPageCacheBytesPerPage = 8192;
inline constexpr int kPageCacheGrowth = 4;

class TIndexPageCache {
 public:
  TIndexPageCache(TIndexPageFile& file, TPageStack& spares, int slot, const TPageFormat& format,
                  int data_buffer_bytes);
  ~TIndexPageCache();
  TIndexPageCache(const TIndexPageCache&) = delete;
  TIndexPageCache& operator=(const TIndexPageCache&) = delete;

  // Page n pinned once more, read from the file when not cached; nullptr
  // when the read found the table changed by another user (see
  // TIndexPageFile::ReadPageImage). Raises 8965 for page 0.
  TPage* GetPage(std::int32_t n);
  // Unpins a page got here (not below 0).
  void ReleasePage(TPage* page);

  // A new page for the index, pinned, modified, cleared to kind 0 without
  // entries or links: the head of the free chain (whose right link becomes
  // the new head) or, when the chain is empty, a page at the end of the file.
  TPage* NewPage();
  // Puts a pinned page on the free chain: its links are cleared, its right
  // link then names the old head, it is marked freed and modified and
  // becomes the head. The caller still releases it.
  void FreePage(TPage* page);

  // Writes the modified unpinned pages in runs of consecutive numbers, one
  // write per run. Returns whether anything was written.
  bool WriteModifiedPages();
  // Forgets every cached page, modified or not. REQUIRES: none pinned.
  void Drop();
  // Evicts while above capacity, then sets the capacity to max(size,
  // capacity).
  void Trim();

  int slot() const { return slot_; }
  const TPageFormat& format() const { return format_; }
  TIndexPageFile& file() { return file_; }
  int capacity() const { return capacity_; }
  int size() const { return static_cast<int>(sorted_.size()); }
  bool Contains(std::int32_t n) const;

 private:
  // A page object for number n, in both lists and at the recency head,
  // unpinned and cleared; evicts or grows as needed.
  TPage* Admit(std::int32_t n);
  // Evicts one clean unpinned page from the recency tail; false when none.
  bool EvictOne();
  void Touch(TPage* page);
  std::vector<std::unique_ptr<TPage>>::iterator Find(std::int32_t n);
  void WriteRun(const std::vector<TPage*>& run);

  TIndexPageFile& file_;
  TPageStack& spares_;
  int slot_;
  TPageFormat format_;
  int capacity_;
  std::vector<std::unique_ptr<TPage>> sorted_;
  std::vector<TPage*> recency_;
};

}  // namespace telvora::storage
