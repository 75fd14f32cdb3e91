// The lock map and the ways its locks are taken inside one process: the
// offsets of every lock, the write-lock range covering every shared-lock
// byte, the fixed-wait loop's attempt count, random shared-lock numbers, and
// the in-memory files' lock list (an overlapping range is refused, an unlock
// names exactly a held range, two sessions exclude each other through it).

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "storage/file_handler.h"
#include "storage/file_list.h"
#include "storage/lock_map.h"
#include "support/temp_dir.h"
#include "file_handler_support.h"

namespace telvora::storage {
namespace {

using test::Kind;
using test::MakeHandler;

// Lowers the fixed wait for one test and puts the protocol's back after it.
class ShortFixedWait {
 public:
  explicit ShortFixedWait(std::uint32_t attempts) {
    SetFixedWaitLockPolicy({attempts, std::chrono::milliseconds(1)});
  }
  ~ShortFixedWait() { SetFixedWaitLockPolicy({}); }
};

TEST(LockMapTest, OffsetsOfEveryLock) {
  const struct {
    const char* lock;
    std::uint64_t offset;
    std::uint64_t expected;
  } cases[] = {
      {"data semaphore", kDataSemaphoreOffset, 4294967295u},
      {"record 1", RecordLockOffset(1), 4294967293u},
      {"record 1000", RecordLockOffset(1000), 4294966294u},
      {"last lockable record", RecordLockOffset(kMaxLockableRecord), 0},
      {"index write lock", kIndexWriteLockOffset, 4294901759u},
      {"BLOB write lock", kBlobWriteLockOffset, 4294901759u},
      {"index shared 1", SharedLockOffset(kIndexSharedLockBase, 1), 4294967294u},
      {"index shared 65535", SharedLockOffset(kIndexSharedLockBase, 65535), 4294901760u},
      {"BLOB shared 300", SharedLockOffset(kBlobSharedLockBase, 300), 4294966995u},
  };
  for (const auto& c : cases) EXPECT_EQ(c.offset, c.expected) << c.lock;
  EXPECT_EQ(kIndexWriteLockLength, 65536u);
  EXPECT_EQ(kBlobWriteLockLength, 65536u);
  EXPECT_EQ(kDataSemaphoreLength, 1u);
  EXPECT_EQ(kFixedWaitLockAttempts, 32767u);
  EXPECT_EQ(kFixedWaitLockPause, std::chrono::milliseconds(3));
}

TEST(LockMapTest, WriteLockRangeCoversEverySharedByteAndNothingElse) {
  for (const std::uint64_t base : {kIndexSharedLockBase, kBlobSharedLockBase}) {
    for (std::uint32_t r = kMinSharedLockNumber; r <= kMaxSharedLockNumber; ++r) {
      const std::uint64_t byte = SharedLockOffset(base, static_cast<std::uint16_t>(r));
      ASSERT_GE(byte, kIndexWriteLockOffset) << r;
      ASSERT_LT(byte, kIndexWriteLockOffset + kIndexWriteLockLength) << r;
    }
  }
  // 65,535 numbers and 65,536 bytes: the range's first byte is no shared
  // byte, the byte after it (the semaphore's position) is outside.
  EXPECT_EQ(kIndexWriteLockOffset + kIndexWriteLockLength, kDataSemaphoreOffset);
}

TEST(LockMapTest, FixedWaitLoopTriesThePolicysNumberOfTimes) {
  const struct {
    std::uint32_t attempts;
    std::uint32_t succeeds_on;  // 0: never
    bool expected;
    std::uint32_t expected_calls;
  } cases[] = {
      {5, 0, false, 5}, {5, 1, true, 1}, {5, 5, true, 5}, {5, 6, false, 5}, {1, 0, false, 1}, {0, 1, false, 0},
  };
  for (const auto& c : cases) {
    ShortFixedWait wait(c.attempts);
    std::uint32_t calls = 0;
    const bool result = RetryWithFixedWait([&] { return ++calls == c.succeeds_on; });
    EXPECT_EQ(result, c.expected) << c.attempts << "/" << c.succeeds_on;
    EXPECT_EQ(calls, c.expected_calls) << c.attempts << "/" << c.succeeds_on;
  }
  EXPECT_EQ(CurrentFixedWaitLockPolicy().attempts, kFixedWaitLockAttempts);
  EXPECT_EQ(CurrentFixedWaitLockPolicy().pause, kFixedWaitLockPause);
}

TEST(LockMapTest, SharedLockNumbersAreNeverZeroAndSpreadOverTheRange) {
  bool low_half = false;
  bool high_half = false;
  for (int i = 0; i < 200000; ++i) {
    const std::uint16_t r = DrawSharedLockNumber();
    ASSERT_NE(r, 0);
    (r <= 32767 ? low_half : high_half) = true;
  }
  EXPECT_TRUE(low_half);
  EXPECT_TRUE(high_half);
}

class InMemoryLockListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = (dir_ / "Locks.IDX").string();
    auto creator = MakeHandler(name_, Kind::kInMemory);
    creator->Create();
    creator->Close();
    first_ = MakeHandler(name_, Kind::kInMemory);
    second_ = MakeHandler(name_, Kind::kInMemory);
    first_->Open();
    second_->Open();
  }
  void TearDown() override {
    first_->Close();
    second_->Close();
    TFileList::Instance().Delete(name_, true);
  }

