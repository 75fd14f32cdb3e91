// The cursor's reading half on a table of a few thousand records, checked
// against an in-memory model: every move in natural order, the unique
// primary index and the non-unique name indexes, with and without a key
// range; record numbers, counts, bookmarks, key searches and the empty
// table's crack codes.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cursor_table_writer.h"
#include "cursor_test_model.h"
#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "storage/record_image.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::engine {
namespace {

using testing::CursorModel;
using testing::TestOrder;
using testing::TestRecord;

constexpr int kRecords = 2400;
constexpr int kNameCount = 500;

std::string NameOf(int i) {
  char text[16];
  std::snprintf(text, sizeof text, "Name%03d", (i * 37) % kNameCount);
  return text;
}
TestRecord RecordOf(int i) { return {(i * 7919) % 10007 + 1, NameOf(i), "City" + std::to_string(i % 7)}; }
bool IsDeleted(int i) { return i % 9 == 4; }

int CodeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const storage::EVoraEngineError& e) {
    return static_cast<int>(e.EngineCode);
  }
  return 0;
}

std::int32_t NumberIn(std::span<const std::uint8_t> image) {
  std::vector<std::uint8_t> copy(image.begin(), image.end());
  return storage::TRecordImage(copy).RecordNumber();
}

// One shared table for the whole suite: it is only read.
class DataCursorNavigationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new telvora::testing::TempDir();
    session_ = new TDataSession();
    model_ = new CursorModel();
    directory_ = &session_->OpenDirectory("Nav", dir_->path().string());
    directory_->CreateTable("People", testing::CursorTableDefinition(), false, false);
    directory_->CreateTable("Empty", testing::CursorTableDefinition(), false, false);
    storage::TDataTable& table = directory_->OpenTableForCursor("People", {});
    table.WriteLock();
    std::vector<std::int32_t> numbers;
    for (int i = 0; i < kRecords; ++i) {
      const std::int32_t n = testing::AppendRecord(table, RecordOf(i));
      numbers.push_back(n);
      model_->Add(n, testing::RecordIdOf(testing::RecordImageOf(table, n)), RecordOf(i));
    }
    for (int i = 0; i < kRecords; ++i) {
      if (!IsDeleted(i)) continue;
      testing::DeleteRecord(table, numbers[static_cast<std::size_t>(i)]);
      model_->Delete(numbers[static_cast<std::size_t>(i)]);
    }
    table.Flush();
    table.WriteUnlock();
    directory_->CloseTable(table);
  }
  static void TearDownTestSuite() {
    session_->CloseDirectory(*directory_);
    delete session_;
    delete model_;
    delete dir_;
  }

  std::unique_ptr<TDataCursor> Open(TestOrder order, const std::string& table = "People") {
    auto cursor = std::make_unique<TDataCursor>(*directory_);
    cursor->SetTableName(table);
    cursor->SetOpenInNaturalOrder(order == TestOrder::kNatural);
    cursor->OpenCursor();
    if (order == TestOrder::kByName) cursor->SelectIndex("ByName");
    if (order == TestOrder::kByCityName) cursor->SelectIndex("ByCityName");
    return cursor;
  }

  // A record buffer holding the given fields, for key searches and ranges.
  static std::vector<std::uint8_t> Buffer(TDataCursor& cursor, const TestRecord& r) {
    std::vector<std::uint8_t> image(cursor.RecordSize(), 0);
    storage::TRecordImage record(image);
    const auto fields = cursor.Fields();
    record.SetInteger(storage::TFieldLayout::Of(fields[0]), r.id);
    if (!r.name.empty()) record.SetString(storage::TFieldLayout::Of(fields[1]), r.name, {});
    if (!r.city.empty()) record.SetString(storage::TFieldLayout::Of(fields[2]), r.city, {});
    return image;
  }

  static std::int32_t Current(TDataCursor& cursor) {
    std::vector<std::uint8_t> buffer(cursor.RecordSize());
    EXPECT_EQ(cursor.GetCurrentRecord(buffer), 0);
    return NumberIn(buffer);
  }

  static telvora::testing::TempDir* dir_;
  static TDataSession* session_;
  static TDataDirectory* directory_;
  static CursorModel* model_;
};

