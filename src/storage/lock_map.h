#pragma once
// The lock map of the table files, and the fixed-wait loops that take its
// locks.
//
// Programs (and sessions of one program) that share a table coordinate only
// through exclusive byte-range locks at offsets far beyond any data:
//
//   file   lock                                  offset            length
//   data   table semaphore (write and table lock) 4,294,967,295     1
//   data   record n (n >= 1)                      4,294,967,294 - n 1
//   index  write lock                             4,294,901,759     65,536
//   index  shared lock with random number r       4,294,967,295 - r 1
//   BLOB   write lock                             4,294,901,759     65,536
//   BLOB   shared lock with random number r       4,294,967,295 - r 1
//
// r is 1 to 65,535, so the write-lock range (4,294,901,759 to 4,294,967,294)
// covers every shared-lock byte: a write lock excludes every shared lock and
// any shared lock excludes the write lock, while shared locks on different
// bytes coexist. In-memory files keep the same map in their own lock list.
//
// The table semaphore, the write locks and the shared locks are taken with
// a fixed wait: up to kFixedWaitLockAttempts attempts, kFixedWaitLockPause
// apart. A shared-lock attempt draws a new random number before each try and
// keeps the one that succeeded for the unlock.
//
// Threads: every function may be called from any thread; the fixed-wait
// policy is process-wide.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace telvora::storage {

class TFileHandler;

inline constexpr std::uint64_t kDataSemaphoreOffset = 4294967295;
inline constexpr std::uint64_t kDataSemaphoreLength = 1;
// Record n is locked at kRecordLockBase - n.
inline constexpr std::uint64_t kRecordLockBase = 4294967294;
inline constexpr std::uint64_t kRecordLockLength = 1;
// The largest record number with a lock byte (at offset 0).
inline constexpr std::uint32_t kMaxLockableRecord = 4294967294;

inline constexpr std::uint64_t kIndexWriteLockOffset = 4294901759;
inline constexpr std::uint64_t kIndexWriteLockLength = 65536;
// The shared lock with number r is at kIndexSharedLockBase - r.
inline constexpr std::uint64_t kIndexSharedLockBase = 4294967295;
inline constexpr std::uint64_t kBlobWriteLockOffset = 4294901759;
inline constexpr std::uint64_t kBlobWriteLockLength = 65536;
inline constexpr std::uint64_t kBlobSharedLockBase = 4294967295;
inline constexpr std::uint64_t kSharedLockLength = 1;
inline constexpr std::uint16_t kMinSharedLockNumber = 1;
inline constexpr std::uint16_t kMaxSharedLockNumber = 65535;

inline constexpr std::uint32_t kFixedWaitLockAttempts = 32767;
inline constexpr std::chrono::milliseconds kFixedWaitLockPause{3};

// REQUIRES: 1 <= n <= kMaxLockableRecord.
constexpr std::uint64_t RecordLockOffset(std::uint32_t n) { return kRecordLockBase - n; }
// REQUIRES: r >= 1.
constexpr std::uint64_t SharedLockOffset(std::uint64_t base, std::uint16_t r) { return base - r; }

static_assert(SharedLockOffset(kIndexSharedLockBase, kMaxSharedLockNumber) == kIndexWriteLockOffset + 1);
static_assert(SharedLockOffset(kIndexSharedLockBase, kMinSharedLockNumber) ==
              kIndexWriteLockOffset + kIndexWriteLockLength - 1);

// How the fixed-wait loops wait. The defaults are the protocol's; tests
// lower them through SetFixedWaitLockPolicy (the one hook for that) so that a
// refused lock is given up quickly, and restore them with
// SetFixedWaitLockPolicy({}).
struct FixedWaitLockPolicy {
  std::uint32_t attempts = kFixedWaitLockAttempts;
  std::chrono::milliseconds pause = kFixedWaitLockPause;
};
void SetFixedWaitLockPolicy(const FixedWaitLockPolicy& policy);
FixedWaitLockPolicy CurrentFixedWaitLockPolicy();

// Calls attempt until it returns true, at most the policy's number of times,
// pausing between calls; returns whether one succeeded.
bool RetryWithFixedWait(const std::function<bool()>& attempt);

// Takes the range of the handler's file with the fixed wait.
bool LockWithFixedWait(TFileHandler& handler, std::uint64_t offset, std::uint64_t length);

// A shared-lock number: uniform in 0 to 65,535 with 0 replaced by 1.
std::uint16_t DrawSharedLockNumber();

// Takes a shared-lock byte below base_offset with the fixed wait, drawing a
// new number before each attempt. Returns the number whose byte
// (base_offset - r) is now held, or nothing when every attempt failed.
std::optional<std::uint16_t> TakeRandomSharedLock(TFileHandler& handler, std::uint64_t base_offset);
// Releases the shared-lock byte of number r.
bool ReleaseSharedLock(TFileHandler& handler, std::uint64_t base_offset, std::uint16_t r);

}  // namespace telvora::storage
