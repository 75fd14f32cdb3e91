// One process's view of OsFile: opening and creating, positioned I/O beyond
// 4 GiB, truncation by an empty write, the read-only attribute and the
// read-only fallback, delete-on-close, path operations and their Windows
// error numbers, and byte-range locks taken through one object.

#include "platform/os_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/last_error.h"
#include "support/temp_dir.h"

namespace telvora::platform {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t k4G = std::uint64_t{1} << 32;
constexpr std::uint64_t kBase = 4'000'000'000;

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadAll(OsFile& file) {
  std::string text(static_cast<std::size_t>(file.Size().value_or(0)), '\0');
  const auto got = file.Read(0, text.data(), text.size());
  text.resize(got.value_or(0));
  return text;
}

class OsFileTest : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  telvora::testing::TempDir dir_;
};

TEST_F(OsFileTest, MissingFilesAndFoldersGiveTheirWindowsNumbers) {
  WriteFile(dir_ / "plain", "x");
  const struct {
    const char* name;
    std::string path;
    std::uint32_t expected;
  } cases[] = {
      {"missing file", PathOf("nothing.db"), kErrorFileNotFound},
      {"missing folder", PathOf("nowhere/table.db"), kErrorPathNotFound},
      {"file used as a folder", PathOf("plain/table.db"), kErrorPathNotFound},
  };
  const struct {
    const char* name;
    std::function<bool(const std::string&)> call;
  } operations[] = {
      {"open", [](const std::string& p) {
         OsFile f;
         return f.Open(p, FileAccess::kReadWrite, FileSharing::kShared);
       }},
      {"attributes", [](const std::string& p) { return OsFile::GetAttributes(p).has_value(); }},
      {"delete", [](const std::string& p) { return OsFile::Delete(p); }},
      {"set read-only", [](const std::string& p) { return OsFile::SetReadOnly(p, true); }},
      {"rename from", [this](const std::string& p) { return OsFile::Rename(p, PathOf("to")); }},
  };
  for (const auto& c : cases) {
    for (const auto& op : operations) {
      SCOPED_TRACE(std::string(c.name) + " / " + op.name);
      SetLastSystemError(999);
      EXPECT_FALSE(op.call(c.path));
      EXPECT_EQ(GetLastSystemError(), c.expected);
    }
  }
  // Creating can only miss the folder.
  OsFile file;
  EXPECT_FALSE(file.Create(PathOf("nowhere/table.db")));
  EXPECT_EQ(GetLastSystemError(), kErrorPathNotFound);
  EXPECT_FALSE(OsFile::Rename(PathOf("plain"), PathOf("nowhere/plain")));
  EXPECT_EQ(GetLastSystemError(), kErrorPathNotFound);
  EXPECT_TRUE(fs::exists(dir_ / "plain"));
}

