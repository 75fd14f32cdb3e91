// Where records go: deleted slots are reused last-deleted-first; with the
// primary index unavailable appends always take the next number; values are
// stored as written (blanks as null); the 9479 limits on record numbers and
// file size leave the header untouched. Every table written here passes the
// table checker.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "file_handler_support.h"
#include "open_table_support.h"
#include "storage_error_code.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::storage {
namespace {

using testing::ErrorCodeOf;

const std::vector<testing::FieldDef> kCodeAndName = {{"Code", kTypeInteger, 0, 0, 0},
                                                     {"Name", kTypeString, 0, 10, 0}};

class RecordSlotsTest : public ::testing::Test {
 protected:
  telvora::testing::TempDir dir_;
};

TEST_F(RecordSlotsTest, DeletedSlotsAreReusedLastDeletedFirst) {
  testing::CreateTable(dir_.path(), "Chain", kCodeAndName, {}, testing::IntegerPrimaryKey(1));
  auto table = testing::OpenTable(dir_.path(), "Chain");
  table->WriteLock();
  const std::vector<TFieldLayout> f = testing::Layouts(*table);
  std::int32_t code = 0;
  const auto insert = [&] {
    return testing::InsertRecord(*table, [&](TRecordImage& r) { r.SetInteger(f[0], ++code); });
  };
  for (int i = 1; i <= 8; ++i) ASSERT_EQ(insert(), i);
  table->Flush({.force_data_header = true});

  TDataFile& data = table->data_file();
  testing::DeleteRecordAt(*table, 3);
  EXPECT_EQ(data.Header().DeletedChainHead(), 3);
  EXPECT_EQ(data.FindCached(3)->Link(), 0);
  testing::DeleteRecordAt(*table, 7);
  EXPECT_EQ(data.Header().DeletedChainHead(), 7);
  EXPECT_EQ(data.FindCached(7)->Link(), 3);
  table->Flush({.force_data_header = true});

  EXPECT_EQ(insert(), 7);
  EXPECT_EQ(data.Header().DeletedChainHead(), 3);
  EXPECT_EQ(insert(), 3);
  EXPECT_EQ(data.Header().DeletedChainHead(), 0);
  EXPECT_EQ(insert(), 9);
  EXPECT_EQ(data.Header().NextRecordNumber(), 10);

  testing::WriteIntegerPrimaryIndex(*table, f[0]);
  testing::WriteRecordIdIndex(*table);
  table->Flush({.force_data_header = true, .force_index_header = true});
  table->WriteUnlock();
  table->CloseFiles();
  EXPECT_TABLE_SOUND(dir_ / "Chain");
}

TEST_F(RecordSlotsTest, WithThePrimaryIndexUnavailableAppendsTakeTheNextNumber) {
  // No primary key fields: the flag is set from creation.
  testing::CreateTable(dir_.path(), "Heap", kCodeAndName);
  auto table = testing::OpenTable(dir_.path(), "Heap");
  ASSERT_TRUE(table->index_file().PrimaryIndexUnavailable());
  table->WriteLock();
  for (int i = 1; i <= 5; ++i) ASSERT_EQ(testing::InsertRecord(*table), i);
  testing::DeleteRecordAt(*table, 2);
  testing::DeleteRecordAt(*table, 4);
  TDataFile& data = table->data_file();
  EXPECT_EQ(data.Header().DeletedChainHead(), 4);
  // The previous chain is not linked from the new head.
  EXPECT_EQ(data.FindCached(4)->Link(), 0);
  EXPECT_EQ(testing::InsertRecord(*table), 6);
  EXPECT_EQ(testing::InsertRecord(*table), 7);
  testing::WriteRecordIdIndex(*table);
  table->Flush({.force_data_header = true, .force_index_header = true});
  table->WriteUnlock();
  table->CloseFiles();
  EXPECT_TABLE_SOUND(dir_ / "Heap");
}

TEST_F(RecordSlotsTest, ValuesAreStoredAsWritten) {
  testing::CreateTable(dir_.path(), "Values",
                       {{"Name", kTypeString, 0, 10, 0}, {"Flag", kTypeBoolean, 0, 0, 0}});
  auto table = testing::OpenTable(dir_.path(), "Values");
  table->WriteLock();
  const std::vector<TFieldLayout> f = testing::Layouts(*table);
  struct Case {
    const char* text;
    std::uint16_t flag;
    std::vector<std::uint8_t> name_bytes;  // flag byte and 11 value bytes
    std::vector<std::uint8_t> flag_bytes;  // flag byte and 2 value bytes
  };
  const std::vector<Case> cases = {
      {"     ", 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 0}},
      {"ab  ", 5, {1, 'a', 'b', 0, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 0}},
      {"", 1, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 0}},
      {"0123456789", 0xFFFF, {1, '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 0}, {1, 1, 0}},
  };
  for (const Case& c : cases) {
    testing::InsertRecord(*table, [&](TRecordImage& r) {
      r.SetString(f[0], c.text, {});
      r.SetBoolean(f[1], c.flag);
    });
  }
  testing::WriteRecordIdIndex(*table);
  table->Flush({.force_data_header = true, .force_index_header = true});
  table->WriteUnlock();
  table->CloseFiles();

  const std::string data = test::ReadFileBytes((dir_ / "Values.DAT").string());
  const std::size_t record_size = 9 + 12 + 3;
  ASSERT_EQ(data.size(), 127 + 2 * 768 + cases.size() * record_size);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].text);
    const std::size_t slot = 127 + 2 * 768 + i * record_size;
    EXPECT_EQ(std::vector<std::uint8_t>(data.begin() + static_cast<std::ptrdiff_t>(slot + 9),
                                        data.begin() + static_cast<std::ptrdiff_t>(slot + 21)),
              cases[i].name_bytes);
    EXPECT_EQ(std::vector<std::uint8_t>(data.begin() + static_cast<std::ptrdiff_t>(slot + 21),
                                        data.begin() + static_cast<std::ptrdiff_t>(slot + 24)),
              cases[i].flag_bytes);
  }
  EXPECT_TABLE_SOUND(dir_ / "Values");
}

