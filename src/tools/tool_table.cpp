#include "tools/tool_table.h"

namespace telvora::tools {

ToolTable::ToolTable(const TableArgument& table, bool exclusive, const std::string& password) {
  session_.AddPassword(password);
  directory_ = &session_.OpenDirectory("", table.folder);
  try {
    table_ = &directory_->OpenTableForCursor(table.name, {.exclusive = exclusive});
  } catch (...) {
    session_.CloseDirectory(*directory_);
    throw;
  }
}

ToolTable::~ToolTable() {
  try {
    directory_->CloseTable(*table_);
  } catch (...) {
    // A close that fails cannot be reported from here; the files are
    // closed regardless.
  }
  session_.CloseDirectory(*directory_);
}

}  // namespace telvora::tools