TEST_F(OsFileTest, ReadsAndWritesAtPositionsBeyond4GiBInASparseFile) {
  OsFile file;
  ASSERT_TRUE(file.Create(PathOf("big.db")));
  const std::uint64_t far = 5 * k4G + 3;
  ASSERT_TRUE(file.Write(far, "abcdef", 6));
  EXPECT_EQ(file.Size(), far + 6);

  char buffer[8] = {};
  EXPECT_EQ(file.Read(far + 2, buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "cdef");
  // A read running past the end returns what there is.
  EXPECT_EQ(file.Read(far + 4, buffer, sizeof buffer), 2u);
  EXPECT_EQ(std::string(buffer, 2), "ef");
  EXPECT_EQ(file.Read(far + 6, buffer, sizeof buffer), 0u);
  // The hole reads as zeros, and a write just under 4 GiB lands there, not
  // at a position cut to 32 bits.
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(file.Read(k4G - 4, buffer, 8), 8u);
  EXPECT_EQ(std::vector<char>(buffer, buffer + 8), std::vector<char>(8, '\0'));
  ASSERT_TRUE(file.Write(k4G - 1, "yz", 2));
  EXPECT_EQ(file.Read(k4G - 1, buffer, 2), 2u);
  EXPECT_EQ(std::string(buffer, 2), "yz");
  EXPECT_EQ(file.Read(0, buffer, 2), 2u);
  EXPECT_EQ(std::string(buffer, 2), std::string(2, '\0'));
  EXPECT_TRUE(file.Flush());
}

TEST_F(OsFileTest, WriteOfLengthZeroSetsTheEndOfFileAtThePosition) {
  OsFile file;
  ASSERT_TRUE(file.Create(PathOf("t.db")));
  ASSERT_TRUE(file.Write(0, "0123456789", 10));
  ASSERT_TRUE(file.Write(4, nullptr, 0));
  EXPECT_EQ(file.Size(), 4u);
  EXPECT_EQ(ReadAll(file), "0123");
  // Beyond the end it extends the file with zeros.
  ASSERT_TRUE(file.Write(kBase, "", 0));
  EXPECT_EQ(file.Size(), kBase);
  ASSERT_TRUE(file.Write(0, "", 0));
  EXPECT_EQ(file.Size(), 0u);
}

TEST_F(OsFileTest, CreateEmptiesAnExistingFileAndOpenKeepsIt) {
  WriteFile(dir_ / "t.db", "old contents");
  OsFile file;
  ASSERT_TRUE(file.Open(PathOf("t.db"), FileAccess::kReadWrite, FileSharing::kShared));
  EXPECT_FALSE(file.read_only());
  EXPECT_FALSE(file.exclusive());
  EXPECT_EQ(ReadAll(file), "old contents");
  file.Close();

  ASSERT_TRUE(file.Create(PathOf("t.db")));
  EXPECT_TRUE(file.exclusive());
  EXPECT_FALSE(file.read_only());
  EXPECT_EQ(file.Size(), 0u);
}

TEST_F(OsFileTest, ReadOnlyAttributeMakesEveryOpeningReadOnly) {
  const std::string path = PathOf("t.db");
  WriteFile(path, "kept");
  ASSERT_TRUE(OsFile::SetReadOnly(path, true));
  EXPECT_EQ((fs::status(path).permissions() & fs::perms::all & (fs::perms::owner_write |
             fs::perms::group_write | fs::perms::others_write)), fs::perms::none);
  auto attributes = OsFile::GetAttributes(path);
  ASSERT_TRUE(attributes);
  EXPECT_TRUE(attributes->read_only);
  EXPECT_FALSE(attributes->directory);

  for (FileSharing sharing : {FileSharing::kShared, FileSharing::kExclusive}) {
    OsFile file;
    ASSERT_TRUE(file.Open(path, FileAccess::kReadWrite, sharing));
    EXPECT_TRUE(file.read_only());
    EXPECT_TRUE(file.read_only_attribute());
    // No write access: writes are refused, shared locks still work,
    // exclusive ones would need write access.
    EXPECT_FALSE(file.Write(0, "x", 1));
    EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
    EXPECT_FALSE(file.Write(0, "", 0));
    EXPECT_TRUE(file.LockRange(kBase, 1, LockKind::kShared));
    EXPECT_FALSE(file.LockRange(kBase + 1, 1));
    EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
    EXPECT_EQ(ReadAll(file), "kept");
  }
  // Neither re-created nor deleted while the attribute is set.
  OsFile file;
  EXPECT_FALSE(file.Create(path));
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
  EXPECT_FALSE(OsFile::Delete(path));
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);

  ASSERT_TRUE(OsFile::SetReadOnly(path, false));
  EXPECT_FALSE(OsFile::GetAttributes(path)->read_only);
  ASSERT_TRUE(file.Open(path, FileAccess::kReadWrite, FileSharing::kExclusive));
  EXPECT_FALSE(file.read_only());
  EXPECT_FALSE(file.read_only_attribute());
  EXPECT_TRUE(file.Write(0, "K", 1));
}

// Sets the immutable flag for its lifetime; write access to such a file is
// refused even to root, while its permission bits still allow writing.
class ImmutableFlag {
 public:
  explicit ImmutableFlag(const std::string& path) : path_(path) { set_ = Change(true); }
  ~ImmutableFlag() {
    if (set_) Change(false);
  }
  bool set() const { return set_; }

 private:
  bool Change(bool on) {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
  }

  std::string path_;
  bool set_ = false;
};