  telvora::testing::TempDir dir_;
  std::string name_;
  std::unique_ptr<TFileHandler> first_;
  std::unique_ptr<TFileHandler> second_;
};

TEST_F(InMemoryLockListTest, OverlappingRangesAreRefusedAcrossSessions) {
  ASSERT_TRUE(first_->LockRange(100, 10));
  const struct {
    std::uint64_t offset;
    std::uint64_t length;
    bool granted;
  } cases[] = {{100, 10, false}, {109, 1, false}, {95, 6, false}, {90, 100, false},
               {110, 1, true},   {99, 1, true},   {0, 0, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(second_->LockRange(c.offset, c.length), c.granted) << c.offset << "+" << c.length;
    if (c.granted) {
      EXPECT_TRUE(second_->UnlockRange(c.offset, c.length));
    }
  }
  // One session does not get past its own range either.
  EXPECT_FALSE(first_->LockRange(105, 1));
}

TEST_F(InMemoryLockListTest, UnlockNamesExactlyAHeldRange) {
  ASSERT_TRUE(first_->LockRange(100, 10));
  EXPECT_FALSE(first_->UnlockRange(100, 5));
  EXPECT_FALSE(first_->UnlockRange(101, 9));
  EXPECT_FALSE(second_->LockRange(100, 1));
  EXPECT_TRUE(first_->UnlockRange(100, 10));
  EXPECT_FALSE(first_->UnlockRange(100, 10));
  EXPECT_TRUE(second_->LockRange(100, 1));
}

TEST_F(InMemoryLockListTest, WriteLockAndSharedLocksExcludeEachOther) {
  ShortFixedWait wait(3);
  const auto r1 = TakeRandomSharedLock(*first_, kIndexSharedLockBase);
  const auto r2 = TakeRandomSharedLock(*second_, kIndexSharedLockBase);
  ASSERT_TRUE(r1 && r2);
  EXPECT_NE(*r1, *r2);
  EXPECT_NE(*r1, 0);
  // The byte taken is the one reported.
  EXPECT_FALSE(second_->LockRange(SharedLockOffset(kIndexSharedLockBase, *r1), 1));
  EXPECT_FALSE(LockWithFixedWait(*first_, kIndexWriteLockOffset, kIndexWriteLockLength));
  EXPECT_TRUE(ReleaseSharedLock(*first_, kIndexSharedLockBase, *r1));
  EXPECT_FALSE(LockWithFixedWait(*first_, kIndexWriteLockOffset, kIndexWriteLockLength));
  EXPECT_TRUE(ReleaseSharedLock(*second_, kIndexSharedLockBase, *r2));
  ASSERT_TRUE(LockWithFixedWait(*first_, kIndexWriteLockOffset, kIndexWriteLockLength));
  EXPECT_FALSE(TakeRandomSharedLock(*second_, kIndexSharedLockBase).has_value());
  EXPECT_TRUE(first_->UnlockRange(kIndexWriteLockOffset, kIndexWriteLockLength));
}

TEST_F(InMemoryLockListTest, FixedWaitGetsALockReleasedWhileItWaits) {
  ASSERT_TRUE(first_->LockRange(kDataSemaphoreOffset, 1));
  ShortFixedWait wait(2000);  // up to about 2 s; the release comes after 20 ms
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    first_->UnlockRange(kDataSemaphoreOffset, 1);
  });
  EXPECT_TRUE(LockWithFixedWait(*second_, kDataSemaphoreOffset, 1));
  releaser.join();
  EXPECT_FALSE(first_->LockRange(kDataSemaphoreOffset, 1));
}

TEST_F(InMemoryLockListTest, LocksGoWithTheLastOpener) {
  ASSERT_TRUE(first_->LockRange(kDataSemaphoreOffset, 1));
  first_->Close();
  EXPECT_FALSE(second_->LockRange(kDataSemaphoreOffset, 1));
  second_->Close();
  first_->Open();
  EXPECT_TRUE(first_->LockRange(kDataSemaphoreOffset, 1));
  second_->Open();
}

}  // namespace
}  // namespace telvora::storage
