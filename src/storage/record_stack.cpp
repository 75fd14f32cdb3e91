#include "storage/record_stack.h"

namespace telvora::storage {

std::unique_ptr<TRecord> TRecordStack::Take() {
  if (spares_.empty()) return std::make_unique<TRecord>();
  std::unique_ptr<TRecord> record = std::move(spares_.back());
  spares_.pop_back();
  return record;
}

void TRecordStack::Give(std::unique_ptr<TRecord> record) {
  if (record == nullptr || spares_.size() >= kRecordStackCapacity) return;
  spares_.push_back(std::move(record));
}

}  // namespace telvora::storage
