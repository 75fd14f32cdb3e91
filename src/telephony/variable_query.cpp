#include "telephony/variable_query.h"

#include <cstring>
#include <new>

#include "telephony/tel_types.h"

namespace telvora::telephony {

using tapi::DWORD;
using tapi::LONG;

bool TVarBuffer::Allocate(std::size_t size, std::size_t spare) {
  const std::size_t words = (size + spare + sizeof(DWORD) - 1) / sizeof(DWORD);
  data_.reset(new (std::nothrow) DWORD[words == 0 ? 1 : words]);
  if (!data_) {
    size_ = 0;
    return false;
  }
  std::memset(data_.get(), 0, words * sizeof(DWORD));
  size_ = size;
  data_[0] = static_cast<DWORD>(size);
  return true;
}

int QueryVariable(std::size_t initial_size, std::size_t spare_bytes, LONG too_small_error,
                  const TQueryFunction& query, const TErrorMapping& map, TVarBuffer& out) {
  if (!out.Allocate(initial_size, spare_bytes)) return kResultNoMemory;
  LONG result = query(out.Raw());
  int attempt = 0;
  for (;;) {
    if (result < 0 && result != too_small_error) {
      out.Free();
      return map(result);
    }
    const DWORD total = out.As<DWORD>()[0];
    const DWORD needed = out.As<DWORD>()[1];
    if (result != too_small_error && needed <= total) return kResultOk;
    ++attempt;
    if (attempt > kQueryMaxAttempts) {
      out.Free();
      return kResultFailed;
    }
    const std::size_t size = result == too_small_error
                                 ? initial_size + kQueryGrowthBytes * static_cast<std::size_t>(attempt)
                                 : needed;
    if (!out.Allocate(size, spare_bytes)) return kResultNoMemory;
    result = query(out.Raw());
  }
}

}  // namespace telvora::telephony