TEST_F(OsFileTest, ReadWriteOpeningFallsBackToReadOnlyWhenWritingIsRefused) {
  const std::string path = PathOf("t.db");
  WriteFile(path, "kept");
  ImmutableFlag immutable(path);
  if (!immutable.set()) GTEST_SKIP() << "cannot make a file immutable here";
  ASSERT_FALSE(OsFile::GetAttributes(path)->read_only);

  for (FileSharing sharing : {FileSharing::kShared, FileSharing::kExclusive}) {
    OsFile file;
    ASSERT_TRUE(file.Open(path, FileAccess::kReadWrite, sharing));
    EXPECT_TRUE(file.read_only());
    EXPECT_FALSE(file.read_only_attribute());
    EXPECT_FALSE(file.Write(0, "x", 1));
    EXPECT_EQ(ReadAll(file), "kept");
    // The fallen-back exclusive opening still keeps others out.
    OsFile other;
    EXPECT_EQ(other.Open(path, FileAccess::kRead, FileSharing::kShared),
              sharing == FileSharing::kShared);
  }
}

TEST_F(OsFileTest, FoldersAreNotFiles) {
  const std::string folder = PathOf("sub");
  fs::create_directory(folder);
  EXPECT_TRUE(OsFile::IsDirectory(folder));
  EXPECT_FALSE(OsFile::IsDirectory(PathOf("missing")));
  WriteFile(dir_ / "plain", "x");
  EXPECT_FALSE(OsFile::IsDirectory(PathOf("plain")));
  EXPECT_TRUE(OsFile::GetAttributes(folder)->directory);

  OsFile file;
  for (FileAccess access : {FileAccess::kRead, FileAccess::kReadWrite}) {
    EXPECT_FALSE(file.Open(folder, access, FileSharing::kShared));
    EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
  }
  EXPECT_FALSE(file.Create(folder));
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
  EXPECT_FALSE(OsFile::Delete(folder));
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
  EXPECT_FALSE(OsFile::SetReadOnly(folder, true));
  EXPECT_TRUE(fs::is_directory(folder));
}

TEST_F(OsFileTest, RenameMovesButNeverReplaces) {
  WriteFile(dir_ / "a", "A");
  WriteFile(dir_ / "b", "B");
  EXPECT_FALSE(OsFile::Rename(PathOf("a"), PathOf("b")));
  EXPECT_EQ(GetLastSystemError(), kErrorAlreadyExists);
  OsFile file;
  ASSERT_TRUE(file.Open(PathOf("b"), FileAccess::kRead, FileSharing::kShared));
  EXPECT_EQ(ReadAll(file), "B");
  file.Close();

  ASSERT_TRUE(OsFile::Rename(PathOf("a"), PathOf("c")));
  EXPECT_FALSE(fs::exists(dir_ / "a"));
  ASSERT_TRUE(file.Open(PathOf("c"), FileAccess::kRead, FileSharing::kShared));
  EXPECT_EQ(ReadAll(file), "A");
  file.Close();
  ASSERT_TRUE(OsFile::Delete(PathOf("c")));
  EXPECT_FALSE(fs::exists(dir_ / "c"));
}

