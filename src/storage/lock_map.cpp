#include "storage/lock_map.h"

#include <atomic>
#include <random>
#include <thread>

#include "storage/file_handler.h"

namespace telvora::storage {
namespace {

std::atomic<std::uint32_t> policy_attempts{kFixedWaitLockAttempts};
std::atomic<std::int64_t> policy_pause_ms{kFixedWaitLockPause.count()};

}  // namespace

void SetFixedWaitLockPolicy(const FixedWaitLockPolicy& policy) {
  policy_attempts.store(policy.attempts);
  policy_pause_ms.store(policy.pause.count());
}

FixedWaitLockPolicy CurrentFixedWaitLockPolicy() {
  return {policy_attempts.load(), std::chrono::milliseconds(policy_pause_ms.load())};
}

bool RetryWithFixedWait(const std::function<bool()>& attempt) {
  const FixedWaitLockPolicy policy = CurrentFixedWaitLockPolicy();
  for (std::uint32_t tried = 0; tried < policy.attempts; ++tried) {
    if (tried > 0) std::this_thread::sleep_for(policy.pause);
    if (attempt()) return true;
  }
  return false;
}

bool LockWithFixedWait(TFileHandler& handler, std::uint64_t offset, std::uint64_t length) {
  return RetryWithFixedWait([&] { return handler.LockRange(offset, length); });
}

std::uint16_t DrawSharedLockNumber() {
  // Drawn from the system's entropy source rather than a seeded engine: two
  // programs (or a parent and its forked child) must not draw the same
  // sequence, or they would meet on the same byte at every attempt.
  thread_local std::random_device source;
  std::uniform_int_distribution<std::uint32_t> draw(0, kMaxSharedLockNumber);
  const auto r = static_cast<std::uint16_t>(draw(source));
  return r == 0 ? kMinSharedLockNumber : r;
}

std::optional<std::uint16_t> TakeRandomSharedLock(TFileHandler& handler, std::uint64_t base_offset) {
  std::uint16_t taken = 0;
  const bool locked = RetryWithFixedWait([&] {
    taken = DrawSharedLockNumber();
    return handler.LockRange(SharedLockOffset(base_offset, taken), kSharedLockLength);
  });
  if (!locked) return std::nullopt;
  return taken;
}

bool ReleaseSharedLock(TFileHandler& handler, std::uint64_t base_offset, std::uint16_t r) {
  return handler.UnlockRange(SharedLockOffset(base_offset, r), kSharedLockLength);
}

}  // namespace telvora::storage
