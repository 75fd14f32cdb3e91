#include "tools/db_repair_command.h"

#include <filesystem>
#include <memory>
#include <ostream>

#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "storage/table_file_names.h"
#include "tools/data_file_length_mend.h"
#include "tools/table_backup.h"
#include "tools/table_repair.h"
#include "tools/table_verify.h"
#include "tools/tool_table.h"

namespace telvora::tools {
namespace {

int RunRepair(const std::vector<std::string>& args, std::ostream& out) {
  CommandLine line(args, {"password"}, {});
  line.ExpectPositional(1, "one TABLE");
  const TableArgument argument = ParseTableArgument(line.positional()[0]);
  const storage::TableFileNames files = storage::MakeTableFileNames(argument.folder, argument.name);
  std::error_code ignored;
  const bool index_existed = std::filesystem::exists(files.index, ignored);

  // Exclusively: no other program may read a half-rebuilt index or write
  // between the backup and the rebuild. The engine refuses a data file
  // longer than its header counts (an insert killed half way); only then,
  // when the exclusive open has shown that no program holds the table, is
  // the length mended on the raw file and the table opened again.
  std::unique_ptr<ToolTable> opened;
  try {
    opened = std::make_unique<ToolTable>(argument, /*exclusive=*/true, line.Value("password").value_or(""));
  } catch (const storage::EVoraEngineError& e) {
    if (e.EngineCode != storage::VORA_HEADERCORRUPT) throw;
    const std::vector<std::string> mended = MendDataFileLength(files.data);
    if (mended.empty()) throw;
    for (const std::string& done : mended) out << done << "\n";
    opened = std::make_unique<ToolTable>(argument, /*exclusive=*/true, line.Value("password").value_or(""));
  }
  storage::TDataTable& table = opened->table();
  // An index file the engine has just recreated holds nothing worth keeping.
  for (const std::string& backup : BackUpTableFiles(table, index_existed)) out << "backup: " << backup << "\n";
  if (!index_existed) {
    out << "found: index file missing; recreated empty (its index definitions are lost: the table keeps "
           "record-number order)\n";
  }
  for (const TableProblem& p : VerifyTable(table)) out << "found: " << p.Text() << "\n";
  for (const std::string& change : RebuildTable(table)) out << "changed: " << change << "\n";
  const std::vector<TableProblem> left = VerifyTable(table);
  for (const TableProblem& p : left) out << "left: " << p.Text() << "\n";
  out << (left.empty() ? "result: sound\n" : "result: not sound\n");
  return left.empty() ? kExitSuccess : kExitCheckFailed;
}

}  // namespace

DbCommand RepairCommand() {
  return DbCommand{
      "repair", "TABLE [--password P]",
      "Back the table's files up and rebuild its indexes, deleted-record chain and counters from its records.",
      "Takes the table exclusively. Each file F is first copied to F.bak (F.bak2, ... when taken).\n"
      "Prints one line per item: \"backup: PATH\", \"found: PROBLEM\" (what verify finds before),\n"
      "\"changed: WHAT\", \"left: PROBLEM\" (what verify still finds after) and \"result: sound\"\n"
      "or \"result: not sound\". Records are never dropped: two records with one key in a unique\n"
      "index stop the repair before anything changes. BLOB chains are not rebuilt.\n"
      "Exit status 0 when the table is sound afterwards, 1 when problems are left, 2 on an error.\n"
      "--password P  the password of an encrypted table.",
      RunRepair};
}

}  // namespace telvora::tools
