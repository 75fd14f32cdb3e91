#pragma once
// TBlobBufferList: the BLOB values a cursor has open, each named by a
// handle, at most 128 at a time.
//
// While a value is open for change the cursor's record buffer holds its
// handle, a negative number, in place of the first block number; handles
// are unique among the open values of the list and never 0 or positive, so
// they cannot be taken for block numbers. Not thread-safe: belongs to one
// cursor.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "storage/blob_buffer.h"

namespace telvora::storage {

class TBlobBufferList {
 public:
  static constexpr std::size_t kMaxOpenBlobs = 128;

  explicit TBlobBufferList(std::string table_name) : table_name_(std::move(table_name)) {}

  // Takes the value and returns its handle. Raises 9494 when 128 values are
  // open already (the value is then dropped).
  std::int32_t Add(std::unique_ptr<TBlobBuffer> buffer);
  // The open value of the handle; nullptr for a handle that names none.
  TBlobBuffer* Find(std::int32_t handle) const;
  // Frees the value of the handle; nothing when it names none.
  void Remove(std::int32_t handle);
  std::size_t Count() const { return entries_.size(); }
  std::vector<std::int32_t> Handles() const;

 private:
  struct Entry {
    std::int32_t handle;
    std::unique_ptr<TBlobBuffer> buffer;
  };

  std::int32_t NextFreeHandle();

  std::string table_name_;
  std::vector<Entry> entries_;
  std::int32_t last_handle_ = 0;
};

}  // namespace telvora::storage
