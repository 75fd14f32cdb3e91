// BLOB values written and read through the cursor's record buffers, and the
// copy of the current record that an append starts from: the copy must get
// BLOB values of its own, so that changing one record's memo never changes
// the other's.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/open_blob_values.h"
#include "engine/table_creation_checks.h"
#include "engine/value_text_conversion.h"
#include "storage/engine_error_codes.h"
#include "storage/field_types.h"
#include "storage/record_image.h"
#include "storage/sample_tables.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::engine {
namespace {

constexpr char kTable[] = "Notes";
constexpr std::uint16_t kName = 1;
constexpr std::uint16_t kMemo = 2;

// Name (unique index) and a memo.
TTableDescription NotesTable() {
  TTableDescription d;
  d.fields = storage::testing::MakeDescriptors({{"Name", storage::kTypeString, 0, 20, 0},
                                                {"Memo", storage::kTypeBlob, storage::kSubtypeMemo, 10, 0}});
  storage::TIndexDescriptor primary;
  primary.SetUnique(true);
  primary.SetKeyFieldCount(1);
  primary.SetKeyFieldNumber(0, kName);
  d.indexes = {primary};
  return d;
}

class DataCursorBlobsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = &session_.OpenDirectory("Test", dir_.path().string());
    TDataCursor creator(*directory_);
    creator.SetTableName(kTable);
    creator.SetExclusive(true);
    creator.CreateTable(NotesTable(), false);
    cursor_ = std::make_unique<TDataCursor>(*directory_);
    cursor_->SetTableName(kTable);
    cursor_->OpenCursor();
  }
  void TearDown() override {
    cursor_.reset();
    session_.CloseDirectory(*directory_);
  }

  std::vector<std::uint8_t> Buffer() { return std::vector<std::uint8_t>(cursor_->RecordSize(), 0); }

  void SetName(std::vector<std::uint8_t>& buffer, const std::string& name) {
    storage::TRecordImage image(buffer);
    StoreValueText(cursor_->Fields()[kName - 1], name, Locale(), image);
  }

  // Replaces the memo of the buffer with `text`, as the BLOB stream of the
  // table component does: open for writing, cut, write, close.
  void WriteMemo(std::vector<std::uint8_t>& buffer, const std::string& text) {
    std::size_t size = 0;
    ASSERT_EQ(cursor_->OpenBlob(kMemo, buffer, kBlobModeWrite, false, size), 0);
    ASSERT_EQ(cursor_->TruncateBlob(kMemo, buffer, 0), 0);
    ASSERT_EQ(cursor_->WriteBlob(kMemo, buffer, 0, text.size(), reinterpret_cast<const std::uint8_t*>(text.data())),
              0);
    ASSERT_EQ(cursor_->GetBlobSize(kMemo, buffer, size), 0);
    EXPECT_EQ(size, text.size());
  }

  // The memo of the record with the given name, read through a fresh
  // buffer; "<none>" when there is no such record.
  std::string MemoOf(const std::string& name) {
    std::vector<std::uint8_t> key = Buffer();
    SetName(key, name);
    std::vector<std::uint8_t> record = Buffer();
    if (!cursor_->FindKey(key, false, 0, 0, false, record)) return "<none>";
    std::size_t size = 0;
    EXPECT_EQ(cursor_->OpenBlob(kMemo, record, kBlobModeRead, false, size), 0);
    std::string text(size, '\0');
    std::size_t read = 0;
    EXPECT_EQ(cursor_->ReadBlob(kMemo, record, 0, size, reinterpret_cast<std::uint8_t*>(text.data()), read), 0);
    EXPECT_EQ(read, size);
    EXPECT_EQ(cursor_->CloseBlob(kMemo, record), 0);
    return text;
  }

  telvora::testing::TempDir dir_;
  TDataSession session_;
  TDataDirectory* directory_ = nullptr;
  std::unique_ptr<TDataCursor> cursor_;
};

