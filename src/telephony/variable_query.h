#pragma once
// The query loop for TAPI's variable-size structures (device, address and
// phone capabilities, call information, device IDs): allocate the
// structure's initial size, set its total size, query; while TAPI needs more
// room (needed size above total size, or a structure-too-small error) try
// again with the needed size, or after structure-too-small with the initial
// size plus 10 bytes per attempt, at most 10 further times (then -1). An
// allocation failure gives -50; any other TAPI error is mapped by the
// caller's mapping, which may map it to 0 ("failed, but not an error").
//
// Pure apart from the query; any thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "tapi/tapi_constants.h"

namespace telvora::telephony {

inline constexpr int kQueryMaxAttempts = 10;
inline constexpr tapi::DWORD kQueryGrowthBytes = 10;

// A structure buffer, 32-bit aligned, starting with the size header.
class TVarBuffer {
 public:
  bool Valid() const { return data_ != nullptr; }
  std::size_t Size() const { return size_; }
  const std::uint8_t* Bytes() const { return reinterpret_cast<const std::uint8_t*>(data_.get()); }
  template <typename T>
  const T* As() const {
    return reinterpret_cast<const T*>(data_.get());
  }
  void* Raw() { return data_.get(); }
  std::uint8_t* MutableBytes() { return reinterpret_cast<std::uint8_t*>(data_.get()); }

  // Allocates `size` bytes (plus `spare`, zeroed) and sets the total size
  // to `size`. False when memory runs out.
  bool Allocate(std::size_t size, std::size_t spare);
  void Free() {
    data_.reset();
    size_ = 0;
  }

 private:
  std::unique_ptr<tapi::DWORD[]> data_;
  std::size_t size_ = 0;
};

using TQueryFunction = std::function<tapi::LONG(void* structure)>;
using TErrorMapping = std::function<int(tapi::LONG error)>;

// On success returns 0 with `out` valid; otherwise the code, `out` freed.
int QueryVariable(std::size_t initial_size, std::size_t spare_bytes, tapi::LONG too_small_error,
                  const TQueryFunction& query, const TErrorMapping& map, TVarBuffer& out);

}  // namespace telvora::telephony