telvora::testing::TempDir* DataCursorNavigationTest::dir_ = nullptr;
TDataSession* DataCursorNavigationTest::session_ = nullptr;
TDataDirectory* DataCursorNavigationTest::directory_ = nullptr;
CursorModel* DataCursorNavigationTest::model_ = nullptr;

TEST_F(DataCursorNavigationTest, TheFilledTableIsSound) {
  EXPECT_TABLE_SOUND(dir_->path() / "People");
  EXPECT_TABLE_SOUND(dir_->path() / "Empty");
}

struct NavigationCase {
  const char* label;
  TestOrder order;
  std::optional<std::pair<std::string, std::string>> name_range;
  std::optional<std::pair<std::int32_t, std::int32_t>> id_range;
};

const NavigationCase kNavigationCases[] = {
    {"natural", TestOrder::kNatural, {}, {}},
    {"primary", TestOrder::kPrimary, {}, {}},
    {"by name", TestOrder::kByName, {}, {}},
    {"by city and name", TestOrder::kByCityName, {}, {}},
    {"primary in an id range", TestOrder::kPrimary, {}, std::pair{2000, 6000}},
    {"by name in a name range", TestOrder::kByName, std::pair{std::string("Name100"), std::string("Name199")}, {}},
};

TEST_F(DataCursorNavigationTest, EveryMoveFollowsTheModelOrder) {
  for (const NavigationCase& c : kNavigationCases) {
    SCOPED_TRACE(c.label);
    auto cursor = Open(c.order);
    if (c.id_range) {
      cursor->SetRange(false, Buffer(*cursor, {c.id_range->first, "", ""}), 1,
                       Buffer(*cursor, {c.id_range->second, "", ""}), 1);
    }
    if (c.name_range) {
      cursor->SetRange(false, Buffer(*cursor, {0, c.name_range->first, ""}), 1,
                       Buffer(*cursor, {0, c.name_range->second, ""}), 1);
    }
    const std::vector<std::int32_t> expected = model_->Order(c.order, c.name_range, c.id_range);
    const auto size = static_cast<std::int32_t>(expected.size());
    ASSERT_GT(size, 100);
    EXPECT_EQ(cursor->GetRecordCount(), size);

    std::vector<std::uint8_t> buffer(cursor->RecordSize());
    cursor->MoveFirst();
    EXPECT_TRUE(cursor->AtBOF());
    EXPECT_FALSE(cursor->AtEOF());
    std::vector<std::int32_t> forward;
    bool numbers_follow = true;
    while (cursor->MoveNext(buffer) == 0) {
      forward.push_back(NumberIn(buffer));
      numbers_follow = numbers_follow && cursor->GetRecordNumber() == static_cast<std::int32_t>(forward.size());
    }
    EXPECT_EQ(forward, expected);
    EXPECT_TRUE(numbers_follow);
    EXPECT_TRUE(cursor->AtEOF());
    EXPECT_EQ(cursor->GetCurrentRecord(buffer), storage::VORA_EOF);
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(buffer.size(), 0));

    std::vector<std::int32_t> backward;
    while (cursor->MovePrior(buffer) == 0) backward.insert(backward.begin(), NumberIn(buffer));
    EXPECT_EQ(backward, expected);
    EXPECT_TRUE(cursor->AtBOF());
    EXPECT_EQ(cursor->GetCurrentRecord(buffer), storage::VORA_BOF);

    cursor->MoveLast();
    EXPECT_EQ(cursor->MovePrior(buffer), 0);
    EXPECT_EQ(NumberIn(buffer), expected.back());
    cursor->MoveFirst();
    EXPECT_EQ(cursor->MoveNext(buffer), 0);
    EXPECT_EQ(NumberIn(buffer), expected.front());

    for (const std::int32_t k : {1, size / 2, size}) {
      EXPECT_TRUE(cursor->SetRecordNumber(k)) << k;
      EXPECT_EQ(Current(*cursor), expected[static_cast<std::size_t>(k - 1)]) << k;
      EXPECT_EQ(cursor->GetRecordNumber(), k);
    }
    EXPECT_FALSE(cursor->SetRecordNumber(size + 1));
    EXPECT_TRUE(cursor->AtEOF());
    EXPECT_EQ(cursor->MovePrior(buffer), 0);
    EXPECT_EQ(NumberIn(buffer), expected.back());
    if (c.order != TestOrder::kNatural) {
      EXPECT_FALSE(cursor->SetRecordNumber(0));
      EXPECT_TRUE(cursor->AtBOF());
      EXPECT_EQ(cursor->MoveNext(buffer), 0);
      EXPECT_EQ(NumberIn(buffer), expected.front());
    }

    ASSERT_TRUE(cursor->SetRecordNumber(10));
    cursor->MoveBy(25);
    EXPECT_EQ(Current(*cursor), expected[34]);
    cursor->MoveBy(-30);
    EXPECT_EQ(Current(*cursor), expected[4]);
    cursor->MoveBy(-100);
    EXPECT_TRUE(cursor->AtBOF());
    cursor->MoveBy(size + 5);
    EXPECT_TRUE(cursor->AtEOF());

    const std::int32_t k1 = size / 3;
    const std::int32_t k2 = 2 * size / 3;
    std::vector<std::uint8_t> b1(cursor->BookmarkSize());
    std::vector<std::uint8_t> b2(cursor->BookmarkSize());
    ASSERT_TRUE(cursor->SetRecordNumber(k1));
    cursor->GetBookmark(b1);
    ASSERT_TRUE(cursor->SetRecordNumber(k2));
    cursor->GetBookmark(b2);
    EXPECT_EQ(cursor->CompareBookmarks(b1, b2), -1);
    EXPECT_EQ(cursor->CompareBookmarks(b2, b1), 1);
    EXPECT_EQ(cursor->CompareBookmarks(b1, b1), 0);
    cursor->MoveFirst();
    EXPECT_TRUE(cursor->GotoBookmark(b1, false));
    EXPECT_EQ(Current(*cursor), expected[static_cast<std::size_t>(k1 - 1)]);
    EXPECT_EQ(cursor->GetRecordNumber(), k1);

    auto clone = cursor->CloneCursor();
    EXPECT_EQ(clone->CurrentIndex(), cursor->CurrentIndex());
    EXPECT_EQ(clone->GetRecordCount(), size);
    EXPECT_EQ(Current(*clone), expected[static_cast<std::size_t>(k1 - 1)]);
    EXPECT_EQ(clone->MoveNext(buffer), 0);
    EXPECT_EQ(NumberIn(buffer), expected[static_cast<std::size_t>(k1)]);
  }
}

