#pragma once
// TIndexTree: the B+-tree operations on one index: searching a page, adding
// and deleting keys with splits, merges, redistribution, parent key updates
// and root changes, and finding a key with its ordinal position.
//
// Shape kept (every operation leaves it so):
//   - the root is kind 3 (a leaf alone) or kind 0; other branches kind 1,
//     other leaves kind 2; an empty index has root 0;
//   - each branch entry holds its child's first key and, unless the index
//     carries no subtree counts (text index, attribute byte set), the number
//     of leaf entries below the child;
//   - pages of one level are linked left and right in key order; the first
//     and last have 0 there;
//   - an uncompressed non-root page holds at least capacity / 2 entries after
//     a delete (fewer only until a sibling can take them); a compressed leaf
//     holds at least one entry and packs to at most 4,083 bytes.
// Keys are K bytes and distinct (non-unique indexes end in the record id).
//
// The comparator is the engine's key comparison for this index; storage
// itself knows no locales. It compares the first `length` bytes of two keys
// and returns -1, 0 or 1.
//
// Not thread-safe: one cursor at a time, under the table's write lock for
// changes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "storage/index_page_cache.h"
#include "storage/page.h"
#include "storage/page_path.h"

namespace telvora::storage {

using KeyComparator = std::function<int(const std::uint8_t* a, const std::uint8_t* b, std::size_t length)>;

// A position found in a page: entries are numbered 1 to count here, 0 meaning
// before the first. counts_before sums the subtree counts of the entries
// before the position's entry (a leaf's entries count 1 each).
struct TPageSearch {
  int position = 0;
  bool found = false;  // an entry equal over the compared length is there
  std::int64_t counts_before = 0;
};

// (a) For insertion and for choosing a child: the position of an equal entry,
// or of the last entry less than the key; 0 when the key is less than all.
TPageSearch SearchForInsert(const TPage& page, const std::uint8_t* key, std::size_t length,
                            const KeyComparator& compare);
// (b) For deletion and exact finds: the first equal entry when there is one
// (found), otherwise the closest position below the key as in (a).
TPageSearch SearchExact(const TPage& page, const std::uint8_t* key, std::size_t length,
                        const KeyComparator& compare);
// (c) For positioning in a leaf: with first_at_or_after, the first entry not
// less than the key (count + 1 when none); without it, the last entry not
// greater (0 when none). Equal entries over a short key are a range: the
// flag picks its first or its last entry.
TPageSearch SearchForPosition(const TPage& page, const std::uint8_t* key, std::size_t length,
                              const KeyComparator& compare, bool first_at_or_after);

// A key's place in the index.
struct TKeyPosition {
  std::int32_t leaf = 0;       // page number
  int entry = 0;               // 0-based entry in the leaf
  std::int32_t record_number = 0;
  std::int64_t ordinal = 0;    // 0-based place among all keys (with counts)
};

class TIndexTree {
 public:
  TIndexTree(TIndexPageCache& cache, KeyComparator compare, std::string index_name);

  // Adds the key (K bytes) pointing at the record. Raises 9729 (index and
  // table names) when an equal key is already in the index, before anything
  // changed: the cursor checks unique indexes first, and this keeps the tree
  // sound if it did not. 8965 for an inconsistent tree, 9479 when the file
  // is full.
  void AddKey(const std::uint8_t* key, std::int32_t record_number);
  // Deletes the entry with this key (K bytes). Returns false, changing
  // nothing, when the index holds no such key.
  bool DeleteKey(const std::uint8_t* key);

  // The first entry not less than the key over length bytes
  // (first_at_or_after), or the last entry not greater; nullopt when there
  // is none, or when a page could not be obtained (change detected).
  std::optional<TKeyPosition> Find(const std::uint8_t* key, std::size_t length, bool first_at_or_after);
  // Number of keys in the index (from the root's counts; without counts, by
  // walking the leaves).
  std::int64_t KeyCount();

  // The path of the last descent, root first.
  const TPagePath& path() const { return path_; }
  TIndexPageCache& cache() { return cache_; }

 private:
  class Pinned;

  std::size_t K() const { return cache_.format().key_length; }
  bool Counts() const { return cache_.format().HasSubtreeCounts(); }
  std::int32_t CountFor(const TPage& page) const;
  TPage* Get(std::int32_t n);
  std::int32_t Root() const;
  [[noreturn]] void Corrupt() const;

  // Descends to the leaf that holds or would hold the key, filling path_
  // with the entry chosen in each branch (and the leaf last, position 0).
  void Descend(const std::uint8_t* key);
  void AdjustCounts(int below_level, std::int32_t delta);
  void UpdateParentKeys(int level);
  void Split(int level);
  void RemoveFromBranch(int level, int entry);
  void RemoveEmptyPage(int level);
  void Balance(int level);
  // Merges the page at level into its sibling (true: the caller removes
  // its entry from the parent) or shares their entries out.
  bool MergeOrRedistribute(int level, int entry);

  TIndexPageCache& cache_;
  KeyComparator compare_;
  std::string index_name_;
  TPagePath path_;
};

}  // namespace telvora::storage
