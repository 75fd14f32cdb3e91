// telvora-db create and create-phonebook: schemas become tables through the
// engine's creation checks, refusals carry the engine's code, and the phone
// book's table is the one the program expects.

#include <gtest/gtest.h>

#include <filesystem>
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

class DbCreateCommandTest : public ::testing::Test {
 protected:
  std::string Table() const { return (dir_ / "T").string(); }
  testing::Outcome Create(const json& schema, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"create", Table(), "--schema", WriteFile(dir_ / "schema.json", schema.dump())};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunTool(args);
  }
  json Info() {
    const testing::Outcome r = RunTool({"info", Table()});
    EXPECT_EQ(r.status, 0) << r.err;
    return json::parse(r.out);
  }

  telvora::testing::TempDir dir_;
};

TEST_F(DbCreateCommandTest, SchemaTypesAndIndexesReachTheTable) {
  const json schema = {
      {"language", 0x0429},
      {"description", "دفتر"},
      {"fields",
       {{{"name", "Id"}, {"type", "autoinc"}},
        {{"name", "Name"}, {"type", "string"}, {"size", 20}, {"required", true}, {"case", "upper"}},
        {{"name", "Price"}, {"type", "money"}, {"min", "0"}, {"max", "1000"}},
        {{"name", "Amount"}, {"type", "bcd"}, {"decimals", 2}, {"default", "1.5"}},
        {{"name", "Note"}, {"type", "memo"}},
        {{"name", "Pic"}, {"type", "graphic"}},
        {{"name", "Raw"}, {"type", "varbytes"}, {"size", 8}}}},
      {"primaryIndex", {{"fields", {"Id"}}}},
      {"indexes", {{{"name", "ByName"}, {"fields", {"name", "Price"}}, {"descending", true}, {"compression", "full"}}}},
      {"textIndexFields", {"Note"}}};
  const testing::Outcome r = Create(schema);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TABLE_SOUND(dir_ / "T");

  const json info = Info();
  EXPECT_EQ(info["language"], 0x0429);
  EXPECT_EQ(info["description"], "دفتر");
  EXPECT_EQ(info["blobBlockSize"], 512);  // the engine's default
  const struct {
    int field;
    const char* type;
    int subtype;
  } types[] = {{0, "integer", 29}, {1, "string", 0}, {2, "float", 21}, {3, "bcd", 0},
               {4, "blob", 22},    {5, "blob", 26},  {6, "varbytes", 0}};
  for (const auto& t : types) {
    SCOPED_TRACE(t.field);
    EXPECT_EQ(info["fields"][t.field]["type"], t.type);
    EXPECT_EQ(info["fields"][t.field]["subtype"], t.subtype);
  }
  EXPECT_EQ(info["fields"][1]["required"], true);
  EXPECT_EQ(info["fields"][1]["case"], "upper");
  EXPECT_EQ(info["fields"][2]["max"], "1000");
  EXPECT_EQ(info["fields"][3]["decimals"], 2);
  EXPECT_EQ(info["fields"][3]["default"], "1.5");
  EXPECT_EQ(info["fields"][6]["size"], 8);
  EXPECT_EQ(info["primaryIndex"]["fields"], json::array({"Id"}));
  ASSERT_EQ(info["indexes"].size(), 1u);
  EXPECT_EQ(info["indexes"][0]["name"], "ByName");
  EXPECT_EQ(info["indexes"][0]["fields"], json::array({"Name", "Price"}));  // names match without case
  EXPECT_EQ(info["indexes"][0]["descending"], true);
  EXPECT_EQ(info["indexes"][0]["unique"], false);
  EXPECT_EQ(info["indexes"][0]["compression"], "full");
  EXPECT_EQ(info["textIndexFields"], json::array({"Note"}));
}