TEST_F(DataCursorNavigationTest, CancelRangeShowsTheWholeIndexAgainOnTheSameRecord) {
  auto cursor = Open(TestOrder::kByName);
  cursor->SetRange(false, Buffer(*cursor, {0, "Name200", ""}), 1, Buffer(*cursor, {0, "Name201", ""}), 1);
  const auto in_range = model_->Order(TestOrder::kByName, std::pair{std::string("Name200"), std::string("Name201")});
  ASSERT_FALSE(in_range.empty());
  EXPECT_EQ(cursor->GetRecordCount(), static_cast<std::int32_t>(in_range.size()));
  ASSERT_TRUE(cursor->SetRecordNumber(2));
  const std::int32_t record = Current(*cursor);
  cursor->CancelRange();
  const auto all = model_->Order(TestOrder::kByName);
  EXPECT_EQ(cursor->GetRecordCount(), static_cast<std::int32_t>(all.size()));
  EXPECT_EQ(Current(*cursor), record);
  const auto at = std::find(all.begin(), all.end(), record);
  EXPECT_EQ(cursor->GetRecordNumber(), static_cast<std::int32_t>(at - all.begin()) + 1);

  // A range whose start lies above its end holds nothing.
  cursor->SetRange(false, Buffer(*cursor, {0, "Name300", ""}), 1, Buffer(*cursor, {0, "Name100", ""}), 1);
  EXPECT_EQ(cursor->GetRecordCount(), 0);
  std::vector<std::uint8_t> buffer(cursor->RecordSize());
  EXPECT_EQ(cursor->GetCurrentRecord(buffer), storage::VORA_NOCURRREC);
}

