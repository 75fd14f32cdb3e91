#include "storage/blob_buffer_list.h"

#include <algorithm>
#include <limits>

#include "storage/storage_errors.h"

namespace telvora::storage {

std::int32_t TBlobBufferList::Add(std::unique_ptr<TBlobBuffer> buffer) {
  if (entries_.size() >= kMaxOpenBlobs) RaiseTableError(VORA_OPENBLOBLIMIT, table_name_);
  const std::int32_t handle = NextFreeHandle();
  entries_.push_back({handle, std::move(buffer)});
  return handle;
}

TBlobBuffer* TBlobBufferList::Find(std::int32_t handle) const {
  const auto it = std::find_if(entries_.begin(), entries_.end(),
                               [handle](const Entry& entry) { return entry.handle == handle; });
  return it == entries_.end() ? nullptr : it->buffer.get();
}

void TBlobBufferList::Remove(std::int32_t handle) {
  std::erase_if(entries_, [handle](const Entry& entry) { return entry.handle == handle; });
}

std::vector<std::int32_t> TBlobBufferList::Handles() const {
  std::vector<std::int32_t> handles;
  handles.reserve(entries_.size());
  for (const Entry& entry : entries_) handles.push_back(entry.handle);
  return handles;
}

std::int32_t TBlobBufferList::NextFreeHandle() {
  // Counts down from -1 and wraps back to -1 after the most negative value,
  // skipping handles still in use (at most 128 of them).
  do {
    last_handle_ = last_handle_ == std::numeric_limits<std::int32_t>::min() ? -1 : last_handle_ - 1;
  } while (Find(last_handle_) != nullptr);
  return last_handle_;
}

}  // namespace telvora::storage
