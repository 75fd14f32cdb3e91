// A detail table following its master: the range on the detail's index
// follows the master's record, an appended detail record takes the
// master's values, and the detail shows everything again when the master
// goes. Also key ranges set by hand and the link's refusals.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contacts_table.h"
#include "detail_tables.h"
#include "recording_link.h"

namespace telvora::dataset::testing {
namespace {

const std::vector<Contact> kPeople = {{"Ali", "a", "1"}, {"Bahram", "b", "2"}, {"Reza", "r", "3"}};

std::string MessageOf(const std::function<void()>& op) {
  try {
    op();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(nothing raised)";
}

class MasterDetail : public ContactsTest {
 protected:
  void SetUp() override {
    CreateContacts(dir_.path(), kPeople);
    CreateCalls(dir_.path(), {{"Reza", "r1"}, {"Ali", "a1"}, {"Reza", "r2"}, {"Ali", "a2"}, {"Ali", "a3"}});
    master_ = MakeTable();
    master_source_.SetDataSet(master_.get());
    detail_ = std::make_unique<TVoraTable>(nullptr);
    detail_->SetDatabaseName(dir_.path().string());
    detail_->SetTableName(kCalls);
    detail_->SetIndexName("ByContact");
    detail_->SetMasterSource(&master_source_);
    detail_->SetMasterFields("Name");
  }
  void TearDown() override {
    detail_.reset();
    master_source_.SetDataSet(nullptr);
    master_.reset();
    EXPECT_TABLE_SOUND(dir_ / kCalls);
    ContactsTest::TearDown();
  }
  // The detail's notes, first to last.
  std::vector<std::string> Notes() {
    std::vector<std::string> notes;
    for (detail_->First(); !detail_->Eof(); detail_->Next()) notes.push_back(detail_->FieldByName("Note").AsString());
    return notes;
  }

  std::unique_ptr<TVoraTable> master_;
  TDataSource master_source_{nullptr};
  std::unique_ptr<TVoraTable> detail_;
};

TEST_F(MasterDetail, DetailFollowsTheMastersRecord) {
  master_->Open();
  detail_->Open();
  using V = std::vector<std::string>;
  EXPECT_EQ(Notes(), (V{"a1", "a2", "a3"}));
  master_->Next();  // Bahram: no calls
  EXPECT_TRUE(detail_->IsEmpty());
  EXPECT_EQ(detail_->RecordCount(), 0);
  master_->Next();
  EXPECT_EQ(detail_->FieldByName("Note").AsString(), "r1");
  EXPECT_EQ(Notes(), (V{"r1", "r2"}));
  master_->First();
  EXPECT_EQ(Notes(), (V{"a1", "a2", "a3"}));
  // The master closes: the detail shows all its records again.
  master_->Close();
  EXPECT_EQ(detail_->RecordCount(), 5);
  EXPECT_EQ(Notes(), (V{"a1", "a2", "a3", "r1", "r2"}));
  // And follows again when the master comes back.
  master_->Open();
  master_->Last();
  EXPECT_EQ(Notes(), (V{"r1", "r2"}));
}

TEST_F(MasterDetail, DetailOpenedAfterTheMasterStartsInItsRange) {
  master_->Open();
  master_->Last();
  detail_->Open();
  EXPECT_EQ(detail_->RecordCount(), 2);
  EXPECT_EQ(detail_->FieldByName("Note").AsString(), "r1");
}

TEST_F(MasterDetail, RefusedIndexChangeKeepsTheRange) {
  master_->Open();
  detail_->Open();
  EXPECT_THROW(detail_->SetIndexName("Nope"), EDatabaseError);
  EXPECT_THROW(detail_->SetIndexFieldNames("Note"), EDatabaseError);
  EXPECT_EQ(detail_->IndexName(), "ByContact");
  EXPECT_EQ(Notes(), (std::vector<std::string>{"a1", "a2", "a3"}));
  // Another index with the same leading field keeps following.
  detail_->SetIndexFieldNames("Contact");
  master_->Last();
  EXPECT_EQ(Notes(), (std::vector<std::string>{"r1", "r2"}));
}

TEST_F(MasterDetail, AppendedDetailTakesTheMastersValues) {
  master_->Open();
  master_->Next();
  detail_->Open();
  detail_->Append();
  EXPECT_EQ(detail_->FieldByName("Contact").AsString(), "Bahram");
  detail_->FieldByName("Note").SetAsString("b1");
  detail_->Post();
  EXPECT_EQ(Notes(), (std::vector<std::string>{"b1"}));
  master_->First();
  EXPECT_EQ(detail_->RecordCount(), 3);
}

TEST_F(MasterDetail, LinkRefusals) {
  // A source whose dataset is the detail itself, directly or through a
  // chain of masters.
  TDataSource own(nullptr);
  own.SetDataSet(detail_.get());
  EXPECT_EQ(MessageOf([&] { detail_->SetMasterSource(&own); }), "Circular data links are not allowed.");
  EXPECT_EQ(MessageOf([&] { master_->SetMasterSource(&own); }), "Circular data links are not allowed.");
  own.SetDataSet(nullptr);
  EXPECT_EQ(detail_->MasterSource(), &master_source_);

  master_->Open();
  detail_->Open();
  // ByContact has one key field.
  EXPECT_EQ(MessageOf([&] { detail_->SetMasterFields("Name;Family"); }), "Field index out of range.");
  EXPECT_EQ(detail_->State(), TDataSetState::Browsing);
  EXPECT_EQ(MessageOf([&] { detail_->SetMasterFields("Nope"); }), "Field 'Nope' not found");
}

class KeyRanges : public ContactsTest {};

TEST_F(KeyRanges, RangeOnTheCurrentIndexThroughKeyEditing) {
  CreateContacts(dir_.path(), {{"Ali", "a", "10"}, {"Bahram", "b", "20"}, {"Reza", "r", "30"}, {"Sara", "s", "40"}});
  auto table = MakeTable();
  table->SetIndexName("ByTel");
  std::vector<std::string> log;
  TDataSource source(nullptr);
  RecordingLink link(log);
  source.SetDataSet(table.get());
  link.SetDataSource(&source);
  table->Open();
  log.clear();
  table->SetRange({TVariant{"15"}}, {TVariant{"30"}});
  EXPECT_EQ(log.at(0), "link:editing");
  EXPECT_EQ(table->State(), TDataSetState::Browsing);
  EXPECT_EQ(table->RecordCount(), 2);
  EXPECT_EQ(table->FieldByName("Name").AsString(), "Bahram");
  table->Last();
  EXPECT_EQ(table->FieldByName("Name").AsString(), "Reza");
  table->CancelRange();
  EXPECT_EQ(table->RecordCount(), 4);
  EXPECT_EQ(table->FieldByName("Name").AsString(), "Reza");
  // A key outside the index's fields is refused while building.
  table->SetIndexName("");
  EXPECT_EQ(MessageOf([&] { table->SetRange({TVariant{std::int64_t{1}}, TVariant{std::int64_t{2}}},
                                                 {TVariant{std::int64_t{3}}, TVariant{std::int64_t{4}}}); }),
            "Field index out of range.");
  EXPECT_EQ(table->State(), TDataSetState::Browsing);
  EXPECT_EQ(table->RecordCount(), 4);
  link.SetDataSource(nullptr);
}

TEST_F(KeyRanges, KeysBuiltStepByStep) {
  CreateContacts(dir_.path(), {{"Ali", "a", "10"}, {"Bahram", "b", "20"}, {"Reza", "r", "30"}, {"Sara", "s", "40"}});
  auto table = MakeTable();
  table->SetIndexName("ByTel");
  table->Open();
  table->SetRangeStart();
  EXPECT_EQ(table->State(), TDataSetState::KeyEditing);
  EXPECT_EQ(MessageOf([&] { table->FieldByName("Name").SetAsString("x"); }), "Field Name is not in the current index.");
  table->FieldByName("Tel1").SetAsString("15");
  // A cancelled key is put back as it was: no range.
  table->Cancel();
  table->ApplyRange();
  EXPECT_EQ(table->RecordCount(), 4);

  table->SetRangeStart();
  table->FieldByName("Tel1").SetAsString("15");
  table->SetRangeEnd();
  table->FieldByName("Tel1").SetAsString("30");
  table->ApplyRange();
  EXPECT_EQ(table->State(), TDataSetState::Browsing);
  EXPECT_EQ(table->RecordCount(), 2);
  table->EditRangeEnd();
  EXPECT_EQ(table->FieldByName("Tel1").AsString(), "30");
  table->FieldByName("Tel1").SetAsString("40");
  table->ApplyRange();
  EXPECT_EQ(table->RecordCount(), 3);
  EXPECT_EQ(table->FieldByName("Name").AsString(), "Bahram");
}

TEST_F(KeyRanges, KeyFieldWithoutAFieldObjectIsRefused) {
  CreateContacts(dir_.path(), {{"Ali", "a", "10"}});
  auto table = MakeTable();
  // Persistent fields without the primary key's Id.
  std::vector<std::unique_ptr<TField>> fields;
  for (const char* name : {"Name", "Family", "Tel1"}) {
    fields.push_back(std::make_unique<TField>(nullptr));
    fields.back()->SetFieldName(name);
    fields.back()->SetDataSet(table.get());
  }
  table->Open();
  EXPECT_EQ(table->FieldCount(), 3);
  EXPECT_EQ(MessageOf([&] { table->IndexFields(0); }), "Cannot access index field Id.");
  EXPECT_EQ(MessageOf([&] { table->SetRange({TVariant{std::int64_t{1}}}, {TVariant{std::int64_t{1}}}); }),
            "Cannot access index field Id.");
  EXPECT_EQ(table->State(), TDataSetState::Browsing);
  table->Close();
  for (auto& field : fields) field->SetDataSet(nullptr);
}

}  // namespace
}  // namespace telvora::dataset::testing
