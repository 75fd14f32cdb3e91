#include "storage/abstract_file.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "platform/last_error.h"

namespace telvora::storage {
namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

constexpr std::uint64_t kMaxPosition = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

bool Fail(std::uint32_t windows_error) {
  platform::SetLastSystemError(windows_error);
  return false;
}

}  // namespace

std::optional<std::uint64_t> SeekTarget(std::uint64_t base, std::int64_t offset) {
  // The magnitude of a negative offset, computed without overflowing on the
  // most negative one.
  const std::uint64_t magnitude = offset < 0 ? static_cast<std::uint64_t>(-(offset + 1)) + 1
                                             : static_cast<std::uint64_t>(offset);
  if (offset < 0 ? magnitude > base : base > kMaxPosition || magnitude > kMaxPosition - base) {
    platform::SetLastSystemError(platform::kErrorInvalidParameter);
    return std::nullopt;
  }
  return offset < 0 ? base - magnitude : base + magnitude;
}

TAbstractFile::TAbstractFile(std::string name, bool in_memory)
    : name_(std::move(name)), in_memory_(in_memory) {}

TAbstractFile::~TAbstractFile() = default;

TAbstractFile::Opener* TAbstractFile::FindOpener(std::uint32_t opener_id) {
  Guard guard(mutex_);
  const auto found = std::find_if(openers_.begin(), openers_.end(),
                                  [opener_id](const Opener& o) { return o.id == opener_id; });
  return found == openers_.end() ? nullptr : &*found;
}

std::optional<std::uint64_t> TAbstractFile::FileSize() {
  Guard guard(mutex_);
  return length_;
}

std::uint32_t TAbstractFile::AddOpener() {
  openers_.push_back({++last_opener_id_, 0});
  return last_opener_id_;
}

std::uint32_t TAbstractFile::Open(bool exclusive, bool temporary) {
  Guard guard(mutex_);
  if (openers_.empty()) {
    exclusive_ = exclusive;
    temporary_ = temporary;
  } else if (exclusive_ || exclusive) {
    Fail(platform::kErrorSharingViolation);
    return 0;
  }
  platform::SetLastSystemError(platform::kErrorSuccess);
  return AddOpener();
}

std::size_t TAbstractFile::Close(std::uint32_t opener_id) {
  Guard guard(mutex_);
  std::erase_if(openers_, [opener_id](const Opener& o) { return o.id == opener_id; });
  // Locks belong to the open file: they go with its last opener, as the
  // system drops a handle's locks when the handle closes.
  if (openers_.empty()) locks_.clear();
  return openers_.size();
}

bool TAbstractFile::Rename(const std::string& new_name) {
  Guard guard(mutex_);
  name_ = new_name;
  return true;
}

bool TAbstractFile::Delete() {
  Guard guard(mutex_);
  length_ = 0;
  locks_.clear();
  return true;
}

bool TAbstractFile::Flush() { return true; }

std::optional<std::uint64_t> TAbstractFile::Seek(std::uint32_t opener_id, std::int64_t offset,
                                                 SeekOrigin origin) {
  Guard guard(mutex_);
  Opener* opener = FindOpener(opener_id);
  if (opener == nullptr) {
    Fail(platform::kErrorInvalidHandle);
    return std::nullopt;
  }
  std::uint64_t base = 0;
  if (origin == SeekOrigin::kCurrent) base = opener->position;
  if (origin == SeekOrigin::kEnd) base = length_;
  const std::optional<std::uint64_t> target = SeekTarget(base, offset);
  if (!target) return std::nullopt;
  opener->position = *target;
  return opener->position;
}

bool TAbstractFile::LockRange(std::uint64_t offset, std::uint64_t length) {
  Guard guard(mutex_);
  if (length == 0 || length > std::numeric_limits<std::uint64_t>::max() - offset) {
    return Fail(platform::kErrorInvalidParameter);
  }
  const std::uint64_t end = offset + length;
  for (const HeldRange& held : locks_) {
    if (offset < held.end && held.start < end) return Fail(platform::kErrorLockViolation);
  }
  locks_.push_back({offset, end, length});
  return true;
}

bool TAbstractFile::UnlockRange(std::uint64_t offset, std::uint64_t length) {
  Guard guard(mutex_);
  const auto found = std::find_if(locks_.begin(), locks_.end(), [&](const HeldRange& held) {
    return held.start == offset && held.length == length;
  });
  if (found == locks_.end()) return Fail(platform::kErrorNotLocked);
  locks_.erase(found);
  return true;
}

std::size_t TAbstractFile::open_count() {
  Guard guard(mutex_);
  return openers_.size();
}

bool TAbstractFile::exclusive() {
  Guard guard(mutex_);
  return exclusive_;
}

bool TAbstractFile::temporary() {
  Guard guard(mutex_);
  return temporary_;
}

bool TAbstractFile::read_only() {
  Guard guard(mutex_);
  return read_only_;
}

bool TAbstractFile::read_only_attribute() {
  Guard guard(mutex_);
  return read_only_attribute_;
}

}  // namespace telvora::storage
