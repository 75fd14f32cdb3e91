// The serial port's UUCP lock: taken atomically, refused while its holder
// lives, taken over from a dead one, released only when ours.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"
#include "tapi/uucp_lock.h"

namespace telvora::tapi {
namespace {

long HolderIn(const std::filesystem::path& path) {
  std::ifstream in(path);
  long pid = 0;
  in >> pid;
  return pid;
}

class UucpLockTest : public ::testing::Test {
 protected:
  std::filesystem::path LockFile(const std::string& device) {
    return dir_.path() / UucpLock::LockFileName(device);
  }
  telvora::testing::TempDir dir_;
};

TEST_F(UucpLockTest, NamesFollowTheDevicesPathBelowDev) {
  EXPECT_EQ(UucpLock::LockFileName("/dev/ttyACM0"), "LCK..ttyACM0");
  EXPECT_EQ(UucpLock::LockFileName("/dev/pts/7"), "LCK..pts_7");
  // A link names the device it points to.
  const auto link = dir_.path() / "modem";
  std::filesystem::create_symlink("/dev/null", link);
  EXPECT_EQ(UucpLock::LockFileName(link.string()), "LCK..null");
}

TEST_F(UucpLockTest, TakenWithOurPidAndReleased) {
  UucpLock lock;
  ASSERT_EQ(lock.Acquire(dir_.path().string(), "/dev/ttyS9"), UucpLock::Result::kTaken);
  const auto file = LockFile("/dev/ttyS9");
  std::ifstream in(file);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content.size(), 11u);  // ten characters and a newline
  EXPECT_EQ(HolderIn(file), ::getpid());
  // A second taker (another program would see the same) is refused.
  UucpLock other;
  long holder = 0;
  EXPECT_EQ(other.Acquire(dir_.path().string(), "/dev/ttyS9", &holder), UucpLock::Result::kBusy);
  EXPECT_EQ(holder, ::getpid());
  lock.Release();
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_EQ(other.Acquire(dir_.path().string(), "/dev/ttyS9"), UucpLock::Result::kTaken);
}

TEST_F(UucpLockTest, StaleLockOfADeadProcessIsTakenOver) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  for (const std::string& content : {std::to_string(child), std::string("garbage")}) {
    SCOPED_TRACE(content);
    std::ofstream(LockFile("/dev/ttyS8")) << "    " << content << "\n";
    UucpLock lock;
    ASSERT_EQ(lock.Acquire(dir_.path().string(), "/dev/ttyS8"), UucpLock::Result::kTaken);
    EXPECT_EQ(HolderIn(LockFile("/dev/ttyS8")), ::getpid());
  }
}

TEST_F(UucpLockTest, ReleaseLeavesALockThatIsNoLongerOurs) {
  UucpLock lock;
  ASSERT_EQ(lock.Acquire(dir_.path().string(), "/dev/ttyS7"), UucpLock::Result::kTaken);
  std::ofstream(LockFile("/dev/ttyS7"), std::ios::trunc) << "      " << ::getppid() << "\n";
  lock.Release();
  EXPECT_TRUE(std::filesystem::exists(LockFile("/dev/ttyS7")));
}

TEST_F(UucpLockTest, UnusableLockFolderFails) {
  UucpLock lock;
  EXPECT_EQ(lock.Acquire((dir_.path() / "missing").string(), "/dev/ttyS6"), UucpLock::Result::kFailed);
  EXPECT_FALSE(lock.held());
}

}  // namespace
}  // namespace telvora::tapi
