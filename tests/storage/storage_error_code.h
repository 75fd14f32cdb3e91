#pragma once
// Runs a callable and returns the engine error code of the exception it
// raised through the storage error adapter: 0 when it returned normally,
// -1 when it raised something else.

#include <exception>
#include <utility>

#include "storage/storage_errors.h"

namespace telvora::storage::testing {

template <typename F>
int ErrorCodeOf(F&& f) {
  try {
    std::forward<F>(f)();
  } catch (const std::exception& e) {
    const auto code = StorageErrorCode(e);
    return code ? static_cast<int>(*code) : -1;
  }
  return 0;
}

}  // namespace telvora::storage::testing
