#pragma once
// TPagePath: the path of a cursor from an index's root to a leaf, as page
// numbers and the entry taken in each page (0-based).
//
// At most 64 levels: a deeper path means a page cycle or a corrupt tree and
// is refused with 8965. Level 0 is the root. The path names pages by number
// only, so holding it pins nothing.
//
// Not thread-safe: one per cursor.

#include <array>
#include <cstdint>
#include <string>

namespace telvora::storage {

inline constexpr int kMaxPathLevels = 64;

struct TPathLevel {
  std::int32_t page = 0;
  int position = 0;
};

class TPagePath {
 public:
  void Clear() { depth_ = 0; }
  // Raises 8965 with the table name when the path already has 64 levels.
  void Push(std::int32_t page, int position, const std::string& table_name);
  int depth() const { return depth_; }
  bool empty() const { return depth_ == 0; }
  // REQUIRES: 0 <= level < depth().
  TPathLevel& operator[](int level) { return levels_[static_cast<std::size_t>(level)]; }
  const TPathLevel& operator[](int level) const { return levels_[static_cast<std::size_t>(level)]; }
  TPathLevel& leaf() { return levels_[static_cast<std::size_t>(depth_ - 1)]; }

 private:
  std::array<TPathLevel, kMaxPathLevels> levels_{};
  int depth_ = 0;
};

}  // namespace telvora::storage
