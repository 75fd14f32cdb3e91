// Two programs on one table, each with its own TDataTable: shared locks
// coexist and a write lock excludes them; a record lock held by one makes
// the other fail with 10258 after LockRetryCount + 1 attempts; a change
// written by one is noticed by the other's next shared lock, which drops its
// cached records; an exclusive opening keeps the other out (11013).
//
// Every child is forked before this process opens the table, so that each
// side has its own file list and its own handles.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "open_table_support.h"
#include "storage/engine_error.h"
#include "storage_error_code.h"
#include "support/child_process.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::storage {
namespace {

using telvora::testing::Channel;
using telvora::testing::ChildProcess;
using testing::ErrorCodeOf;

// Commands to a child and its replies.
enum Command : std::uint32_t {
  kSharedLock = 1,
  kSharedUnlock,
  kWriteLock,
  kWriteUnlock,
  kLockRecord1,
  kUnlockRecord1,
  kChangeRecord1AndAppend,
};
constexpr std::uint32_t kOk = 0;  // otherwise the engine code raised

const std::vector<testing::FieldDef> kFields = {{"Small", kTypeSmallInt, 0, 0, 0}};

// A child that opens the table (shared, or exclusive) and runs commands
// until the parent closes the pipe. Replies kOk or the engine code.
std::function<int(Channel&)> TableChild(const std::filesystem::path& dir, const std::string& name,
                                        bool exclusive = false) {
  return [dir, name, exclusive](Channel& channel) {
    std::unique_ptr<TDataTable> table;
    try {
      table = testing::OpenTable(dir, name, exclusive, testing::QuickLockSettings(1, 1));
    } catch (const EVoraEngineError& e) {
      channel.Send(e.EngineCode);
      return 1;
    }
    channel.Send(kOk);
    while (const auto command = channel.Receive()) {
      const int code = ErrorCodeOf([&] {
        switch (*command) {
          case kSharedLock: table->SharedLock(); break;
          case kSharedUnlock: table->SharedUnlock(); break;
          case kWriteLock: table->WriteLock(); break;
          case kWriteUnlock: table->WriteUnlock(); break;
          case kLockRecord1: table->LockRecord(1); break;
          case kUnlockRecord1: table->UnlockRecord(1); break;
          case kChangeRecord1AndAppend: {
            table->WriteLock();
            TDataFile& data = table->data_file();
            const TFieldLayout small = testing::Layouts(*table)[0];
            TRecord* record = data.GetRecord(1);
            TRecordImage(record->MutableImage()).SetSmallInt(small, 111);
            record->SetModified(true);
            data.ReleaseRecord(record);
            testing::InsertRecord(*table, [&](TRecordImage& r) { r.SetSmallInt(small, 4); });
            testing::WriteRecordIdIndex(*table);
            table->Flush({.force_data_header = true, .force_index_header = true});
            table->WriteUnlock();
            break;
          }
          default: break;
        }
      });
      channel.Send(static_cast<std::uint32_t>(code));
    }
    table->CloseFiles();
    return 0;
  };
}

std::uint32_t Ask(ChildProcess& child, std::uint32_t command) {
  if (!child.channel().Send(command)) return 0xFFFFFFFF;
  return child.channel().Receive().value_or(0xFFFFFFFF);
}

class OpenTablesBetweenProcessesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::CreateTable(dir_.path(), "Shared", kFields);
    auto table = testing::OpenTable(dir_.path(), "Shared", true);
    const TFieldLayout small = testing::Layouts(*table)[0];
    for (int i = 1; i <= 3; ++i) {
      testing::InsertRecord(*table, [&](TRecordImage& r) { r.SetSmallInt(small, static_cast<std::int16_t>(i)); });
    }
    testing::WriteRecordIdIndex(*table);
    table->CloseFiles();
  }
  void TearDown() override { EXPECT_TABLE_SOUND(dir_ / "Shared"); }

  telvora::testing::TempDir dir_;
  testing::QuickFixedWait quick_;
};

TEST_F(OpenTablesBetweenProcessesTest, SharedLocksCoexistAndAWriteLockExcludesThem) {
  ChildProcess child(TableChild(dir_.path(), "Shared"));
  ASSERT_EQ(child.channel().Receive(), kOk);
  auto table = testing::OpenTable(dir_.path(), "Shared");

  ASSERT_EQ(Ask(child, kSharedLock), kOk);
  EXPECT_FALSE(table->SharedLock());  // no change to report
  EXPECT_TRUE(table->shared_lock_held());
  table->SharedUnlock();
  EXPECT_EQ(ErrorCodeOf([&] { table->WriteLock(); }), VORA_LOCKTIMEOUT);
  EXPECT_FALSE(table->write_lock_held());

  ASSERT_EQ(Ask(child, kSharedUnlock), kOk);
  EXPECT_FALSE(table->WriteLock());
  EXPECT_EQ(Ask(child, kSharedLock), VORA_LOCKTIMEOUT);
  EXPECT_EQ(Ask(child, kWriteLock), VORA_LOCKTIMEOUT);
  table->WriteUnlock();
  EXPECT_EQ(Ask(child, kSharedLock), kOk);
  EXPECT_EQ(Ask(child, kSharedUnlock), kOk);
  table->CloseFiles();
}

