#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "storage/field_types.h"
#include "storage/sample_tables.h"
#include "support/table_check.h"
#include "support/temp_dir.h"
#include "tools/db_tool.h"

namespace telvora::tools {
namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome RunTool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = RunDbTool(args, out, err);
  return {status, out.str(), err.str()};
}

storage::TIndexDescriptor Index(const char* name, std::uint16_t field, std::int16_t key_length, bool unique) {
  storage::TIndexDescriptor d;
  d.SetName(name);
  d.SetKeyFieldCount(1);
  d.SetKeyFieldNumber(0, field);
  d.SetKeyLength(key_length);
  d.SetUnique(unique);
  d.SetCompression(storage::KeyCompression::Both);
  return d;
}

// A contacts table in Farsi with a primary index on Name and a secondary
// index on Family, written through the engine.
void CreateContacts(const std::string& folder) {
  engine::TDataSession session;
  engine::TDataDirectory& directory = session.OpenDirectory("", folder);
  engine::TTableDefinition def;
  def.creation.language_id = 0x0429;
  def.creation.description = "\xCF\xDD\xCA\xD1 \xCA\xE1\xDD\xE4";  // "دفتر تلفن" in code page 1256
  def.fields = storage::testing::MakeDescriptors({{"Name", storage::kTypeString, 0, 60, 0},
                                                  {"Family", storage::kTypeString, 0, 70, 0},
                                                  {"Born", storage::kTypeDate, 0, 0, 0},
                                                  {"Id", storage::kTypeInteger, storage::kSubtypeAutoInc, 0, 0}});
  def.fields[0].SetRequired(true);
  def.fields[1].SetCase(storage::CharacterCase::Upper);
  def.fields[2].SetMinimumText("1900-01-01");
  def.primary = Index("", 1, 62, true);  // flag byte + 61 value bytes
  def.secondary = {Index("ByFamily", 2, 72 + 4, false)};  // + the record-id suffix
  directory.CreateTable("Contacts", def, false, false);
  session.CloseDirectory(directory);
}

TEST(DbInfoCommandTest, DescribesHeaderFieldsAndIndexes) {
  testing::TempDir dir;
  CreateContacts(dir.path().string());
  EXPECT_TABLE_SOUND(dir / "Contacts");

  for (const std::string table : {"Contacts", "Contacts.dat"}) {
    Outcome r = RunTool({"info", (dir / table).string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto info = nlohmann::json::parse(r.out);
    EXPECT_EQ(info["name"], table);
    EXPECT_EQ(info["language"], 0x0429);
    EXPECT_EQ(info["sort"], 0);
    EXPECT_EQ(info["description"], "\u062F\u0641\u062A\u0631 \u062A\u0644\u0641\u0646");
    EXPECT_EQ(info["encrypted"], false);
    EXPECT_EQ(info["version"], 5);
    // 9 + (61 + 1) + (71 + 1) + (4 + 1); the auto-increment field has no slot.
    EXPECT_EQ(info["recordSize"], 9 + 62 + 72 + 5);
    EXPECT_EQ(info["physicalRecords"], 0);
    EXPECT_EQ(info["activeRecords"], 0);
    EXPECT_EQ(info["nextAutoInc"], 1);
    EXPECT_EQ(info["blobBlockSize"], 512);

    const auto& fields = info["fields"];
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[0], (nlohmann::json{{"number", 1}, {"name", "Name"}, {"type", "string"}, {"subtype", 0},
                                         {"size", 60}, {"decimals", 0}, {"offset", 9}, {"required", true},
                                         {"min", nullptr}, {"max", nullptr}, {"default", nullptr},
                                         {"case", "none"}}));
    EXPECT_EQ(fields[1]["case"], "upper");
    EXPECT_EQ(fields[1]["offset"], 9 + 62);
    EXPECT_EQ(fields[2]["type"], "date");
    EXPECT_EQ(fields[2]["min"], "1900-01-01");
    EXPECT_EQ(fields[3]["type"], "integer");
    EXPECT_EQ(fields[3]["subtype"], 29);
    EXPECT_EQ(fields[3]["offset"], 5);

    const auto& primary = info["primaryIndex"];
    EXPECT_EQ(primary["fields"], nlohmann::json::array({"Name"}));
    EXPECT_EQ(primary["unique"], true);
    EXPECT_EQ(primary["compression"], "full");
    EXPECT_EQ(primary["keyLength"], 62);
    EXPECT_EQ(primary["depth"], 0);
    EXPECT_EQ(primary["entries"], 0);
    ASSERT_EQ(info["indexes"].size(), 1u);
    EXPECT_EQ(info["indexes"][0]["name"], "ByFamily");
    EXPECT_EQ(info["indexes"][0]["unique"], false);
    EXPECT_EQ(info["indexes"][0]["keyLength"], 76);
    EXPECT_EQ(info["textIndexFields"], nlohmann::json::array());
  }
}

TEST(DbInfoCommandTest, ErrorsAreOneLineWithExitStatusTwo) {
  testing::TempDir dir;
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{}, "telvora-db: no command given; try 'telvora-db --help'\n"},
      {{"infos"}, "telvora-db: unknown command 'infos'; try 'telvora-db --help'\n"},
      {{"info"}, "telvora-db: expected one TABLE; usage: telvora-db info TABLE [--password P]\n"},
      {{"info", "x", "--pasword", "p"}, "telvora-db: unknown option --pasword; usage: telvora-db info TABLE [--password P]\n"},
      {{"info", (dir / "Missing").string()}, "telvora-db: Vora Engine Error # 11010 Table 'Missing' does not exist\n"},
  };
  for (const auto& c : cases) {
    Outcome r = RunTool(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
  Outcome help = RunTool({"info", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: telvora-db info TABLE"), std::string::npos);
}

}  // namespace
}  // namespace telvora::tools
