#include "tools/db_verify_command.h"

#include <filesystem>
#include <ostream>

#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "storage/table_file_names.h"
#include "tools/tool_table.h"

namespace telvora::tools {
namespace {

// Engine failures on opening that describe the files, not the circumstances.
bool IsDamage(std::uint32_t code) {
  switch (code) {
    case storage::VORA_HEADERCORRUPT:
    case storage::VORA_FILECORRUPT:
    case storage::VORA_MEMOCORRUPT:
    case storage::VORA_INDEXCORRUPT:
    case storage::VORA_READERR:
    case storage::VORA_OLDVERSION:
    case storage::VORA_CANNOTLOADLDDRV:
      return true;
    default:
      return false;
  }
}

int RunVerify(const std::vector<std::string>& args, std::ostream& out) {
  CommandLine line(args, {"password"}, {});
  line.ExpectPositional(1, "one TABLE");
  const TableArgument argument = ParseTableArgument(line.positional()[0]);
  const std::vector<TableProblem> problems = VerifyTableAt(argument, line.Value("password").value_or(""));
  for (const TableProblem& p : problems) out << p.Text() << "\n";
  return problems.empty() ? kExitSuccess : kExitCheckFailed;
}

}  // namespace

std::vector<TableProblem> VerifyTableAt(const TableArgument& argument, const std::string& password) {
  namespace fs = std::filesystem;
  const storage::TableFileNames files = storage::MakeTableFileNames(argument.folder, argument.name);
  const std::string data_name = fs::path(files.data).filename().string();
  const std::string index_name = fs::path(files.index).filename().string();
  std::error_code ignored;
  // Opening replaces a lost index file with an empty one; a check must not
  // change the table, so it looks first.
  if (fs::is_regular_file(files.data, ignored) && !fs::exists(files.index, ignored)) {
    return {{index_name, "-", "index file missing (the engine would recreate an empty one and lose the index definitions)"}};
  }
  try {
    ToolTable opened(argument, /*exclusive=*/false, password);
    storage::TDataTable& table = opened.table();
    table.SharedLock();
    std::vector<TableProblem> problems;
    try {
      problems = VerifyTable(table);
    } catch (const storage::EVoraEngineError& e) {
      table.SharedUnlock();
      if (!IsDamage(e.EngineCode)) throw;
      return {{data_name, "-", e.what()}};
    } catch (...) {
      table.SharedUnlock();
      throw;
    }
    table.SharedUnlock();
    return problems;
  } catch (const storage::EVoraEngineError& e) {
    const bool lost_file = e.EngineCode == storage::VORA_OSENOENT && fs::is_regular_file(files.data, ignored);
    if (!IsDamage(e.EngineCode) && !lost_file) throw;
    return {{data_name, "-", e.what()}};
  }
}

DbCommand VerifyCommand() {
  return DbCommand{
      "verify", "TABLE [--password P]", "Check every structure of the table; print each problem on a line of its own.",
      "Checks the record slots and values, the deleted-record chain, the counters, every index\n"
      "tree against the records, the free page chains and the BLOB chains. Changes nothing.\n"
      "Each problem is one line: FILE: WHERE: REASON. Exit status 0 when the table is sound,\n"
      "1 when a problem was found, 2 on an error.\n"
      "--password P  the password of an encrypted table.",
      RunVerify};
}

}  // namespace telvora::tools
