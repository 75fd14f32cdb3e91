#pragma once
// Rebuilding the record-id index of a table whose index file was lost and
// recreated empty: the first cursor that opens the table walks every record
// slot and puts each slot's record-id key (deleted flag + record id) into
// slot 31, counting the active slots into the active-record count. The
// definitions of the other indexes are not recovered; the primary index
// stays marked unavailable, so the table reads in record-number order and
// never reuses deleted slots.
//
// Called from the thread that opens the cursor, with the table's files
// open and no table lock of this caller held.

#include "storage/data_table.h"

namespace telvora::engine {

// Does nothing unless table.index_rebuilt() or the table is read-only.
// Takes and releases the write lock; on success flushes the table and
// clears index_rebuilt(). On failure the write lock is released and the
// flag stays set, so the next first cursor tries again.
void RebuildRecordIdIndex(storage::TDataTable& table);

}  // namespace telvora::engine
