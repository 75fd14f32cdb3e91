#pragma once
// TBlobBlockCache: what the BLOB file and its owning table need from the
// block cache of that file, so that the file can hold the cache by pointer.
//
// The table flushes, drops and trims it (change detection, rollback, close
// and the flush policy); the concrete cache is TBlobBlocks. Called by the
// thread that uses the table at the moment.

namespace telvora::storage {

class TBlobBlockCache {
 public:
  virtual ~TBlobBlockCache() = default;

  // Writes the modified, unpinned blocks in runs of consecutive block
  // numbers. Returns whether anything was written.
  virtual bool WriteModifiedBlocks() = 0;
  // Forgets every cached block, discarding changes not yet written.
  virtual void DropBlocks() = 0;
  // Evicts blocks until the cache holds no more than its capacity (or
  // nothing more can be evicted).
  virtual void Trim() = 0;
};

}  // namespace telvora::storage
