// Raw index page and BLOB block access of an open table: pages lie at
// n × 4096 and blocks at 512 + (n − 1) × B; in an encrypted table a page is
// scrambled as a whole and a block's 18-byte header and data part each on
// its own; numbers outside the allocated ones are refused (8965, 8963) and
// new BLOB blocks stop at the file limits (9479). The tables stay sound.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "file_handler_support.h"
#include "open_table_support.h"
#include "storage/scrambler.h"
#include "storage_error_code.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::storage {
namespace {

using testing::ErrorCodeOf;

class PageAndBlockIoTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    TDataFileCreation creation;
    creation.encrypted = GetParam();
    creation.password = GetParam() ? "key" : "";
    creation.blob_block_size = 64;
    testing::CreateTable(dir_.path(), "Io", {{"Notes", kTypeBlob, kSubtypeMemo, 0, 0}}, creation);
  }
  telvora::testing::TempDir dir_;
};

TEST_P(PageAndBlockIoTest, FreeBlocksRoundTripAtTheirPositions) {
  const bool encrypted = GetParam();
  auto table = testing::OpenTable(dir_.path(), "Io", true);
  TBlobFile& blob = table->blob_file();
  ASSERT_TRUE(blob.is_open());
  ASSERT_EQ(blob.block_size(), 64);
  EXPECT_EQ(blob.TakeNextBlockNumber(), 1);
  EXPECT_EQ(blob.TakeNextBlockNumber(), 2);
  // Two free blocks: block 2 heads the free chain and links to block 1.
  std::vector<std::uint8_t> blocks(2 * 64, 0);
  blocks[64 + 4] = 1;  // next link of block 2
  for (std::size_t i = 18; i < 64; ++i) blocks[i] = static_cast<std::uint8_t>(i);
  blob.WriteBlockImages(1, blocks);
  blob.MutableHeader().SetFreeChainHead(2);
  EXPECT_EQ(ErrorCodeOf([&] { blob.WriteBlockImages(3, std::span(blocks).first(64)); }), VORA_MEMOCORRUPT);
  std::vector<std::uint8_t> back(2 * 64, 0xEE);
  EXPECT_EQ(blob.ReadBlockImages(1, back), 2u);
  EXPECT_EQ(back, blocks);
  table->CloseFiles();

  const std::string file = test::ReadFileBytes((dir_ / "Io.BLB").string());
  ASSERT_EQ(file.size(), 512u + 2 * 64);
  std::vector<std::uint8_t> block2(file.begin() + 512 + 64, file.end());
  if (encrypted) {
    Scramble(std::span(block2).first(18), kDataKey);
    Scramble(std::span(block2).subspan(18), kDataKey);
  }
  EXPECT_EQ(block2, std::vector<std::uint8_t>(blocks.begin() + 64, blocks.end()));
  EXPECT_TABLE_SOUND(dir_ / "Io");
}

TEST_P(PageAndBlockIoTest, PagesOutsideTheFileAreRefused) {
  auto table = testing::OpenTable(dir_.path(), "Io", true);
  TIndexFile& index = table->index_file();
  std::array<std::uint8_t, kIndexPageSize> page{};
  EXPECT_EQ(ErrorCodeOf([&] { index.ReadPageImage(0, page); }), VORA_INDEXCORRUPT);
  EXPECT_EQ(ErrorCodeOf([&] { index.WritePageImage(1, page); }), VORA_INDEXCORRUPT);
  EXPECT_EQ(index.TakeNextPageNumber(), 1);
  EXPECT_EQ(index.NextPageNumber(), 2);
  EXPECT_TRUE(index.Header().Modified());
  // Page 1 is allocated but not yet written: the file ends before it.
  EXPECT_EQ(ErrorCodeOf([&] { index.ReadPageImage(1, page); }), VORA_READERR);
  table->CloseFiles(/*discard_caches=*/true);
  EXPECT_TABLE_SOUND(dir_ / "Io");
}

TEST_P(PageAndBlockIoTest, NewBlocksStopAtTheFileLimits) {
  auto table = testing::OpenTable(dir_.path(), "Io", true);
  TBlobFile& blob = table->blob_file();
  // 512 + n × 64 must stay within 4,000,000,000: n = 62,499,992 is the last.
  blob.MutableHeader().SetNextBlockNumber(62499992);
  EXPECT_EQ(blob.TakeNextBlockNumber(), 62499992);
  const std::vector<std::uint8_t> before(blob.Header().Image().begin(), blob.Header().Image().end());
  EXPECT_EQ(ErrorCodeOf([&] { blob.TakeNextBlockNumber(); }), VORA_TABLEFULL);
  EXPECT_EQ(std::vector<std::uint8_t>(blob.Header().Image().begin(), blob.Header().Image().end()), before);
  table->CloseFiles(true);
}

INSTANTIATE_TEST_SUITE_P(PlainAndEncrypted, PageAndBlockIoTest, ::testing::Bool(),
                         [](const auto& param_info) { return param_info.param ? "Encrypted" : "Plain"; });

}  // namespace
}  // namespace telvora::storage
