#pragma once
// TBlobBlockFile: what the block cache of a BLOB file needs from that file:
// the block size, the two counters of the BLOB file header, the table's next
// BLOB key, the table's locking state, and reading and writing runs of
// plain block images.
//
// TBlobFile implements it over its header and its file handler; tests use an
// in-memory one. Images crossing this interface are plain: the file
// scrambles them (ScrambleBlobBlockImage) on the way to and from the disk
// when the table is encrypted. Errors are raised as EVoraEngineError.
// Called by the thread that uses the table at the moment.

#include <cstdint>
#include <span>
#include <string>

namespace telvora::storage {

class TBlobBlockFile {
 public:
  virtual ~TBlobBlockFile() = default;

  // The table name carried by the errors of the block cache.
  virtual const std::string& TableName() const = 0;
  // B: the data file header's block size (512 when stored as 0), >= 64.
  virtual std::uint16_t BlockSize() const = 0;

  // The BLOB file header's next block number (blocks in the file + 1) and
  // free-chain head (0 = none). The setters set the header's modified
  // marker; the header reaches the disk with the table's next flush.
  virtual std::int32_t NextBlockNumber() const = 0;
  virtual void SetNextBlockNumber(std::int32_t block) = 0;
  virtual std::int32_t FreeChainHead() const = 0;
  virtual void SetFreeChainHead(std::int32_t block) = 0;

  // The next BLOB key, drawn from the data file header (last key + 1,
  // 2,147,483,647 wrapping so that 1 follows; stored, marker set).
  virtual std::int32_t NextBlobKey() = 0;

  // Called before blocks are read from the disk. Unless the session's
  // StrictChangeDetection is on, takes the table's shared lock, which runs
  // change detection; when that finds another writer's change the table has
  // dropped its caches (this block cache included, through DropBlocks) and
  // the result is true: the caller must not trust what it read before.
  virtual bool DetectChangeBeforeRead() = 0;

  // False while the table is locked (always so in a transaction): then the
  // cache must keep its changes in memory and grow instead of writing
  // modified blocks to make room.
  virtual bool MayWriteToMakeRoom() const = 0;

  // Reads `count` consecutive block images, blocks first .. first + count
  // - 1, in one read into images (count × B bytes), unscrambled. Returns
  // the number of whole blocks read. A read shorter than asked is accepted
  // only when this open table has already written to its files and the
  // file is held exclusively or the table is locked (the file may then end
  // before the next block number); otherwise it raises 9217.
  // REQUIRES: 1 <= first, count >= 1, first + count - 1 < NextBlockNumber().
  virtual std::int32_t ReadBlocks(std::int32_t first, std::int32_t count, std::span<std::uint8_t> images) = 0;

  // Writes `count` consecutive plain block images (count × B bytes) at the
  // position of block `first` in one write, scrambled when the table is
  // encrypted, and marks the table as having written to its files. A failed
  // write raises 9218.
  virtual void WriteBlocks(std::int32_t first, std::int32_t count, std::span<const std::uint8_t> images) = 0;
};

}  // namespace telvora::storage
