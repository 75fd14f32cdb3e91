// telvora-db insert and dump: what goes in comes out (every kind of value,
// Persian text in a code page 1256 table, nulls and defaults), in the
// order and range of the chosen index.

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
using testing::DumpedFields;
using testing::JsonLines;
using testing::RunTool;
using testing::WriteFile;

// Every field type the JSON table names, in a Farsi (code page 1256) table.
const json& EveryKindSchema() {
  static const json schema = {
      {"language", 0x0429},
      {"fields",
       {{{"name", "Id"}, {"type", "autoinc"}},
        {{"name", "Name"}, {"type", "string"}, {"size", 30}},
        {{"name", "Born"}, {"type", "date"}},
        {{"name", "At"}, {"type", "time"}},
        {{"name", "Stamp"}, {"type", "timestamp"}},
        {{"name", "Flag"}, {"type", "boolean"}},
        {{"name", "Small"}, {"type", "smallint"}},
        {{"name", "Count"}, {"type", "integer"}},
        {{"name", "W"}, {"type", "word"}},
        {{"name", "Big"}, {"type", "largeint"}},
        {{"name", "Ratio"}, {"type", "float"}},
        {{"name", "Price"}, {"type", "money"}},
        {{"name", "Amount"}, {"type", "bcd"}, {"decimals", 4}},
        {{"name", "Raw"}, {"type", "bytes"}, {"size", 4}},
        {{"name", "Var"}, {"type", "varbytes"}, {"size", 3}},
        {{"name", "Note"}, {"type", "memo"}},
        {{"name", "Pic"}, {"type", "graphic"}},
        {{"name", "City"}, {"type", "string"}, {"size", 10}, {"default", "Tabriz"}}}},
      {"primaryIndex", {{"fields", {"Id"}}}},
      {"indexes", {{{"name", "ByName"}, {"fields", {"Name"}}}}}};
  return schema;
}

class DbInsertAndDumpTest : public ::testing::Test {
 protected:
  std::string Table() const { return (dir_ / "T").string(); }
  void CreateTable(const json& schema) {
    const testing::Outcome r =
        RunTool({"create", Table(), "--schema", WriteFile(dir_ / "schema.json", schema.dump())});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  testing::Outcome Insert(const std::vector<json>& records) {
    std::string text;
    for (const json& r : records) text += r.dump() + "\n";
    return RunTool({"insert", Table(), WriteFile(dir_ / "records.jsonl", text)});
  }

  telvora::testing::TempDir dir_;
};

TEST_F(DbInsertAndDumpTest, WhatIsInsertedIsDumpedBack) {
  CreateTable(EveryKindSchema());
  const json full = {{"Name", "رضا تهرانی"},
                     {"Born", "1999-12-31"},
                     {"At", "08:30:15.250"},
                     {"Stamp", "2024-02-29 23:59:59.999"},
                     {"Flag", true},
                     {"Small", -32768},
                     {"Count", -2147483647},
                     {"W", 65535},
                     {"Big", 9007199254740993},  // not exact as a double
                     {"Ratio", 2.5},
                     {"Price", 1234.56},
                     {"Amount", "-12.3400"},
                     {"Raw", "00ff10ab"},
                     {"Var", "abcdef"},
                     {"Note", "نامه\nخط دوم"},
                     {"Pic", "89504e470d0a"},
                     {"City", "شیراز"}};
  json nulls = json::object();
  for (const auto& [name, value] : full.items()) nulls[name] = nullptr;
  nulls["Name"] = "Nulls";
  const json defaults = {{"Name", "Defaults"}, {"Flag", false}};

  const testing::Outcome r = Insert({full, nulls, defaults});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "3\n");
  EXPECT_TABLE_SOUND(dir_ / "T");

  const testing::Outcome dump = RunTool({"dump", Table()});
  ASSERT_EQ(dump.status, 0) << dump.err;
  const std::vector<json> lines = JsonLines(dump.out);
  ASSERT_EQ(lines.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(lines[i]["recno"], i + 1);
    EXPECT_EQ(lines[i]["fields"]["Id"], i + 1);  // assigned by the table
  }
  json expected = full;
  expected["Id"] = 1;
  // The table's code page has no Farsi yeh; it stores the Arabic one.
  expected["Name"] = "رضا تهراني";
  expected["City"] = "شيراز";
  EXPECT_EQ(lines[0]["fields"], expected);
  expected = nulls;
  expected["Id"] = 2;
  EXPECT_EQ(lines[1]["fields"], expected);
  // Missing fields: null, or the field's default.
  EXPECT_EQ(lines[2]["fields"]["City"], "Tabriz");
  EXPECT_EQ(lines[2]["fields"]["Flag"], false);
  EXPECT_EQ(lines[2]["fields"]["Note"], nullptr);
  EXPECT_EQ(lines[2]["fields"]["Count"], nullptr);
  // Fields come in the table's order.
  EXPECT_EQ(dump.out.substr(0, dump.out.find(',', dump.out.find("\"fields\""))),
            "{\"recno\":1,\"fields\":{\"Id\":1");

