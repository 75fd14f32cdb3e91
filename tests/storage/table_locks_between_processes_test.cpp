// The lock map between two programs, through file handlers: a write lock on
// the index file is refused while another program holds any shared-lock byte;
// two programs' random shared locks coexist while a write lock waits and
// gives up after the (lowered) fixed-wait attempts; a second program's
// exclusive open is refused with 11013; a file with the read-only attribute
// takes shared locks that two readers can hold together.
//
// Every child is forked before this process opens the file, so that parent
// and child each have their own file list and their own handle.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/os_file.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "storage/file_handler.h"
#include "storage/lock_map.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "file_handler_support.h"

namespace telvora::storage {
namespace {

using telvora::testing::Channel;
using telvora::testing::ChildProcess;
using test::CodeOf;
using test::Kind;
using test::MakeHandler;

// Child replies.
constexpr std::uint32_t kDone = 1;
constexpr std::uint32_t kRefused = 2;
// Child exit statuses.
constexpr int kChildOk = 0;
constexpr int kChildFailed = 3;
constexpr int kChildRaised = 4;

// Runs a child body that opens its own handler of `name`, turning an engine
// error into an exit status (a child must not throw out of its body).
template <typename Body>
std::function<int(Channel&)> WithHandler(const std::string& name, bool exclusive, Body body) {
  return [name, exclusive, body](Channel& channel) {
    try {
      auto handler = MakeHandler(name, Kind::kPhysical, exclusive);
      handler->Open();
      return body(*handler, channel);
    } catch (const EVoraEngineError& e) {
      channel.Send(e.EngineCode);
      return kChildRaised;
    }
  };
}

class TableLocksBetweenProcessesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = (dir_ / "PhoneBook.IDX").string();
    test::WriteFileBytes(name_, std::string(512, '\0'));
    SetFixedWaitLockPolicy({5, std::chrono::milliseconds(1)});
  }
  void TearDown() override { SetFixedWaitLockPolicy({}); }

  std::unique_ptr<TFileHandler> Open(bool exclusive = false) {
    auto handler = MakeHandler(name_, Kind::kPhysical, exclusive);
    handler->Open();
    return handler;
  }

  telvora::testing::TempDir dir_;
  std::string name_;
};

TEST_F(TableLocksBetweenProcessesTest, WriteLockIsRefusedWhileAnySharedByteIsHeld) {
  // The child takes the shared byte of each number it is sent, answers, and
  // lets it go when told.
  ChildProcess child(WithHandler(name_, false, [](TFileHandler& index, Channel& channel) {
    while (const auto r = channel.Receive()) {
      const auto number = static_cast<std::uint16_t>(*r);
      if (!index.LockRange(SharedLockOffset(kIndexSharedLockBase, number), kSharedLockLength)) {
        channel.Send(kRefused);
        return kChildFailed;
      }
      channel.Send(kDone);
      if (!channel.Receive()) return kChildFailed;
      if (!ReleaseSharedLock(index, kIndexSharedLockBase, number)) return kChildFailed;
      channel.Send(kDone);
    }
    return kChildOk;
  }));
  auto index = Open();
  for (const std::uint16_t r : {1, 2, 255, 256, 32768, 65534, 65535}) {
    SCOPED_TRACE(r);
    ASSERT_TRUE(child.channel().Send(r));
    ASSERT_EQ(child.channel().Receive(), kDone);
    EXPECT_FALSE(index->LockRange(kIndexWriteLockOffset, kIndexWriteLockLength));
    EXPECT_FALSE(LockWithFixedWait(*index, kIndexWriteLockOffset, kIndexWriteLockLength));
    ASSERT_TRUE(child.channel().Send(0));
    ASSERT_EQ(child.channel().Receive(), kDone);
    ASSERT_TRUE(index->LockRange(kIndexWriteLockOffset, kIndexWriteLockLength));
    EXPECT_TRUE(index->UnlockRange(kIndexWriteLockOffset, kIndexWriteLockLength));
  }
  EXPECT_EQ(child.Wait(), kChildOk);
}

