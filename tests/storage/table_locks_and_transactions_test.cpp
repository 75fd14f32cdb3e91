// The lock operations and flush policy of an open table within one process
// (two open tables on one file share its object and exclude each other as
// two programs would): deferred record unlocks while the table is locked,
// tables that take no locks (exclusive, read-only attribute), unlock
// failures, the flush of an exclusive table at close, and the table side of
// transactions (nothing reaches the files before commit; rollback forgets).

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "file_handler_support.h"
#include "open_table_support.h"
#include "platform/os_file.h"
#include "storage_error_code.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::storage {
namespace {

namespace fs = std::filesystem;
using testing::ErrorCodeOf;

const std::vector<testing::FieldDef> kFields = {{"Small", kTypeSmallInt, 0, 0, 0}};
constexpr std::size_t kRecordSize = 12;
constexpr std::size_t kSlotsStart = 127 + 768;

class TableLocksAndTransactionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::CreateTable(dir_.path(), "T", kFields);
    auto table = testing::OpenTable(dir_.path(), "T", true);
    for (int i = 0; i < 3; ++i) testing::InsertRecord(*table);
    testing::WriteRecordIdIndex(*table);
    table->CloseFiles();
  }

  std::uintmax_t DataSize() const { return fs::file_size(dir_ / "T.DAT"); }
  std::string DataBytes() const { return test::ReadFileBytes((dir_ / "T.DAT").string()); }

  telvora::testing::TempDir dir_;
  testing::QuickFixedWait quick_;
};

TEST_F(TableLocksAndTransactionsTest, UnlocksWaitWhileTheTableIsLocked) {
  auto a = testing::OpenTable(dir_.path(), "T");
  auto b = testing::OpenTable(dir_.path(), "T", false, testing::QuickLockSettings(0, 1));
  EXPECT_FALSE(a->LockTable());
  EXPECT_FALSE(a->LockRecord(1));
  a->UnlockRecord(1);
  EXPECT_EQ(a->deferred_unlocks(), (std::set<std::int32_t>{1}));
  EXPECT_EQ(a->held_records(), (std::set<std::int32_t>{1}));
  EXPECT_EQ(ErrorCodeOf([&] { b->LockRecord(1); }), VORA_RECLOCKFAILED);
  // The semaphore keeps the other table's write lock and table lock away.
  EXPECT_EQ(ErrorCodeOf([&] { b->WriteLock(); }), VORA_LOCKTIMEOUT);
  EXPECT_EQ(ErrorCodeOf([&] { b->LockTable(); }), VORA_LOCKTIMEOUT);
  a->UnlockTable();
  EXPECT_TRUE(a->held_records().empty());
  EXPECT_TRUE(a->deferred_unlocks().empty());
  EXPECT_EQ(ErrorCodeOf([&] { b->LockRecord(1); }), 0);
  b->UnlockRecord(1);
  EXPECT_FALSE(b->WriteLock());
  b->WriteUnlock();
}

TEST_F(TableLocksAndTransactionsTest, BadRecordLockRequests) {
  auto table = testing::OpenTable(dir_.path(), "T");
  EXPECT_EQ(ErrorCodeOf([&] { table->LockRecord(0); }), VORA_RECLOCKFAILED);
  EXPECT_EQ(ErrorCodeOf([&] { table->UnlockRecord(2); }), VORA_UNLOCKFAILED);
  table->LockRecord(2);
  table->SharedUnlock();
  table->UnlockRecord(2);
  EXPECT_EQ(ErrorCodeOf([&] { table->UnlockRecord(2); }), VORA_UNLOCKFAILED);
}

