#pragma once
// telvora-db insert TABLE FILE: records from JSON lines, all or nothing.

#include "tools/db_tool.h"

namespace telvora::tools {

DbCommand InsertCommand();

}  // namespace telvora::tools
