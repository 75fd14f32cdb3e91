#pragma once
// The calling thread's last operating-system error, as a Windows error
// number (2 file not found, 5 access denied, 32 sharing violation, ...).
//
// Platform functions that fail set it, the way the Windows functions set
// GetLastError(); the engine reads it when it raises an error, so that the
// exception can carry the number of the moment. errno values are translated
// by WindowsErrorFromErrno before they are stored.

#include <cstdint>

namespace telvora::platform {

// Windows error numbers the platform layer reports.
inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorTooManyOpenFiles = 4;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorInvalidDrive = 15;
inline constexpr std::uint32_t kErrorNotSameDevice = 17;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorLockViolation = 33;
inline constexpr std::uint32_t kErrorHandleEof = 38;
inline constexpr std::uint32_t kErrorNetworkAccessDenied = 65;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorNotLocked = 158;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;

std::uint32_t GetLastSystemError();
void SetLastSystemError(std::uint32_t windows_error);

// The socket layer's last error; nothing in the local engine sets it, so it
// stays 0 unless a caller records one.
std::uint32_t GetLastSocketError();
void SetLastSocketError(std::uint32_t error);

// errno -> Windows error number: ENOENT 2, ENOTDIR 3, EMFILE/ENFILE 4,
// EACCES/EPERM/EROFS 5, EBADF 6, ENOMEM 8, ENODEV/ENXIO 15, EXDEV 17,
// EAGAIN/EWOULDBLOCK 33 (a refused lock), EEXIST 80, EINVAL 87, ENOSPC 112.
// Any other errno is passed on offset by 0x20000000 (the Windows
// "customer" bit), so it can never be mistaken for a mapped number.
std::uint32_t WindowsErrorFromErrno(int err);

// Translates errno and stores it as the last error; returns the number.
std::uint32_t SetLastSystemErrorFromErrno(int err);

}  // namespace telvora::platform