TEST_F(OpenTablesBetweenProcessesTest, HeldRecordLockFailsTheOtherAfterEveryRetry) {
  ChildProcess child(TableChild(dir_.path(), "Shared"));
  ASSERT_EQ(child.channel().Receive(), kOk);
  ASSERT_EQ(Ask(child, kLockRecord1), kOk);
  ASSERT_EQ(Ask(child, kSharedUnlock), kOk);  // the lock's shared lock

  for (const std::uint32_t retries : {0u, 3u}) {
    SCOPED_TRACE(retries);
    auto table = testing::OpenTable(dir_.path(), "Shared", false, testing::QuickLockSettings(retries, 2));
    EXPECT_EQ(ErrorCodeOf([&] { table->LockRecord(1); }), VORA_RECLOCKFAILED);
    EXPECT_EQ(table->last_record_lock_attempts(), retries + 1);
    EXPECT_FALSE(table->shared_lock_held());
    // Another record is free.
    EXPECT_EQ(ErrorCodeOf([&] { table->LockRecord(2); }), 0);
    table->UnlockRecord(2);
    table->CloseFiles();
  }
  ASSERT_EQ(Ask(child, kUnlockRecord1), kOk);
  auto table = testing::OpenTable(dir_.path(), "Shared");
  EXPECT_EQ(ErrorCodeOf([&] { table->LockRecord(1); }), 0);
  EXPECT_EQ(table->last_record_lock_attempts(), 1u);
  table->CloseFiles();
}

TEST_F(OpenTablesBetweenProcessesTest, AChangeIsNoticedByTheNextSharedLock) {
  ChildProcess child(TableChild(dir_.path(), "Shared"));
  ASSERT_EQ(child.channel().Receive(), kOk);
  auto table = testing::OpenTable(dir_.path(), "Shared");
  TDataFile& data = table->data_file();
  const TFieldLayout small = testing::Layouts(*table)[0];

  EXPECT_FALSE(table->SharedLock());
  TRecord* record = data.GetRecord(1, ReadDirection::kForward, true);
  EXPECT_EQ(TRecordImage(record->MutableImage()).GetSmallInt(small), 1);
  data.ReleaseRecord(record);
  table->SharedUnlock();
  EXPECT_EQ(data.CachedRecordCount(), 3u);

  // Nothing changed: the caches stay.
  EXPECT_FALSE(table->SharedLock());
  table->SharedUnlock();
  EXPECT_EQ(data.CachedRecordCount(), 3u);

  ASSERT_EQ(Ask(child, kChangeRecord1AndAppend), kOk);
  EXPECT_TRUE(table->SharedLock());
  EXPECT_EQ(data.CachedRecordCount(), 0u);
  EXPECT_EQ(data.PhysicalRecordCount(), 4);
  EXPECT_EQ(table->index_file().ActiveRecordCount(), 4);
  record = data.GetRecord(1);
  EXPECT_EQ(TRecordImage(record->MutableImage()).GetSmallInt(small), 111);
  data.ReleaseRecord(record);
  table->SharedUnlock();
  table->CloseFiles();
}

TEST_F(OpenTablesBetweenProcessesTest, ExclusiveOpeningKeepsTheOtherOut) {
  for (const bool child_exclusive : {true, false}) {
    SCOPED_TRACE(child_exclusive ? "child exclusive" : "child shared");
    ChildProcess child(TableChild(dir_.path(), "Shared", child_exclusive));
    ASSERT_EQ(child.channel().Receive(), kOk);
    EXPECT_EQ(ErrorCodeOf([&] { testing::OpenTable(dir_.path(), "Shared", true); }), VORA_OSEACCES);
    if (child_exclusive) {
      EXPECT_EQ(ErrorCodeOf([&] { testing::OpenTable(dir_.path(), "Shared", false); }), VORA_OSEACCES);
    }
    EXPECT_FALSE(TFileList::Instance().Contains((dir_ / "Shared.DAT").string(), false));
    EXPECT_FALSE(TFileList::Instance().Contains((dir_ / "Shared.IDX").string(), false));
  }
}

}  // namespace
}  // namespace telvora::storage
