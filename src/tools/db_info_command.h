#pragma once
// telvora-db info TABLE: one JSON object describing the table.

#include "storage/data_table.h"
#include "tools/db_tool.h"

namespace telvora::tools {

DbCommand InfoCommand();

// Levels of an index's tree, counted along its first children: 0 for an
// empty index, 1 for a root leaf.
int IndexDepth(storage::TDataTable& table, int slot);

}  // namespace telvora::tools
