#include "platform/os_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/last_error.h"

namespace telvora::platform {
namespace {

constexpr std::uint64_t kShareByte = OsFile::kShareLockOffset;      // S: shared openers
constexpr std::uint64_t kExclusiveByte = OsFile::kShareLockOffset + 1;  // X: read-only exclusive
constexpr std::uint64_t kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
constexpr mode_t kAllWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask

bool Fail(std::uint32_t windows_error) {
  SetLastSystemError(windows_error);
  return false;
}

bool FailFromErrno() {
  SetLastSystemErrorFromErrno(errno);
  return false;
}

// ENOENT does not say which part of the path is missing; Windows does:
// 2 when the folder exists but the file does not, 3 when the folder is missing.
std::uint32_t MissingPathError(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return kErrorFileNotFound;
  return kErrorPathNotFound;
}

bool FailForPath(const std::string& path, int err) {
  if (err == ENOENT) return Fail(MissingPathError(path));
  if (err == EISDIR) return Fail(kErrorAccessDenied);
  SetLastSystemErrorFromErrno(err);
  return false;
}

bool HasReadOnlyAttribute(const struct stat& st) {
  return S_ISREG(st.st_mode) && (st.st_mode & kAllWriteBits) == 0;
}

bool IsWriteRefused(int err) {
  return err == EACCES || err == EPERM || err == EROFS || err == ETXTBSY;
}

struct flock MakeLock(short type, std::uint64_t offset, std::uint64_t length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  lock.l_pid = 0;  // required to be 0 for OFD locks
  return lock;
}

// Tries the lock once; returns 0 or the errno of the refusal.
int SetLock(int fd, short type, std::uint64_t offset, std::uint64_t length) {
  struct flock lock = MakeLock(type, offset, length);
  int rc;
  do {
    rc = ::fcntl(fd, F_OFD_SETLK, &lock);
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? 0 : errno;
}

// Whether another open file description holds any lock within the range.
// Asking for a write lock is allowed on a read-only descriptor; locks of
// our own description never count. Returns -1 with errno on failure.
int OthersHoldLock(int fd, std::uint64_t offset, std::uint64_t length) {
  struct flock lock = MakeLock(F_WRLCK, offset, length);
  if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) return -1;
  return lock.l_type == F_UNLCK ? 0 : 1;
}

bool IsLockRefusal(int err) { return err == EAGAIN || err == EACCES; }

// Takes the share-mode lock for an opener (protocol in os_file.h).
bool TakeShareLock(int fd, FileSharing sharing, bool writable) {
  if (sharing == FileSharing::kExclusive && writable) {
    const int err = SetLock(fd, F_WRLCK, kShareByte, OsFile::kShareLockLength);
    if (err == 0) return true;
    return IsLockRefusal(err) ? Fail(kErrorSharingViolation) : Fail(WindowsErrorFromErrno(err));
  }
  // Shared openers announce themselves on S and look for X; a read-only
  // exclusive opener announces itself on X and looks at both.
  const bool shared = sharing == FileSharing::kShared;
  const std::uint64_t own = shared ? kShareByte : kExclusiveByte;
  const int err = SetLock(fd, F_RDLCK, own, 1);
  if (err != 0) {
    return IsLockRefusal(err) ? Fail(kErrorSharingViolation) : Fail(WindowsErrorFromErrno(err));
  }
  const int others = shared ? OthersHoldLock(fd, kExclusiveByte, 1)
                            : OthersHoldLock(fd, kShareByte, OsFile::kShareLockLength);
  if (others == 0) return true;
  const int saved = errno;
  SetLock(fd, F_UNLCK, own, 1);
  return others > 0 ? Fail(kErrorSharingViolation) : Fail(WindowsErrorFromErrno(saved));
}

bool RangesOverlap(std::uint64_t a_start, std::uint64_t a_length, std::uint64_t b_start,
                   std::uint64_t b_length) {
  return a_start < b_start + b_length && b_start < a_start + a_length;
}

// Whether some OsFile, in any process, has the file open (holds one of the
// share-mode bytes). Used to refuse deleting or renaming an open file as
// Windows does when its openers did not share delete access.
bool IsOpenSomewhere(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  const bool open = OthersHoldLock(fd, kShareByte, OsFile::kShareLockLength) > 0;
  ::close(fd);
  return open;
}

}  // namespace

struct OsFile::State {
  struct HeldRange {
    std::uint64_t offset;
    std::uint64_t length;
    LockKind kind;
  };