TEST_F(DataCursorBlobsTest, MemosWrittenInBuffersReachTheRecords) {
  // Longer than one block, so that the value is a chain.
  const std::string long_text(3000, 'x');
  std::vector<std::uint8_t> buffer = Buffer();
  cursor_->InitRecord(buffer);
  SetName(buffer, "Anna");
  WriteMemo(buffer, long_text);
  cursor_->InsertRecord(buffer, true);
  EXPECT_EQ(cursor_->CloseBlob(kMemo, buffer), 0);
  EXPECT_EQ(MemoOf("Anna"), long_text);

  // Reading past the end of a value is refused, with what could be read.
  std::vector<std::uint8_t> record = Buffer();
  ASSERT_EQ(cursor_->GetCurrentRecord(record), 0);
  std::size_t size = 0;
  ASSERT_EQ(cursor_->OpenBlob(kMemo, record, kBlobModeRead, false, size), 0);
  std::vector<std::uint8_t> tail(20);
  std::size_t read = 0;
  EXPECT_EQ(cursor_->ReadBlob(kMemo, record, long_text.size() - 5, tail.size(), tail.data(), read),
            storage::VORA_ENDOFBLOB);
  EXPECT_EQ(read, 5u);
  EXPECT_EQ(cursor_->CloseBlob(kMemo, record), 0);

  // An edit that shortens the memo.
  ASSERT_EQ(cursor_->GetCurrentRecord(record, true), 0);
  WriteMemo(record, "short");
  cursor_->ModifyRecord(record, true, true);
  EXPECT_EQ(cursor_->CloseBlob(kMemo, record), 0);
  EXPECT_EQ(MemoOf("Anna"), "short");

  cursor_.reset();
  EXPECT_TABLE_SOUND(dir_.path() / kTable);
}

TEST_F(DataCursorBlobsTest, AppendCopiesTheCurrentRecordWithMemosOfItsOwn) {
  std::vector<std::uint8_t> copy = Buffer();
  cursor_->InitRecord(copy);
  EXPECT_EQ(cursor_->CopyCurrentForAppend(copy), storage::VORA_NOCURRREC);

  std::vector<std::uint8_t> buffer = Buffer();
  cursor_->InitRecord(buffer);
  SetName(buffer, "Anna");
  WriteMemo(buffer, "original memo");
  cursor_->InsertRecord(buffer, true);
  EXPECT_EQ(cursor_->CloseBlob(kMemo, buffer), 0);
  std::vector<std::uint8_t> anna = Buffer();
  ASSERT_EQ(cursor_->GetCurrentRecord(anna), 0);

  ASSERT_EQ(cursor_->CopyCurrentForAppend(copy), 0);
  storage::TRecordImage copy_image(copy);
  EXPECT_EQ(copy_image.RecordNumber(), 0);
  EXPECT_EQ(copy_image.RecordId(), 0);
  std::size_t size = 0;
  ASSERT_EQ(cursor_->GetBlobSize(kMemo, copy, size), 0);
  EXPECT_EQ(size, std::string("original memo").size());

  // The copy, renamed and with its memo changed, is a record of its own;
  // Anna's memo stays as it was.
  SetName(copy, "Bert");
  WriteMemo(copy, "copy's memo");
  cursor_->InsertRecord(copy, true);
  EXPECT_EQ(cursor_->CloseBlob(kMemo, copy), 0);
  EXPECT_EQ(cursor_->GetRecordCount(), 2);
  EXPECT_EQ(MemoOf("Anna"), "original memo");
  EXPECT_EQ(MemoOf("Bert"), "copy's memo");
  std::vector<std::uint8_t> bert = Buffer();
  ASSERT_EQ(cursor_->GetCurrentRecord(bert), 0);
  EXPECT_NE(storage::TRecordImage(bert).RecordId(), storage::TRecordImage(anna).RecordId());

  // Deleting the original frees only its own chain.
  std::vector<std::uint8_t> key = Buffer();
  SetName(key, "Anna");
  ASSERT_TRUE(cursor_->FindKey(key, false, 0, 0, false, anna));
  cursor_->DeleteRecord(anna, false);
  EXPECT_EQ(MemoOf("Bert"), "copy's memo");

  cursor_.reset();
  EXPECT_TABLE_SOUND(dir_.path() / kTable);
}

}  // namespace
}  // namespace telvora::engine
