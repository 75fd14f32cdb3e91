#pragma once
// TPageStack: the spare page objects of a table's index page caches, so that
// pages leaving one cache are reused by the next one that needs a page
// instead of being freed and allocated again.
//
// It keeps at most four; a page given back when it is full is destroyed.
// Not thread-safe: owned by one index file, used under its table's locks.

#include <memory>
#include <vector>

#include "storage/page.h"

namespace telvora::storage {

class TPageStack {
 public:
  static constexpr std::size_t kMaxSparePages = 4;

  // A spare page object, or a new one when none is kept.
  std::unique_ptr<TPage> Take();
  void Give(std::unique_ptr<TPage> page);
  std::size_t size() const { return spares_.size(); }

 private:
  std::vector<std::unique_ptr<TPage>> spares_;
};

}  // namespace telvora::storage
