#pragma once
// Rebuilding what a table's records determine: the record slots' deleted
// flags and record ids where they are broken, the deleted-record chain, the
// auto-increment counter, the active-record count and every index tree
// (primary, secondaries and the record-id index), built anew from the
// records into an index file that keeps only its header.
//
// What cannot be derived from the records is refused before anything
// changes: two active records with one key in a unique index, and a text
// index with key fields or parameters (its words are the editing code's).
// BLOB chains are left as they are.
//
// REQUIRES: the table is open exclusively and writable. One thread.

#include <string>
#include <vector>

#include "storage/data_table.h"

namespace telvora::tools {

// Rebuilds the table and writes it to its files. Returns one line per
// change made, in the order made.
std::vector<std::string> RebuildTable(storage::TDataTable& table);

}  // namespace telvora::tools
