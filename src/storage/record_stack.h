#pragma once
// TRecordStack: a pool of up to 64 spare TRecord objects, so that the
// record cache reuses objects (and their image buffers) instead of
// allocating one per read.
//
// A record given back when the pool is full is destroyed. One pool per data
// file; used by the thread that uses the table.

#include <cstddef>
#include <memory>
#include <vector>

#include "storage/record.h"

namespace telvora::storage {

inline constexpr std::size_t kRecordStackCapacity = 64;

class TRecordStack {
 public:
  // A spare record, or a new one when the pool is empty.
  std::unique_ptr<TRecord> Take();
  void Give(std::unique_ptr<TRecord> record);
  std::size_t size() const { return spares_.size(); }

 private:
  std::vector<std::unique_ptr<TRecord>> spares_;
};

}  // namespace telvora::storage
