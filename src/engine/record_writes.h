#pragma once
// The record half of the cursor's InsertRecord, ModifyRecord and
// DeleteRecord: everything between taking the table's write lock and
// writing its header counters. Locks, validation, Resync and repositioning
// stay with the cursor.
//
// Each write runs every check before its first change (a duplicate key,
// 9729, leaves the data, index and BLOB files as they were), then keeps
// every index, the record-slot index and the text index in step, posts the
// BLOB values of the cursor and stores the record in the data file's cache
// (the next flush writes it).
//
// REQUIRES: the table's files are open and the caller holds its write lock
// (or the table is exclusive); the parts belong to one cursor of that
// table. One thread at a time.
#include <cstdint>
#include <span>

#include "engine/open_blob_values.h"
#include "engine/record_index_writer.h"
#include "storage/data_table.h"

namespace telvora::engine {

struct TRecordWriteParts {
  storage::TDataTable& table;
  TRecordIndexWriter& indexes;
  TOpenBlobValues& blobs;
};

// Writes the buffer as a new record: the next record id (also stored at
// offset 5 of the buffer), the unique checks, a slot (a deleted one or a new
// one at the end), its keys, words and BLOB values, and the active count.
// The buffer's record number becomes the slot's. Returns the slot's number.
std::int32_t InsertRecordImage(const TRecordWriteParts& parts, std::span<std::uint8_t> buffer);

// Writes the buffer over record record_number, keeping its record id (also
// stored in the buffer): unique checks for the keys that change, the keys,
// the words that left and came, the BLOB values.
void ModifyRecordImage(const TRecordWriteParts& parts, std::int32_t record_number, std::span<std::uint8_t> buffer);

// Deletes record record_number: its keys (8965 when one is missing), its
// record-slot entry marked deleted, its words, its BLOB values freed (the
// buffer, the record as the cursor last read it, names the values the
// cursor has open), the slot put on the deleted chain, the active count.
void DeleteRecordImage(const TRecordWriteParts& parts, std::int32_t record_number,
                       std::span<const std::uint8_t> buffer);

}  // namespace telvora::engine