TEST_F(DbCreateCommandTest, EngineRefusalsCarryTheEngineCode) {
  const json name = {{"name", "Name"}, {"type", "string"}, {"size", 250}};
  const struct {
    const char* what;
    json schema;
    int code;
  } cases[] = {
      {"password too long", {{"password", "0123456789abcdef"}, {"fields", {name}}}, 10015},
      {"locale not installed", {{"language", 0x7777}, {"fields", {name}}}, 15878},
      {"BLOB block too small", {{"blobBlockSize", 32}, {"fields", {name}}}, 9498},
      {"field name starts with a digit", {{"fields", {{{"name", "1st"}, {"type", "integer"}}}}}, 10038},
      {"field name repeated", {{"fields", {name, {{"name", "NAME"}, {"type", "integer"}}}}}, 10038},
      {"string larger than 250", {{"fields", {{{"name", "S"}, {"type", "string"}, {"size", 251}}}}}, 10000},
      {"size beyond a byte", {{"fields", {{{"name", "S"}, {"type", "bytes"}, {"size", 256 + 10}}}}}, 10000},
      {"bad default date", {{"fields", {{{"name", "D"}, {"type", "date"}, {"default", "tomorrow"}}}}}, 10006},
      {"index name starts with a digit",
       {{"fields", {name}}, {"indexes", {{{"name", "9x"}, {"fields", {"Name"}}}}}}, 10022},
      {"index names repeat",
       {{"fields", {name}},
        {"indexes", {{{"name", "ByName"}, {"fields", {"Name"}}}, {{"name", "byname"}, {"fields", {"Name"}}}}}},
       10027},
      {"index on a field that does not exist",
       {{"fields", {name}}, {"indexes", {{{"name", "ByX"}, {"fields", {"Missing"}}}}}}, 10023},
      {"index on a memo",
       {{"fields", {{{"name", "M"}, {"type", "memo"}}}}, {"indexes", {{{"name", "ByM"}, {"fields", {"M"}}}}}}, 12292},
      {"key longer than 522",
       {{"fields", {name, {{"name", "B"}, {"type", "string"}, {"size", 250}}, {{"name", "C"}, {"type", "string"}, {"size", 250}}}},
        {"primaryIndex", {{"fields", {"Name", "B", "C"}}}}},
       10026},
      {"secondary index without fields", {{"fields", {name}}, {"indexes", {{{"name", "Empty"}}}}}, 10026},
      {"text index on a number",
       {{"fields", {{{"name", "N"}, {"type", "integer"}}}}, {"textIndexFields", {"N"}}}, 12292},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const testing::Outcome r = Create(c.schema);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("telvora-db: Vora Engine Error # " + std::to_string(c.code) + " ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "T.dat"));
  }
}

TEST_F(DbCreateCommandTest, MalformedSchemasAreRefusedBeforeTheEngine) {
  const struct {
    const char* what;
    std::string schema;
    const char* message;
  } cases[] = {
      {"not JSON", "{\"fields\": [", "is not JSON"},
      {"unknown type", R"({"fields": [{"name": "A", "type": "text"}]})", "field 1: unknown type \"text\""},
      {"misspelt key", R"({"fields": [{"name": "A", "type": "string", "sise": 3}]})", "field 1: unknown key \"sise\""},
      {"wrong kind of value", R"({"fields": [{"name": "A", "type": "string", "size": "3"}]})", "\"size\" must be a whole number"},
      {"unknown compression",
       R"({"fields": [{"name": "A", "type": "integer"}], "primaryIndex": {"fields": ["A"], "compression": "zip"}})",
       "\"compression\" must be"},
      {"text the code page cannot store", R"({"description": "日本", "fields": []})", "code page"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const testing::Outcome r =
        RunTool({"create", Table(), "--schema", WriteFile(dir_ / "schema.json", c.schema)});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "T.dat"));
  }
  const testing::Outcome missing = RunTool({"create", Table(), "--schema", (dir_ / "none.json").string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("cannot read the schema file"), std::string::npos) << missing.err;
  EXPECT_EQ(RunTool({"create", Table()}).status, 2);  // --schema is required
}

TEST_F(DbCreateCommandTest, AnExistingTableNeedsForce) {
  const json first = {{"fields", {{{"name", "A"}, {"type", "integer"}}}}};
  const json second = {{"fields", {{{"name", "B"}, {"type", "string"}, {"size", 5}}}}};
  ASSERT_EQ(Create(first).status, 0);
  const testing::Outcome again = Create(second);
  EXPECT_EQ(again.status, 2);
  EXPECT_EQ(again.err.rfind("telvora-db: Vora Engine Error # 13060 ", 0), 0u) << again.err;
  EXPECT_EQ(Info()["fields"][0]["name"], "A");

  const testing::Outcome forced = Create(second, {"--force"});
  ASSERT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(Info()["fields"][0]["name"], "B");
  EXPECT_TABLE_SOUND(dir_ / "T");
}

TEST(DbCreatePhoneBookTest, MakesThePhoneBooksTable) {
  telvora::testing::TempDir dir;
  const testing::Outcome r = RunTool({"create-phonebook", dir.path().string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TABLE_SOUND(dir / "PhoneBook");

  const testing::Outcome info_run = RunTool({"info", (dir / "PhoneBook").string()});
  ASSERT_EQ(info_run.status, 0) << info_run.err;
  const json info = json::parse(info_run.out);
  EXPECT_EQ(info["language"], 0x0429);  // Farsi: code page 1256
  const std::pair<const char*, int> fields[] = {{"Name", 60},   {"Family", 70}, {"Tel1", 12},
                                                {"Tel2", 12},   {"Mobile", 16}, {"Address", 65}};
  ASSERT_EQ(info["fields"].size(), std::size(fields));
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    EXPECT_EQ(info["fields"][i]["name"], fields[i].first);
    EXPECT_EQ(info["fields"][i]["type"], "string");
    EXPECT_EQ(info["fields"][i]["size"], fields[i].second);
  }
  // Slot order is the order of entry: no primary key. Every searchable
  // field (all but the fax number) has an index for the search filters.
  EXPECT_EQ(info["primaryIndex"], nullptr);
  std::vector<json> indexed;
  for (const json& index : info["indexes"]) indexed.push_back(index["fields"]);
  EXPECT_EQ(indexed, (std::vector<json>{json::array({"Name"}), json::array({"Family"}), json::array({"Tel1"}),
                                        json::array({"Mobile"}), json::array({"Address"})}));

  const testing::Outcome again = RunTool({"create-phonebook", dir.path().string()});
  EXPECT_EQ(again.status, 2);
  EXPECT_EQ(again.err.rfind("telvora-db: Vora Engine Error # 13060 ", 0), 0u) << again.err;
  EXPECT_EQ(RunTool({"create-phonebook", dir.path().string(), "--force"}).status, 0);
}

}  // namespace
}  // namespace telvora::tools
