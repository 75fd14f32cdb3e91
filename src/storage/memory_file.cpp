#include "storage/memory_file.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "platform/last_error.h"

namespace telvora::storage {
namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

}  // namespace

TMemoryFile::TMemoryFile(std::string name) : TAbstractFile(std::move(name), true) {}

std::size_t TMemoryFile::capacity() {
  Guard guard(mutex_);
  return buffer_.size();
}

std::uint32_t TMemoryFile::Create(bool temporary) {
  Guard guard(mutex_);
  // Re-creating empties the contents but keeps the buffer: it is given back
  // only when the object goes.
  length_ = 0;
  locks_.clear();
  exclusive_ = true;
  temporary_ = temporary;
  platform::SetLastSystemError(platform::kErrorSuccess);
  return AddOpener();
}

bool TMemoryFile::SetLength(std::uint64_t length) {
  if (length > buffer_.size()) {
    constexpr std::uint64_t kLargest =
        std::numeric_limits<std::size_t>::max() / kMemoryFileGrowthStep * kMemoryFileGrowthStep;
    if (length > kLargest) {
      platform::SetLastSystemError(platform::kErrorNotEnoughMemory);
      return false;
    }
    const std::uint64_t steps = (length + kMemoryFileGrowthStep - 1) / kMemoryFileGrowthStep;
    try {
      buffer_.resize(static_cast<std::size_t>(steps * kMemoryFileGrowthStep));
    } catch (const std::bad_alloc&) {
      platform::SetLastSystemError(platform::kErrorNotEnoughMemory);
      return false;
    } catch (const std::length_error&) {
      platform::SetLastSystemError(platform::kErrorNotEnoughMemory);
      return false;
    }
  }
  // Bytes past the old length may hold what a truncation cut off.
  if (length > length_) {
    std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(length_),
              buffer_.begin() + static_cast<std::ptrdiff_t>(length), 0);
  }
  length_ = length;
  return true;
}

std::optional<std::size_t> TMemoryFile::Read(std::uint32_t opener_id, void* buffer,
                                             std::size_t length) {
  Guard guard(mutex_);
  Opener* opener = FindOpener(opener_id);
  if (opener == nullptr) {
    platform::SetLastSystemError(platform::kErrorInvalidHandle);
    return std::nullopt;
  }
  std::size_t count = 0;
  if (opener->position < length_) {
    count = static_cast<std::size_t>(std::min<std::uint64_t>(length, length_ - opener->position));
    std::memcpy(buffer, buffer_.data() + opener->position, count);
  }
  opener->position += count;
  return count;
}

bool TMemoryFile::Write(std::uint32_t opener_id, const void* data, std::size_t length) {
  Guard guard(mutex_);
  Opener* opener = FindOpener(opener_id);
  if (opener == nullptr) {
    platform::SetLastSystemError(platform::kErrorInvalidHandle);
    return false;
  }
  if (length == 0) return SetLength(opener->position);
  const std::uint64_t position = opener->position;
  if (length > std::numeric_limits<std::uint64_t>::max() - position) {
    platform::SetLastSystemError(platform::kErrorInvalidParameter);
    return false;
  }
  const std::uint64_t end = position + length;
  if (end > length_ && !SetLength(end)) return false;
  std::memcpy(buffer_.data() + position, data, length);
  opener->position = end;
  return true;
}

}  // namespace telvora::storage
