// Share modes: an exclusive opener keeps every other opener out, shared
// openers coexist, whether the second opener is another object of this
// process or another program, and whatever access either asked for.

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

constexpr std::uint32_t kOpened = 0;

struct Opener {
  FileSharing sharing;
  FileAccess access;
};

struct SharingCase {
  const char* name;
  Opener first;
  Opener second;
  std::uint32_t expected;  // kOpened or the second opener's error
};

constexpr Opener kExclusiveWrite{FileSharing::kExclusive, FileAccess::kReadWrite};
constexpr Opener kExclusiveRead{FileSharing::kExclusive, FileAccess::kRead};
constexpr Opener kSharedWrite{FileSharing::kShared, FileAccess::kReadWrite};
constexpr Opener kSharedRead{FileSharing::kShared, FileAccess::kRead};

const SharingCase kSharingCases[] = {
    {"exclusive writer refuses a shared reader", kExclusiveWrite, kSharedRead, kErrorSharingViolation},
    {"exclusive writer refuses a shared writer", kExclusiveWrite, kSharedWrite, kErrorSharingViolation},
    {"exclusive writer refuses an exclusive reader", kExclusiveWrite, kExclusiveRead, kErrorSharingViolation},
    {"exclusive reader refuses a shared writer", kExclusiveRead, kSharedWrite, kErrorSharingViolation},
    {"exclusive reader refuses a shared reader", kExclusiveRead, kSharedRead, kErrorSharingViolation},
    {"exclusive reader refuses an exclusive reader", kExclusiveRead, kExclusiveRead, kErrorSharingViolation},
    {"exclusive reader refuses an exclusive writer", kExclusiveRead, kExclusiveWrite, kErrorSharingViolation},
    {"shared reader refuses an exclusive reader", kSharedRead, kExclusiveRead, kErrorSharingViolation},
    {"shared writer refuses an exclusive writer", kSharedWrite, kExclusiveWrite, kErrorSharingViolation},
    {"shared reader refuses an exclusive writer", kSharedRead, kExclusiveWrite, kErrorSharingViolation},
    {"shared writer and shared reader coexist", kSharedWrite, kSharedRead, kOpened},
    {"shared reader and shared writer coexist", kSharedRead, kSharedWrite, kOpened},
    {"two shared writers coexist", kSharedWrite, kSharedWrite, kOpened},
};

std::uint32_t OpenResult(const std::string& path, Opener opener, OsFile& file) {
  SetLastSystemError(999);
  if (!file.Open(path, opener.access, opener.sharing)) return GetLastSystemError();
  // A successful opening gave the access asked for.
  if (file.read_only() != (opener.access == FileAccess::kRead)) return 1000;
  return kOpened;
}

class OsFileSharingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (dir_ / "table.db").string();
    OsFile file;
    ASSERT_TRUE(file.Create(path_));
    ASSERT_TRUE(file.Write(0, "data", 4));
  }

  telvora::testing::TempDir dir_;
  std::string path_;
};

TEST_F(OsFileSharingTest, SecondObjectInThisProcess) {
  for (const auto& c : kSharingCases) {
    SCOPED_TRACE(c.name);
    OsFile first;
    ASSERT_EQ(OpenResult(path_, c.first, first), kOpened);
    OsFile second;
    EXPECT_EQ(OpenResult(path_, c.second, second), c.expected);
    EXPECT_EQ(second.is_open(), c.expected == kOpened);
    // Once the first one is gone the second opening always succeeds.
    first.Close();
    second.Close();
    EXPECT_EQ(OpenResult(path_, c.second, second), kOpened);
  }
}

TEST_F(OsFileSharingTest, OpenerInAnotherProcess) {
  for (const auto& c : kSharingCases) {
    SCOPED_TRACE(c.name);
    // This process opens first, the child second ...
    {
      OsFile first;
      ASSERT_EQ(OpenResult(path_, c.first, first), kOpened);
      ChildProcess child([&](Channel& channel) {
        OsFile second;
        channel.Send(OpenResult(path_, c.second, second));
        return 0;
      });
      EXPECT_EQ(child.channel().Receive(), c.expected);
      EXPECT_EQ(child.Wait(), 0);
    }
    // ... and the other way round, the child holding its file until told.
    ChildProcess child([&](Channel& channel) {
      OsFile first;
      channel.Send(OpenResult(path_, c.first, first));
      channel.Receive();
      return 0;
    });
    ASSERT_EQ(child.channel().Receive(), kOpened);
    OsFile second;
    EXPECT_EQ(OpenResult(path_, c.second, second), c.expected);
    second.Close();
    EXPECT_EQ(child.Wait(), 0);
    // The child's exit closed its file, whatever it held.
    EXPECT_EQ(OpenResult(path_, c.second, second), kOpened);
  }
}

TEST_F(OsFileSharingTest, CreateRefusesAFileOpenElsewhereAndLeavesItWhole) {
  ChildProcess child([&](Channel& channel) {
    OsFile file;
    channel.Send(file.Open(path_, FileAccess::kRead, FileSharing::kShared) ? 0 : 1);
    channel.Receive();
    return 0;
  });
  ASSERT_EQ(child.channel().Receive(), 0u);

  OsFile file;
  EXPECT_FALSE(file.Create(path_));
  EXPECT_EQ(GetLastSystemError(), kErrorSharingViolation);
  EXPECT_FALSE(file.is_open());
  // Refused before anything was emptied.
  EXPECT_FALSE(OsFile::Delete(path_));
  EXPECT_EQ(GetLastSystemError(), kErrorSharingViolation);
  child.Wait();

  ASSERT_TRUE(file.Open(path_, FileAccess::kRead, FileSharing::kShared));
  EXPECT_EQ(file.Size(), 4u);
  file.Close();
  // Created always-new once nobody has it open: emptied.
  ASSERT_TRUE(file.Create(path_));
  EXPECT_EQ(file.Size(), 0u);
}

TEST_F(OsFileSharingTest, DeleteAndRenameRefuseAFileOpenInThisProcess) {
  OsFile file;
  ASSERT_TRUE(file.Open(path_, FileAccess::kRead, FileSharing::kShared));
  EXPECT_FALSE(OsFile::Delete(path_));
  EXPECT_EQ(GetLastSystemError(), kErrorSharingViolation);
  EXPECT_FALSE(OsFile::Rename(path_, (dir_ / "moved.db").string()));
  EXPECT_EQ(GetLastSystemError(), kErrorSharingViolation);
  file.Close();
  EXPECT_TRUE(OsFile::Rename(path_, (dir_ / "moved.db").string()));
  EXPECT_TRUE(OsFile::Delete((dir_ / "moved.db").string()));
}

}  // namespace
}  // namespace telvora::platform
