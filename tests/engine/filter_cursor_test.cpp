// Filters on a cursor: adding them (limits and errors), switching them on
// and off, dropping them, moving and counting through them, and their sets
// following the cursor's own inserts, edits and deletes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/data_cursor.h"
#include "engine/filter.h"
#include "filter_test_table.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "storage/field_types.h"

namespace telvora::engine {
namespace {

using testing::FilterTables;
using Names = std::vector<std::string>;

constexpr std::uint16_t kId = 1;
constexpr std::uint16_t kName = 2;
constexpr std::uint16_t kCode = 3;

struct Failure {
  std::uint32_t code = 0;
  std::string detail;
};

Failure FailureOf(const std::function<void()>& op) {
  try {
    op();
  } catch (const storage::EVoraEngineError& e) {
    return {e.EngineCode, e.ContextDetail};
  }
  return {};
}

class FilterCursorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tables_.Create("People",
                   testing::MakeDescription(0,
                                            {{"Id", storage::kTypeInteger, 0, 0, 0},
                                             {"Name", storage::kTypeString, 0, 20, 0},
                                             {"Code", storage::kTypeInteger, 0, 0, 0}},
                                            {"", {kId}, true}, {{"ByName", {kName}}}));
    TDataCursor& writer = tables_.Open("People");
    const Names names = {"Dora", "anna", "Bert", "alma", "Carl", "axel"};
    for (std::size_t i = 0; i < names.size(); ++i) Insert(writer, static_cast<int>(i + 1), names[i]);
  }
  void TearDown() override {
    tables_.CloseAll();
    EXPECT_TABLE_SOUND(tables_.Table("People"));
  }

  void Insert(TDataCursor& cursor, int id, const std::string& name) {
    std::vector<std::uint8_t> record =
        testing::MakeRecord(cursor, {{kId, std::to_string(id)}, {kName, name}, {kCode, std::to_string(id % 3)}});
    cursor.InsertRecord(record, false);
  }

  // Moves the cursor to the visible record with the name and returns it.
  std::vector<std::uint8_t> RecordWithName(TDataCursor& cursor, const std::string& name) {
    std::vector<std::uint8_t> buffer(cursor.RecordSize());
    cursor.MoveFirst();
    while (cursor.MoveNext(buffer) == 0) {
      if (testing::FieldText(cursor, buffer, kName) == name) return buffer;
    }
    ADD_FAILURE() << name << " not visible";
    return {};
  }

  FilterTables tables_;
};

