#pragma once
// telvora-db repair TABLE: takes the table exclusively, backs its files up,
// rebuilds its indexes, deleted-record chain and counters from the records
// and reports what it found, what it changed and what the check says after.

#include "tools/db_tool.h"

namespace telvora::tools {

DbCommand RepairCommand();

}  // namespace telvora::tools
