// Filters through the table component: the expression filter the phone
// book's search sets, a refused expression, the record filter event, and
// the find operations that search through the filters while they are off.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contacts_table.h"
#include "dataset/application_error_handler.h"
#include "recording_link.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"

namespace telvora::dataset::testing {
namespace {

const std::vector<Contact> kPeople = {{"Bahram", "b", "1"}, {"Ali", "a", "2"},    {"Reza", "r", "3"},
                                      {"Alireza", "a", "4"}, {"Sara", "s", "5"},  {"alborz", "a", "6"},
                                      {"Amir", "a", "7"}};

class TableFilters : public ContactsTest {
 protected:
  void SetUp() override {
    CreateContacts(dir_.path(), kPeople);
    table_ = MakeTable();
    table_->Open();
  }
  void TearDown() override {
    table_.reset();
    EXPECT_TABLE_SOUND(TablePath());
    ContactsTest::TearDown();
  }
  std::string Name() const { return table_->FieldByName("Name").AsString(); }
  // The names from the current record to the end.
  std::vector<std::string> NamesToEnd() {
    std::vector<std::string> names;
    while (!table_->Eof()) {
      names.push_back(Name());
      table_->Next();
    }
    return names;
  }

  std::unique_ptr<TVoraTable> table_;
};

TEST_F(TableFilters, SearchSequenceShowsOnlyMatchingRecordsFromTheFirst) {
  // As the search box does it: off, the text, on. Switching off (even
  // when off already) goes to the first record.
  table_->MoveBy(4);
  table_->SetFiltered(false);
  EXPECT_EQ(Name(), "Bahram");
  table_->MoveBy(2);
  ASSERT_EQ(Name(), "Reza");
  table_->SetFilter("Name='Al*'");
  // Setting the text while unfiltered checks it but does not move.
  EXPECT_EQ(Name(), "Reza");
  table_->SetFiltered(true);
  EXPECT_TRUE(table_->Bof());
  EXPECT_EQ(Name(), "Ali");
  EXPECT_EQ(table_->RecordCount(), 2);
  EXPECT_EQ(NamesToEnd(), (std::vector<std::string>{"Ali", "Alireza"}));

  // Case-insensitive: "alborz" joins.
  table_->SetFilterOptions({.foCaseInsensitive = true});
  EXPECT_EQ(Name(), "Ali");
  EXPECT_EQ(NamesToEnd(), (std::vector<std::string>{"Ali", "Alireza", "alborz"}));
  // Without partial compare the star is part of the text: nothing matches.
  table_->SetFilterOptions({.foNoPartialCompare = true});
  EXPECT_TRUE(table_->IsEmpty());

  table_->SetFilterOptions({});
  // Setting Filtered to the value it has still goes to the first record.
  table_->Last();
  table_->SetFiltered(true);
  EXPECT_EQ(Name(), "Ali");
  table_->SetFiltered(false);
  EXPECT_EQ(table_->RecordCount(), 7);
  EXPECT_EQ(Name(), "Bahram");
}

TEST_F(TableFilters, RefusedExpressionRaisesAndChangesNothing) {
  const std::vector<std::string> refused = {"Name='", "Name", "Nope='x'", "Name=1 and"};
  for (const std::string& text : refused) {
    SCOPED_TRACE(text);
    try {
      table_->SetFilter(text);
      ADD_FAILURE() << "accepted";
    } catch (const storage::EVoraEngineError& e) {
      EXPECT_EQ(storage::EngineErrorCodeOf(e), storage::VORA_INVALIDFILTER);
    }
    EXPECT_FALSE(table_->Filtered());
    EXPECT_EQ(table_->Filter(), "");
    EXPECT_EQ(table_->RecordCount(), 7);
  }
  // A filter in force stays in force when its replacement is refused.
  table_->SetFilter("Name='S*'");
  table_->SetFiltered(true);
  EXPECT_THROW(table_->SetFilter("Name='"), storage::EVoraEngineError);
  EXPECT_EQ(table_->Filter(), "Name='S*'");
  table_->First();
  EXPECT_EQ(NamesToEnd(), (std::vector<std::string>{"Sara"}));
}

TEST_F(TableFilters, FilterSetBeforeOpeningAppliesAtOpening) {
  table_->Close();
  table_->SetFilter("Family='a'");
  table_->SetFiltered(true);
  table_->Open();
  EXPECT_EQ(NamesToEnd(), (std::vector<std::string>{"Ali", "Alireza", "alborz", "Amir"}));
}

TEST_F(TableFilters, RecordEventFiltersAndSeesEachRecordInFilteringState) {
  std::vector<TDataSetState> states;
  table_->SetOnFilterRecord([&](TVoraDataSet& ds, bool& accept) {
    states.push_back(ds.State());
    accept = ds.FieldByName("Name").AsString().size() == 4;
  });
  table_->SetFiltered(true);
  EXPECT_EQ(NamesToEnd(), (std::vector<std::string>{"Reza", "Sara", "Amir"}));
  ASSERT_FALSE(states.empty());
  for (TDataSetState state : states) EXPECT_EQ(state, TDataSetState::Filtering);
  EXPECT_EQ(table_->State(), TDataSetState::Browsing);

  // Both filters at once: the expression's records the event keeps.
  table_->SetFilter("Family='a'");
  EXPECT_EQ(NamesToEnd(), (std::vector<std::string>{"Amir"}));
  // Taking the event away leaves the expression alone.
  table_->SetOnFilterRecord(nullptr);
  EXPECT_EQ(NamesToEnd(), (std::vector<std::string>{"Ali", "Alireza", "alborz", "Amir"}));
}

TEST_F(TableFilters, ErrorInTheRecordEventGoesToTheErrorHandler) {
  std::vector<std::string> shown;
  const TApplicationErrorHandler before =
      SetApplicationErrorHandler([&](const std::exception& e) { shown.push_back(e.what()); });
  table_->SetOnFilterRecord([](TVoraDataSet& ds, bool& accept) {
    accept = ds.FieldByName("Family").AsString() == "a";
    if (ds.FieldByName("Name").AsString() == "Ali") throw std::runtime_error("no Ali");
  });
  table_->SetFiltered(true);
  SetApplicationErrorHandler(before);
  // The record counts as the event left it: Ali was accepted before the
  // throw.
  EXPECT_EQ(NamesToEnd(), (std::vector<std::string>{"Ali", "Alireza", "alborz", "Amir"}));
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.front(), "no Ali");
}

TEST_F(TableFilters, FindOperationsSearchThroughTheFilterWhileItIsOff) {
  table_->SetFilter("Family='a'");
  ASSERT_FALSE(table_->Filtered());
  EXPECT_TRUE(table_->FindFirst());
  EXPECT_EQ(Name(), "Ali");
  EXPECT_TRUE(table_->FindNext());
  EXPECT_EQ(Name(), "Alireza");
  EXPECT_TRUE(table_->FindLast());
  EXPECT_EQ(Name(), "Amir");
  EXPECT_TRUE(table_->FindPrior());
  EXPECT_EQ(Name(), "alborz");
  // The filter is off again after each search.
  table_->Prior();
  EXPECT_EQ(Name(), "Sara");
  EXPECT_EQ(table_->RecordCount(), 7);
  table_->First();
  table_->SetFilter("Name='Zoe'");
  EXPECT_FALSE(table_->FindFirst());
  EXPECT_FALSE(table_->Found());
  EXPECT_EQ(Name(), "Bahram");
}

}  // namespace
}  // namespace telvora::dataset::testing
