#include "platform/last_error.h"

#include <cerrno>

namespace telvora::platform {
namespace {

thread_local std::uint32_t last_system_error = 0;
thread_local std::uint32_t last_socket_error = 0;

constexpr std::uint32_t kCustomerBit = 0x20000000u;

}  // namespace

std::uint32_t GetLastSystemError() { return last_system_error; }
void SetLastSystemError(std::uint32_t windows_error) { last_system_error = windows_error; }
std::uint32_t GetLastSocketError() { return last_socket_error; }
void SetLastSocketError(std::uint32_t error) { last_socket_error = error; }

std::uint32_t WindowsErrorFromErrno(int err) {
  switch (err) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS: return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case ENODEV:
    case ENXIO: return kErrorInvalidDrive;
    case EXDEV: return kErrorNotSameDevice;
    case EAGAIN: return kErrorLockViolation;
    case EEXIST: return kErrorFileExists;
    case EINVAL: return kErrorInvalidParameter;
    case ENOSPC: return kErrorDiskFull;
    default: return kCustomerBit | static_cast<std::uint32_t>(err);
  }
}

std::uint32_t SetLastSystemErrorFromErrno(int err) {
  last_system_error = WindowsErrorFromErrno(err);
  return last_system_error;
}

}  // namespace telvora::platform
