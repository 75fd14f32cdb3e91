#pragma once
// TIndexReader: the read-only walks a cursor makes over one index's pages:
// the number of entries, the place of a key among them and the entry at a
// place, all from the per-page subtree counts, so that none of them reads a
// record or visits more than one page per tree level.
//
// Places are 1-based sequence numbers over the whole index. A page that
// cannot be had because the read found the table changed by another
// program throws ETableChanged: the caller re-synchronises and starts its
// walk again from the root. A chain deeper than kMaxIndexDepth levels is
// 8965.
//
// REQUIRES: the index carries subtree counts (every index a cursor can
// select; the text index does not).
// Threads: as the cursor that owns it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "storage/index_page_cache.h"
#include "storage/table_changed.h"
#include "storage/index_tree.h"

namespace telvora::engine {

using storage::ETableChanged;

inline constexpr int kMaxIndexDepth = 64;

// One index entry: its key (K bytes) and the record it points at.
struct TIndexEntry {
  std::vector<std::uint8_t> key;
  std::int32_t record_number = 0;
};

class TIndexReader {
 public:
  TIndexReader(storage::TIndexPageCache& cache, storage::KeyComparator compare, std::string table_name);

  std::int64_t Count();
  // The place of the first entry not below the key over length bytes
  // (Count() + 1 when none).
  std::int64_t LowerBound(const std::uint8_t* key, std::size_t length);
  // The place of the last entry not above the key (0 when none).
  std::int64_t UpperBound(const std::uint8_t* key, std::size_t length);
  // The entry at place seq. REQUIRES: 1 <= seq <= Count().
  TIndexEntry EntryAt(std::int64_t seq);
  // Calls visit for every entry from the first not below the key, in key
  // order, while it returns true (follows the leaves' right links; needs
  // no counts).
  void ForEachFrom(const std::uint8_t* key, std::size_t length,
                   const std::function<bool(const std::uint8_t* key, std::int32_t record)>& visit);

  std::size_t key_length() const { return cache_.format().key_length; }
  const storage::KeyComparator& compare() const { return compare_; }

 private:
  class PinnedPage;
  storage::TPage* Get(std::int32_t n);
  std::int32_t Root() const;
  [[noreturn]] void Corrupt() const;
  // LowerBound (first_at_or_after) or UpperBound by one descent.
  std::int64_t Bound(const std::uint8_t* key, std::size_t length, bool first_at_or_after);

  storage::TIndexPageCache& cache_;
  storage::KeyComparator compare_;
  std::string table_name_;
};

}  // namespace telvora::engine