// The last number that may be appended, and the reason it is the last.
struct LimitCase {
  const char* what;
  testing::FieldDef field;
  std::int32_t last_number;
};

TEST_F(RecordSlotsTest, AppendsPastTheLimitsFailWithTheHeaderUnchanged) {
  const LimitCase cases[] = {
      // 12-byte records: the record number limit comes first.
      {"200,000,000 records", {"Small", kTypeSmallInt, 0, 0, 0}, 200000000},
      // 261-byte records: 127 + 768 + n × 261 must stay within 4,000,000,000.
      {"4,000,000,000 bytes", {"Text", kTypeString, 0, 250, 0}, 15325667},
  };
  for (const LimitCase& c : cases) {
    SCOPED_TRACE(c.what);
    telvora::testing::TempDir dir;
    testing::CreateTable(dir.path(), "Full", {c.field});
    auto table = testing::OpenTable(dir.path(), "Full", /*exclusive=*/true);
    TDataFile& data = table->data_file();
    data.MutableHeader().SetNextRecordNumber(c.last_number);
    TRecord* last = data.GetRecord(c.last_number);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->Link(), c.last_number);
    data.ReleaseRecord(last);
    const std::vector<std::uint8_t> before(data.Header().Image().begin(), data.Header().Image().end());
    EXPECT_EQ(ErrorCodeOf([&] { data.GetRecord(c.last_number + 1); }), VORA_TABLEFULL);
    EXPECT_EQ(std::vector<std::uint8_t>(data.Header().Image().begin(), data.Header().Image().end()), before);
    // The slots never reach the file.
    table->CloseFiles(/*discard_caches=*/true);
    EXPECT_TABLE_SOUND(dir / "Full");
  }
}

TEST_F(RecordSlotsTest, RecordNumberZeroAndNumbersPastTheEndAreCorrupt) {
  testing::CreateTable(dir_.path(), "Small", kCodeAndName);
  auto table = testing::OpenTable(dir_.path(), "Small", true);
  TDataFile& data = table->data_file();
  EXPECT_EQ(ErrorCodeOf([&] { data.GetRecord(0); }), VORA_FILECORRUPT);
  EXPECT_EQ(ErrorCodeOf([&] { data.GetRecord(2); }), VORA_FILECORRUPT);
  table->CloseFiles(true);
  EXPECT_TABLE_SOUND(dir_ / "Small");
}

}  // namespace
}  // namespace telvora::storage
