#include "platform/last_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace telvora::platform {
namespace {

TEST(LastErrorTest, ErrnoMapsToTheWindowsNumbersTheEngineKnows) {
  const struct { int err; std::uint32_t windows; } cases[] = {
      {ENOENT, 2}, {ENOTDIR, 3}, {EMFILE, 4}, {ENFILE, 4}, {EACCES, 5},  {EPERM, 5},
      {EROFS, 5},  {EBADF, 6},   {ENOMEM, 8}, {ENODEV, 15}, {ENXIO, 15}, {EXDEV, 17},
  };
  for (const auto& c : cases) EXPECT_EQ(WindowsErrorFromErrno(c.err), c.windows) << c.err;
  // An unmapped errno must not collide with any Windows number we map.
  EXPECT_EQ(WindowsErrorFromErrno(ELOOP) & 0x20000000u, 0x20000000u);
}

TEST(LastErrorTest, EachThreadKeepsItsOwnLastError) {
  SetLastSystemErrorFromErrno(EACCES);
  std::uint32_t seen_in_other = 99;
  std::thread other([&] {
    seen_in_other = GetLastSystemError();
    SetLastSystemError(kErrorSharingViolation);
  });
  other.join();
  EXPECT_EQ(seen_in_other, 0u);
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
}

}  // namespace
}  // namespace telvora::platform
