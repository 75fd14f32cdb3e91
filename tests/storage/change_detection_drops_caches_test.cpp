// Change detection and flushes reach the page and block caches through
// their interfaces: another writer's index change drops the permanent index
// pages and the cached records, a data-only change drops the records alone,
// a BLOB change drops the blocks whatever the other headers showed; a flush
// writes and trims pages and blocks; a rollback drops the temporary pages.
// The two open tables share the process's file object, as two sessions do.

#include <gtest/gtest.h>

#include <cstdint>

#include "open_table_support.h"
#include "storage/blob_block_cache.h"
#include "storage/index_page_caches.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::storage {
namespace {

struct CountingPages : TIndexPageCaches {
  bool WriteModifiedPages() override { return ++writes, false; }
  bool WriteTemporaryPages() override { return ++temporary_writes, false; }
  void DropPermanentPages() override { ++permanent_drops; }
  void DropTemporaryPages() override { ++temporary_drops; }
  void Trim() override { ++trims; }
  int writes = 0, temporary_writes = 0, permanent_drops = 0, temporary_drops = 0, trims = 0;
};

struct CountingBlocks : TBlobBlockCache {
  bool WriteModifiedBlocks() override { return ++writes, false; }
  void DropBlocks() override { ++drops; }
  void Trim() override { ++trims; }
  int writes = 0, drops = 0, trims = 0;
};

class ChangeDetectionDropsCachesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::CreateTable(dir_.path(), "C", {{"Small", kTypeSmallInt, 0, 0, 0}, {"Notes", kTypeBlob, kSubtypeMemo, 0, 0}});
    reader_ = testing::OpenTable(dir_.path(), "C");
    writer_ = testing::OpenTable(dir_.path(), "C");
    reader_->index_file().set_page_caches(&pages_);
    reader_->blob_file().set_block_cache(&blocks_);
    writer_->WriteLock();
    testing::InsertRecord(*writer_);
    testing::WriteRecordIdIndex(*writer_);
    writer_->Flush({.force_data_header = true, .force_index_header = true});
    writer_->WriteUnlock();
    // The reader catches up and caches record 1.
    EXPECT_TRUE(reader_->SharedLock());
    reader_->data_file().ReleaseRecord(reader_->data_file().GetRecord(1));
    reader_->SharedUnlock();
    pages_ = {};
    blocks_ = {};
  }
  void TearDown() override {
    reader_->index_file().set_page_caches(nullptr);
    reader_->blob_file().set_block_cache(nullptr);
    reader_->CloseFiles();
    writer_->CloseFiles();
    EXPECT_TABLE_SOUND(dir_ / "C");
  }

  // The writer changes what `flush` forces, under its write lock.
  void WriterFlushes(const TTableFlushOptions& flush) {
    writer_->WriteLock();
    writer_->Flush(flush);
    writer_->WriteUnlock();
  }

  telvora::testing::TempDir dir_;
  testing::QuickFixedWait quick_;
  CountingPages pages_;
  CountingBlocks blocks_;
  std::unique_ptr<TDataTable> reader_;
  std::unique_ptr<TDataTable> writer_;
};

TEST_F(ChangeDetectionDropsCachesTest, WhatEachChangedHeaderDrops) {
  struct Case {
    const char* what;
    TTableFlushOptions flush;
    int page_drops, block_drops;
    bool records_dropped;
  };
  const Case cases[] = {
      {"nothing", {}, 0, 0, false},
      {"data header", {.force_data_header = true}, 0, 0, true},
      {"index header", {.force_index_header = true}, 1, 0, true},
      {"BLOB header", {.force_blob_header = true}, 0, 1, false},
      {"all three", {.force_data_header = true, .force_blob_header = true, .force_index_header = true}, 1, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    pages_ = {};
    blocks_ = {};
    reader_->data_file().ReleaseRecord(reader_->data_file().GetRecord(1));
    reader_->SharedUnlock();  // taken when the record had to be read
    ASSERT_EQ(reader_->data_file().CachedRecordCount(), 1u);
    WriterFlushes(c.flush);
    const bool any = c.page_drops + c.block_drops > 0 || c.records_dropped;
    EXPECT_EQ(reader_->SharedLock(), any);
    reader_->SharedUnlock();
    EXPECT_EQ(pages_.permanent_drops, c.page_drops);
    EXPECT_EQ(blocks_.drops, c.block_drops);
    EXPECT_EQ(reader_->data_file().CachedRecordCount(), c.records_dropped ? 0u : 1u);
    EXPECT_EQ(reader_->data_file().Header().ChangeCounter(), writer_->data_file().Header().ChangeCounter());
  }
}

TEST_F(ChangeDetectionDropsCachesTest, FlushAndRollbackReachTheCaches) {
  reader_->WriteLock();
  reader_->Flush({.trim = true});
  reader_->WriteUnlock();
  EXPECT_EQ(pages_.writes, 1);
  EXPECT_EQ(pages_.trims, 1);
  EXPECT_EQ(blocks_.writes, 1);
  EXPECT_EQ(blocks_.trims, 1);

  reader_->StartTransaction();
  EXPECT_EQ(pages_.temporary_writes, 1);
  reader_->Flush({.force_index_header = true});
  EXPECT_EQ(pages_.writes, 1);  // nothing is written inside a transaction
  reader_->Rollback();
  EXPECT_EQ(pages_.permanent_drops, 1);
  EXPECT_EQ(pages_.temporary_drops, 1);
  EXPECT_EQ(blocks_.drops, 1);
}

}  // namespace
}  // namespace telvora::storage
