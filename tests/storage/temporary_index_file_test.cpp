// Temporary indexes keep their pages in a file of their own: created
// exclusively under a unique name in the private directory, numbered from 1,
// scrambled like the table's pages, and deleted when they are dropped.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <vector>

#include "memory_index_page_file.h"
#include "storage/file_handler.h"
#include "storage/index_key.h"
#include "storage/index_pages.h"
#include "storage/index_tree.h"
#include "storage/scrambler.h"
#include "storage/storage_errors.h"
#include "support/temp_dir.h"

namespace telvora::storage {
namespace {

using testing::TMemoryIndexPageFile;
namespace fs = std::filesystem;

int CompareAscending(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  const int result = std::memcmp(a, b, n);
  return result == 0 ? 0 : (result < 0 ? -1 : 1);
}

TPageFormat Format(int slot) {
  TPageFormat format;
  format.slot = slot;
  format.key_length = 40;
  return format;
}

std::vector<std::uint8_t> Key(std::int32_t n) {
  std::vector<std::uint8_t> key(40, 0);
  EncodeSignedKey(n, std::span<std::uint8_t>(key).first(4));
  return key;
}

std::vector<std::uint8_t> FileBytes(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class TemporaryIndexFileTest : public ::testing::Test {
 protected:
  TMemoryIndexPageFile file_;
  telvora::testing::TempDir dir_;
};

TEST_F(TemporaryIndexFileTest, PagesGoToTheirOwnFileNumberedFromOne) {
  TIndexPages pages(file_, 16384);
  pages.SetTemporaryDirectory(dir_.path().string(), false);
  TIndexTree tree(pages.OpenIndex(3, Format(3), true), CompareAscending, "Temp");
  ASSERT_NE(pages.temporary_file(), nullptr);
  const std::string name = pages.temporary_file()->file_name();
  EXPECT_EQ(fs::path(name).parent_path(), dir_.path());
  EXPECT_TRUE(std::regex_match(fs::path(name).filename().string(), std::regex(R"(\d{1,5}0\.IDX)"))) << name;
  for (std::int32_t i = 0; i < 300; ++i) tree.AddKey(Key(i).data(), i + 1);
  EXPECT_GT(pages.temporary_file()->next_page(), 3);
  EXPECT_EQ(file_.header().NextPageNumber(), 1) << "the index file gets no pages";
  EXPECT_NE(file_.RootPage(3), 0) << "the root is kept in the descriptor";
  // Writing the permanent indexes leaves temporary pages alone.
  pages.WriteModifiedPages();
  EXPECT_EQ(file_.pages_written, 0);
  EXPECT_TRUE(pages.WriteTemporaryPages());
  EXPECT_EQ(fs::file_size(name), static_cast<std::uintmax_t>(pages.temporary_file()->next_page()) * kIndexPageSize);
  // Read back from the file.
  pages.DropTemporaryPages();
  for (std::int32_t i = 0; i < 300; i += 37) {
    const auto found = tree.Find(Key(i).data(), 40, true);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->record_number, i + 1);
    EXPECT_EQ(found->ordinal, i);
  }
  // The file is held exclusively.
  TFileHandler other;
  other.set_file_name(name);
  EXPECT_THROW(other.Open(), EVoraEngineError);
  pages.DropTemporaryIndexes();
  EXPECT_EQ(pages.Cache(3), nullptr);
  EXPECT_FALSE(fs::exists(name));
}

TEST_F(TemporaryIndexFileTest, NameSkipsFilesThatExist) {
  const std::string first = UniqueTemporaryName(dir_.path().string(), ".IDX");
  std::ofstream(first).put('x');
  TTemporaryIndexFile temporary(file_, dir_.path().string(), false);
  EXPECT_NE(temporary.file_name(), first);
  EXPECT_EQ(temporary.file_name().substr(0, first.size() - 5), first.substr(0, first.size() - 5));
  EXPECT_TRUE(fs::exists(temporary.file_name()));
  temporary.CloseAndDelete();
  EXPECT_FALSE(fs::exists(temporary.file_name()));
  EXPECT_TRUE(fs::exists(first));
}

TEST_F(TemporaryIndexFileTest, EncryptedTablesScrambleTemporaryPages) {
  TIndexPages pages(file_, 16384);
  pages.SetTemporaryDirectory(dir_.path().string(), true);
  TIndexTree tree(pages.OpenIndex(4, Format(4), true), CompareAscending, "Temp");
  tree.AddKey(Key(1).data(), 77);
  pages.WriteTemporaryPages();
  const std::vector<std::uint8_t> bytes = FileBytes(pages.temporary_file()->file_name());
  ASSERT_EQ(bytes.size(), 2 * kIndexPageSize);
  std::vector<std::uint8_t> page(bytes.begin() + kIndexPageSize, bytes.end());
  Scramble(page, kDataKey);
  EXPECT_EQ(page[kPageKindOffset], static_cast<std::uint8_t>(PageKind::RootLeaf));
  EXPECT_EQ(page[kPageCountOffset], 1);
  EXPECT_NE(bytes[kIndexPageSize + kPageKindOffset], page[kPageKindOffset]);
  pages.DropTemporaryPages();
  const auto found = tree.Find(Key(1).data(), 40, true);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->record_number, 77);
}

TEST_F(TemporaryIndexFileTest, PermanentAndTemporaryCachesAreDroppedApart) {
  TIndexPages pages(file_, 16384);
  pages.SetTemporaryDirectory(dir_.path().string(), false);
  TIndexTree permanent(pages.OpenIndex(1, Format(1)), CompareAscending, "Kept");
  TIndexTree temporary(pages.OpenIndex(2, Format(2), true), CompareAscending, "Temp");
  permanent.AddKey(Key(1).data(), 1);
  temporary.AddKey(Key(2).data(), 2);
  TIndexPageCaches& caches = pages;
  EXPECT_TRUE(caches.WriteModifiedPages());
  caches.DropPermanentPages();
  EXPECT_EQ(pages.Cache(1)->size(), 0);
  EXPECT_EQ(pages.Cache(2)->size(), 1);
  caches.DropTemporaryPages();
  EXPECT_EQ(pages.Cache(2)->size(), 0);
  // The same format gives the same cache; a different one a new cache.
  EXPECT_EQ(&pages.OpenIndex(1, Format(1)), pages.Cache(1));
  TPageFormat other = Format(1);
  other.compression = 1;
  EXPECT_EQ(pages.OpenIndex(1, other).format().compression, 1);
}

}  // namespace
}  // namespace telvora::storage
