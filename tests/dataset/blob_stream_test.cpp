// BLOB streams on a table component's BLOB field: writing a value while
// inserting or editing, reading it back in pieces, seeking, writing over
// and cutting it, and the refusals of the writing modes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contacts_table.h"
#include "dataset/vora_blob_stream.h"
#include "detail_tables.h"
#include "recording_link.h"

namespace telvora::dataset::testing {
namespace {

std::string MessageOf(const std::function<void()>& op) {
  try {
    op();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(nothing raised)";
}

void WriteText(TVoraBlobStream& stream, const std::string& text) { stream.Write(text.data(), text.size()); }

std::string ReadAll(TField& field, std::size_t piece) {
  TVoraBlobStream stream(field, TBlobStreamMode::bmRead);
  std::string all;
  std::string buffer(piece, '\0');
  while (std::size_t n = stream.Read(buffer.data(), piece)) all.append(buffer, 0, n);
  return all;
}

class BlobStreams : public ContactsTest {
 protected:
  void SetUp() override {
    CreateNotes(dir_.path(), {{"first"}, {"second"}});
    table_ = std::make_unique<TVoraTable>(nullptr);
    table_->SetDatabaseName(dir_.path().string());
    table_->SetTableName(kNotes);
    table_->Open();
  }
  void TearDown() override {
    link_.SetDataSource(nullptr);
    table_.reset();
    EXPECT_TABLE_SOUND(dir_ / kNotes);
    ContactsTest::TearDown();
  }
  TField& Body() const { return table_->FieldByName("Body"); }

  std::unique_ptr<TVoraTable> table_;
  std::vector<std::string> log_;
  TDataSource source_{nullptr};
  RecordingLink link_{log_};
};

TEST_F(BlobStreams, WrittenValueIsPostedAndReadBack) {
  const std::string text(3000, 'x');
  source_.SetDataSet(table_.get());
  link_.SetDataSource(&source_);
  table_->Append();
  table_->FieldByName("Title").SetAsString("third");
  log_.clear();
  {
    TVoraBlobStream stream(Body(), TBlobStreamMode::bmWrite);
    WriteText(stream, text);
    EXPECT_EQ(stream.Position(), 3000);
    EXPECT_EQ(stream.Size(), 3000u);
  }
  // The stream's end marks the field changed and tells the links.
  EXPECT_TRUE(table_->Modified());
  EXPECT_EQ(log_, (std::vector<std::string>{"link:field Body"}));
  table_->Post();
  table_->Close();
  table_->Open();
  table_->Last();
  EXPECT_EQ(table_->FieldByName("Title").AsString(), "third");
  EXPECT_EQ(ReadAll(Body(), 700), text);
  EXPECT_EQ(Body().AsString(), text);
}

TEST_F(BlobStreams, SeekWriteOverAndTruncate) {
  table_->Edit();
  {
    TVoraBlobStream stream(Body(), TBlobStreamMode::bmWrite);
    WriteText(stream, "hello world");
  }
  table_->Post();
  table_->Edit();
  {
    TVoraBlobStream stream(Body(), TBlobStreamMode::bmReadWrite);
    EXPECT_EQ(stream.Seek(-5, TSeekOrigin::soEnd), 6);
    WriteText(stream, "there");
    EXPECT_EQ(stream.Seek(-6, TSeekOrigin::soCurrent), 5);
    std::string tail(6, '\0');
    EXPECT_EQ(stream.Read(tail.data(), 20), 6u);
    EXPECT_EQ(tail, " there");
    // Past the end nothing more is read.
    EXPECT_EQ(stream.Read(tail.data(), 20), 0u);
    stream.Seek(5, TSeekOrigin::soBeginning);
    stream.Truncate();
  }
  table_->Post();
  table_->Refresh();
  EXPECT_EQ(ReadAll(Body(), 3), "hello");
  // A write stream starts from nothing.
  table_->Edit();
  { TVoraBlobStream stream(Body(), TBlobStreamMode::bmWrite); }
  table_->Post();
  EXPECT_EQ(ReadAll(Body(), 3), "");
}

TEST_F(BlobStreams, CancelDropsWhatTheStreamWrote) {
  table_->Edit();
  {
    TVoraBlobStream stream(Body(), TBlobStreamMode::bmWrite);
    WriteText(stream, "never stored");
  }
  table_->Cancel();
  EXPECT_EQ(ReadAll(Body(), 8), "");
  EXPECT_EQ(table_->State(), TDataSetState::Browsing);
}

TEST_F(BlobStreams, ReadOfARecordAnotherUserChangedRefreshesOnce) {
  auto write = [](TVoraTable& table, const std::string& text) {
    table.Edit();
    {
      TVoraBlobStream stream(table.FieldByName("Body"), TBlobStreamMode::bmWrite);
      WriteText(stream, text);
    }
    table.Post();
  };
  TVoraTable other(nullptr);
  other.SetDatabaseName(dir_.path().string());
  other.SetTableName(kNotes);
  other.Open();
  write(other, std::string(5000, 'o'));
  table_->Refresh();
  ASSERT_EQ(ReadAll(Body(), 1000), std::string(5000, 'o'));
  // The other component replaces the value; this one still holds the
  // record as it was.
  write(other, "new");
  write(other, std::string(4000, 'n'));
  EXPECT_EQ(ReadAll(Body(), 1000), std::string(4000, 'n'));
  EXPECT_EQ(table_->FieldByName("Title").AsString(), "first");
}

TEST_F(BlobStreams, WritingModesAreRefusedOutsideEditingAndOnReadOnlyFields) {
  for (TBlobStreamMode mode : {TBlobStreamMode::bmWrite, TBlobStreamMode::bmReadWrite}) {
    EXPECT_EQ(MessageOf([&] { TVoraBlobStream stream(Body(), mode); }), "Table is not in edit or insert mode.");
    Body().SetReadOnly(true);
    table_->Edit();
    EXPECT_EQ(MessageOf([&] { TVoraBlobStream stream(Body(), mode); }), "Field Body cannot be modified.");
    table_->Cancel();
    Body().SetReadOnly(false);
  }
  // Reading needs neither.
  Body().SetReadOnly(true);
  EXPECT_EQ(ReadAll(Body(), 4), "");
}

}  // namespace
}  // namespace telvora::dataset::testing
