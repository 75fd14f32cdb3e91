#pragma once
// TBlockStack: the spare TBlock objects of one block cache, kept for reuse so
// that evicting and loading blocks does not allocate each time.
//
// Holds at most kMaxSpareBlocks objects, all with the same data size; a block
// pushed while the stack is full is destroyed. Not thread-safe: owned by one
// block cache.

#include <cstddef>
#include <memory>
#include <vector>

#include "storage/block.h"

namespace telvora::storage {

class TBlockStack {
 public:
  static constexpr std::size_t kMaxSpareBlocks = 32;

  explicit TBlockStack(std::size_t data_size) : data_size_(data_size) {}

  // A spare block, or a new one when none is left. Its contents are
  // whatever it held; the caller loads or clears it.
  std::unique_ptr<TBlock> Pop();
  void Push(std::unique_ptr<TBlock> block);
  std::size_t Count() const { return spare_.size(); }

 private:
  std::size_t data_size_;
  std::vector<std::unique_ptr<TBlock>> spare_;
};

}  // namespace telvora::storage
