// Byte-range locks between two programs: a range one process holds refuses
// an overlapping request of the other and lets a disjoint one through, at the
// positions the table files use (just under 4 GiB) and across and beyond
// 4 GiB, and every lock goes away with the object or the process holding it.

#include <gtest/gtest.h>

#include <string>

#include "support/child_process.h"
#include "platform/last_error.h"
#include "platform/os_file.h"
#include "support/temp_dir.h"

namespace telvora::platform {
namespace {

using telvora::testing::Channel;
using telvora::testing::ChildProcess;

constexpr std::uint64_t k4G = std::uint64_t{1} << 32;
constexpr std::uint64_t kBase = 4'000'000'000;
// The table files' own lock map: index/BLOB write lock and a shared byte.
constexpr std::uint64_t kWriteLockOffset = 4'294'901'759;
constexpr std::uint64_t kWriteLockLength = 65'536;
constexpr std::uint64_t kSemaphoreOffset = 4'294'967'295;

struct Range {
  std::uint64_t offset;
  std::uint64_t length;
  LockKind kind;
};

struct LockCase {
  const char* name;
  Range held;
  Range requested;
  std::uint32_t expected;  // 0 or the refusal's error
};

constexpr auto X = LockKind::kExclusive;
constexpr auto S = LockKind::kShared;

const LockCase kLockCases[] = {
    {"overlapping exclusive", {kBase, 10, X}, {kBase + 9, 5, X}, kErrorLockViolation},
    {"contained exclusive", {kBase, 10, X}, {kBase + 3, 1, X}, kErrorLockViolation},
    {"adjacent after", {kBase, 10, X}, {kBase + 10, 1, X}, 0},
    {"adjacent before", {kBase, 10, X}, {kBase - 1, 1, X}, 0},
    {"shared over exclusive", {kBase, 10, X}, {kBase, 1, S}, kErrorLockViolation},
    {"exclusive over shared", {kBase, 10, S}, {kBase + 5, 1, X}, kErrorLockViolation},
    {"shared over shared", {kBase, 10, S}, {kBase + 5, 10, S}, 0},
    {"index write lock excludes a reader's byte",
     {kWriteLockOffset, kWriteLockLength, X}, {kSemaphoreOffset - 1234, 1, S}, kErrorLockViolation},
    {"reader's byte excludes the index write lock",
     {kSemaphoreOffset - 1, 1, S}, {kWriteLockOffset, kWriteLockLength, X}, kErrorLockViolation},
    {"semaphore byte apart from the write lock", {kSemaphoreOffset, 1, X},
     {kWriteLockOffset, kWriteLockLength, X}, 0},
    {"range across 4 GiB", {k4G - 5, 10, X}, {k4G + 2, 1, X}, kErrorLockViolation},
    // Would collide if a position were cut to 32 bits.
    {"beyond 4 GiB apart from its low 32 bits", {k4G + 100, 1, X}, {100, 1, X}, 0},
    {"far beyond 4 GiB", {5 * k4G, 4096, X}, {5 * k4G + 4095, 1, S}, kErrorLockViolation},
};

std::uint32_t LockResult(OsFile& file, const Range& range) {
  SetLastSystemError(999);
  return file.LockRange(range.offset, range.length, range.kind) ? 0 : GetLastSystemError();
}

class OsFileLocksBetweenProcessesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (dir_ / "table.db").string();
    OsFile file;
    ASSERT_TRUE(file.Create(path_));
  }

  OsFile OpenShared() {
    OsFile file;
    EXPECT_TRUE(file.Open(path_, FileAccess::kReadWrite, FileSharing::kShared));
    return file;
  }

  telvora::testing::TempDir dir_;
  std::string path_;
};

