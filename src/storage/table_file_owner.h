#pragma once
// TTableFileOwner: what a table file (data, index or BLOB) asks of the open
// table that owns it. The open table implements it; a file without an owner
// behaves as a file of an unlocked, unshared table with default settings.
//
// Called by the file objects from the thread that is using the table.

#include "storage/table_settings.h"

namespace telvora::storage {

class TTableFileOwner {
 public:
  virtual ~TTableFileOwner() = default;

  virtual const TTableSettings& Settings() const = 0;
  // Told after every write to one of the table's files.
  virtual void MarkWritten() = 0;
  // The table lock is held (also throughout a transaction): caches must then
  // keep their changes in memory and grow instead of writing to make room.
  virtual bool TableLocked() const = 0;
  // A read of records may come back short without error: this table has
  // written to its files and holds them exclusively or has them locked, so
  // slots it appended may not have reached the file yet.
  virtual bool ShortReadAllowed() const = 0;
  // The index file's primary-index-unavailable flag: deleted slots are then
  // never reused.
  virtual bool PrimaryIndexUnavailable() const = 0;
  // Called before records are read from disk when StrictChangeDetection is
  // off: takes the shared lock and returns whether it found that another
  // writer changed the table (the caches are then already dropped).
  virtual bool LockForRead() = 0;
};

}  // namespace telvora::storage
