#pragma once
// TIndexPageCaches: the cached index pages of one index file, as the index
// file and its open table see them. The index code implements it; the index
// file calls it when one is attached (flushes, change detection, rollback,
// close) and does nothing for pages while none is.
//
// Called from the thread that uses the table, under its locks.

namespace telvora::storage {

class TIndexPageCaches {
 public:
  virtual ~TIndexPageCaches() = default;
  // Writes the modified, unpinned pages of the permanent indexes; returns
  // whether anything was written.
  virtual bool WriteModifiedPages() = 0;
  // Writes the modified pages of the temporary indexes (they live in a
  // file of their own); returns whether anything was written.
  virtual bool WriteTemporaryPages() = 0;
  // Forgets the cached pages of the permanent indexes, modified or not.
  virtual void DropPermanentPages() = 0;
  // Forgets the cached pages of the temporary indexes.
  virtual void DropTemporaryPages() = 0;
  // Evicts clean pages beyond each cache's capacity.
  virtual void Trim() = 0;
};

}  // namespace telvora::storage
