#include "tapi/uucp_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace telvora::tapi {
namespace {

constexpr const char* kLockPrefix = "LCK..";
constexpr const char* kDevPrefix = "/dev/";
// Takeover of a stale lock is tried this often before giving up (another
// program may be taking it over at the same moment).
constexpr int kAttempts = 3;

// The process id in a lock file: ASCII (HDB style) or, in old binary locks,
// a 4-byte integer. 0 when unreadable.
long ReadHolder(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char buf[32] = {};
  const ssize_t n = ::read(fd, buf, sizeof buf - 1);
  ::close(fd);
  if (n == 4 && (buf[0] < '0' || buf[0] > '9') && buf[0] != ' ') {
    int binary;
    std::memcpy(&binary, buf, sizeof binary);
    return binary;
  }
  if (n <= 0) return 0;
  return std::strtol(buf, nullptr, 10);
}

bool ProcessAlive(long pid) {
  if (pid <= 0) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

std::string UucpLock::LockFileName(const std::string& device) {
  std::error_code ec;
  std::string real = std::filesystem::weakly_canonical(device, ec).string();
  if (ec || real.empty()) real = device;
  std::string name = real.rfind(kDevPrefix, 0) == 0 ? real.substr(std::string(kDevPrefix).size())
                                                     : std::filesystem::path(real).filename().string();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return kLockPrefix + name;
}

UucpLock::Result UucpLock::Acquire(const std::string& lock_dir, const std::string& device, long* holder) {
  Release();
  const std::string path = lock_dir + "/" + LockFileName(device);
  const std::string temp = path + ".tmp" + std::to_string(::getpid());
  char content[16];
  std::snprintf(content, sizeof content, "%10ld\n", static_cast<long>(::getpid()));
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return Result::kFailed;
    const bool written = ::write(fd, content, 11) == 11;
    ::close(fd);
    if (!written) {
      ::unlink(temp.c_str());
      return Result::kFailed;
    }
    const int linked = ::link(temp.c_str(), path.c_str());
    const int link_errno = errno;
    ::unlink(temp.c_str());
    if (linked == 0) {
      path_ = path;
      return Result::kTaken;
    }
    if (link_errno != EEXIST) return Result::kFailed;
    const long pid = ReadHolder(path);
    if (ProcessAlive(pid)) {
      if (holder != nullptr) *holder = pid;
      return Result::kBusy;
    }
    ::unlink(path.c_str());  // stale: its process is gone
  }
  return Result::kBusy;
}

void UucpLock::Release() {
  if (path_.empty()) return;
  // Remove only a lock that is still ours.
  if (ReadHolder(path_) == static_cast<long>(::getpid())) ::unlink(path_.c_str());
  path_.clear();
}

}  // namespace telvora::tapi