  int fd = -1;
  std::string path;
  bool read_only = false;
  bool read_only_attribute = false;
  bool exclusive = false;
  bool delete_on_close = false;

  std::mutex mutex;  // guards held
  std::vector<HeldRange> held;
};

OsFile::OsFile() = default;
OsFile::~OsFile() { Close(); }
OsFile::OsFile(OsFile&& other) noexcept : state_(std::move(other.state_)) {}

OsFile& OsFile::operator=(OsFile&& other) noexcept {
  if (this != &other) {
    Close();
    state_ = std::move(other.state_);
  }
  return *this;
}

bool OsFile::is_open() const { return state_ != nullptr; }
bool OsFile::read_only() const { return state_ && state_->read_only; }
bool OsFile::read_only_attribute() const { return state_ && state_->read_only_attribute; }
bool OsFile::exclusive() const { return state_ && state_->exclusive; }

const std::string& OsFile::path() const {
  static const std::string kNone;
  return state_ ? state_->path : kNone;
}

bool OsFile::Open(const std::string& path, FileAccess access, FileSharing sharing,
                  bool delete_on_close) {
  if (state_) return Fail(kErrorInvalidParameter);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return FailForPath(path, errno);
  if (S_ISDIR(st.st_mode)) return Fail(kErrorAccessDenied);
  const bool attribute = HasReadOnlyAttribute(st);
  bool writable = access == FileAccess::kReadWrite && !attribute;

  // O_NONBLOCK only so that a FIFO put in the table's place cannot hang the
  // open; it is taken off again at once.
  constexpr int kFlags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | kFlags);
  if (fd < 0 && writable && IsWriteRefused(errno)) {
    writable = false;
    fd = ::open(path.c_str(), O_RDONLY | kFlags);
  }
  if (fd < 0) return FailForPath(path, errno);

  auto fail_closing = [fd]() {
    const std::uint32_t error = GetLastSystemError();
    ::close(fd);
    return Fail(error);
  };
  // The name may have been replaced since the stat above; trust the handle.
  if (::fstat(fd, &st) != 0) {
    SetLastSystemErrorFromErrno(errno);
    return fail_closing();
  }
  if (S_ISDIR(st.st_mode)) {
    SetLastSystemError(kErrorAccessDenied);
    return fail_closing();
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (!TakeShareLock(fd, sharing, writable)) return fail_closing();

  auto state = std::make_unique<State>();
  state->fd = fd;
  state->path = path;
  state->read_only = !writable;
  state->read_only_attribute = attribute;
  state->exclusive = sharing == FileSharing::kExclusive;
  state->delete_on_close = delete_on_close;
  state_ = std::move(state);
  SetLastSystemError(kErrorSuccess);
  return true;
}

bool OsFile::Create(const std::string& path, bool delete_on_close) {
  if (state_) return Fail(kErrorInvalidParameter);
  // No O_TRUNC: the file is emptied only after its exclusive lock is held,
  // so a file open elsewhere keeps its contents when we are refused.
  const int fd =
      ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, kNewFileMode);
  if (fd < 0) {
    // Creating, ENOENT can only mean a missing folder.
    if (errno == ENOENT) return Fail(kErrorPathNotFound);
    return FailForPath(path, errno);
  }
  auto fail_closing = [fd](std::uint32_t error) {
    ::close(fd);
    return Fail(error);
  };
  struct stat st {};
  if (::fstat(fd, &st) != 0) return fail_closing(WindowsErrorFromErrno(errno));
  if (!S_ISREG(st.st_mode) || HasReadOnlyAttribute(st)) return fail_closing(kErrorAccessDenied);
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (!TakeShareLock(fd, FileSharing::kExclusive, true)) {
    return fail_closing(GetLastSystemError());
  }
  if (::ftruncate(fd, 0) != 0) return fail_closing(WindowsErrorFromErrno(errno));

