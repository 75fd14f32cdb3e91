#include "storage/page_stack.h"

namespace telvora::storage {

std::unique_ptr<TPage> TPageStack::Take() {
  if (spares_.empty()) return std::make_unique<TPage>();
  std::unique_ptr<TPage> page = std::move(spares_.back());
  spares_.pop_back();
  return page;
}

void TPageStack::Give(std::unique_ptr<TPage> page) {
  if (page && spares_.size() < kMaxSparePages) spares_.push_back(std::move(page));
}

}  // namespace telvora::storage
