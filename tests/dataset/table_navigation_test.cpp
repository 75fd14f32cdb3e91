// Moving through a table with a window of several buffered records, as a
// grid shows it: the current record, the at-start and at-end flags, the
// records in the window, record numbers, counts and bookmarks.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "contacts_table.h"
#include "recording_link.h"

namespace telvora::dataset::testing {
namespace {

const std::vector<Contact> kSeven = {{"A", "a", "1"}, {"B", "b", "2"}, {"C", "c", "3"}, {"D", "d", "4"},
                                     {"E", "e", "5"}, {"F", "f", "6"}, {"G", "g", "7"}};

struct Step {
  const char* label;
  std::function<void(TVoraTable&)> op;
  const char* name;
  bool bof;
  bool eof;
  std::vector<std::string> window;
};

class Navigation : public ContactsTest {
 protected:
  void SetUp() override {
    CreateContacts(dir_.path(), kSeven);
    table_ = MakeTable();
    source_.SetDataSet(table_.get());
    link_.SetBufferCount(3);
    link_.SetDataSource(&source_);
    table_->Open();
  }
  void TearDown() override {
    link_.SetDataSource(nullptr);
    table_.reset();
    ContactsTest::TearDown();
  }
  // The names in the window, row by row, as a grid paints them.
  std::vector<std::string> Window() {
    std::vector<std::string> names;
    for (int row = 0; row < table_->WindowRecordCount(); ++row) {
      const int old = table_->SetActiveRecordIndex(row);
      names.push_back(table_->FieldByName("Name").AsString());
      table_->SetActiveRecordIndex(old);
    }
    return names;
  }

  std::vector<std::string> log_;
  std::unique_ptr<TVoraTable> table_;
  TDataSource source_{nullptr};
  RecordingLink link_{log_};
};

TEST_F(Navigation, StepsThroughTheTable) {
  const std::vector<Step> steps = {
      {"open", [](TVoraTable&) {}, "A", true, false, {"A", "B", "C"}},
      {"next", [](TVoraTable& t) { t.Next(); }, "B", false, false, {"A", "B", "C"}},
      {"by 3", [](TVoraTable& t) { t.MoveBy(3); }, "E", false, false, {"C", "D", "E"}},
      {"prior", [](TVoraTable& t) { t.Prior(); }, "D", false, false, {"C", "D", "E"}},
      {"last", [](TVoraTable& t) { t.Last(); }, "G", false, true, {"E", "F", "G"}},
      {"next at end", [](TVoraTable& t) { t.Next(); }, "G", false, true, {"E", "F", "G"}},
      {"back 10", [](TVoraTable& t) { t.MoveBy(-10); }, "A", true, false, {"A", "B", "C"}},
      {"prior at start", [](TVoraTable& t) { t.Prior(); }, "A", true, false, {"A", "B", "C"}},
      {"record 6", [](TVoraTable& t) { t.SetRecNo(6); }, "F", false, false, {"E", "F", "G"}},
      {"first", [](TVoraTable& t) { t.First(); }, "A", true, false, {"A", "B", "C"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.label);
    step.op(*table_);
    EXPECT_EQ(table_->FieldByName("Name").AsString(), step.name);
    EXPECT_EQ(table_->Bof(), step.bof);
    EXPECT_EQ(table_->Eof(), step.eof);
    EXPECT_EQ(Window(), step.window);
    EXPECT_EQ(table_->WindowRecordCount(), 3);
    EXPECT_EQ(table_->RecNo(), step.name[0] - 'A' + 1);
  }
  EXPECT_EQ(table_->RecordCount(), 7);
}

TEST_F(Navigation, LinkRowFollowsTheActiveRecord) {
  table_->MoveBy(4);
  EXPECT_EQ(link_.ActiveRecord(), 2);
  table_->Prior();
  EXPECT_EQ(link_.ActiveRecord(), 1);
}

TEST_F(Navigation, BookmarkReturnsToItsRecord) {
  table_->MoveBy(2);
  const std::vector<std::uint8_t> mark = table_->GetBookmark();
  table_->Last();
  table_->GotoBookmark(mark);
  EXPECT_EQ(table_->FieldByName("Name").AsString(), "C");
  table_->Next();
  EXPECT_EQ(table_->CompareBookmarks(mark, table_->GetBookmark()), -1);
  EXPECT_EQ(table_->CompareBookmarks(mark, mark), 0);
}

TEST_F(Navigation, IndexNameOrdersTheRecords) {
  table_->Last();
  table_->SetIndexName("ByTel");
  EXPECT_EQ(table_->FieldByName("Name").AsString(), "G");
  table_->Edit();
  table_->FieldByName("Tel1").SetAsString("0");
  table_->Post();
  table_->First();
  EXPECT_EQ(table_->FieldByName("Name").AsString(), "G");
  EXPECT_EQ(Window(), (std::vector<std::string>{"G", "A", "B"}));
}

}  // namespace
}  // namespace telvora::dataset::testing
