// The dataset's states and the order of its events and data-link
// notifications, operation by operation, from each starting state, on an
// empty table and on one holding records.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "contacts_table.h"
#include "recording_link.h"

namespace telvora::dataset::testing {
namespace {

using S = TDataSetState;

// Where a case starts: the state and whether a field was already typed.
enum class Start { Closed, Browsing, Editing, EditingTyped, Inserting, InsertingTyped, KeyEditing };

enum class Op { Open, Close, Edit, Append, Insert, Post, Cancel, Delete, Refresh, Next, First, SetRangeStart };

struct Case {
  const char* label;
  Start start;
  bool data;
  Op op;
  S expected_state;
  std::vector<std::string> expected_log;
  const char* expected_error = "";
};

void RunOp(TVoraTable& table, Op op) {
  switch (op) {
    case Op::Open: table.Open(); break;
    case Op::Close: table.Close(); break;
    case Op::Edit: table.Edit(); break;
    case Op::Append: table.Append(); break;
    case Op::Insert: table.Insert(); break;
    case Op::Post: table.Post(); break;
    case Op::Cancel: table.Cancel(); break;
    case Op::Delete: table.Delete(); break;
    case Op::Refresh: table.Refresh(); break;
    case Op::Next: table.Next(); break;
    case Op::First: table.First(); break;
    case Op::SetRangeStart: table.SetRangeStart(); break;
  }
}

void Prepare(TVoraTable& table, Start start) {
  if (start == Start::Closed) return;
  table.Open();
  switch (start) {
    case Start::Editing: table.Edit(); break;
    case Start::EditingTyped:
      table.Edit();
      table.FieldByName("Tel1").SetAsString("555");
      break;
    case Start::Inserting: table.Append(); break;
    case Start::InsertingTyped:
      table.Append();
      table.FieldByName("Family").SetAsString("Rad");
      break;
    case Start::KeyEditing: table.SetRangeStart(); break;
    default: break;
  }
}

const std::vector<std::string> kCancelInsert = {"BeforeCancel", "BeforeScroll", "link:browsing", "link:dataset",
                                                "AfterCancel", "AfterScroll"};
const std::vector<std::string> kStartInsert = {"BeforeInsert", "BeforeScroll", "link:editing", "OnNewRecord",
                                               "link:dataset", "AfterInsert", "AfterScroll"};

std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class DatasetStateTransitions : public ContactsTest, public ::testing::WithParamInterface<Case> {};

TEST_P(DatasetStateTransitions, StateAndEventsInOrder) {
  const Case& c = GetParam();
  std::vector<Contact> rows;
  if (c.data) rows = {{"Ali", "Karimi", "111"}, {"Sara", "Amini", "222"}};
  CreateContacts(dir_.path(), rows);
  std::vector<std::string> log;
  auto table = MakeTable();
  TDataSource source(nullptr);
  source.SetDataSet(table.get());
  RecordingLink link(log);
  link.SetDataSource(&source);
  RecordEvents(*table, log);
  Prepare(*table, c.start);
  log.clear();

  std::string error;
  try {
    RunOp(*table, c.op);
  } catch (const EDatabaseError& e) {
    error = e.what();
  }
  EXPECT_EQ(error, c.expected_error);
  EXPECT_EQ(table->State(), c.expected_state);
  EXPECT_EQ(log, c.expected_log);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DatasetStateTransitions,
    ::testing::Values(
        Case{"OpenWithData", Start::Closed, true, Op::Open, S::Browsing, {"BeforeOpen", "link:active", "AfterOpen"}},
        Case{"OpenEmpty", Start::Closed, false, Op::Open, S::Browsing, {"BeforeOpen", "link:active", "AfterOpen"}},
        Case{"Close", Start::Browsing, true, Op::Close, S::Closed, {"BeforeClose", "link:inactive", "AfterClose"}},
        Case{"CloseWhileEditing", Start::Editing, true, Op::Close, S::Closed,
             {"BeforeClose", "link:inactive", "link:browsing", "AfterClose"}},
        Case{"Edit", Start::Browsing, true, Op::Edit, S::Editing,
             {"BeforeEdit", "link:editing", "link:record", "AfterEdit"}},
        Case{"EditWhileEditing", Start::Editing, true, Op::Edit, S::Editing, {}},
        Case{"EditEmptyInserts", Start::Browsing, false, Op::Edit, S::Inserting, kStartInsert},
        Case{"Append", Start::Browsing, true, Op::Append, S::Inserting, kStartInsert},
        Case{"Insert", Start::Browsing, true, Op::Insert, S::Inserting, kStartInsert},
        Case{"InsertEmpty", Start::Browsing, false, Op::Insert, S::Inserting, kStartInsert},
        Case{"PostEdit", Start::EditingTyped, true, Op::Post, S::Browsing,
             {"link:update", "BeforePost", "link:browsing", "link:dataset", "AfterPost"}},
        Case{"PostInsert", Start::InsertingTyped, false, Op::Post, S::Browsing,
             {"link:update", "BeforePost", "link:browsing", "link:dataset", "AfterPost"}},
        Case{"PostMissingRequired", Start::Inserting, true, Op::Post, S::Inserting,
             {"link:update", "BeforePost", "link:focus Family"}, "Field 'Family' must have a value"},
        Case{"PostWhileBrowsing", Start::Browsing, true, Op::Post, S::Browsing, {}},
        Case{"CancelEdit", Start::EditingTyped, true, Op::Cancel, S::Browsing,
             {"BeforeCancel", "link:browsing", "link:dataset", "AfterCancel"}},
        Case{"CancelInsert", Start::InsertingTyped, true, Op::Cancel, S::Browsing, kCancelInsert},
        Case{"Delete", Start::Browsing, true, Op::Delete, S::Browsing,
             {"BeforeDelete", "BeforeScroll", "link:dataset", "AfterDelete", "AfterScroll"}},
        Case{"DeleteWhileEditing", Start::EditingTyped, true, Op::Delete, S::Browsing,
             {"BeforeDelete", "BeforeScroll", "link:browsing", "link:dataset", "AfterDelete", "AfterScroll"}},
        Case{"DeleteWhileInsertingCancels", Start::InsertingTyped, true, Op::Delete, S::Browsing, kCancelInsert},
        Case{"DeleteEmpty", Start::Browsing, false, Op::Delete, S::Browsing, {},
             "Cannot perform this operation on an empty dataset"},
        Case{"NextLeavesUntouchedEdit", Start::Editing, true, Op::Next, S::Browsing,
             Join({{"link:update", "BeforeCancel", "link:browsing", "link:dataset", "AfterCancel"},
                   {"BeforeScroll", "link:scrolled", "AfterScroll"}})},
        Case{"NextPostsTypedEdit", Start::EditingTyped, true, Op::Next, S::Browsing,
             Join({{"link:update", "link:update", "BeforePost", "link:browsing", "link:dataset", "AfterPost"},
                   {"BeforeScroll", "link:scrolled", "AfterScroll"}})},
        Case{"RefreshCancelsUntouchedInsert", Start::Inserting, true, Op::Refresh, S::Browsing,
             Join({{"BeforeRefresh", "link:update"}, kCancelInsert, {"link:dataset", "AfterRefresh"}})},
        Case{"RefreshPostsTypedInsert", Start::InsertingTyped, true, Op::Refresh, S::Browsing,
             {"BeforeRefresh", "link:update", "link:update", "BeforePost", "link:browsing", "link:dataset",
              "AfterPost", "link:dataset", "AfterRefresh"}},
        Case{"First", Start::Browsing, true, Op::First, S::Browsing,
             {"BeforeScroll", "link:dataset", "AfterScroll"}},
        Case{"SetRangeStart", Start::Browsing, true, Op::SetRangeStart, S::KeyEditing,
             {"link:editing", "link:dataset"}},
        Case{"SetRangeStartLeavesEdit", Start::EditingTyped, true, Op::SetRangeStart, S::KeyEditing,
             {"link:update", "link:update", "BeforePost", "link:browsing", "link:dataset", "AfterPost",
              "link:editing", "link:dataset"}},
        Case{"PostKey", Start::KeyEditing, true, Op::Post, S::Browsing, {"link:update", "link:browsing", "link:dataset"}},
        Case{"CancelKey", Start::KeyEditing, true, Op::Cancel, S::Browsing, {"link:browsing", "link:dataset"}},
        Case{"DeleteWhileKeyEditingCancels", Start::KeyEditing, true, Op::Delete, S::Browsing,
             {"link:browsing", "link:dataset"}},
        Case{"EditWhileKeyEditingPostsTheKey", Start::KeyEditing, true, Op::Edit, S::Editing,
             {"link:update", "link:browsing", "link:dataset", "BeforeEdit", "link:editing", "link:record",
              "AfterEdit"}}),
    [](const ::testing::TestParamInfo<Case>& p) { return std::string(p.param.label); });

// The ordinal values are part of the contract: callers compare ranges.
TEST(DatasetStates, OrdinalValues) {
  const std::vector<std::pair<S, int>> values = {
      {S::Closed, 0},        {S::Browsing, 1},      {S::Editing, 2},       {S::Inserting, 3},
      {S::KeyEditing, 4},    {S::Calculating, 5},   {S::Filtering, 6},     {S::NewValues, 7},
      {S::OldValues, 8},     {S::CurrentValues, 9}, {S::BlockReading, 10}, {S::InternalCalculating, 11},
      {S::Opening, 12}};
  for (const auto& [state, value] : values) EXPECT_EQ(static_cast<int>(state), value);
}

}  // namespace
}  // namespace telvora::dataset::testing
