// Tables whose indexes and BLOB values are written through the real page and
// block caches of their files (TIndexFile, TBlobFile): the independent
// checker finds them sound, and the indexes read back after reopening hold
// exactly the records, in key order.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "open_table_support.h"
#include "sample_tables.h"
#include "storage/blob_blocks.h"
#include "storage/blob_buffer.h"
#include "storage/blob_chain.h"
#include "storage/data_table.h"
#include "storage/index_key.h"
#include "storage/index_tree.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::storage::testing {
namespace {

constexpr int kRecords = 600;
constexpr int kNameSlot = 1;

const std::vector<FieldDef>& Fields(bool with_memo) {
  static const std::vector<FieldDef> plain = {{"Id", kTypeInteger, 0, 0, 0}, {"Name", kTypeString, 0, 20, 0}};
  static const std::vector<FieldDef> memo = {
      {"Id", kTypeInteger, 0, 0, 0}, {"Name", kTypeString, 0, 20, 0}, {"Notes", kTypeBlob, kSubtypeMemo, 0, 0}};
  return with_memo ? memo : plain;
}

TIndexDescriptor NameIndex(std::uint8_t compression) {
  TIndexDescriptor index;
  index.SetName("ByName");
  index.SetUnique(false);
  index.SetKeyFieldCount(1);
  index.SetKeyFieldNumber(0, 2);
  index.SetCompression(static_cast<KeyCompression>(compression));
  const auto definition = DefineIndexKey(index, kNameSlot, MakeDescriptors(Fields(false)), true, false, "T");
  index.SetKeyLength(static_cast<std::int16_t>(definition.key_length));
  return index;
}

// Distinct ids in no particular order; names repeat.
std::int32_t IdOf(int i) { return (i * 7919) % 1000; }
std::string NameOf(int i) { return "Name" + std::to_string(i % 37); }
bool IsDeleted(int i) { return i % 5 == 3; }
std::string NotesOf(int i) { return std::string(static_cast<std::size_t>(50 + (i * 131) % 3000), char('a' + i % 26)); }

std::vector<std::uint8_t> KeyOfRecord(TDataTable& table, int slot, std::int32_t n) {
  TRecord* record = table.data_file().GetRecord(n);
  EXPECT_NE(record, nullptr);
  TRecordImage image(record->MutableImage());
  auto key = BuildKey(table.IndexKey(slot), image, {});
  table.data_file().ReleaseRecord(record);
  return key;
}

std::int32_t RecordIdOf(TDataTable& table, std::int32_t n) {
  TRecord* record = table.data_file().GetRecord(n);
  EXPECT_NE(record, nullptr);
  const std::int32_t id = TRecordImage(record->MutableImage()).RecordId();
  table.data_file().ReleaseRecord(record);
  return id;
}

// Inserts the records with their keys in every index, then deletes some the
// way a cursor does: keys out, the record-id key moved to deleted.
void FillTable(TDataTable& table, bool with_memo) {
  const auto layouts = Layouts(table);
  std::vector<std::int32_t> numbers;
  for (int i = 0; i < kRecords; ++i) {
    const std::int32_t n = InsertRecord(table, [&](TRecordImage& image) {
      image.SetInteger(layouts[0], IdOf(i));
      image.SetString(layouts[1], NameOf(i), {});
    });
    numbers.push_back(n);
    if (with_memo) {
      TBlobBuffer buffer(3, n, 0, 0);
      const std::string notes = NotesOf(i);
      buffer.Write(0, std::span(reinterpret_cast<const std::uint8_t*>(notes.data()), notes.size()));
      buffer.Post(*table.blob_file().blocks(), n);
      TRecord* record = table.data_file().GetRecord(n);
      ASSERT_NE(record, nullptr);
      TRecordImage(record->MutableImage()).SetBlobReference(layouts[2], buffer.FirstBlock(), buffer.BlobKey());
      record->SetModified(true);
      table.data_file().ReleaseRecord(record);
    }
    for (const int slot : {kPrimaryIndexSlot, kNameSlot}) {
      table.IndexTree(slot).AddKey(KeyOfRecord(table, slot, n).data(), n);
    }
    table.IndexTree(kRecordIdIndexSlot).AddKey(RecordIdIndexKey(false, RecordIdOf(table, n)).data(), n);
  }
  for (int i = 0; i < kRecords; ++i) {
    if (!IsDeleted(i)) continue;
    const std::int32_t n = numbers[static_cast<std::size_t>(i)];
    for (const int slot : {kPrimaryIndexSlot, kNameSlot}) {
      ASSERT_TRUE(table.IndexTree(slot).DeleteKey(KeyOfRecord(table, slot, n).data()));
    }
    const std::int32_t id = RecordIdOf(table, n);
    TIndexTree ids = table.IndexTree(kRecordIdIndexSlot);
    ASSERT_TRUE(ids.DeleteKey(RecordIdIndexKey(false, id).data()));
    ids.AddKey(RecordIdIndexKey(true, id).data(), n);
    if (with_memo) {
      TRecord* record = table.data_file().GetRecord(n);
      ASSERT_NE(record, nullptr);
      TRecordImage image(record->MutableImage());
      FreeBlobChain(*table.blob_file().blocks(), image.GetBlobFirstBlock(layouts[2]), image.GetBlobKey(layouts[2]),
                    false);
      image.SetBlobReference(layouts[2], 0, 0);
      record->SetModified(true);
      table.data_file().ReleaseRecord(record);
    }
    DeleteRecordAt(table, n);
  }
}

// The leaf entries of an index in order: key and record number.
std::vector<std::pair<std::vector<std::uint8_t>, std::int32_t>> WalkIndex(TDataTable& table, int slot) {
  std::vector<std::pair<std::vector<std::uint8_t>, std::int32_t>> entries;
  TIndexTree tree = table.IndexTree(slot);
  const std::size_t k = tree.cache().format().key_length;
  const std::vector<std::uint8_t> lowest(k, 0);
  const auto first = tree.Find(lowest.data(), k, true);
  if (!first) return entries;
  std::int32_t leaf = first->leaf;
  int entry = first->entry;
  while (leaf != 0) {
    TPage* page = tree.cache().GetPage(leaf);
    EXPECT_NE(page, nullptr);
    if (page == nullptr) break;
    for (int i = entry; i < page->count(); ++i) {
      entries.emplace_back(std::vector<std::uint8_t>(page->Key(i), page->Key(i) + k), page->Pointer(i));
    }
    leaf = page->right();
    entry = 0;
    tree.cache().ReleasePage(page);
  }
  return entries;
}

// What an index must hold: the keys of the active records (every slot for
// the record-id index), sorted.
std::vector<std::pair<std::vector<std::uint8_t>, std::int32_t>> ExpectedEntries(TDataTable& table, int slot) {
  std::vector<std::pair<std::vector<std::uint8_t>, std::int32_t>> entries;
  TDataFile& data = table.data_file();
  for (std::int32_t n = 1; n <= data.PhysicalRecordCount(); ++n) {
    TRecord* record = data.GetRecord(n);
    EXPECT_NE(record, nullptr);
    const bool deleted = record->Deleted();
    const std::int32_t id = TRecordImage(record->MutableImage()).RecordId();
    data.ReleaseRecord(record);
    if (slot == kRecordIdIndexSlot) {
      const auto key = RecordIdIndexKey(deleted, id);
      entries.emplace_back(std::vector<std::uint8_t>(key.begin(), key.end()), n);
    } else if (!deleted) {
      entries.emplace_back(KeyOfRecord(table, slot, n), n);
    }
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

struct Case {
  const char* name;
  bool encrypted;
  std::uint8_t compression;
  bool with_memo;
};

class IndexedTableFilesTest : public ::testing::TestWithParam<Case> {
 protected:
  telvora::testing::TempDir dir_;
};

TEST_P(IndexedTableFilesTest, WrittenThroughTheCachesIsSoundAndReadsBackInKeyOrder) {
  const Case& c = GetParam();
  TDataFileCreation creation;
  creation.encrypted = c.encrypted;
  if (c.encrypted) creation.password = "secret";
  const TIndexDescriptor secondary[] = {NameIndex(c.compression)};
  {
    TDataTable table;
    table.set_directory(dir_.path().string());
    table.set_table_name("T");
    table.CreateFiles(creation, MakeDescriptors(Fields(c.with_memo)), IntegerPrimaryKey(1), secondary);
    FillTable(table, c.with_memo);
    table.Flush();
    table.CloseFiles();
  }
  EXPECT_TABLE_SOUND(dir_.path() / "T");

  auto table = OpenTable(dir_.path(), "T", true);
  const int active = kRecords - kRecords / 5;
  EXPECT_EQ(table->index_file().ActiveRecordCount(), active);
  for (const int slot : {kPrimaryIndexSlot, kNameSlot, kRecordIdIndexSlot}) {
    SCOPED_TRACE(slot);
    const auto walked = WalkIndex(*table, slot);
    EXPECT_EQ(walked.size(), slot == kRecordIdIndexSlot ? std::size_t{kRecords} : std::size_t(active));
    EXPECT_EQ(walked, ExpectedEntries(*table, slot));
    EXPECT_EQ(table->IndexTree(slot).KeyCount(), static_cast<std::int64_t>(walked.size()));
  }
  if (c.with_memo) {
    const auto layouts = Layouts(*table);
    for (std::int32_t n = 1; n <= table->data_file().PhysicalRecordCount(); ++n) {
      TRecord* record = table->data_file().GetRecord(n);
      ASSERT_NE(record, nullptr);
      TRecordImage image(record->MutableImage());
      const bool deleted = record->Deleted();
      const std::int32_t first = image.GetBlobFirstBlock(layouts[2]);
      const std::int32_t key = image.GetBlobKey(layouts[2]);
      const std::int32_t id = image.GetInteger(layouts[0]);
      table->data_file().ReleaseRecord(record);
      if (deleted) continue;
      int i = 0;
      while (IdOf(i) != id) ++i;
      const auto value = ReadBlobChain(*table->blob_file().blocks(), first, key);
      EXPECT_EQ(std::string(value.begin(), value.end()), NotesOf(i)) << "record " << n;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, IndexedTableFilesTest,
                         ::testing::Values(Case{"Plain", false, 0, false}, Case{"PlainCompressed", false, 3, false},
                                           Case{"Encrypted", true, 3, false}, Case{"Memo", false, 0, true},
                                           Case{"EncryptedMemo", true, 1, true}),
                         [](const ::testing::TestParamInfo<Case>& case_info) { return std::string(case_info.param.name); });

}  // namespace
}  // namespace telvora::storage::testing
