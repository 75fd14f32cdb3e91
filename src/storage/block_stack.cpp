#include "storage/block_stack.h"

namespace telvora::storage {

std::unique_ptr<TBlock> TBlockStack::Pop() {
  if (spare_.empty()) return std::make_unique<TBlock>(data_size_);
  std::unique_ptr<TBlock> block = std::move(spare_.back());
  spare_.pop_back();
  return block;
}

void TBlockStack::Push(std::unique_ptr<TBlock> block) {
  if (spare_.size() < kMaxSpareBlocks) spare_.push_back(std::move(block));
}

}  // namespace telvora::storage
