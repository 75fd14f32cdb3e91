#pragma once
// telvora-db verify TABLE: every structure of the table checked; the
// problems printed one per line; exit 1 when there is any.

#include <string>
#include <vector>

#include "tools/db_tool.h"
#include "tools/table_argument.h"
#include "tools/table_verify.h"

namespace telvora::tools {

DbCommand VerifyCommand();

// Checks the table at the argument without changing it. A table whose files
// fail the engine's opening checks (a lost index or BLOB file, corrupt
// headers, a wrong version, files shorter than their headers say) yields
// that failure as its one problem: the table is not sound. Other failures
// (no data file, no access, the table in exclusive use) are raised.
std::vector<TableProblem> VerifyTableAt(const TableArgument& argument, const std::string& password);

}  // namespace telvora::tools
