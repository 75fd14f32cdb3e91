// The cursor's BLOB operations over record buffers and the posting of BLOB
// values with a record: result codes, open counts, handles that never reach
// the file, dropped and emptied values.

#include "engine/open_blob_values.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "record_write_fixture.h"
#include "storage/engine_error.h"
#include "storage/field_types.h"
#include "storage/sample_tables.h"

namespace telvora::engine {
namespace {

using storage::TRecordImage;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kName = 1;
constexpr std::uint16_t kNotes = 2;
constexpr std::uint16_t kPhoto = 3;
// The most BLOB fields a table may have, and the most values a cursor may
// have open.
constexpr std::size_t kManyBlobFields = 128;

Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

class OpenBlobValuesTest : public testing::RecordWriteFixture {
 protected:
  void CreateNotes() {
    TTableDescription description;
    description.fields = storage::testing::MakeDescriptors({{"Name", storage::kTypeString, 0, 20, 0},
                                                            {"Notes", storage::kTypeBlob, storage::kSubtypeMemo, 0, 0},
                                                            {"Photo", storage::kTypeBlob, storage::kSubtypeGraphic, 0, 0}});
    Create(description);
    Open();
  }

  std::int32_t Reference(const Bytes& buffer, std::uint16_t field) {
    return TRecordImage(const_cast<Bytes&>(buffer)).GetBlobFirstBlock(Layout(field));
  }
  bool IsNull(const Bytes& buffer, std::uint16_t field) {
    return TRecordImage(const_cast<Bytes&>(buffer)).IsNull(Layout(field));
  }

  // Opens, writes the whole value and leaves it open.
  void Write(Bytes& buffer, std::uint16_t field, const std::string& text) {
    std::size_t size = 0;
    ASSERT_EQ(blobs_->OpenBlob(field, buffer, kBlobModeWrite, false, size), 0);
    ASSERT_EQ(blobs_->TruncateBlob(field, buffer, 0), 0);
    const Bytes bytes = BytesOf(text);
    ASSERT_EQ(blobs_->WriteBlob(field, buffer, 0, bytes.size(), bytes.data()), 0);
  }

  std::string Read(Bytes buffer, std::uint16_t field) {
    std::size_t size = 0;
    EXPECT_EQ(blobs_->OpenBlob(field, buffer, kBlobModeRead, false, size), 0);
    Bytes out(size);
    std::size_t read = 0;
    EXPECT_EQ(blobs_->ReadBlob(field, buffer, 0, size, out.data(), read), 0);
    EXPECT_EQ(blobs_->CloseBlob(field, buffer), 0);
    return std::string(out.begin(), out.end());
  }

