#pragma once
// Reading, writing and freeing the chain of blocks that holds one BLOB value.
//
// A value of length L lives in blocks linked both ways (previous, next);
// every block carries the value's BLOB key, the first one also L, and every
// block but the last is full (B - 18 data bytes). Each new version of a value
// gets a new key, stamped on every block written for it, so that a reader
// still holding the old first block and key notices the replacement (8708).
//
// Errors (EVoraEngineError with the table's name):
//   8708 a block of the value carries another key than the record (read);
//   8711 the chain ends before L bytes were copied, or a write did not
//        place exactly L bytes;
//   8963 a next link outside the file, a block pinned by someone else, a
//        chain that runs into itself, a key mismatch while freeing without
//        repair, or change detection firing while the caller holds the
//        write lock;
//   10029 a value longer than a block's total-length field can hold;
//   9479 from new blocks when the file is full.
// Functions, not thread-safe: they run under the table's locks on the
// thread that uses the table.

#include <cstdint>
#include <span>
#include <vector>

#include "storage/blob_blocks.h"

namespace telvora::storage {

// The value whose first block is first_block and whose key is blob_key;
// empty when first_block is 0. When the file's change detection fires while
// blocks are fetched, the read starts again from the first block.
std::vector<std::uint8_t> ReadBlobChain(TBlobBlocks& blocks, std::int32_t first_block, std::int32_t blob_key);

// Writes value under the new key blob_key. The chain starting at
// first_block (0: none; a new first block is taken and its number stored
// in first_block) is reused block by block, new blocks are added as needed,
// and whatever the old chain had beyond the new value is freed. An empty
// value frees the whole chain and sets first_block to 0.
// REQUIRES: the caller may change the file (write lock or exclusive).
void WriteBlobChain(TBlobBlocks& blocks, std::int32_t& first_block, std::int32_t blob_key,
                    std::span<const std::uint8_t> value);

// Frees the chain starting at first_block (nothing when 0). A block whose
// key is not blob_key fails with 8963, unless repair is set, in which case
// it is restamped with blob_key. Each block is freed after its successor has
// been fetched, so the blocks join the free chain in chain order and the
// value's last block ends up at its head. The caller clears the reference
// it freed from.
// REQUIRES: the caller may change the file (write lock or exclusive).
void FreeBlobChain(TBlobBlocks& blocks, std::int32_t first_block, std::int32_t blob_key, bool repair);

}  // namespace telvora::storage
