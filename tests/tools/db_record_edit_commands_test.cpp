// telvora-db delete and update: one record by its slot number, through the
// cursor's edit start, post and delete, so that every engine check applies
// and a refused change leaves the table's files as they were.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "storage/engine_error.h"
#include "support/table_check.h"
#include "support/temp_dir.h"
#include "tools/db_record_edit_commands.h"
#include "tools/db_tool_runner.h"

namespace telvora::tools {
namespace {

using nlohmann::json;
using testing::DumpedFields;
using testing::RunTool;
using testing::WriteFile;

class DbRecordEditCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const json schema = {
        {"language", 0x0429},
        {"fields",
         {{{"name", "Id"}, {"type", "autoinc"}},
          {{"name", "Name"}, {"type", "string"}, {"size", 12}, {"required", true}},
          {{"name", "Age"}, {"type", "integer"}, {"max", "150"}},
          {{"name", "Note"}, {"type", "memo"}}}},
        {"indexes", {{{"name", "ByName"}, {"fields", {"Name"}}, {"unique", true}}}}};
    ASSERT_EQ(RunTool({"create", Table(), "--schema", WriteFile(dir_ / "schema.json", schema.dump())}).status, 0);
    const std::string lines =
        "{\"Name\": \"Ava\", \"Age\": 30, \"Note\": \"old note\"}\n"
        "{\"Name\": \"Bob\", \"Age\": 40}\n"
        "{\"Name\": \"Cy\", \"Age\": 50}\n";
    ASSERT_EQ(RunTool({"insert", Table(), WriteFile(dir_ / "r.jsonl", lines)}).status, 0);
  }
  std::string Table() const { return (dir_ / "T").string(); }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const json& f : DumpedFields(Table())) names.push_back(f["Name"]);
    return names;
  }

  telvora::testing::TempDir dir_;
};

TEST_F(DbRecordEditCommandsTest, UpdateChangesOnlyTheGivenFields) {
  testing::Outcome r = RunTool({"update", Table(), "--recno", "1", "--set", R"({"name": "آوا", "Note": "نامه نو"})"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  r = RunTool({"update", Table(), "--recno", "2", "--set", R"({"Age": null, "Note": "x"})"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunTool({"update", Table(), "--recno", "2", "--set", R"({"Note": null})"});
  ASSERT_EQ(r.status, 0) << r.err;

  const std::vector<json> fields = DumpedFields(Table());
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0], (json{{"Id", 1}, {"Name", "آوا"}, {"Age", 30}, {"Note", "نامه نو"}}));
  EXPECT_EQ(fields[1], (json{{"Id", 2}, {"Name", "Bob"}, {"Age", nullptr}, {"Note", nullptr}}));
  // The index entry moved with the name: Farsi collation puts Arabic script
  // before Latin.
  std::vector<std::string> by_name;
  for (const json& f : DumpedFields(Table(), {"--index", "ByName"})) by_name.push_back(f["Name"]);
  EXPECT_EQ(by_name, (std::vector<std::string>{"آوا", "Bob", "Cy"}));
  EXPECT_TABLE_SOUND(dir_ / "T");
}

TEST_F(DbRecordEditCommandsTest, DeleteTakesTheRecordOut) {
  testing::Outcome r = RunTool({"delete", Table(), "--recno", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Names(), (std::vector<std::string>{"Ava", "Cy"}));
  EXPECT_EQ(DumpedFields(Table(), {"--index", "ByName"}).size(), 2u);
  // The memo goes with its record.
  r = RunTool({"delete", Table(), "--recno", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Names(), (std::vector<std::string>{"Cy"}));
  EXPECT_TABLE_SOUND(dir_ / "T");
}

TEST_F(DbRecordEditCommandsTest, RefusedEditsLeaveTheFilesAsTheyWere) {
  ASSERT_EQ(RunTool({"delete", Table(), "--recno", "3"}).status, 0);
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"delete", "--recno", "3"}, "record 3 is not an active record of the table"},  // deleted
      {{"delete", "--recno", "4"}, "record 4 is not an active record of the table"},  // beyond the last
      {{"update", "--recno", "3", "--set", R"({"Age": 1})"}, "record 3 is not an active record of the table"},
      {{"delete", "--recno", "0"}, "--recno must be a record number from 1"},
      {{"delete", "--recno", "2x"}, "--recno must be a record number from 1"},
      {{"delete"}, "option --recno is required"},
      {{"update", "--recno", "1"}, "option --set is required"},
      {{"update", "--recno", "1", "--set", "{"}, "--set is not JSON"},
      {{"update", "--recno", "1", "--set", "[]"}, "--set must be a JSON object"},
      {{"update", "--recno", "1", "--set", R"({"City": "Qom"})"}, "unknown field 'City'"},
      {{"update", "--recno", "1", "--set", R"({"Id": 9})"}, "field 'Id': an auto-increment value"},
      {{"update", "--recno", "1", "--set", R"({"Age": "old"})"}, "field 'Age': expected a number"},
      {{"update", "--recno", "1", "--set", R"({"Name": "Bob"})"}, "Vora Engine Error # 9729 "},
      {{"update", "--recno", "1", "--set", R"({"Name": null})"}, "Vora Engine Error # 9732 "},
      {{"update", "--recno", "1", "--set", R"({"Age": 151, "Note": "lost"})"}, "Vora Engine Error # 9731 "},
  };
  const auto bytes_before = telvora::testing::TableFileBytes(dir_.path(), "T");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> args = {c.args[0], Table()};
    args.insert(args.end(), c.args.begin() + 1, c.args.end());
    const testing::Outcome r = RunTool(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(telvora::testing::TableFileBytes(dir_.path(), "T"), bytes_before);
  }
  EXPECT_EQ(DumpedFields(Table())[0]["Note"], "old note");
  EXPECT_TABLE_SOUND(dir_ / "T");
}

TEST_F(DbRecordEditCommandsTest, ARecordLockedByAnotherCursorIsRefused) {
  engine::TDataSession session;
  engine::TDataDirectory& directory = session.OpenDirectory("", dir_.path().string());
  {
    engine::TDataCursor holder(directory);
    holder.SetTableName("T");
    holder.SetOpenInNaturalOrder(true);
    holder.OpenCursor();
    std::vector<std::uint8_t> buffer(holder.RecordSize());
    ASSERT_EQ(holder.MoveNext(buffer), 0);
    ASSERT_EQ(holder.GetCurrentRecord(buffer, true), 0);  // an edit in progress on record 1

    engine::TDataCursor editor(directory);
    editor.SetTableName("T");
    editor.SetOpenInNaturalOrder(true);
    editor.OpenCursor();
    const std::function<void()> edits[] = {
        [&] { UpdateRecordAt(editor, 1, {{"Age", 31}}); },
        [&] { DeleteRecordAt(editor, 1); },
    };
    for (const auto& edit : edits) {
      try {
        edit();
        ADD_FAILURE() << "the locked record was changed";
      } catch (const storage::EVoraEngineError& e) {
        EXPECT_EQ(e.EngineCode, 10258u);
      }
    }
    // Record 2 is free.
    UpdateRecordAt(editor, 2, {{"Age", 41}});
    holder.CancelEdit();
    UpdateRecordAt(editor, 1, {{"Age", 31}});
  }
  session.CloseDirectory(directory);
  const std::vector<json> fields = DumpedFields(Table());
  EXPECT_EQ(fields[0]["Age"], 31);
  EXPECT_EQ(fields[1]["Age"], 41);
  EXPECT_TABLE_SOUND(dir_ / "T");
}

}  // namespace
}  // namespace telvora::tools
