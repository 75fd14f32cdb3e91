#pragma once
// TBlobBlockCache: the cached blocks of one BLOB file, as the BLOB file and
// its open table see them. The BLOB block code implements it; the BLOB file
// calls it when one is attached (flushes, change detection, rollback,
// close) and does nothing for blocks while none is.
//
// Called from the thread that uses the table, under its locks.

namespace telvora::storage {

class TBlobBlockCache {
 public:
  virtual ~TBlobBlockCache() = default;
  // Writes the modified, unpinned blocks in runs of consecutive numbers;
  // returns whether anything was written.
  virtual bool WriteModifiedBlocks() = 0;
  // Forgets every cached block, modified or not.
  virtual void DropBlocks() = 0;
  // Evicts clean blocks beyond the cache's capacity.
  virtual void Trim() = 0;
};

}  // namespace telvora::storage
