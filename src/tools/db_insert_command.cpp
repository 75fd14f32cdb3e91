#include "tools/db_insert_command.h"

#include <fstream>
#include <iostream>
#include <ostream>
#include <stdexcept>

#include "tools/component_table.h"
#include "tools/json_lines_insert.h"

namespace telvora::tools {
namespace {

int RunInsert(const std::vector<std::string>& args, std::ostream& out) {
  CommandLine line(args, {"password"}, {});
  line.ExpectPositional(2, "TABLE and FILE");
  const TableArgument table = ParseTableArgument(line.positional()[0]);
  const std::string& path = line.positional()[1];
  std::ifstream file;
  if (path != "-") {
    file.open(path);
    if (!file) throw std::runtime_error("cannot read '" + path + "'");
  }
  ComponentTable opened(table, line.Value("password").value_or(""));
  const std::int64_t count = InsertJsonLines(opened.table(), path == "-" ? std::cin : file);
  out << count << "\n";
  return kExitSuccess;
}

}  // namespace

DbCommand InsertCommand() {
  return DbCommand{
      "insert", "TABLE FILE [--password P]", "Insert records from JSON lines; print the number inserted.",
      "FILE (- for standard input) holds one JSON object per line mapping field names to values;\n"
      "missing fields take their defaults; auto-increment values are assigned by the table.\n"
      "A failing line stops the insert with its line number and nothing stays inserted.",
      RunInsert};
}

}  // namespace telvora::tools
