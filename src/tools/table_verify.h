#pragma once
// Checking every structure of an open table: the record slots and their
// values, the deleted-record chain, the active-record count, every index
// tree (page kinds by level, entry counts, packed sizes, sibling links,
// branch keys and subtree counts, key order, keys rebuilt from the records,
// one entry per record), the index free chains, and the BLOB chains and the
// BLOB free chain.
//
// The headers themselves are checked by the engine when the first cursor
// opens the table; a table whose headers fail that check never gets here
// (the verify command reports the engine's error as the problem).
//
// Reads through the table's files and record cache and changes nothing. The
// caller holds the table's shared lock (or has it exclusively) for the whole
// check so that no writer changes it half-way. One thread.

#include <string>
#include <vector>

#include "storage/data_table.h"

namespace telvora::tools {

struct TableProblem {
  std::string file;   // the file's name without its folder, e.g. "PhoneBook.IDX"
  std::string where;  // slot, page, block or header offset
  std::string reason;

  // "FILE: WHERE: REASON", one line.
  std::string Text() const;
};

std::vector<TableProblem> VerifyTable(storage::TDataTable& table);

}  // namespace telvora::tools
