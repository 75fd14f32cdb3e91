#pragma once
// One table opened by a command-line tool the way a cursor opens it: through
// an engine session and the directory of the table's folder, with the first
// user's header checks. Closed again when the object goes.

#include <memory>
#include <string>

#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "storage/data_table.h"
#include "tools/table_argument.h"

namespace telvora::tools {

class ToolTable {
 public:
  // `password` is offered when the table is encrypted (empty: none).
  ToolTable(const TableArgument& table, bool exclusive, const std::string& password = {});
  ~ToolTable();
  ToolTable(const ToolTable&) = delete;
  ToolTable& operator=(const ToolTable&) = delete;

  storage::TDataTable& table() { return *table_; }
  engine::TDataSession& session() { return session_; }

 private:
  engine::TDataSession session_;
  engine::TDataDirectory* directory_ = nullptr;
  storage::TDataTable* table_ = nullptr;
};

}  // namespace telvora::tools