TEST_F(FilterCursorTest, AddFilterRefusesBadExpressionsAndLeavesTheListAlone) {
  TDataCursor& cursor = tables_.Open("People");
  TFilter* kept = cursor.AddFilter("Code = 1", {});
  struct Case {
    const char* text;
    const char* detail;  // the start of the message, "" to skip
  };
  const Case cases[] = {
      {"Name = ", ""},
      {"Name", "filter expression must be a boolean expression"},
      {"Code + 1", "filter expression must be a boolean expression"},
      {"", "filter expression is invalid"},
      {"Nobody = 1", ""},
      {"Name = 'a' AND", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Failure failure = FailureOf([&] { cursor.AddFilter(c.text, {}); });
    EXPECT_EQ(failure.code, storage::VORA_INVALIDFILTER);
    EXPECT_EQ(failure.detail.substr(0, std::string(c.detail).size()), c.detail);
    EXPECT_EQ(cursor.FilterCount(), 1u);
  }
  EXPECT_EQ(cursor.FilterAt(0), kept);
  EXPECT_EQ(FailureOf([&] { cursor.AddFilter(TFilterCallback{}, nullptr, {}); }).code, storage::VORA_INVALIDFILTER);
}

TEST_F(FilterCursorTest, SixtyFourFiltersFitAndTheNextIsRefused) {
  TDataCursor& cursor = tables_.Open("People");
  for (std::size_t i = 0; i < TDataCursor::kMaxFilters; ++i) cursor.AddFilter("Code >= 0", {});
  EXPECT_EQ(FailureOf([&] { cursor.AddFilter("Code >= 0", {}); }).code, storage::VORA_INTERNALLIMIT);
  EXPECT_EQ(FailureOf([&] { cursor.AddFilter([](void*, TDataCursor&, auto, auto) { return true; }, nullptr, {}); }).code,
            storage::VORA_INTERNALLIMIT);
  EXPECT_EQ(cursor.FilterCount(), TDataCursor::kMaxFilters);
  cursor.ActivateFilter();
  EXPECT_EQ(cursor.GetRecordCount(), 6);
}

TEST_F(FilterCursorTest, AHandleOfAnotherCursorIsRefused) {
  TDataCursor& cursor = tables_.Open("People");
  TDataCursor& other = tables_.Open("People");
  TFilter* foreign = other.AddFilter("Code = 1", {});
  for (const auto& op : std::vector<std::function<void()>>{[&] { cursor.ActivateFilter(foreign); },
                                                          [&] { cursor.DeactivateFilter(foreign); },
                                                          [&] { cursor.DropFilter(foreign); }}) {
    EXPECT_EQ(FailureOf(op).code, storage::VORA_NOSUCHFILTER);
  }
  EXPECT_EQ(other.FilterCount(), 1u);
}

TEST_F(FilterCursorTest, ExpressionFiltersStandBeforeCallbackFilters) {
  TDataCursor& cursor = tables_.Open("People");
  TFilter* callback = cursor.AddFilter([](void*, TDataCursor&, auto, auto) { return true; }, nullptr, {});
  TFilter* first = cursor.AddFilter("Code = 1", {});
  TFilter* second = cursor.AddFilter("Code = 0", {});
  ASSERT_EQ(cursor.FilterCount(), 3u);
  EXPECT_EQ(cursor.FilterAt(0), first);
  EXPECT_EQ(cursor.FilterAt(1), second);
  EXPECT_EQ(cursor.FilterAt(2), callback);
}

TEST_F(FilterCursorTest, MovesAndCountsGoThroughTheFilter) {
  for (const char* order : {"natural", "", "ByName"}) {
    SCOPED_TRACE(order);
    TDataCursor& cursor = tables_.Open("People", order);
    TFilter* filter = cursor.AddFilter("Name = 'a*'", {});
    cursor.ActivateFilter(filter);
    const Names expected = std::string(order) == "ByName" ? Names{"alma", "anna", "axel"} : Names{"anna", "alma", "axel"};
    EXPECT_EQ(testing::VisibleTexts(cursor, kName), expected);
    EXPECT_EQ(cursor.GetRecordCount(), 3);
    std::vector<std::uint8_t> buffer(cursor.RecordSize());
    cursor.MoveLast();
    ASSERT_EQ(cursor.MovePrior(buffer), 0);
    EXPECT_EQ(testing::FieldText(cursor, buffer, kName), expected.back());
    EXPECT_EQ(cursor.MovePrior(buffer), 0);
    EXPECT_EQ(cursor.MovePrior(buffer), 0);
    EXPECT_EQ(testing::FieldText(cursor, buffer, kName), expected.front());
    EXPECT_EQ(cursor.MovePrior(buffer), storage::VORA_BOF);
  }
}

TEST_F(FilterCursorTest, SwitchingFiltersOnAndOffChangesWhatIsVisible) {
  TDataCursor& cursor = tables_.Open("People", "ByName");
  TFilter* starts_with_a = cursor.AddFilter("Name = 'a*'", {});
  TFilter* code_one = cursor.AddFilter("Code = 1", {});  // ids 1 Dora and 4 alma
  EXPECT_EQ(cursor.GetRecordCount(), 6);               // added, not active
  cursor.ActivateFilter(starts_with_a);
  EXPECT_EQ(testing::VisibleTexts(cursor, kName), (Names{"alma", "anna", "axel"}));
  cursor.ActivateFilter(code_one);
  EXPECT_EQ(testing::VisibleTexts(cursor, kName), (Names{"alma"}));
  cursor.DeactivateFilter(starts_with_a);
  // Byte order: capitals first.
  EXPECT_EQ(testing::VisibleTexts(cursor, kName), (Names{"Dora", "alma"}));
  cursor.DropFilter(code_one);
  EXPECT_EQ(cursor.FilterCount(), 1u);
  EXPECT_EQ(cursor.GetRecordCount(), 6);
  EXPECT_FALSE(cursor.SetMode());
  cursor.ActivateFilter();
  EXPECT_EQ(cursor.GetRecordCount(), 3);
  cursor.DropFilter();
  EXPECT_EQ(cursor.FilterCount(), 0u);
  EXPECT_EQ(cursor.GetRecordCount(), 6);
}

TEST_F(FilterCursorTest, ActivatingKeepsTheCursorOnItsRecordWhenItStaysVisible) {
  TDataCursor& cursor = tables_.Open("People", "ByName");
  const std::vector<std::uint8_t> anna = RecordWithName(cursor, "anna");
  TFilter* filter = cursor.AddFilter("Name = 'a*'", {});
  cursor.ActivateFilter(filter);
  std::vector<std::uint8_t> buffer(cursor.RecordSize());
  ASSERT_EQ(cursor.GetCurrentRecord(buffer), 0);
  EXPECT_EQ(testing::FieldText(cursor, buffer, kName), "anna");
  // Bert is not visible: the cursor goes on to the next visible record in
  // Name order (Bert, Carl, Dora, alma, ...).
  cursor.DeactivateFilter(filter);
  RecordWithName(cursor, "Bert");
  cursor.ActivateFilter(filter);
  ASSERT_EQ(cursor.GetCurrentRecord(buffer), 0);
  EXPECT_EQ(testing::FieldText(cursor, buffer, kName), "alma");
}

TEST_F(FilterCursorTest, TheCursorsOwnWritesMoveRecordsInAndOutOfTheSet) {
  for (const char* order : {"natural", "ByName"}) {
    SCOPED_TRACE(order);
    TDataCursor& cursor = tables_.Open("People", order);
    TFilter* filter = cursor.AddFilter("Name = 'a*'", {});
    cursor.ActivateFilter(filter);
    const std::int32_t before = cursor.GetRecordCount();

    Insert(cursor, 100, "zoe");
    EXPECT_EQ(cursor.GetRecordCount(), before);
    Insert(cursor, 101, "amy");
    EXPECT_EQ(cursor.GetRecordCount(), before + 1);

    // amy becomes bea: she leaves the set; alma becomes ada: she stays.
    std::vector<std::uint8_t> amy = RecordWithName(cursor, "amy");
    std::vector<std::uint8_t> edited = testing::MakeRecord(cursor, {{kId, "101"}, {kName, "bea"}, {kCode, "1"}});
    ASSERT_EQ(cursor.GetCurrentRecord(amy, true), 0);
    cursor.ModifyRecord(edited, true, false);
    EXPECT_EQ(cursor.GetRecordCount(), before);
    Names visible = testing::VisibleTexts(cursor, kName);
    EXPECT_EQ(std::count(visible.begin(), visible.end(), "bea"), 0);

    // zoe (not visible) is edited through another cursor: no effect until
    // that change reaches this one, then zoe becomes avi and shows.
    TDataCursor& other = tables_.Open("People");
    std::vector<std::uint8_t> zoe = RecordWithName(other, "zoe");
    ASSERT_EQ(other.GetCurrentRecord(zoe, true), 0);
    std::vector<std::uint8_t> avi_values = testing::MakeRecord(other, {{kId, "100"}, {kName, "avi"}, {kCode, "0"}});
    other.ModifyRecord(avi_values, true, false);
    EXPECT_EQ(cursor.GetRecordCount(), before + 1);

    // Deleting a visible record takes it out.
    std::vector<std::uint8_t> avi = RecordWithName(cursor, "avi");
    cursor.DeleteRecord(avi, false);
    EXPECT_EQ(cursor.GetRecordCount(), before);
    visible = testing::VisibleTexts(cursor, kName);
    EXPECT_EQ(std::count(visible.begin(), visible.end(), "avi"), 0);

    // Put the table back for the next order.
    cursor.DeactivateFilter(filter);
    const std::vector<std::uint8_t> bea = RecordWithName(cursor, "bea");
    cursor.DeleteRecord(bea, false);
    tables_.CloseAll();
  }
}

TEST_F(FilterCursorTest, ACallbackIsAskedOnlyAboutRecordsTheFiltersBeforeItKeep) {
  TDataCursor& cursor = tables_.Open("People");
  int asked = 0;
  TFilter* callback = cursor.AddFilter(
      [&](void* dataset, TDataCursor& on, std::span<const std::uint8_t> record, std::int32_t) {
        EXPECT_EQ(dataset, &asked);
        EXPECT_EQ(&on, &cursor);
        ++asked;
        return testing::FieldText(on, record, kName) != "anna";
      },
      &asked, {});
  TFilter* filter = cursor.AddFilter("Name = 'a*'", {});
  cursor.ActivateFilter(filter);
  cursor.ActivateFilter(callback);
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(testing::VisibleTexts(cursor, kName), (Names{"alma", "axel"}));
  // A new record passing the expression is put to the callback as well.
  Insert(cursor, 50, "anna");
  EXPECT_EQ(asked, 4);
  EXPECT_EQ(cursor.GetRecordCount(), 2);
}

TEST_F(FilterCursorTest, AClonedCursorCarriesTheFilters) {
  TDataCursor& cursor = tables_.Open("People", "ByName");
  TFilter* filter = cursor.AddFilter("Name = 'a*'", {});
  cursor.AddFilter("Code = 1", {});
  cursor.ActivateFilter(filter);
  std::unique_ptr<TDataCursor> clone = cursor.CloneCursor();
  EXPECT_EQ(clone->FilterCount(), 2u);
  EXPECT_EQ(clone->GetRecordCount(), 3);
  EXPECT_EQ(testing::VisibleTexts(*clone, kName), testing::VisibleTexts(cursor, kName));
}

}  // namespace
}  // namespace telvora::engine