  // A stored record whose Notes hold text.
  std::int32_t StoredWithNotes(const std::string& text) {
    Bytes buffer = NewBuffer();
    Set(buffer, kName, "Ali");
    Write(buffer, kNotes, text);
    const std::int32_t n = InsertRecordImage(Parts(), buffer);
    EXPECT_EQ(blobs_->CloseBlob(kNotes, buffer), 0);
    return n;
  }
};

TEST_F(OpenBlobValuesTest, ReadingPastTheEndCopiesWhatIsLeftAndSaysSo) {
  CreateNotes();
  Bytes buffer = NewBuffer();
  Write(buffer, kNotes, "0123456789");
  struct Case {
    std::size_t offset;
    std::size_t count;
    std::size_t read;
    std::uint16_t code;
  };
  for (const Case& c : {Case{0, 10, 10, 0}, Case{2, 3, 3, 0}, Case{9, 100, 1, 8711}, Case{10, 100, 0, 8711},
                        Case{12, 1, 0, 8711}}) {
    SCOPED_TRACE(c.offset);
    Bytes out(100, 0xAA);
    std::size_t read = 99;
    EXPECT_EQ(blobs_->ReadBlob(kNotes, buffer, c.offset, c.count, out.data(), read), c.code);
    EXPECT_EQ(read, c.read);
    if (c.read == 1) {
      EXPECT_EQ(out[0], '9');
    }
  }
}

TEST_F(OpenBlobValuesTest, ResultCodesForWrongFieldsAndHandles) {
  CreateNotes();
  Bytes buffer = NewBuffer();
  std::size_t size = 0;
  std::size_t read = 0;
  Bytes out(4);
  EXPECT_EQ(blobs_->OpenBlob(kName, buffer, kBlobModeRead, false, size), 10753);
  EXPECT_EQ(blobs_->OpenBlob(99, buffer, kBlobModeRead, false, size), 10753);
  EXPECT_EQ(blobs_->GetBlobSize(kNotes, buffer, size), 10030);
  EXPECT_EQ(blobs_->ReadBlob(kNotes, buffer, 0, 1, out.data(), read), 10030);
  EXPECT_EQ(blobs_->WriteBlob(kNotes, buffer, 0, 1, out.data()), 10030);
  EXPECT_EQ(blobs_->TruncateBlob(kNotes, buffer, 0), 10030);
  EXPECT_EQ(blobs_->CloseBlob(kNotes, buffer), 10030);
  TRecordImage(buffer).SetBlobReference(Layout(kNotes), -77, 0);
  EXPECT_EQ(blobs_->OpenBlob(kNotes, buffer, kBlobModeRead, false, size), 9998);
}

TEST_F(OpenBlobValuesTest, TheOpenValuesRunOutAt128) {
  TTableDescription description;
  std::vector<storage::testing::FieldDef> defs;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < kManyBlobFields; ++i) names.push_back("Memo" + std::to_string(i + 1));
  for (const std::string& name : names) defs.push_back({name.c_str(), storage::kTypeBlob, storage::kSubtypeMemo, 0, 0});
  description.fields = storage::testing::MakeDescriptors(defs);
  Create(description);
  Open();
  Bytes buffer = NewBuffer();
  std::size_t size = 0;
  for (std::uint16_t field = 1; field <= 128; ++field) {
    ASSERT_EQ(blobs_->OpenBlob(field, buffer, kBlobModeWrite, false, size), 0) << field;
  }
  // The 129th value: a field of a second buffer.
  Bytes second = NewBuffer();
  EXPECT_EQ(blobs_->OpenBlob(1, second, kBlobModeWrite, false, size), 9494);
  EXPECT_EQ(Reference(second, 1), 0);
  // Opening one of the open values again needs no new one.
  EXPECT_EQ(blobs_->OpenBlob(1, buffer, kBlobModeRead, false, size), 0);
  EXPECT_EQ(blobs_->Count(), 128u);
}

TEST_F(OpenBlobValuesTest, AValueOpenedTwiceNeedsTwoCloses) {
  CreateNotes();
  Bytes buffer = NewBuffer();
  Write(buffer, kNotes, "abc");
  std::size_t size = 0;
  ASSERT_EQ(blobs_->OpenBlob(kNotes, buffer, kBlobModeRead, false, size), 0);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(blobs_->CloseBlob(kNotes, buffer), 0);
  EXPECT_EQ(blobs_->GetBlobSize(kNotes, buffer, size), 0);
  EXPECT_LT(Reference(buffer, kNotes), 0);
  EXPECT_EQ(blobs_->CloseBlob(kNotes, buffer), 0);
  EXPECT_EQ(blobs_->GetBlobSize(kNotes, buffer, size), 10030);
  EXPECT_EQ(blobs_->Count(), 0u);
}

TEST_F(OpenBlobValuesTest, AWrittenValueClosedBeforeThePostIsDropped) {
  CreateNotes();
  const std::int32_t n = StoredWithNotes("old text");
  const Bytes stored = Stored(n);
  Bytes buffer = stored;
  Write(buffer, kNotes, "new text that is dropped");
  EXPECT_TRUE(!IsNull(buffer, kNotes));
  ASSERT_EQ(blobs_->CloseBlob(kNotes, buffer), 0);
  EXPECT_EQ(buffer, stored);
  ModifyRecordImage(Parts(), n, buffer);
  EXPECT_EQ(Stored(n), stored);
  EXPECT_EQ(Read(Stored(n), kNotes), "old text");
  Close();
  EXPECT_TABLE_SOUND(TablePath());
}

TEST_F(OpenBlobValuesTest, PostedValuesLeaveOnlyBlockNumbersInTheFile) {
  CreateNotes();
  Bytes buffer = NewBuffer();
  Set(buffer, kName, "Sara");
  Write(buffer, kNotes, "kept open after the post");
  const std::int32_t handle = Reference(buffer, kNotes);
  ASSERT_LT(handle, 0);
  const std::int32_t n = InsertRecordImage(Parts(), buffer);
  // The cursor's buffer still names the open value; the file has its block.
  EXPECT_EQ(Reference(buffer, kNotes), handle);
  const Bytes stored = Stored(n);
  EXPECT_GT(Reference(stored, kNotes), 0);
  EXPECT_TRUE(IsNull(stored, kPhoto));
  EXPECT_EQ(Read(stored, kNotes), "kept open after the post");
  // Closing gives the buffer the block the post wrote.
  ASSERT_EQ(blobs_->CloseBlob(kNotes, buffer), 0);
  EXPECT_EQ(Reference(buffer, kNotes), Reference(stored, kNotes));
  Close();
  EXPECT_TABLE_SOUND(TablePath());
}

TEST_F(OpenBlobValuesTest, TruncatingToZeroAndPostingFreesTheBlocksAndNullsTheField) {
  CreateNotes();
  const std::int32_t n = StoredWithNotes(std::string(2000, 'x'));
  const std::int32_t first = Reference(Stored(n), kNotes);
  Bytes buffer = Stored(n);
  std::size_t size = 0;
  ASSERT_EQ(blobs_->OpenBlob(kNotes, buffer, kBlobModeWrite, false, size), 0);
  EXPECT_EQ(size, 2000u);
  ASSERT_EQ(blobs_->TruncateBlob(kNotes, buffer, 0), 0);
  EXPECT_TRUE(IsNull(buffer, kNotes));
  ModifyRecordImage(Parts(), n, buffer);
  ASSERT_EQ(blobs_->CloseBlob(kNotes, buffer), 0);
  EXPECT_TRUE(IsNull(Stored(n), kNotes));
  EXPECT_EQ(Reference(Stored(n), kNotes), 0);
  EXPECT_EQ(Reference(buffer, kNotes), 0);
  // The freed blocks (2000 bytes take five) serve the next value.
  const std::int32_t again = StoredWithNotes("y");
  const std::int32_t reused = Reference(Stored(again), kNotes);
  EXPECT_GE(reused, first);
  EXPECT_LT(reused, first + 5);
  Close();
  EXPECT_TABLE_SOUND(TablePath());
}

TEST_F(OpenBlobValuesTest, AChangedValueOfAnotherRecordIsMemoCorruption) {
  CreateNotes();
  const std::int32_t first = StoredWithNotes("first");
  const std::int32_t second = StoredWithNotes("second");
  Bytes buffer = Stored(first);
  Write(buffer, kNotes, "meant for the first record");
  Bytes other = Stored(second);
  try {
    ModifyRecordImage(Parts(), second, other);
    ADD_FAILURE() << "no error";
  } catch (const storage::EVoraEngineError& e) {
    EXPECT_EQ(e.EngineCode, 8963u);
  }
  EXPECT_EQ(Read(Stored(second), kNotes), "second");
  ASSERT_EQ(blobs_->CloseBlob(kNotes, buffer), 0);
  // A value made on a new record's buffer is no other record's to take,
  // except by inserting that buffer.
  Bytes fresh = NewBuffer();
  Write(fresh, kNotes, "for a record not yet stored");
  EXPECT_THROW(ModifyRecordImage(Parts(), second, other), storage::EVoraEngineError);
  EXPECT_EQ(Read(Stored(second), kNotes), "second");
  const std::int32_t third = InsertRecordImage(Parts(), fresh);
  EXPECT_EQ(Read(Stored(third), kNotes), "for a record not yet stored");
}

TEST_F(OpenBlobValuesTest, CopyingForAppendGivesTheCopyItsOwnValues) {
  CreateNotes();
  const std::int32_t n = StoredWithNotes("shared text");
  Bytes copy(table_->data_file().RecordSize());
  blobs_->CopyForAppend(Stored(n), copy);
  EXPECT_EQ(TRecordImage(copy).RecordId(), 0);
  EXPECT_LT(Reference(copy, kNotes), 0);
  EXPECT_TRUE(IsNull(copy, kPhoto));
  const std::int32_t m = InsertRecordImage(Parts(), copy);
  ASSERT_EQ(blobs_->CloseBlob(kNotes, copy), 0);
  EXPECT_NE(Reference(Stored(m), kNotes), Reference(Stored(n), kNotes));
  EXPECT_EQ(Read(Stored(m), kNotes), "shared text");
  // Deleting the original frees only its own chain.
  DeleteRecordImage(Parts(), n, Stored(n));
  EXPECT_EQ(Read(Stored(m), kNotes), "shared text");
  EXPECT_EQ(blobs_->Count(), 0u);
  Close();
  EXPECT_TABLE_SOUND(TablePath());
}

}  // namespace
}  // namespace telvora::engine
