// telvora-db insert is all or nothing: a line that cannot be converted or
// validated stops the insert before anything is written, and a line the
// engine refuses while posting (a duplicate key) rolls back the transaction
// the records before it were appended in. Either way the table's files stay
// byte for byte as they were.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/table_check.h"
#include "support/temp_dir.h"
#include "tools/db_tool_runner.h"

namespace telvora::tools {
namespace {

using nlohmann::json;
using testing::RunTool;
using testing::WriteFile;

class DbInsertAllOrNothingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const json schema = {
        {"fields",
         {{{"name", "Id"}, {"type", "autoinc"}},
          {{"name", "Name"}, {"type", "string"}, {"size", 8}, {"required", true}},
          {{"name", "Age"}, {"type", "smallint"}, {"min", "0"}, {"max", "150"}},
          {{"name", "Born"}, {"type", "date"}},
          {{"name", "Note"}, {"type", "memo"}}}},
        {"primaryIndex", {{"fields", {"Id"}}}},
        {"indexes", {{{"name", "ByName"}, {"fields", {"Name"}}, {"unique", true}}, {{"name", "ByAge"}, {"fields", {"Age"}}}}}};
    ASSERT_EQ(RunTool({"create", Table(), "--schema", WriteFile(dir_ / "schema.json", schema.dump())}).status, 0);
    // Three records, the middle one deleted: its slot is the next insert's.
    ASSERT_EQ(Insert("{\"Name\": \"Ava\", \"Age\": 30, \"Note\": \"first\"}\n"
                     "{\"Name\": \"Gone\"}\n"
                     "{\"Name\": \"Bob\", \"Age\": 40}\n")
                  .status,
              0);
    ASSERT_EQ(RunTool({"delete", Table(), "--recno", "2"}).status, 0);
  }
  std::string Table() const { return (dir_ / "T").string(); }
  testing::Outcome Insert(const std::string& lines) {
    return RunTool({"insert", Table(), WriteFile(dir_ / "records.jsonl", lines)});
  }
  // The records in slot order and in every index's order.
  std::vector<std::string> Dumps() {
    std::vector<std::string> dumps;
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, {"--index", "ByName"}, {"--index", "ByAge"}}) {
      std::vector<std::string> args = {"dump", Table()};
      args.insert(args.end(), options.begin(), options.end());
      dumps.push_back(RunTool(args).out);
    }
    return dumps;
  }

  telvora::testing::TempDir dir_;
};

const std::string kGood = "{\"Name\": \"Cy\", \"Age\": 1, \"Note\": \"a memo\"}\n";

TEST_F(DbInsertAllOrNothingTest, ALineThatCannotBeWrittenLeavesTheFilesAsTheyWere) {
  const struct {
    const char* line;
    const char* message;
  } cases[] = {
      {"{\"Name\": \"Dan\",", "line 3: "},  // not JSON
      {"[1, 2]", "line 3: expected a JSON object"},
      {"{\"Nmae\": \"Dan\"}", "line 3: unknown field 'Nmae'"},
      {"{\"Name\": 7}", "line 3: field 'Name': expected a string"},
      {"{\"Name\": \"Dan\", \"Age\": \"old\"}", "line 3: field 'Age': expected a number"},
      {"{\"Name\": \"Dan\", \"Age\": 1.5}", "line 3: field 'Age': expected a whole number"},
      {"{\"Name\": \"Dan\", \"Age\": 70000}", "line 3: field 'Age': 70000 is outside -32768 .. 32767"},
      {"{\"Name\": \"Danielle12\"}", "line 3: field 'Name': text of 10 characters, at most 8 fit"},
      {"{\"Name\": \"日本\"}", "line 3: field 'Name': the text holds a character"},
      {"{\"Name\": \"Dan\", \"Born\": \"31/12/1999\"}", "line 3: field 'Born': not a date"},
      {"{\"Age\": 5}", "line 3: Vora Engine Error # 9732 "},
      {"{\"Name\": \"Dan\", \"Age\": -1}", "line 3: Vora Engine Error # 9730 "},
      {"{\"Name\": \"Dan\", \"Age\": 151}", "line 3: Vora Engine Error # 9731 "},
  };
  const auto bytes_before = telvora::testing::TableFileBytes(dir_.path(), "T");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    // Two good lines and a blank one before the bad line, a good one after.
    const testing::Outcome r = Insert(kGood + "\n" + c.line + "\n{\"Name\": \"Eve\"}\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind(std::string("telvora-db: ") + c.message, 0), 0u) << r.err;
    EXPECT_EQ(telvora::testing::TableFileBytes(dir_.path(), "T"), bytes_before);
  }
  EXPECT_TABLE_SOUND(dir_ / "T");
}

TEST_F(DbInsertAllOrNothingTest, ADuplicateKeyRollsBackTheRecordsAppendedBeforeIt) {
  const auto bytes_before = telvora::testing::TableFileBytes(dir_.path(), "T");
  const std::vector<std::string> before = Dumps();
  const json info_before = json::parse(RunTool({"info", Table()}).out);
  const struct {
    const char* what;
    std::string lines;
  } cases[] = {
      {"duplicate of a stored record", kGood + "{\"Name\": \"Dee\"}\n{\"Name\": \"Bob\"}\n"},
      {"duplicate of an earlier line", kGood + "{\"Name\": \"Dee\"}\n{\"Name\": \"Cy\"}\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const testing::Outcome r = Insert(c.lines);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("telvora-db: line 3: Vora Engine Error # 9729 ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("(nothing inserted)"), std::string::npos) << r.err;
    EXPECT_EQ(telvora::testing::TableFileBytes(dir_.path(), "T"), bytes_before);
    EXPECT_EQ(Dumps(), before);
    const json info = json::parse(RunTool({"info", Table()}).out);
    EXPECT_EQ(info["activeRecords"], info_before["activeRecords"]);
    for (std::size_t i = 0; i < info["indexes"].size(); ++i) {
      EXPECT_EQ(info["indexes"][i]["entries"], info_before["indexes"][i]["entries"]);
    }
    EXPECT_TABLE_SOUND(dir_ / "T");
    EXPECT_EQ(RunTool({"verify", Table()}).status, 0);
  }
  // The table takes the same records afterwards.
  const testing::Outcome r = Insert(kGood + "{\"Name\": \"Dee\"}\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2\n");
  EXPECT_EQ(testing::DumpedFields(Table()).size(), 4u);
  EXPECT_TABLE_SOUND(dir_ / "T");
}

TEST_F(DbInsertAllOrNothingTest, InputErrors) {
  const testing::Outcome missing = RunTool({"insert", Table(), (dir_ / "none.jsonl").string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("cannot read"), std::string::npos) << missing.err;
  EXPECT_EQ(RunTool({"insert", Table()}).status, 2);
  const testing::Outcome empty = Insert("\n\n");
  EXPECT_EQ(empty.status, 0) << empty.err;
  EXPECT_EQ(empty.out, "0\n");
}

}  // namespace
}  // namespace telvora::tools
