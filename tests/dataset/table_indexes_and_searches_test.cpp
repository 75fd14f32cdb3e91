// Index selection and searching by field values on the table component:
// index definitions, IndexName and IndexFieldNames, and Locate and Lookup
// through the dataset's own cursor, a kept search cursor and a temporary
// filter.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contacts_table.h"
#include "dataset/index_def.h"
#include "recording_link.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"

namespace telvora::dataset::testing {
namespace {

// In primary (insertion) order; by name: Ali, Alireza, Amir, Bahram, Reza,
// Reza, Sara.
const std::vector<Contact> kPeople = {{"Bahram", "b", "51"}, {"Reza", "r", "12"}, {"Ali", "a", "33"},
                                      {"Sara", "s", "24"},   {"Reza", "q", "05"}, {"Alireza", "a", "46"},
                                      {"Amir", "a", "67"}};

std::string MessageOf(const std::function<void()>& op) {
  try {
    op();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(nothing raised)";
}

TEST(IndexForFields, PrefersAnExactListThenTheFirstThatBeginsWithTheFields) {
  auto def = [](const char* name, const char* fields, bool descending = false) {
    TIndexDef d;
    d.Name = name;
    d.Fields = fields;
    d.Options.ixDescending = descending;
    return d;
  };
  const std::vector<TIndexDef> defs = {def("NameFamily", "Name;Family"), def("TelDown", "Tel1", true),
                                       def("TelName", "Tel1;Name"), def("Name", "Name"), def("Na", "Na")};
  struct Case {
    const char* fields;
    const char* index;
  };
  const std::vector<Case> cases = {{"name", "Name"},          {"Name;Family", "NameFamily"}, {"TEL1", "TelName"},
                                   {" Tel1 ; Name ", "TelName"}, {"Na", "Na"},                 {"Family", nullptr},
                                   {"Tel1;Name;Family", nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fields);
    if (c.index == nullptr) {
      EXPECT_EQ(MessageOf([&] { IndexForFields(defs, c.fields); }),
                std::string("No index for fields '") + c.fields + "'");
    } else {
      EXPECT_EQ(IndexForFields(defs, c.fields).Name, c.index);
    }
  }
}

class TableSearches : public ContactsTest {
 protected:
  void SetUp() override {
    CreateContacts(dir_.path(), kPeople);
    table_ = MakeTable();
  }
  void TearDown() override {
    link_.SetDataSource(nullptr);
    table_.reset();
    EXPECT_TABLE_SOUND(TablePath());
    ContactsTest::TearDown();
  }
  std::string Current() const {
    return table_->FieldByName("Name").AsString() + "/" + table_->FieldByName("Tel1").AsString();
  }

  std::unique_ptr<TVoraTable> table_;
  std::vector<std::string> log_;
  TDataSource source_{nullptr};
  RecordingLink link_{log_};
};

TEST_F(TableSearches, IndexDefinitionsAreReadOpenOrClosed) {
  const std::vector<TIndexDef> closed = table_->IndexDefs();
  ASSERT_FALSE(table_->Active());
  ASSERT_EQ(closed.size(), 3u);
  EXPECT_EQ(closed[0].Fields, "Id");
  EXPECT_EQ(closed[0].Options, (TIndexOptions{.ixPrimary = true, .ixUnique = true}));
  EXPECT_EQ(closed[1].Name, "ByName");
  EXPECT_EQ(closed[1].Fields, "Name");
  EXPECT_EQ(closed[1].Options, TIndexOptions{});
  EXPECT_EQ(closed[2].Name, "ByTel");
  EXPECT_EQ(closed[2].Options, (TIndexOptions{.ixUnique = true}));
  table_->Open();
  const std::vector<TIndexDef> open = table_->IndexDefs();
  ASSERT_EQ(open.size(), closed.size());
  for (std::size_t i = 0; i < open.size(); ++i) EXPECT_EQ(open[i].Fields, closed[i].Fields);
}

TEST_F(TableSearches, IndexNameAndIndexFieldNamesShareOneSetting) {
  table_->SetIndexFieldNames("Tel1");
  table_->Open();
  EXPECT_EQ(Current(), "Reza/05");
  table_->SetIndexName("ByName");
  EXPECT_EQ(table_->IndexFieldNames(), "");
  table_->First();
  EXPECT_EQ(Current(), "Ali/33");
  EXPECT_EQ(table_->IndexFieldCount(), 1);
  EXPECT_EQ(table_->IndexFields(0).FieldName(), "Name");
  table_->SetIndexFieldNames("tel1");
  EXPECT_EQ(table_->IndexName(), "");
  // The switch keeps the current record.
  EXPECT_EQ(Current(), "Ali/33");
  table_->First();
  EXPECT_EQ(Current(), "Reza/05");

  // The value it has already: nothing happens, not even a reread.
  source_.SetDataSet(table_.get());
  link_.SetDataSource(&source_);
  log_.clear();
  table_->SetIndexFieldNames("tel1");
  EXPECT_TRUE(log_.empty());

  EXPECT_EQ(MessageOf([&] { table_->SetIndexFieldNames("Family"); }), "No index for fields 'Family'");
  try {
    table_->SetIndexName("Nope");
    ADD_FAILURE() << "unknown index accepted";
  } catch (const storage::EVoraEngineError& e) {
    EXPECT_EQ(storage::EngineErrorCodeOf(e), storage::VORA_INVALIDINDEXNAME);
  }
  EXPECT_EQ(table_->IndexFieldNames(), "tel1");
  EXPECT_EQ(MessageOf([&] { table_->IndexFields(1); }), "Field index out of range.");
  // Back to the default order.
  table_->SetIndexFieldNames("");
  table_->First();
  EXPECT_EQ(Current(), "Bahram/51");
  EXPECT_EQ(table_->IndexFieldCount(), 1);
  EXPECT_EQ(table_->IndexFields(0).FieldName(), "Id");
}

struct LocateCase {
  const char* label;
  const char* index;  // the table's own order
  const char* fields;
  std::vector<TVariant> values;
  TLocateOptions options;
  TSearchPath path;
  const char* found;  // nullptr: nothing
};

TEST_F(TableSearches, EachSearchPathFindsTheSameRecord) {
  const std::vector<LocateCase> cases = {
      {"own cursor", "ByName", "Name", {"Reza"}, {}, TSearchPath::spOwnCursor, "Reza/12"},
      {"search cursor", "", "Name", {"Reza"}, {}, TSearchPath::spSearchCursor, "Reza/12"},
      {"filter", "ByTel", "name", {"reza"}, {.loCaseInsensitive = true}, TSearchPath::spFilter, "Reza/05"},
      {"filter, no index", "ByName", "Family", {"r"}, {}, TSearchPath::spFilter, "Reza/12"},
      {"own, partial", "ByName", "Name", {"Alir"}, {.loPartialKey = true}, TSearchPath::spOwnCursor, "Alireza/46"},
      {"search, partial", "", "Name", {"Alir"}, {.loPartialKey = true}, TSearchPath::spSearchCursor, "Alireza/46"},
      {"filter, partial", "", "Name", {"ALIR"}, {true, true}, TSearchPath::spFilter, "Alireza/46"},
      {"two fields, one indexed", "ByName", "Name;Family", {"Reza", "q"}, {}, TSearchPath::spFilter, "Reza/05"},
      {"filter, two fields", "", "Family;Name", {"q", "Reza"}, {}, TSearchPath::spFilter, "Reza/05"},
      {"number for text", "ByTel", "Tel1", {std::int64_t{24}}, {}, TSearchPath::spOwnCursor, "Sara/24"},
      {"auto-increment key", "", "Id", {std::int64_t{3}}, {}, TSearchPath::spOwnCursor, "Ali/33"},
      {"auto-increment, search cursor", "ByName", "Id", {"5"}, {}, TSearchPath::spSearchCursor, "Reza/05"},
      {"own, none", "ByName", "Name", {"Zoe"}, {}, TSearchPath::spOwnCursor, nullptr},
      {"trailing blank", "", "Name", {"Ali "}, {}, TSearchPath::spSearchCursor, "Ali/33"},
      {"filter, none", "", "Family", {"z"}, {}, TSearchPath::spFilter, nullptr},
  };
  table_->Open();
  for (const LocateCase& c : cases) {
    SCOPED_TRACE(c.label);
    table_->SetIndexName(c.index);
    table_->Last();
    const std::string before = Current();
    const bool found = table_->Locate(c.fields, c.values, c.options);
    EXPECT_EQ(table_->LastSearchPath(), c.path);
    EXPECT_EQ(found, c.found != nullptr);
    EXPECT_EQ(Current(), c.found != nullptr ? std::string(c.found) : before);
    // The window was read around the record: the next one follows it.
    if (found) {
      const int at = table_->RecNo();
      table_->Next();
      EXPECT_EQ(table_->RecNo(), at + 1);
    }
    // No filter stays behind.
    EXPECT_EQ(table_->Handle()->FilterCount(), 0u);
    EXPECT_EQ(table_->RecordCount(), 7);
  }
  EXPECT_EQ(MessageOf([&] { table_->Locate("Nope", TVariant{"x"}, {}); }), "Field 'Nope' not found");
}

TEST_F(TableSearches, SearchCursorIsKeptForTheSameFieldsAndFreedWhenFilteringChanges) {
  table_->Open();
  EXPECT_TRUE(table_->Locate("Name", TVariant{"Sara"}, {}));
  EXPECT_TRUE(table_->HasSearchCursor());
  EXPECT_TRUE(table_->Locate("Name", TVariant{"Amir"}, {}));
  EXPECT_EQ(table_->LastSearchPath(), TSearchPath::spSearchCursor);
  EXPECT_EQ(Current(), "Amir/67");
  EXPECT_TRUE(table_->HasSearchCursor());
  table_->SetFilter("Family='a'");
  EXPECT_FALSE(table_->HasSearchCursor());
  // Filtered: the kept cursor's record must be one the table shows.
  table_->SetFiltered(true);
  EXPECT_FALSE(table_->Locate("Name", TVariant{"Sara"}, {}));
  EXPECT_TRUE(table_->Locate("Tel1", TVariant{"46"}, {}));
  EXPECT_EQ(Current(), "Alireza/46");
  EXPECT_TRUE(table_->HasSearchCursor());
  table_->SetFiltered(false);
  EXPECT_FALSE(table_->HasSearchCursor());
}

TEST_F(TableSearches, LookupReadsTheFoundRecordWithoutMoving) {
  table_->SetIndexName("ByName");
  table_->Open();
  table_->MoveBy(3);
  ASSERT_EQ(Current(), "Bahram/51");
  table_->SetIndexName("");
  struct Case {
    const char* fields;
    std::vector<TVariant> values;
    std::vector<TVariant> expected;
  };
  const std::vector<Case> cases = {
      {"Name", {"Sara"}, {TVariant{"s"}, TVariant{"24"}}},
      {"Tel1", {"05"}, {TVariant{"q"}, TVariant{"05"}}},
      {"Family;Tel1", {"a", "67"}, {TVariant{"a"}, TVariant{"67"}}},
      {"Name", {"Nobody"}, {TVariant{}, TVariant{}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fields);
    EXPECT_EQ(table_->Lookup(c.fields, c.values, "Family;Tel1"), c.expected);
    EXPECT_EQ(Current(), "Bahram/51");
    table_->Next();
    EXPECT_EQ(Current(), "Reza/12");
    table_->Prior();
  }
}

}  // namespace
}  // namespace telvora::dataset::testing