TEST_F(TableLocksBetweenProcessesTest, ReadersSharedLocksCoexistWhileAWriterGivesUp) {
  ChildProcess child(WithHandler(name_, false, [](TFileHandler& index, Channel& channel) {
    const auto r = TakeRandomSharedLock(index, kIndexSharedLockBase);
    if (!r) return kChildFailed;
    channel.Send(*r);
    if (!channel.Receive()) return kChildFailed;
    if (!ReleaseSharedLock(index, kIndexSharedLockBase, *r)) return kChildFailed;
    channel.Send(kDone);
    return kChildOk;
  }));
  const auto child_r = child.channel().Receive();
  ASSERT_TRUE(child_r.has_value());
  ASSERT_GE(*child_r, kMinSharedLockNumber);
  ASSERT_LE(*child_r, kMaxSharedLockNumber);

  auto reader = Open();
  const auto r = TakeRandomSharedLock(*reader, kIndexSharedLockBase);
  ASSERT_TRUE(r.has_value());
  EXPECT_NE(*r, *child_r);  // a draw of the child's byte is refused and redrawn
  // The child's byte is really held by the child.
  EXPECT_FALSE(reader->LockRange(SharedLockOffset(kIndexSharedLockBase, static_cast<std::uint16_t>(*child_r)), 1));

  // A writer in this process (a second session sharing the handle) waits
  // through its attempts and gives up while either reader holds its byte.
  auto writer = Open();
  EXPECT_FALSE(LockWithFixedWait(*writer, kIndexWriteLockOffset, kIndexWriteLockLength));
  ASSERT_TRUE(ReleaseSharedLock(*reader, kIndexSharedLockBase, *r));
  EXPECT_FALSE(LockWithFixedWait(*writer, kIndexWriteLockOffset, kIndexWriteLockLength));
  ASSERT_TRUE(child.channel().Send(0));
  ASSERT_EQ(child.channel().Receive(), kDone);
  EXPECT_TRUE(LockWithFixedWait(*writer, kIndexWriteLockOffset, kIndexWriteLockLength));
  EXPECT_EQ(child.Wait(), kChildOk);
}

TEST_F(TableLocksBetweenProcessesTest, AnotherProgramsExclusiveOpenIsRefused) {
  const struct {
    bool parent_exclusive;
    bool child_exclusive;
    std::uint32_t expected;  // the code the child's open raises, 0 for none
  } cases[] = {{false, false, 0}, {false, true, VORA_OSEACCES}, {true, false, VORA_OSEACCES}};
  for (const auto& c : cases) {
    ChildProcess child([&](Channel& channel) -> int {
      if (!channel.Receive()) return kChildFailed;  // wait for the parent's open
      auto handler = MakeHandler(name_, Kind::kPhysical, c.child_exclusive);
      channel.Send(CodeOf([&] { handler->Open(); }));
      return kChildOk;
    });
    auto parent = Open(c.parent_exclusive);
    ASSERT_TRUE(child.channel().Send(0));
    EXPECT_EQ(child.channel().Receive(), c.expected);
    EXPECT_EQ(child.Wait(), kChildOk);
  }
}

TEST_F(TableLocksBetweenProcessesTest, ReadOnlyAttributeFilesTakeSharedLocks) {
  ASSERT_TRUE(platform::OsFile::SetReadOnly(name_, true));
  const std::uint64_t record = RecordLockOffset(7);
  ChildProcess child(WithHandler(name_, false, [record](TFileHandler& data, Channel& channel) {
    if (!data.read_only()) return kChildFailed;
    channel.Send(data.LockRange(record, kRecordLockLength) ? kDone : kRefused);
    channel.Receive();
    return kChildOk;
  }));
  ASSERT_EQ(child.channel().Receive(), kDone);
  auto data = Open();
  EXPECT_TRUE(data->read_only_attribute());
  // Both readers hold the byte: neither of them can write, so neither needs
  // to keep the other out.
  EXPECT_TRUE(data->LockRange(record, kRecordLockLength));
  EXPECT_TRUE(data->UnlockRange(record, kRecordLockLength));
  child.Wait();
  ASSERT_TRUE(platform::OsFile::SetReadOnly(name_, false));
}

}  // namespace
}  // namespace telvora::storage
