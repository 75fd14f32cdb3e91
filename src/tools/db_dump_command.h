#pragma once
// telvora-db dump TABLE [--index NAME] [--range-start JSON --range-end JSON]:
// the visible records in the cursor's order, one JSON line each:
// {"recno": slot number, "fields": {name: value, ...}}.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "engine/data_cursor.h"
#include "tools/db_tool.h"
#include "tools/table_argument.h"

namespace telvora::tools {

// Everything the dump's command line says; options that narrow or reorder
// the records are added here and in ParseDumpOptions.
struct DumpOptions {
  TableArgument table;
  std::string password;
  std::optional<std::string> index;
  // JSON: an array of the index fields' values, or one value.
  std::optional<std::string> range_start;
  std::optional<std::string> range_end;
};

DumpOptions ParseDumpOptions(const std::vector<std::string>& args);

// Sets the order and range of an open cursor and writes its records.
void DumpRecords(engine::TDataCursor& cursor, const DumpOptions& options, std::ostream& out);

DbCommand DumpCommand();

}  // namespace telvora::tools