TEST_F(DataCursorNavigationTest, FindKeyFollowsTheKeyOrder) {
  const auto by_name = model_->Order(TestOrder::kByName);
  const auto by_city = model_->Order(TestOrder::kByCityName);
  const auto by_id = model_->Order(TestOrder::kPrimary);
  auto first_where = [&](const std::vector<std::int32_t>& order, auto predicate) {
    for (std::int32_t n : order) {
      if (predicate(model_->Get(n).fields)) return n;
    }
    return std::int32_t{0};
  };
  struct FindCase {
    const char* label;
    TestOrder order;
    TestRecord key;
    int fields;
    int partial;
    bool nearest;
    bool found;
    std::int32_t record;  // 0: the cursor stays where it was
  };
  // An id that is missing, between two present ones.
  std::size_t gap = 100;
  while (model_->Get(by_id[gap + 1]).fields.id == model_->Get(by_id[gap]).fields.id + 1) ++gap;
  const std::int32_t some_id = model_->Get(by_id[gap]).fields.id;
  const FindCase cases[] = {
      {"one of two fields", TestOrder::kByCityName, {0, "", "City3"}, 1, 0, false, true,
       first_where(by_city, [](const TestRecord& r) { return r.city == "City3"; })},
      {"partial length 6", TestOrder::kByName, {0, "Name04", ""}, 0, 6, false, true,
       first_where(by_name, [](const TestRecord& r) { return r.name.rfind("Name04", 0) == 0; })},
      {"every field of a non-unique index", TestOrder::kByName, {0, "Name123", ""}, 0, 0, false, true,
       first_where(by_name, [](const TestRecord& r) { return r.name == "Name123"; })},
      {"missing name, nearest", TestOrder::kByName, {0, "Name123A", ""}, 1, 0, true, false,
       first_where(by_name, [](const TestRecord& r) { return r.name > "Name123A"; })},
      {"above every entry", TestOrder::kByName, {0, "Zzz", ""}, 1, 0, true, false, by_name.back()},
      {"exact id", TestOrder::kPrimary, {some_id, "", ""}, 0, 0, false, true, by_id[gap]},
      {"missing id, nearest", TestOrder::kPrimary, {some_id + 1, "", ""}, 0, 0, true, false, by_id[gap + 1]},
      {"missing id, exact", TestOrder::kPrimary, {some_id + 1, "", ""}, 0, 0, false, false, 0},
  };
  for (const FindCase& c : cases) {
    SCOPED_TRACE(c.label);
    auto cursor = Open(c.order);
    ASSERT_TRUE(cursor->SetRecordNumber(7));
    const std::int32_t before = Current(*cursor);
    std::vector<std::uint8_t> out(cursor->RecordSize());
    EXPECT_EQ(cursor->FindKey(Buffer(*cursor, c.key), false, c.fields, c.partial, c.nearest, out), c.found);
    const std::int32_t expected = c.record == 0 ? before : c.record;
    EXPECT_EQ(Current(*cursor), expected);
    EXPECT_FALSE(cursor->AtBOF() || cursor->AtEOF());
    if (c.record != 0) {
      EXPECT_EQ(NumberIn(out), expected);
    }
  }

  // Natural order has no keys: the search answers false without moving.
  auto natural = Open(TestOrder::kNatural);
  ASSERT_TRUE(natural->SetRecordNumber(5));
  const std::int32_t before = Current(*natural);
  EXPECT_FALSE(natural->FindKey(Buffer(*natural, {some_id, "", ""}), false, 0, 0, true));
  EXPECT_EQ(Current(*natural), before);
}

TEST_F(DataCursorNavigationTest, AnEmptyTableHasNoCurrentRecord) {
  for (const TestOrder order : {TestOrder::kNatural, TestOrder::kPrimary, TestOrder::kByName}) {
    SCOPED_TRACE(static_cast<int>(order));
    auto cursor = Open(order, "Empty");
    std::vector<std::uint8_t> buffer(cursor->RecordSize(), 0xAA);
    EXPECT_TRUE(cursor->AtBOF() && cursor->AtEOF());
    EXPECT_EQ(cursor->GetRecordCount(), 0);
    EXPECT_EQ(cursor->GetCurrentRecord(buffer), storage::VORA_NOCURRREC);
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(buffer.size(), 0));
    EXPECT_EQ(cursor->MoveNext(buffer), storage::VORA_EOF);
    EXPECT_EQ(cursor->MovePrior(buffer), storage::VORA_BOF);
    EXPECT_EQ(cursor->GetCurrentRecord(buffer), storage::VORA_NOCURRREC);
    EXPECT_FALSE(cursor->SetRecordNumber(1));
    EXPECT_EQ(cursor->GetRecordNumber(), 0);
    cursor->MoveLast();
    EXPECT_EQ(cursor->GetCurrentRecord(buffer), storage::VORA_NOCURRREC);
  }
}