  auto state = std::make_unique<State>();
  state->fd = fd;
  state->path = path;
  state->exclusive = true;
  state->delete_on_close = delete_on_close;
  state_ = std::move(state);
  SetLastSystemError(kErrorSuccess);
  return true;
}

bool OsFile::Close() {
  if (!state_) return true;
  std::unique_ptr<State> state = std::move(state_);
  bool ok = true;
  if (state->delete_on_close) {
    // Remove the name while our locks still keep other openers out, and
    // only when it still names this file, not one made under it since.
    struct stat by_name {}, by_handle {};
    if (::stat(state->path.c_str(), &by_name) == 0 && ::fstat(state->fd, &by_handle) == 0 &&
        by_name.st_dev == by_handle.st_dev && by_name.st_ino == by_handle.st_ino) {
      if (::unlink(state->path.c_str()) != 0) ok = FailFromErrno();
    }
  }
  // Closing the only descriptor of the description releases its OFD locks.
  if (::close(state->fd) != 0 && errno != EINTR) ok = FailFromErrno();
  return ok;
}

std::optional<std::size_t> OsFile::Read(std::uint64_t offset, void* buffer,
                                        std::size_t length) const {
  if (!state_) {
    Fail(kErrorInvalidHandle);
    return std::nullopt;
  }
  if (offset > kMaxOffset) {
    Fail(kErrorInvalidParameter);
    return std::nullopt;
  }
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < length) {
    const std::uint64_t at = offset + done;
    if (at > kMaxOffset) break;  // nothing can be stored there
    const ssize_t n = ::pread(state_->fd, out + done, length - done, static_cast<off_t>(at));
    if (n < 0) {
      if (errno == EINTR) continue;
      FailFromErrno();
      return std::nullopt;
    }
    if (n == 0) break;  // end of file
    done += static_cast<std::size_t>(n);
  }
  SetLastSystemError(kErrorSuccess);
  return done;
}

