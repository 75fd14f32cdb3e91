#pragma once
// Backup copies of a table's files before a tool changes them: each file F
// is copied to "F.bak", or "F.bak2", "F.bak3", ... when earlier backups are
// there, so that no backup is ever overwritten.
//
// Copies through the open file objects, so the copies are taken under the
// access the caller holds (repair holds the table exclusively). One thread.

#include <string>
#include <vector>

#include "storage/data_table.h"

namespace telvora::tools {

// The first name of "path.bak", "path.bak2", ... that does not exist.
std::string FreeBackupName(const std::string& path);

// Copies every open file of the table (data, index, BLOB); returns the
// backup paths in that order. A failed copy removes itself and raises.
std::vector<std::string> BackUpTableFiles(storage::TDataTable& table, bool include_index = true);

}  // namespace telvora::tools
