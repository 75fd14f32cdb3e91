// Every index of a real table kept in step with inserts, changes and
// deletes: primary, secondary (unique and not, case-blind), the record-slot
// index and the text index; a duplicate key changes no file at all.

#include "engine/record_index_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/text_index_words.h"
#include "record_write_fixture.h"
#include "storage/engine_error.h"
#include "storage/field_types.h"
#include "storage/index_file_header.h"
#include "storage/index_key.h"
#include "storage/sample_tables.h"

namespace telvora::engine {
namespace {

using storage::TRecordImage;

constexpr std::uint16_t kId = 1;
constexpr std::uint16_t kCode = 2;
constexpr std::uint16_t kName = 3;
constexpr std::uint16_t kCity = 4;
constexpr std::uint16_t kNotes = 5;

storage::TIndexDescriptor Index(const char* name, std::vector<std::uint16_t> fields, bool unique,
                                bool case_insensitive = false) {
  storage::TIndexDescriptor index;
  index.SetName(name);
  index.SetUnique(unique);
  index.SetCaseInsensitive(case_insensitive);
  index.SetKeyFieldCount(static_cast<std::uint8_t>(fields.size()));
  for (std::size_t i = 0; i < fields.size(); ++i) index.SetKeyFieldNumber(static_cast<int>(i), fields[i]);
  return index;
}

TTableDescription People(bool with_primary = true) {
  TTableDescription description;
  description.fields = storage::testing::MakeDescriptors({{"Id", storage::kTypeInteger, storage::kSubtypeAutoInc, 0, 0},
                                                          {"Code", storage::kTypeInteger, 0, 0, 0},
                                                          {"Name", storage::kTypeString, 0, 20, 0},
                                                          {"City", storage::kTypeString, 0, 20, 0},
                                                          {"Notes", storage::kTypeBlob, storage::kSubtypeMemo, 0, 0}});
  description.indexes = {with_primary ? Index("", {kCode}, true) : storage::TIndexDescriptor{},
                         Index("ByName", {kName}, false, true), Index("ByCity", {kCity}, true)};
  description.text_index_fields = {kName, kNotes};
  return description;
}

class RecordIndexWriterTest : public testing::RecordWriteFixture {
 protected:
  std::int32_t Insert(int code, const std::string& name, const std::string& city, const std::string& notes = "") {
    std::vector<std::uint8_t> buffer = NewBuffer();
    Set(buffer, kCode, std::to_string(code));
    Set(buffer, kName, name);
    Set(buffer, kCity, city);
    if (!notes.empty()) WriteNotes(buffer, notes);
    const std::int32_t n = InsertRecordImage(Parts(), buffer);
    CloseNotes(buffer);
    return n;
  }

  void WriteNotes(std::vector<std::uint8_t>& buffer, const std::string& notes) {
    std::size_t size = 0;
    ASSERT_EQ(blobs_->OpenBlob(kNotes, buffer, kBlobModeWrite, false, size), 0);
    ASSERT_EQ(blobs_->TruncateBlob(kNotes, buffer, 0), 0);
    ASSERT_EQ(blobs_->WriteBlob(kNotes, buffer, 0, notes.size(), reinterpret_cast<const std::uint8_t*>(notes.data())),
              0);
  }

  void CloseNotes(std::vector<std::uint8_t>& buffer) {
    if (TRecordImage(buffer).GetBlobFirstBlock(Layout(kNotes)) < 0) {
      ASSERT_EQ(blobs_->CloseBlob(kNotes, buffer), 0);
    }
  }

  std::string StoredNotes(const std::vector<std::uint8_t>& image) {
    std::vector<std::uint8_t> buffer = image;
    std::size_t size = 0;
    EXPECT_EQ(blobs_->OpenBlob(kNotes, buffer, kBlobModeRead, false, size), 0);
    std::string text(size, '\0');
    std::size_t read = 0;
    blobs_->ReadBlob(kNotes, buffer, 0, size, reinterpret_cast<std::uint8_t*>(text.data()), read);
    blobs_->CloseBlob(kNotes, buffer);
    return text;
  }

