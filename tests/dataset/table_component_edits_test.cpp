// The road of an edit on real table files: what append, insert, edit, post,
// cancel and delete leave in the files and in every index, where the
// dataset stands afterwards, the error events' retry loop, and the
// messages of refused edits.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contacts_table.h"
#include "recording_link.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"

namespace telvora::dataset::testing {
namespace {

using ::testing::ElementsAre;

const std::vector<Contact> kThree = {{"Ali", "Karimi", "111"}, {"Bahar", "Amini", "222"}, {"Cyrus", "Navabi", "333"}};

class TableEdits : public ContactsTest {
 protected:
  void SetUp() override {
    CreateContacts(dir_.path(), kThree);
    table_ = MakeTable();
    table_->Open();
  }
  void TearDown() override {
    table_.reset();
    EXPECT_TABLE_SOUND(TablePath());
    ContactsTest::TearDown();
  }
  std::string Name() { return table_->FieldByName("Name").AsString(); }
  void Type(const std::string& name, const std::string& family, const std::string& tel) {
    table_->FieldByName("Name").SetAsString(name);
    table_->FieldByName("Family").SetAsString(family);
    table_->FieldByName("Tel1").SetAsString(tel);
  }

  std::unique_ptr<TVoraTable> table_;
};

TEST_F(TableEdits, AppendedRecordIsInTheFileAndEveryIndex) {
  table_->Append();
  Type("Dara", "Sadeghi", "444");
  table_->Post();
  EXPECT_EQ(table_->State(), TDataSetState::Browsing);
  EXPECT_EQ(Name(), "Dara");
  EXPECT_EQ(table_->RecordCount(), 4);
  EXPECT_THAT(StoredRows(dir_.path()), ElementsAre("Ali/Karimi/111", "Bahar/Amini/222", "Cyrus/Navabi/333",
                                                   "Dara/Sadeghi/444"));
  EXPECT_EQ(StoredRows(dir_.path(), "ByName").back(), "Dara/Sadeghi/444");
  EXPECT_EQ(StoredRows(dir_.path(), "ByTel").back(), "Dara/Sadeghi/444");
}

TEST_F(TableEdits, RefreshPostsTheTextAControlHolds) {
  std::vector<std::string> log;
  TDataSource source(nullptr);
  source.SetDataSet(table_.get());
  RecordingLink link(log);
  link.SetDataSource(&source);
  table_->Append();
  link.pending_field = "Family";
  link.pending_text = "Tavakoli";
  table_->Refresh();
  EXPECT_EQ(table_->State(), TDataSetState::Browsing);
  EXPECT_EQ(StoredRows(dir_.path()).back(), "/Tavakoli/");
}

TEST_F(TableEdits, PostWithoutChangeStillInserts) {
  table_->OnNewRecord = [](TVoraDataSet& ds) { ds.FieldByName("Family").SetAsString("Default"); };
  table_->Append();
  EXPECT_FALSE(table_->Modified());
  table_->Post();
  EXPECT_EQ(StoredRows(dir_.path()).size(), 4u);
  EXPECT_EQ(StoredRows(dir_.path()).back(), "/Default/");
}

TEST_F(TableEdits, CancelAfterAppendLeavesTheLastRecordCurrent) {
  table_->First();
  table_->Append();
  Type("Dara", "Sadeghi", "444");
  table_->Cancel();
  EXPECT_EQ(Name(), "Cyrus");
  EXPECT_EQ(StoredRows(dir_.path()).size(), 3u);
}

TEST_F(TableEdits, CancelAfterInsertReturnsToTheRecordItStoodBefore) {
  table_->First();
  table_->Next();
  table_->Insert();
  Type("Dara", "Sadeghi", "444");
  table_->Cancel();
  EXPECT_EQ(Name(), "Bahar");
}

TEST_F(TableEdits, DeleteWhileInsertingRemovesNothing) {
  table_->Last();
  const auto before = telvora::testing::TableFileBytes(dir_.path(), kContacts);
  table_->Append();
  Type("Dara", "Sadeghi", "444");
  table_->Delete();
  EXPECT_EQ(table_->State(), TDataSetState::Browsing);
  EXPECT_EQ(Name(), "Cyrus");
  EXPECT_EQ(telvora::testing::TableFileBytes(dir_.path(), kContacts), before);
}

TEST_F(TableEdits, DeleteRemovesTheRecordAndShowsTheNext) {
  table_->First();
  table_->Next();
  table_->Delete();
  EXPECT_EQ(Name(), "Cyrus");
  EXPECT_THAT(StoredRows(dir_.path(), "ByTel"), ElementsAre("Ali/Karimi/111", "Cyrus/Navabi/333"));
}

TEST_F(TableEdits, EditAndPostRewritesTheRecordAndItsKeys) {
  table_->First();
  table_->Edit();
  table_->FieldByName("Tel1").SetAsString("999");
  EXPECT_EQ(table_->FieldByName("Tel1").OldValue(), TVariant(std::string("111")));
  table_->Post();
  EXPECT_EQ(table_->FieldByName("Tel1").AsString(), "999");
  EXPECT_THAT(StoredRows(dir_.path(), "ByTel"), ElementsAre("Bahar/Amini/222", "Cyrus/Navabi/333", "Ali/Karimi/999"));
}

TEST_F(TableEdits, FailedPostKeepsTheUsersValues) {
  table_->Append();
  Type("Dara", "", "444");
  EXPECT_THROW(table_->Post(), EDatabaseError);
  EXPECT_EQ(table_->State(), TDataSetState::Inserting);
  EXPECT_EQ(Name(), "Dara");
  EXPECT_EQ(table_->FieldByName("Tel1").AsString(), "444");
  EXPECT_EQ(StoredRows(dir_.path()).size(), 3u);
}

TEST_F(TableEdits, EmptyTextIsStoredAsNull) {
  table_->First();
  table_->Edit();
  TField& tel = table_->FieldByName("tel1");
  tel.SetAsString("   ");
  EXPECT_TRUE(VarIsNull(tel.Value()));
  EXPECT_EQ(tel.AsString(), "");
  EXPECT_TRUE(tel.IsNull());
  EXPECT_EQ(tel.FieldName(), "Tel1");
}

// A duplicate telephone number fails the post with 9729; the error event
// decides what happens next.
struct ErrorEventCase {
  const char* label;
  TDataAction action;
  bool fixes_value;
  const char* expected_outcome;  // "posted", "error 9729" or "aborted"
  TDataSetState expected_state;
};

class PostErrorEvent : public TableEdits, public ::testing::WithParamInterface<ErrorEventCase> {};

TEST_P(PostErrorEvent, ChoosesTheOutcome) {
  const ErrorEventCase& c = GetParam();
  int calls = 0;
  int code = 0;
  table_->OnPostError = [&](TVoraDataSet& ds, const EDatabaseError& e, TDataAction& action) {
    ++calls;
    code = storage::EngineErrorCodeOf(e);
    action = c.action;
    if (c.fixes_value && calls == 1) ds.FieldByName("Tel1").SetAsString("444");
    if (calls > 3) action = TDataAction::daFail;  // never loop for ever
  };
  table_->Append();
  Type("Dara", "Sadeghi", "111");
  std::string outcome = "posted";
  try {
    table_->Post();
  } catch (const storage::EVoraEngineError& e) {
    outcome = "error " + std::to_string(e.EngineCode);
  } catch (const EAbort&) {
    outcome = "aborted";
  }
  EXPECT_EQ(outcome, c.expected_outcome);
  EXPECT_EQ(table_->State(), c.expected_state);
  EXPECT_EQ(code, storage::VORA_KEYVIOL);
  EXPECT_EQ(calls, 1);
}

INSTANTIATE_TEST_SUITE_P(Actions, PostErrorEvent,
                         ::testing::Values(
                             ErrorEventCase{"Fail", TDataAction::daFail, false, "error 9729", TDataSetState::Inserting},
                             ErrorEventCase{"Abort", TDataAction::daAbort, false, "aborted", TDataSetState::Inserting},
                             ErrorEventCase{"Retry", TDataAction::daRetry, true, "posted", TDataSetState::Browsing}),
                         [](const ::testing::TestParamInfo<ErrorEventCase>& p) { return std::string(p.param.label); });

// Refused operations and their messages.
struct RefusalCase {
  const char* label;
  std::function<void(TVoraTable&)> op;
  const char* expected_message;
};

class Refusals : public TableEdits, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusals, FailWithTheirMessage) {
  const RefusalCase& c = GetParam();
  std::string message;
  try {
    c.op(*table_);
  } catch (const EDatabaseError& e) {
    message = e.what();
  }
  EXPECT_EQ(message, c.expected_message);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, Refusals,
    ::testing::Values(
        RefusalCase{"WriteWhileBrowsing", [](TVoraTable& table) { table.FieldByName("Name").SetAsString("x"); },
                    "Table is not in edit or insert mode."},
        RefusalCase{"UnknownField", [](TVoraTable& table) { table.FieldByName("Nope"); }, "Field 'Nope' not found"},
        RefusalCase{"ReadOnlyField",
                    [](TVoraTable& table) {
                      table.Edit();
                      table.FieldByName("Tel1").SetReadOnly(true);
                      table.FieldByName("Tel1").SetAsString("x");
                    },
                    "Field Tel1 cannot be modified."},
        RefusalCase{"ReadOnlyTable",
                    [](TVoraTable& table) {
                      table.Close();
                      table.SetReadOnly(true);
                      table.Open();
                      table.Append();
                    },
                    "Cannot modify a read-only dataset"},
        RefusalCase{"TableNameWhileOpen", [](TVoraTable& table) { table.SetTableName("Other"); },
                    "Cannot perform this operation on an open dataset"},
        RefusalCase{"DatabaseNameWhileOpen", [](TVoraTable& table) { table.SetDatabaseName("Other"); },
                    "Cannot perform this operation on an open dataset"},
        RefusalCase{"ExclusiveWhileOpen", [](TVoraTable& table) { table.SetExclusive(true); },
                    "Cannot perform this operation on an open dataset"},
        RefusalCase{"MissingTableName",
                    [](TVoraTable& table) {
                      table.Close();
                      table.SetTableName("");
                      table.Open();
                    },
                    "Missing table name."}),
    [](const ::testing::TestParamInfo<RefusalCase>& p) { return std::string(p.param.label); });

TEST_F(TableEdits, FindFieldGivesNoneForAnUnknownName) {
  EXPECT_EQ(table_->FindField("Nope"), nullptr);
  EXPECT_EQ(table_->FindField("FAMILY"), &table_->FieldByName("Family"));
  table_->First();
  EXPECT_EQ(table_->FieldValuesList("name; tel1"),
            (std::vector<TVariant>{std::string("Ali"), std::string("111")}));
}

TEST(TableNames, PathInTableNameBecomesTheDatabase) {
  TVoraTable table(nullptr);
  table.SetTableName("C:\\Data\\PhoneBook");
  EXPECT_EQ(table.DatabaseName(), "C:/Data/");
  EXPECT_EQ(table.TableName(), "PhoneBook");
  table.SetTableName("/srv/phone/PhoneBook");
  EXPECT_EQ(table.DatabaseName(), "/srv/phone/");
  EXPECT_EQ(table.TableName(), "PhoneBook");
  EXPECT_EQ(table.EngineVersion(), "3.24");
}

}  // namespace
}  // namespace telvora::dataset::testing
