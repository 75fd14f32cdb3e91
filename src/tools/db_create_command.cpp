#include "tools/db_create_command.h"

#include <fstream>
#include <ostream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "engine/phone_book_table.h"
#include "tools/cursor_table.h"
#include "tools/table_schema.h"

namespace telvora::tools {
namespace {

nlohmann::json ReadSchema(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw std::runtime_error("cannot read the schema file '" + path + "'");
  try {
    return nlohmann::json::parse(file);
  } catch (const nlohmann::json::exception& e) {
    throw std::runtime_error("the schema file '" + path + "' is not JSON: " + e.what());
  }
}

int RunCreate(const std::vector<std::string>& args, std::ostream&) {
  CommandLine line(args, {"schema"}, {"force"});
  line.ExpectPositional(1, "one TABLE");
  const TableArgument table = ParseTableArgument(line.positional()[0]);
  const engine::TTableDescription description = TableDescriptionFromSchema(ReadSchema(line.Require("schema")));
  CreateTableAt(table, description, line.Has("force"));
  return kExitSuccess;
}

int RunCreatePhoneBook(const std::vector<std::string>& args, std::ostream&) {
  CommandLine line(args, {}, {"force"});
  line.ExpectPositional(1, "one DIR");
  std::string folder = line.positional()[0];
  if (!folder.empty() && folder.back() != '/') folder += '/';
  CreateTableAt({folder, std::string(engine::kPhoneBookTableName)}, engine::PhoneBookTableDescription(),
                line.Has("force"));
  return kExitSuccess;
}

}  // namespace

DbCommand CreateCommand() {
  return DbCommand{
      "create", "TABLE --schema FILE [--force]", "Create a table from a JSON schema.",
      "Schema: {\"language\", \"sort\", \"description\", \"blobBlockSize\", \"password\",\n"
      "  \"fields\": [{\"name\", \"type\", \"size\", \"decimals\", \"required\", \"min\", \"max\",\n"
      "  \"default\", \"case\"}], \"primaryIndex\": {\"fields\", \"descending\", \"caseInsensitive\",\n"
      "  \"compression\"} or null, \"indexes\": [{\"name\", \"fields\", \"unique\", \"descending\",\n"
      "  \"caseInsensitive\", \"compression\"}], \"textIndexFields\": [names]}.\n"
      "Types: string date blob boolean smallint integer float bcd bytes time timestamp word\n"
      "varbytes largeint, and autoinc money memo graphic. Missing keys take the engine's defaults.\n"
      "--force  replace an existing table (without it an existing table is an error).",
      RunCreate};
}

DbCommand CreatePhoneBookCommand() {
  return DbCommand{"create-phonebook", "DIR [--force]", "Create the phone book's own table PhoneBook in DIR.",
                   "Six string fields Name, Family, Tel1, Tel2, Mobile, Address; Farsi (code page 1256);\n"
                   "no primary key; an index on each searchable field.\n"
                   "--force  replace an existing PhoneBook table.",
                   RunCreatePhoneBook};
}

}  // namespace telvora::tools