  // A dump read back into a fresh table gives the same dump.
  ASSERT_EQ(RunTool({"create", (dir_ / "Copy").string(), "--schema", (dir_ / "schema.json").string()}).status, 0);
  std::string copy_lines;
  for (const json& line : lines) copy_lines += line["fields"].dump() + "\n";
  const testing::Outcome copied =
      RunTool({"insert", (dir_ / "Copy").string(), WriteFile(dir_ / "copy.jsonl", copy_lines)});
  ASSERT_EQ(copied.status, 0) << copied.err;
  EXPECT_EQ(RunTool({"dump", (dir_ / "Copy").string()}).out, dump.out);
  EXPECT_TABLE_SOUND(dir_ / "Copy");
}

TEST_F(DbInsertAndDumpTest, DumpFollowsTheIndexAndItsRange) {
  CreateTable({{"fields",
                {{{"name", "Name"}, {"type", "string"}, {"size", 10}},
                 {{"name", "City"}, {"type", "string"}, {"size", 10}},
                 {{"name", "Age"}, {"type", "integer"}}}},
               {"indexes",
                {{{"name", "ByCityName"}, {"fields", {"City", "Name"}}},
                 {{"name", "ByAge"}, {"fields", {"Age"}}, {"unique", true}, {"descending", true}}}}});
  ASSERT_EQ(Insert({{{"Name", "Dara"}, {"City", "Qom"}, {"Age", 40}},
                    {{"Name", "Bita"}, {"City", "Amol"}, {"Age", 20}},
                    {{"Name", "Cyrus"}, {"City", "Qom"}, {"Age", 30}},
                    {{"Name", "Azar"}, {"City", "Rasht"}, {"Age", 50}},
                    {{"Name", "Babak"}, {"City", "Amol"}, {"Age", 10}}})
                .status,
            0);
  const auto names = [&](const std::vector<std::string>& options) {
    std::vector<std::string> result;
    for (const json& fields : DumpedFields(Table(), options)) result.push_back(fields["Name"]);
    return result;
  };
  using Names = std::vector<std::string>;
  const struct {
    std::vector<std::string> options;
    Names expected;
  } cases[] = {
      {{}, {"Dara", "Bita", "Cyrus", "Azar", "Babak"}},  // no primary key: slot order
      {{"--index", "ByCityName"}, {"Babak", "Bita", "Cyrus", "Dara", "Azar"}},
      {{"--index", "bycityname"}, {"Babak", "Bita", "Cyrus", "Dara", "Azar"}},
      {{"--index", "ByAge"}, {"Azar", "Dara", "Cyrus", "Bita", "Babak"}},
      {{"--index", "ByCityName", "--range-start", R"(["Qom"])", "--range-end", R"(["Rasht"])"},
       {"Cyrus", "Dara", "Azar"}},
      {{"--index", "ByCityName", "--range-start", R"("Amol")", "--range-end", R"("Amol")"}, {"Babak", "Bita"}},
      {{"--index", "ByCityName", "--range-start", R"(["Amol", "Bita"])", "--range-end", R"(["Qom", "Cyrus"])"},
       {"Bita", "Cyrus"}},
      {{"--index", "ByAge", "--range-start", "40", "--range-end", "20"}, {"Dara", "Cyrus", "Bita"}},
      {{"--index", "ByCityName", "--range-start", R"("Tabriz")", "--range-end", R"("Zabol")"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    EXPECT_EQ(names(c.options), c.expected);
  }

  // recno is the slot, whatever the order.
  const std::vector<json> by_age = JsonLines(RunTool({"dump", Table(), "--index", "ByAge"}).out);
  ASSERT_EQ(by_age.size(), 5u);
  EXPECT_EQ(by_age[0]["recno"], 4);
  EXPECT_EQ(by_age[4]["recno"], 5);
}

TEST_F(DbInsertAndDumpTest, DumpArgumentErrors) {
  CreateTable({{"fields", {{{"name", "Name"}, {"type", "string"}, {"size", 10}}}},
               {"indexes", {{{"name", "ByName"}, {"fields", {"Name"}}}}}});
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"--index", "ByCity"}, "Vora Engine Error # 10022 "},
      {{"--range-start", R"("A")", "--range-end", R"("B")"}, "a range needs an index"},
      {{"--index", "ByName", "--range-start", R"("A")"}, "--range-start and --range-end go together"},
      {{"--index", "ByName", "--range-start", R"(["A", "B"])", "--range-end", R"("B")"}, "must give 1 to 1 values"},
      {{"--index", "ByName", "--range-start", "[", "--range-end", R"("B")"}, "--range-start is not JSON"},
      {{"--index", "ByName", "--range-start", "7", "--range-end", R"("B")"}, "field 'Name': expected a string"},
      {{"--filter", "Name='A'"}, "unknown option --filter"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> args = {"dump", Table()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const testing::Outcome r = RunTool(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  const testing::Outcome missing = RunTool({"dump", (dir_ / "Missing").string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err.rfind("telvora-db: Vora Engine Error # 11010 ", 0), 0u) << missing.err;
}

}  // namespace
}  // namespace telvora::tools
