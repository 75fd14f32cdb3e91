#include "storage/physical_file.h"

#include <utility>

#include "platform/last_error.h"

namespace telvora::storage {
namespace {

using Guard = std::lock_guard<std::recursive_mutex>;
using platform::FileAccess;
using platform::FileSharing;

bool Fail(std::uint32_t windows_error) {
  platform::SetLastSystemError(windows_error);
  return false;
}

}  // namespace

TPhysicalFile::TPhysicalFile(std::string name) : TAbstractFile(std::move(name), false) {}

TPhysicalFile::~TPhysicalFile() = default;

std::optional<std::uint64_t> TPhysicalFile::FileSize() {
  Guard guard(mutex_);
  return file_.Size();
}

std::uint32_t TPhysicalFile::Create(bool temporary) {
  Guard guard(mutex_);
  // Always new, read/write, no sharing; never delete-on-close: a file made
  // to hold temporary indexes stays until it is deleted.
  if (file_.is_open()) {
    Fail(platform::kErrorSharingViolation);
    return 0;
  }
  if (!file_.Create(name_)) return 0;
  exclusive_ = true;
  temporary_ = temporary;
  read_only_ = false;
  read_only_attribute_ = false;
  position_ = 0;
  platform::SetLastSystemError(platform::kErrorSuccess);
  return AddOpener();
}

std::uint32_t TPhysicalFile::Open(bool exclusive, bool temporary) {
  Guard guard(mutex_);
  if (!openers_.empty()) {
    // Already open here: only the in-process sharing rule applies.
    if (exclusive_ || exclusive) {
      Fail(platform::kErrorSharingViolation);
      return 0;
    }
    platform::SetLastSystemError(platform::kErrorSuccess);
    return AddOpener();
  }
  const std::optional<platform::FileAttributes> attributes = platform::OsFile::GetAttributes(name_);
  if (!attributes) return 0;
  const FileSharing sharing = exclusive ? FileSharing::kExclusive : FileSharing::kShared;
  bool opened = false;
  if (!attributes->read_only) opened = file_.Open(name_, FileAccess::kReadWrite, sharing, temporary);
  // A read/write open that fails is tried again read-only.
  if (!opened && !file_.Open(name_, FileAccess::kRead, sharing, temporary)) return 0;
  exclusive_ = exclusive;
  temporary_ = temporary;
  read_only_ = file_.read_only();
  read_only_attribute_ = attributes->read_only || file_.read_only_attribute();
  position_ = 0;
  platform::SetLastSystemError(platform::kErrorSuccess);
  return AddOpener();
}

std::size_t TPhysicalFile::Close(std::uint32_t opener_id) {
  Guard guard(mutex_);
  const std::size_t left = TAbstractFile::Close(opener_id);
  // Closing the handle releases its locks and, for a temporary file that was
  // opened, removes the file.
  if (left == 0) file_.Close();
  return left;
}

bool TPhysicalFile::Rename(const std::string& new_name) {
  Guard guard(mutex_);
  if (file_.is_open()) return Fail(platform::kErrorSharingViolation);
  if (!platform::OsFile::Rename(name_, new_name)) return false;
  name_ = new_name;
  return true;
}

bool TPhysicalFile::Delete() {
  Guard guard(mutex_);
  if (file_.is_open()) return Fail(platform::kErrorSharingViolation);
  return platform::OsFile::Delete(name_);
}

std::optional<std::size_t> TPhysicalFile::Read(std::uint32_t opener_id, void* buffer,
                                               std::size_t length) {
  Guard guard(mutex_);
  if (FindOpener(opener_id) == nullptr) {
    Fail(platform::kErrorInvalidHandle);
    return std::nullopt;
  }
  const std::optional<std::size_t> count = file_.Read(position_, buffer, length);
  if (count) position_ += *count;
  return count;
}

bool TPhysicalFile::Write(std::uint32_t opener_id, const void* data, std::size_t length) {
  Guard guard(mutex_);
  if (FindOpener(opener_id) == nullptr) return Fail(platform::kErrorInvalidHandle);
  if (!file_.Write(position_, data, length)) return false;
  position_ += length;
  return true;
}

bool TPhysicalFile::Flush() {
  Guard guard(mutex_);
  return file_.Flush();
}

std::optional<std::uint64_t> TPhysicalFile::Seek(std::uint32_t opener_id, std::int64_t offset,
                                                 SeekOrigin origin) {
  Guard guard(mutex_);
  if (FindOpener(opener_id) == nullptr) {
    Fail(platform::kErrorInvalidHandle);
    return std::nullopt;
  }
  std::uint64_t base = 0;
  if (origin == SeekOrigin::kCurrent) base = position_;
  if (origin == SeekOrigin::kEnd) {
    const std::optional<std::uint64_t> size = file_.Size();
    if (!size) return std::nullopt;
    base = *size;
  }
  const std::optional<std::uint64_t> target = SeekTarget(base, offset);
  if (target) position_ = *target;
  return target;
}

bool TPhysicalFile::LockRange(std::uint64_t offset, std::uint64_t length) {
  Guard guard(mutex_);
  // See the class comment: a handle without write access locks shared.
  const platform::LockKind kind =
      file_.read_only() ? platform::LockKind::kShared : platform::LockKind::kExclusive;
  return file_.LockRange(offset, length, kind);
}

bool TPhysicalFile::UnlockRange(std::uint64_t offset, std::uint64_t length) {
  Guard guard(mutex_);
  return file_.UnlockRange(offset, length);
}

}  // namespace telvora::storage
