#pragma once
// TIndexPageCaches: the index file's view of the page caches of its indexes,
// for flushing, change detection, rollback and closing.
//
// Threads: as the owning table; under its locks.

namespace telvora::storage {

class TIndexPageCaches {
 public:
  virtual ~TIndexPageCaches() = default;

  // Writes the modified, unpinned pages of the permanent indexes; returns
  // whether anything was written.
  virtual bool WriteModifiedPages() = 0;
  // Forgets the cached pages of the permanent indexes, modified ones
  // included (another user changed the file, or a rollback).
  virtual void DropPermanentPages() = 0;
  // Forgets the cached pages of the temporary indexes.
  virtual void DropTemporaryPages() = 0;
  // Evicts clean unpinned pages down to each cache's capacity.
  virtual void Trim() = 0;
};

}  // namespace telvora::storage