  std::int32_t IdOf(std::int32_t n) {
    std::vector<std::uint8_t> image = Stored(n);
    return TRecordImage(image).RecordId();
  }

  bool Holds(int slot, const std::vector<std::uint8_t>& key, std::int32_t n) {
    storage::TIndexTree tree = table_->IndexTree(slot);
    const auto found = tree.Find(key.data(), key.size(), true);
    if (!found || found->record_number != n) return false;
    const auto last = tree.Find(key.data(), key.size(), false);
    return last && last->leaf == found->leaf && last->entry == found->entry;
  }

  template <std::size_t N>
  bool Holds(int slot, const std::array<std::uint8_t, N>& key, std::int32_t n) {
    return Holds(slot, std::vector<std::uint8_t>(key.begin(), key.end()), n);
  }

  // Every index holds exactly the keys of the table's records.
  void ExpectIndexesMatchRecords() {
    storage::TDataFile& data = table_->data_file();
    std::int64_t active = 0;
    std::int64_t words = 0;
    for (std::int32_t n = 1; n <= data.PhysicalRecordCount(); ++n) {
      std::vector<std::uint8_t> image = Stored(n);
      const TRecordImage record(image);
      EXPECT_TRUE(Holds(storage::kRecordIdIndexSlot, storage::RecordIdIndexKey(record.Deleted(), record.RecordId()), n))
          << "slot " << n;
      if (record.Deleted()) continue;
      ++active;
      for (const int slot : indexes_->KeySlots()) {
        const storage::TIndexKeyDefinition definition = table_->IndexKey(slot);
        EXPECT_TRUE(Holds(slot, storage::BuildKey(definition, record, table_->KeyOrder(definition).upper_case), n))
            << "index " << slot << " record " << n;
      }
      const auto check_words = [&](std::uint16_t field, const std::string& text) {
        for (const std::string& word : TextIndexWords(text, indexes_->TextParameters(), TableLocale())) {
          ++words;
          EXPECT_TRUE(Holds(storage::kTextIndexSlot, storage::TextIndexKey(field, word, record.RecordId()), n))
              << word;
        }
      };
      check_words(kName, record.GetString(Layout(kName)));
      check_words(kNotes, StoredNotes(image));
    }
    for (const int slot : indexes_->KeySlots()) EXPECT_EQ(table_->IndexTree(slot).KeyCount(), active) << slot;
    EXPECT_EQ(table_->IndexTree(storage::kRecordIdIndexSlot).KeyCount(), data.PhysicalRecordCount());
    EXPECT_EQ(table_->IndexTree(storage::kTextIndexSlot).KeyCount(), words);
    EXPECT_EQ(table_->index_file().ActiveRecordCount(), active);
  }
};

TEST_F(RecordIndexWriterTest, InsertModifyDeleteKeepEveryIndexInStep) {
  Create(People());
  Open();
  EXPECT_EQ(indexes_->KeySlots(), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(indexes_->TextIndexedFields(), (std::vector<std::uint16_t>{kName, kNotes}));
  const std::int32_t ali = Insert(1, "Ali Rezaei", "Tehran", "Friend from school, plays the tar");
  const std::int32_t sara = Insert(2, "Sara", "Shiraz");
  const std::int32_t reza = Insert(3, "reza", "Tabriz", "Colleague");
  ExpectIndexesMatchRecords();

  // Change every key and the memo of one record.
  std::vector<std::uint8_t> buffer = Stored(ali);
  Set(buffer, kCode, "10");
  Set(buffer, kName, "Ali Karimi");
  Set(buffer, kCity, "Isfahan");
  WriteNotes(buffer, "Plays the setar");
  ModifyRecordImage(Parts(), ali, buffer);
  CloseNotes(buffer);
  ExpectIndexesMatchRecords();
  EXPECT_EQ(StoredNotes(Stored(ali)), "Plays the setar");

  DeleteRecordImage(Parts(), sara, Stored(sara));
  ExpectIndexesMatchRecords();
  // The deleted slot is taken again; the id goes on past every id given.
  const std::int32_t mina = Insert(4, "Mina", "Shiraz", "New neighbour");
  EXPECT_EQ(mina, sara);
  EXPECT_EQ(IdOf(mina), 4);
  DeleteRecordImage(Parts(), reza, Stored(reza));
  EXPECT_EQ(IdOf(Insert(5, "Omid", "Tabriz")), 5);
  ExpectIndexesMatchRecords();
  Close();
  EXPECT_TABLE_SOUND(TablePath());
}

TEST_F(RecordIndexWriterTest, ADuplicateKeyNamesTheIndexAndChangesNoFile) {
  Create(People());
  Open();
  Insert(1, "Ali", "Tehran", "First notes");
  const std::int32_t sara = Insert(2, "Sara", "Shiraz");
  Close();
  const auto before = FileBytes();

  struct Case {
    const char* name;
    int code;
    const char* city;
    const char* index;
  };
  for (const Case& c : {Case{"primary", 1, "Yazd", ""}, Case{"unique secondary", 3, "Tehran", "ByCity"}}) {
    SCOPED_TRACE(c.name);
    Open();
    try {
      Insert(c.code, "Someone", c.city, "Notes that must not be written");
      ADD_FAILURE() << "no error";
    } catch (const storage::EVoraEngineError& e) {
      EXPECT_EQ(e.EngineCode, 9729u);
      EXPECT_EQ(e.ContextIndex, c.index);
      EXPECT_EQ(e.ContextTable, "People");
    }
    blobs_->Clear();
    // A change into another record's key fails the same way.
    std::vector<std::uint8_t> buffer = Stored(sara);
    Set(buffer, kCity, "Tehran");
    EXPECT_THROW(ModifyRecordImage(Parts(), sara, buffer), storage::EVoraEngineError);
    // A failed write writes no header counters either.
    Close(false);
    EXPECT_EQ(FileBytes(), before);
  }
  // A change that keeps its own unique key is no duplicate.
  Open();
  std::vector<std::uint8_t> buffer = Stored(sara);
  Set(buffer, kName, "Sara Ahmadi");
  ModifyRecordImage(Parts(), sara, buffer);
  ExpectIndexesMatchRecords();
  Close();
  EXPECT_TABLE_SOUND(TablePath());
}

TEST_F(RecordIndexWriterTest, AMissingKeyOnDeleteIsIndexCorruption) {
  Create(People());
  Open();
  const std::int32_t n = Insert(1, "Ali", "Tehran");
  std::vector<std::uint8_t> image = Stored(n);
  const storage::TIndexKeyDefinition definition = table_->IndexKey(2);
  const std::vector<std::uint8_t> key = storage::BuildKey(definition, TRecordImage(image), {});
  ASSERT_TRUE(table_->IndexTree(2).DeleteKey(key.data()));
  try {
    DeleteRecordImage(Parts(), n, image);
    ADD_FAILURE() << "no error";
  } catch (const storage::EVoraEngineError& e) {
    EXPECT_EQ(e.EngineCode, 8965u);
    EXPECT_EQ(e.ContextIndex, "ByCity");
  }
}

TEST_F(RecordIndexWriterTest, WithoutPrimaryKeyFieldsOnlySecondariesAreKept) {
  Create(People(false));
  Open();
  EXPECT_TRUE(table_->PrimaryIndexUnavailable());
  EXPECT_EQ(indexes_->KeySlots(), (std::vector<int>{1, 2}));
  Insert(1, "Ali", "Tehran");
  // Without a primary key the Code values may repeat.
  Insert(1, "Sara", "Shiraz");
  ExpectIndexesMatchRecords();
  Close();
  EXPECT_TABLE_SOUND(TablePath());
}

}  // namespace
}  // namespace telvora::engine