TEST_F(OsFileLocksBetweenProcessesTest, ChildRequestsWhatThisProcessHolds) {
  for (const auto& c : kLockCases) {
    SCOPED_TRACE(c.name);
    OsFile holder = OpenShared();
    ASSERT_EQ(LockResult(holder, c.held), 0u);
    ChildProcess child([&](Channel& channel) {
      OsFile file;
      if (!file.Open(path_, FileAccess::kReadWrite, FileSharing::kShared)) return 1;
      channel.Send(LockResult(file, c.requested));
      return 0;
    });
    EXPECT_EQ(child.channel().Receive(), c.expected);
    EXPECT_EQ(child.Wait(), 0);
  }
}

TEST_F(OsFileLocksBetweenProcessesTest, ThisProcessRequestsWhatChildHolds) {
  for (const auto& c : kLockCases) {
    SCOPED_TRACE(c.name);
    ChildProcess child([&](Channel& channel) {
      OsFile file;
      if (!file.Open(path_, FileAccess::kReadWrite, FileSharing::kShared)) return 1;
      channel.Send(LockResult(file, c.held));
      channel.Receive();  // hold until told
      return 0;
    });
    ASSERT_EQ(child.channel().Receive(), 0u);
    OsFile requester = OpenShared();
    EXPECT_EQ(LockResult(requester, c.requested), c.expected);
    EXPECT_EQ(child.Wait(), 0);
  }
}

TEST_F(OsFileLocksBetweenProcessesTest, UnlockingAnotherProcesssRangeIsRefusedAndKeepsIt) {
  ChildProcess child([&](Channel& channel) {
    OsFile file;
    if (!file.Open(path_, FileAccess::kReadWrite, FileSharing::kShared)) return 1;
    channel.Send(file.LockRange(kBase, 10) ? 0 : GetLastSystemError());
    channel.Receive();
    return 0;
  });
  ASSERT_EQ(child.channel().Receive(), 0u);
  OsFile file = OpenShared();
  EXPECT_FALSE(file.UnlockRange(kBase, 10));
  EXPECT_EQ(GetLastSystemError(), kErrorNotLocked);
  // The child's lock is untouched by the refused unlock.
  EXPECT_FALSE(file.LockRange(kBase, 1));
  EXPECT_EQ(GetLastSystemError(), kErrorLockViolation);
}

TEST_F(OsFileLocksBetweenProcessesTest, LocksGoWithTheObjectThatClosesAndWithTheProcess) {
  // The child closes its object but stays alive: its range must be free.
  ChildProcess closer([&](Channel& channel) {
    OsFile file;
    if (!file.Open(path_, FileAccess::kReadWrite, FileSharing::kShared)) return 1;
    const bool locked = file.LockRange(kBase, 10) && file.LockRange(k4G + 7, 3, S);
    channel.Send(locked ? 0 : 1);
    channel.Receive();
    file.Close();
    channel.Send(0);
    channel.Receive();
    return 0;
  });
  ASSERT_EQ(closer.channel().Receive(), 0u);
  OsFile file = OpenShared();
  EXPECT_FALSE(file.LockRange(kBase + 5, 1));
  EXPECT_FALSE(file.LockRange(k4G + 8, 1));
  closer.channel().Send(0);
  ASSERT_EQ(closer.channel().Receive(), 0u);
  EXPECT_TRUE(file.LockRange(kBase + 5, 1));
  EXPECT_TRUE(file.LockRange(k4G + 8, 1));
  EXPECT_EQ(closer.Wait(), 0);

  // A process that ends without closing loses its locks with it.
  ChildProcess quitter([&](Channel& channel) {
    OsFile other;
    if (!other.Open(path_, FileAccess::kReadWrite, FileSharing::kShared)) return 1;
    channel.Send(other.LockRange(2 * k4G, 1) ? 0 : 1);
    channel.Receive();
    ::_exit(0);  // no destructor runs
  });
  ASSERT_EQ(quitter.channel().Receive(), 0u);
  EXPECT_FALSE(file.LockRange(2 * k4G, 1));
  EXPECT_EQ(quitter.Wait(), 0);
  EXPECT_TRUE(file.LockRange(2 * k4G, 1));
}

}  // namespace
}  // namespace telvora::platform