TEST_F(TableLocksAndTransactionsTest, TablesThatTakeNoLocks) {
  {
    auto table = testing::OpenTable(dir_.path(), "T", /*exclusive=*/true);
    EXPECT_FALSE(table->LockRecord(1));
    EXPECT_FALSE(table->SharedLock());
    EXPECT_FALSE(table->WriteLock());
    EXPECT_TRUE(table->held_records().empty());
    EXPECT_FALSE(table->shared_lock_held());
    EXPECT_FALSE(table->write_lock_held());
    table->UnlockRecord(1);
  }
  for (const char* extension : {".DAT", ".IDX"}) {
    ASSERT_TRUE(platform::OsFile::SetReadOnly((dir_ / ("T" + std::string(extension))).string(), true));
  }
  {
    auto table = testing::OpenTable(dir_.path(), "T");
    EXPECT_TRUE(table->read_only());
    EXPECT_TRUE(table->read_only_attribute());
    EXPECT_FALSE(table->LockRecord(1));
    EXPECT_FALSE(table->SharedLock());
    EXPECT_TRUE(table->held_records().empty());
    EXPECT_FALSE(table->shared_lock_held());
    const std::string before = DataBytes();
    table->data_file().MarkModified();
    table->Flush({.force_data_header = true});
    EXPECT_EQ(DataBytes(), before);
  }
  for (const char* extension : {".DAT", ".IDX"}) {
    ASSERT_TRUE(platform::OsFile::SetReadOnly((dir_ / ("T" + std::string(extension))).string(), false));
  }
  EXPECT_TABLE_SOUND(dir_ / "T");
}

TEST_F(TableLocksAndTransactionsTest, AnExclusiveTableWritesAtClose) {
  auto table = testing::OpenTable(dir_.path(), "T", true);
  testing::InsertRecord(*table);
  testing::WriteRecordIdIndex(*table);
  EXPECT_EQ(DataSize(), kSlotsStart + 3 * kRecordSize);
  table->CloseFiles();
  EXPECT_EQ(DataSize(), kSlotsStart + 4 * kRecordSize);
  EXPECT_TABLE_SOUND(dir_ / "T");
}

TEST_F(TableLocksAndTransactionsTest, NothingReachesTheFilesBeforeCommit) {
  TTableSettings settings = testing::QuickLockSettings();
  settings.DataBufferBytes = 2 * kRecordSize;  // the cache must grow instead of writing
  auto table = testing::OpenTable(dir_.path(), "T", false, settings);
  auto other = testing::OpenTable(dir_.path(), "T");
  const std::string before = DataBytes();
  table->StartTransaction();
  EXPECT_TRUE(table->in_transaction());
  EXPECT_TRUE(table->table_locked());
  for (int i = 0; i < 4; ++i) testing::InsertRecord(*table);
  testing::WriteRecordIdIndex(*table);
  table->Flush({.force_data_header = true, .force_index_header = true});
  EXPECT_EQ(DataBytes(), before);
  EXPECT_GE(table->data_file().CacheCapacity(), 7u);
  EXPECT_FALSE(other->SharedLock());
  other->SharedUnlock();

  table->Commit(/*force_flush=*/true);
  EXPECT_FALSE(table->in_transaction());
  EXPECT_FALSE(table->table_locked());
  EXPECT_FALSE(table->write_lock_held());
  EXPECT_EQ(DataSize(), kSlotsStart + 7 * kRecordSize);
  EXPECT_TRUE(other->SharedLock());
  EXPECT_EQ(other->data_file().PhysicalRecordCount(), 7);
  other->SharedUnlock();
  table->CloseFiles();
  other->CloseFiles();
  EXPECT_TABLE_SOUND(dir_ / "T");
}

TEST_F(TableLocksAndTransactionsTest, RollbackForgetsTheChanges) {
  auto table = testing::OpenTable(dir_.path(), "T");
  const std::string before = DataBytes();
  table->StartTransaction();
  testing::InsertRecord(*table);
  testing::DeleteRecordAt(*table, 1);
  table->Flush({.force_data_header = true});
  EXPECT_EQ(table->data_file().PhysicalRecordCount(), 4);
  table->Rollback();
  EXPECT_FALSE(table->in_transaction());
  EXPECT_FALSE(table->table_locked());
  EXPECT_EQ(table->data_file().CachedRecordCount(), 0u);
  EXPECT_EQ(table->data_file().PhysicalRecordCount(), 3);
  EXPECT_EQ(table->data_file().Header().DeletedChainHead(), 0);
  EXPECT_EQ(table->index_file().ActiveRecordCount(), 3);
  EXPECT_FALSE(table->data_file().Header().Modified());
  table->CloseFiles();
  EXPECT_EQ(DataBytes(), before);
  EXPECT_TABLE_SOUND(dir_ / "T");
}

}  // namespace
}  // namespace telvora::storage