bool OsFile::Write(std::uint64_t offset, const void* data, std::size_t length) {
  if (!state_) return Fail(kErrorInvalidHandle);
  if (state_->read_only) return Fail(kErrorAccessDenied);
  if (offset > kMaxOffset || length > kMaxOffset - offset) return Fail(kErrorInvalidParameter);
  if (length == 0) {
    if (::ftruncate(state_->fd, static_cast<off_t>(offset)) != 0) return FailFromErrno();
    return true;
  }
  const auto* in = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < length) {
    const ssize_t n =
        ::pwrite(state_->fd, in + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return FailFromErrno();
    }
    if (n == 0) return Fail(kErrorDiskFull);
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool OsFile::Flush() {
  if (!state_) return Fail(kErrorInvalidHandle);
  if (::fsync(state_->fd) != 0) return FailFromErrno();
  return true;
}

std::optional<std::uint64_t> OsFile::Size() const {
  if (!state_) {
    Fail(kErrorInvalidHandle);
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(state_->fd, &st) != 0) {
    FailFromErrno();
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(st.st_size);
}

bool OsFile::LockRange(std::uint64_t offset, std::uint64_t length, LockKind kind) {
  if (!state_) return Fail(kErrorInvalidHandle);
  if (length == 0 || offset >= kShareLockOffset || length > kShareLockOffset - offset) {
    return Fail(kErrorInvalidParameter);
  }
  std::lock_guard<std::mutex> guard(state_->mutex);
  // The kernel would let this description take any range over its own
  // ones (and merge or convert them), so overlaps within the object are
  // refused here, as a second program's request would be.
  for (const auto& held : state_->held) {
    if (RangesOverlap(offset, length, held.offset, held.length) &&
        (kind == LockKind::kExclusive || held.kind == LockKind::kExclusive)) {
      return Fail(kErrorLockViolation);
    }
  }
  if (kind == LockKind::kExclusive && state_->read_only) return Fail(kErrorAccessDenied);
  const int err = SetLock(state_->fd, kind == LockKind::kExclusive ? F_WRLCK : F_RDLCK, offset,
                          length);
  if (err != 0) {
    return IsLockRefusal(err) ? Fail(kErrorLockViolation) : Fail(WindowsErrorFromErrno(err));
  }
  state_->held.push_back({offset, length, kind});
  return true;
}

bool OsFile::UnlockRange(std::uint64_t offset, std::uint64_t length) {
  if (!state_) return Fail(kErrorInvalidHandle);
  std::lock_guard<std::mutex> guard(state_->mutex);
  auto& held = state_->held;
  const auto found = std::find_if(held.begin(), held.end(), [&](const State::HeldRange& range) {
    return range.offset == offset && range.length == length;
  });
  if (found == held.end()) return Fail(kErrorNotLocked);

  // Release only the bytes no other held range covers: the kernel keeps one
  // merged lock per byte for this description, and releasing the whole range
  // would also drop an overlapping shared range we still hold. Releasing the
  // gaps (rather than all, then taking the rest back) never lets another
  // program in between.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> covers;  // [start, end)
  for (auto it = held.begin(); it != held.end(); ++it) {
    if (it != found && RangesOverlap(offset, length, it->offset, it->length)) {
      covers.emplace_back(std::max(offset, it->offset),
                          std::min(offset + length, it->offset + it->length));
    }
  }
  std::sort(covers.begin(), covers.end());
  std::uint64_t cursor = offset;
  const std::uint64_t end = offset + length;
  auto release = [&](std::uint64_t from, std::uint64_t to) {
    return from >= to || SetLock(state_->fd, F_UNLCK, from, to - from) == 0;
  };
  for (const auto& [start, stop] : covers) {
    if (!release(cursor, start)) return FailFromErrno();
    cursor = std::max(cursor, stop);
  }
  if (!release(cursor, end)) return FailFromErrno();
  held.erase(found);
  return true;
}

bool OsFile::Delete(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return FailForPath(path, errno);
  if (S_ISDIR(st.st_mode) || HasReadOnlyAttribute(st)) return Fail(kErrorAccessDenied);
  if (S_ISREG(st.st_mode) && IsOpenSomewhere(path)) return Fail(kErrorSharingViolation);
  if (::unlink(path.c_str()) != 0) return FailForPath(path, errno);
  return true;
}

bool OsFile::Rename(const std::string& from, const std::string& to) {
  struct stat st {};
  if (::lstat(from.c_str(), &st) != 0) return FailForPath(from, errno);
  if (S_ISREG(st.st_mode) && IsOpenSomewhere(from)) return Fail(kErrorSharingViolation);
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno == EINVAL) {
    // A file system that cannot refuse to replace: look first (a racing
    // creator of the target can still lose its file, as it could on one
    // without atomic no-replace renames).
    struct stat target {};
    if (::lstat(to.c_str(), &target) == 0) return Fail(kErrorAlreadyExists);
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
  }
  if (errno == EEXIST || errno == ENOTEMPTY) return Fail(kErrorAlreadyExists);
  // The source was there a moment ago, so a missing name is the target's folder.
  if (errno == ENOENT) return Fail(kErrorPathNotFound);
  return FailForPath(to, errno);
}

std::optional<FileAttributes> OsFile::GetAttributes(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    FailForPath(path, errno);
    return std::nullopt;
  }
  FileAttributes attributes;
  attributes.read_only = HasReadOnlyAttribute(st);
  attributes.directory = S_ISDIR(st.st_mode);
  return attributes;
}

bool OsFile::SetReadOnly(const std::string& path, bool read_only) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return FailForPath(path, errno);
  if (!S_ISREG(st.st_mode)) return Fail(kErrorAccessDenied);
  const mode_t mode = st.st_mode & 07777;
  mode_t wanted = mode;
  if (read_only) {
    wanted = mode & ~kAllWriteBits;
  } else if ((mode & kAllWriteBits) == 0) {
    wanted = mode | S_IWUSR;
  }
  if (wanted != mode && ::chmod(path.c_str(), wanted) != 0) return FailForPath(path, errno);
  return true;
}

bool OsFile::IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace telvora::platform
