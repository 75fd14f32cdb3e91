#pragma once
// TBlobBuffer: one BLOB value held in memory while a cursor reads or changes
// it (one per BLOB field the cursor has opened on the current record).
//
// Holds the field number, the record number, the value's reference (its
// first block, 0 when empty; after a post the block it was written to), its
// BLOB key, the value bytes, a copy of the value as last read or posted, a
// modified flag and an open count. The bytes are the whole value: reads and
// writes at offsets work on memory, and only Load and Post reach the file.
// Not thread-safe: belongs to one cursor, used by its thread.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "storage/blob_blocks.h"

namespace telvora::storage {

class TBlobBuffer {
 public:
  TBlobBuffer(std::uint16_t field_number, std::int32_t record_number, std::int32_t first_block,
              std::int32_t blob_key);

  std::uint16_t FieldNumber() const { return field_number_; }
  std::int32_t RecordNumber() const { return record_number_; }
  std::int32_t FirstBlock() const { return first_block_; }
  std::int32_t BlobKey() const { return blob_key_; }
  std::size_t Length() const { return value_.size(); }
  std::span<const std::uint8_t> Value() const { return value_; }
  std::span<const std::uint8_t> ValueAsRead() const { return as_read_; }
  bool Modified() const { return modified_; }

  int OpenCount() const { return open_count_; }
  void AddOpen() { ++open_count_; }
  // A value made for a record not yet stored (record number 0) belongs to
  // the record the insert gives it; only such a value may change hands.
  void AdoptRecord(std::int32_t record_number) {
    if (record_number_ == 0) record_number_ = record_number;
  }
  // One user fewer (not below 0); returns the users left.
  int ReleaseOpen();

  // Reads the whole value from the file (nothing when the first block is
  // 0). Raises 8708 when the value was replaced since the record was read
  // (another key in its blocks), and the errors of ReadBlobChain.
  void Load(TBlobBlocks& blocks);

  // Copies up to count bytes from offset into destination; returns the
  // bytes copied (fewer than count when the value ends first, none at or
  // past its end).
  std::size_t Read(std::size_t offset, std::size_t count, std::span<std::uint8_t> destination) const;
  // Copies source in at offset, growing the value (new bytes zero) when it
  // reaches past the end. Marks the value modified.
  void Write(std::size_t offset, std::span<const std::uint8_t> source);
  // The value's length becomes length (new bytes zero); modified when it
  // differs.
  void Truncate(std::size_t length);

  // Writes a modified value as part of writing record record_number: draws
  // a new BLOB key from the file, writes the value's chain under it (or,
  // for an empty value, frees the chain and sets the first block to 0), and
  // keeps the key. Nothing happens to an unmodified value. Raises 8963 when
  // the value belongs to another record, and the errors of WriteBlobChain.
  // REQUIRES: the caller may change the file (write lock or exclusive).
  void Post(TBlobBlocks& blocks, std::int32_t record_number);

 private:
  std::uint16_t field_number_;
  std::int32_t record_number_;
  std::int32_t first_block_;
  std::int32_t blob_key_;
  std::vector<std::uint8_t> value_;
  std::vector<std::uint8_t> as_read_;
  bool modified_ = false;
  int open_count_ = 1;
};

}  // namespace telvora::storage