TEST_F(DataCursorNavigationTest, SelectIndexIgnoresCaseAndKeepsTheRecord) {
  auto cursor = Open(TestOrder::kPrimary);
  ASSERT_TRUE(cursor->SetRecordNumber(50));
  const std::int32_t record = Current(*cursor);
  const auto by_name = model_->Order(TestOrder::kByName);
  cursor->SelectIndex("BYNAME");
  EXPECT_EQ(cursor->CurrentIndex(), 1);
  EXPECT_EQ(cursor->IndexName(), "ByName");
  EXPECT_EQ(Current(*cursor), record);
  EXPECT_EQ(cursor->GetRecordNumber(),
            static_cast<std::int32_t>(std::find(by_name.begin(), by_name.end(), record) - by_name.begin()) + 1);
  cursor->SelectIndex("bycityname");
  EXPECT_EQ(cursor->CurrentIndex(), 2);
  EXPECT_EQ(Current(*cursor), record);
  cursor->SelectIndexNumber(TDataCursor::kNaturalOrder);
  EXPECT_TRUE(cursor->NaturalOrder());
  EXPECT_EQ(Current(*cursor), record);

  try {
    cursor->SelectIndex("NoSuchIndex");
    ADD_FAILURE() << "no error";
  } catch (const storage::EVoraEngineError& e) {
    EXPECT_EQ(e.EngineCode, storage::VORA_INVALIDINDEXNAME);
    EXPECT_NE(std::string(e.what()).find("Invalid secondary index name 'NoSuchIndex' specified for the table 'People'"),
              std::string::npos)
        << e.what();
  }
  EXPECT_TRUE(cursor->NaturalOrder());
}

TEST_F(DataCursorNavigationTest, OpenModesCannotChangeWhileOpen) {
  auto cursor = Open(TestOrder::kPrimary);
  const std::function<void()> setters[] = {[&] { cursor->SetReadOnly(true); },
                                           [&] { cursor->SetExclusive(true); },
                                           [&] { cursor->SetTableName("Other"); }};
  for (const auto& set : setters) EXPECT_EQ(CodeOf(set), storage::VORA_TABLEOPEN);
  EXPECT_EQ(cursor->TableName(), "People");
  cursor->CloseCursor();
  for (const auto& set : setters) EXPECT_EQ(CodeOf(set), 0);
  EXPECT_TRUE(cursor->ReadOnly());
}

TEST_F(DataCursorNavigationTest, SyncToCursorFindsTheOtherCursorsRecordInAnotherOrder) {
  auto natural = Open(TestOrder::kNatural);
  auto by_city = Open(TestOrder::kByCityName);
  ASSERT_TRUE(natural->SetRecordNumber(321));
  EXPECT_EQ(by_city->SyncToCursor(*natural), 0);
  EXPECT_EQ(Current(*by_city), Current(*natural));
  ASSERT_TRUE(by_city->SetRecordNumber(17));
  EXPECT_EQ(natural->SyncToCursor(*by_city), 0);
  EXPECT_EQ(Current(*natural), Current(*by_city));
}

TEST_F(DataCursorNavigationTest, TablePropertiesAreTheDataFileHeaderOpenOrClosed) {
  auto cursor = Open(TestOrder::kPrimary);
  const auto open = cursor->TableProperties();
  cursor->CloseCursor();
  const auto closed = cursor->TableProperties();
  // The modified marker is the file's own: the open table clears it in
  // the image it keeps.
  for (std::size_t i = 0; i < open.size(); ++i) {
    if (i != storage::TDataFileHeader::kModifiedOffset) {
      EXPECT_EQ(closed[i], open[i]) << i;
    }
  }
}

}  // namespace
}  // namespace telvora::engine