TEST_F(OsFileTest, DeleteOnCloseRemovesTheNameWithTheLastClose) {
  const struct {
    const char* name;
    std::function<bool(OsFile&, const std::string&)> open;
  } cases[] = {
      {"opened", [](OsFile& f, const std::string& p) {
         WriteFile(p, "temp");
         return f.Open(p, FileAccess::kReadWrite, FileSharing::kExclusive, true);
       }},
      {"created", [](OsFile& f, const std::string& p) { return f.Create(p, true); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = PathOf("temp.db");
    {
      OsFile file;
      ASSERT_TRUE(c.open(file, path));
      ASSERT_TRUE(file.Write(0, "x", 1));
      // Moving hands the duty on; the moved-from object closes nothing.
      OsFile moved = std::move(file);
      EXPECT_FALSE(file.is_open());
      file.Close();
      EXPECT_TRUE(fs::exists(path));
    }
    EXPECT_FALSE(fs::exists(path));
  }
  // Without the flag the file stays.
  {
    OsFile file;
    ASSERT_TRUE(file.Create(PathOf("kept.db")));
  }
  EXPECT_TRUE(fs::exists(dir_ / "kept.db"));
}

TEST_F(OsFileTest, DeleteOnCloseLeavesAFileMadeUnderTheNameSince) {
  const std::string path = PathOf("temp.db");
  OsFile file;
  ASSERT_TRUE(file.Create(path, true));
  // Someone removes the name and makes a new file under it.
  ASSERT_TRUE(fs::remove(path));
  WriteFile(path, "someone else's");
  ASSERT_TRUE(file.Close());
  ASSERT_TRUE(fs::exists(path));
  OsFile other;
  ASSERT_TRUE(other.Open(path, FileAccess::kRead, FileSharing::kShared));
  EXPECT_EQ(ReadAll(other), "someone else's");
}

TEST_F(OsFileTest, ClosedObjectRefusesWithInvalidHandle) {
  OsFile file;
  char c;
  EXPECT_FALSE(file.Read(0, &c, 1));
  EXPECT_EQ(GetLastSystemError(), kErrorInvalidHandle);
  EXPECT_FALSE(file.Write(0, "x", 1));
  EXPECT_FALSE(file.Size());
  EXPECT_FALSE(file.LockRange(0, 1));
  EXPECT_EQ(GetLastSystemError(), kErrorInvalidHandle);
  EXPECT_TRUE(file.Close());
}

// --- Byte-range locks through one object and between two objects ---

struct Range {
  std::uint64_t offset;
  std::uint64_t length;
  LockKind kind;
};

constexpr auto X = LockKind::kExclusive;
constexpr auto S = LockKind::kShared;

class OsFileLockTest : public OsFileTest {
 protected:
  void SetUp() override {
    path_ = PathOf("locks.db");
    OsFile file;
    ASSERT_TRUE(file.Create(path_));
  }

  OsFile OpenShared() {
    OsFile file;
    EXPECT_TRUE(file.Open(path_, FileAccess::kReadWrite, FileSharing::kShared));
    return file;
  }

  static std::uint32_t LockResult(OsFile& file, const Range& range) {
    SetLastSystemError(999);
    return file.LockRange(range.offset, range.length, range.kind) ? 0 : GetLastSystemError();
  }

  std::string path_;
};

TEST_F(OsFileLockTest, OverlappingRequestThroughTheSameObjectIsRefused) {
  const struct {
    const char* name;
    Range held;
    Range requested;
    std::uint32_t expected;
  } cases[] = {
      {"same range", {kBase, 10, X}, {kBase, 10, X}, kErrorLockViolation},
      {"overlapping end", {kBase, 10, X}, {kBase + 9, 2, X}, kErrorLockViolation},
      {"containing", {kBase + 2, 2, X}, {kBase, 10, X}, kErrorLockViolation},
      {"shared over exclusive", {kBase, 10, X}, {kBase + 1, 1, S}, kErrorLockViolation},
      {"exclusive over shared", {kBase, 10, S}, {kBase + 1, 1, X}, kErrorLockViolation},
      {"shared over shared", {kBase, 10, S}, {kBase + 1, 1, S}, 0},
      {"adjacent", {kBase, 10, X}, {kBase + 10, 10, X}, 0},
      {"across 4 GiB", {k4G - 1, 2, X}, {k4G, 1, X}, kErrorLockViolation},
      {"beyond 4 GiB apart from its low 32 bits", {k4G + 5, 1, X}, {5, 1, X}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OsFile file = OpenShared();
    ASSERT_EQ(LockResult(file, c.held), 0u);
    {
      // A second object of this process is answered as another program is
      // (its lock, if it got one, goes when it closes) ...
      OsFile other = OpenShared();
      EXPECT_EQ(LockResult(other, c.requested), c.expected);
    }
    // ... and so is a request through the object holding the range.
    EXPECT_EQ(LockResult(file, c.requested), c.expected);
  }
}

TEST_F(OsFileLockTest, UnlockNeedsExactlyAHeldRange) {
  OsFile file = OpenShared();
  ASSERT_TRUE(file.LockRange(kBase, 10));
  const struct {
    const char* name;
    std::uint64_t offset;
    std::uint64_t length;
  } wrong[] = {
      {"front part", kBase, 5},
      {"back part", kBase + 5, 5},
      {"larger", kBase, 11},
      {"shifted", kBase + 1, 10},
      {"never locked", kBase + 100, 1},
  };
  for (const auto& w : wrong) {
    SCOPED_TRACE(w.name);
    EXPECT_FALSE(file.UnlockRange(w.offset, w.length));
    EXPECT_EQ(GetLastSystemError(), kErrorNotLocked);
  }
  // None of the refusals released anything.
  OsFile other = OpenShared();
  for (std::uint64_t b = kBase; b < kBase + 10; ++b) EXPECT_FALSE(other.LockRange(b, 1)) << b;

  ASSERT_TRUE(file.UnlockRange(kBase, 10));
  EXPECT_FALSE(file.UnlockRange(kBase, 10));
  EXPECT_EQ(GetLastSystemError(), kErrorNotLocked);
  EXPECT_TRUE(other.LockRange(kBase, 10));
}

TEST_F(OsFileLockTest, UnlockingOneSharedRangeKeepsTheBytesAnotherStillCovers) {
  OsFile file = OpenShared();
  ASSERT_TRUE(file.LockRange(kBase, 10, S));       // [kBase, kBase+10)
  ASSERT_TRUE(file.LockRange(kBase + 5, 10, S));   // [kBase+5, kBase+15)
  ASSERT_TRUE(file.LockRange(kBase + 7, 1, S));    // inside both
  ASSERT_TRUE(file.UnlockRange(kBase + 5, 10));

  OsFile other = OpenShared();
  for (std::uint64_t b = kBase; b < kBase + 20; ++b) {
    const bool still_held = b < kBase + 10;
    EXPECT_EQ(other.LockRange(b, 1), !still_held) << b - kBase;
  }
  other.Close();
  ASSERT_TRUE(file.UnlockRange(kBase, 10));
  other = OpenShared();
  for (std::uint64_t b = kBase; b < kBase + 20; ++b) {
    EXPECT_EQ(other.LockRange(b, 1), b != kBase + 7) << b - kBase;
  }
}

TEST_F(OsFileLockTest, ThreadsRacingThroughOneObjectGetARangeOnce) {
  // The kernel would grant both (one description); the object's own list
  // must let exactly one of them have it.
  OsFile file = OpenShared();
  for (int round = 0; round < 50; ++round) {
    const std::uint64_t offset = kBase + static_cast<std::uint64_t>(round) * 4;
    std::atomic<int> ready{0};
    std::atomic<int> granted{0};
    auto contend = [&](std::uint64_t start) {
      ready.fetch_add(1);
      while (ready.load() < 2) std::this_thread::yield();
      if (file.LockRange(start, 2)) granted.fetch_add(1);
    };
    std::thread a(contend, offset);
    std::thread b(contend, offset + 1);
    a.join();
    b.join();
    ASSERT_EQ(granted.load(), 1) << round;
  }
}

TEST_F(OsFileLockTest, RangesOutsideTheLockableSpaceAreRefused) {
  OsFile file = OpenShared();
  const struct {
    const char* name;
    std::uint64_t offset;
    std::uint64_t length;
  } cases[] = {
      {"empty", kBase, 0},
      {"reaching the share-mode bytes", OsFile::kShareLockOffset - 1, 2},
      {"on the share-mode bytes", OsFile::kShareLockOffset, 1},
      {"wrapping around", ~std::uint64_t{0}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(file.LockRange(c.offset, c.length));
    EXPECT_EQ(GetLastSystemError(), kErrorInvalidParameter);
  }
  EXPECT_TRUE(file.LockRange(OsFile::kShareLockOffset - 1, 1));
  // The object is still open to others: its share-mode lock is intact.
  OsFile exclusive;
  EXPECT_FALSE(exclusive.Open(path_, FileAccess::kReadWrite, FileSharing::kExclusive));
  EXPECT_EQ(GetLastSystemError(), kErrorSharingViolation);
}

TEST_F(OsFileLockTest, LocksGoWithTheObject) {
  OsFile other = OpenShared();
  {
    OsFile file = OpenShared();
    ASSERT_TRUE(file.LockRange(kBase, 10));
    ASSERT_TRUE(file.LockRange(k4G + 1, 1, S));
    // A moved object keeps its locks and its list of them.
    OsFile moved = std::move(file);
    EXPECT_FALSE(other.LockRange(kBase, 1));
    EXPECT_FALSE(other.LockRange(k4G + 1, 1));
    EXPECT_FALSE(moved.LockRange(kBase + 9, 1));
    EXPECT_TRUE(moved.UnlockRange(kBase, 10));
    EXPECT_TRUE(other.LockRange(kBase, 1));
  }
  EXPECT_TRUE(other.LockRange(k4G + 1, 1));
}

}  // namespace
}  // namespace telvora::platform
