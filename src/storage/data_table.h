#pragma once
// TDataTable: one open table: its data, index and BLOB file objects, its
// flags, and the lock state through which it shares the table with other
// programs and sessions.
//
// Programs coordinate only through byte-range locks (lock_map.h) and the
// change counters of the three headers:
//   - record locks (one byte per record on the data file), retried
//     LockRetryCount times LockWaitTime apart, 10258 when they run out;
//     between attempts the shared lock is let go (so the record's holder
//     can post) and taken again, noting the changes made meanwhile;
//   - the shared (read) lock: one random byte on the index file and one on
//     the BLOB file; it runs change detection;
//   - the write lock: the table semaphore, then the index and BLOB write
//     ranges (which cover every shared byte); it runs change detection and
//     is released in the reverse order;
//   - the table lock: the semaphore, held until unlocked; record unlocks
//     asked for meanwhile are deferred until then.
// Change detection compares the headers' change counters with the cached
// ones and drops the caches that another writer made stale. The flush
// writes records, headers and descriptors (in a transaction it only marks
// the headers). A table opened exclusively, or whose file carries the
// read-only attribute, takes no locks at all.
//
// Invariants: shared and write lock are never both held; while the table is
// locked the caches grow instead of writing to make room; every file is
// closed again when opening, creating or checking fails.
//
// Threads: one thread at a time (the engine's callers serialize the use of
// one open table).

#include <cstdint>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "storage/blob_file.h"
#include "storage/data_file.h"
#include "storage/header_checks.h"
#include "storage/index_descriptor.h"
#include "storage/index_file.h"
#include "storage/index_key.h"
#include "storage/index_page_cache.h"
#include "storage/index_tree.h"
#include "storage/table_file_owner.h"
#include "storage/table_settings.h"

namespace telvora::storage {

// What a flush forces beyond writing what is modified.
// The key order of an index, supplied by the layer that knows locales: the
// comparison for the index's tree and the upper-casing for its keys.
struct TIndexKeyOrder {
  KeyComparator compare;
  KeyUpperCase upper_case;
};
using KeyOrderSource = std::function<TIndexKeyOrder(const TIndexKeyDefinition& definition)>;

struct TTableFlushOptions {
  bool trim = false;
  bool force_data_header = false;
  bool force_os_flush = false;
  bool force_blob_header = false;
  bool force_index_header = false;
};

class TDataTable : public TTableFileOwner {
 public:
  TDataTable();
  // Closes the files (discarding nothing of an exclusive table: it is
  // flushed first, errors ignored).
  ~TDataTable() override;
  TDataTable(const TDataTable&) = delete;
  TDataTable& operator=(const TDataTable&) = delete;

  // --- Identity and flags, set before the files are opened or created ---
  void set_directory(const std::string& directory) { directory_ = directory; }
  void set_table_name(const std::string& name) { table_name_ = name; }
  void set_exclusive(bool exclusive) { exclusive_ = exclusive; }
  void set_in_memory(bool in_memory) { in_memory_ = in_memory; }
  void set_temporary(bool temporary) { temporary_ = temporary; }
  void set_settings(const TTableSettings& settings) { settings_ = settings; }
  // Where temporary index files go (the session's private directory); the
  // system's temporary directory when empty.
  void set_temporary_directory(const std::string& directory) { temporary_directory_ = directory; }
  // How keys are ordered; without it keys compare byte by byte and are not
  // upper-cased.
  void set_key_order(KeyOrderSource source) { key_order_ = std::move(source); }
  const std::string& directory() const { return directory_; }
  const std::string& table_name() const { return table_name_; }
  bool exclusive() const { return exclusive_; }
  bool in_memory() const { return in_memory_; }
  bool temporary() const { return temporary_; }

  // Results of opening.
  bool is_open() const { return open_; }
  bool read_only() const { return read_only_; }
  bool read_only_attribute() const { return read_only_attribute_; }
  // The index file was missing and has been recreated empty.
  bool index_rebuilt() const { return index_rebuilt_; }
  void set_index_rebuilt(bool rebuilt) { index_rebuilt_ = rebuilt; }
  bool has_written() const { return has_written_; }

  TDataFile& data_file() { return data_; }
  const TDataFile& data_file() const { return data_; }
  TIndexFile& index_file() { return index_; }
  TBlobFile& blob_file() { return blob_; }
  // The table has BLOB fields and its BLOB file is open.
  bool HasBlobFile() const;

  // --- Files ---

  // Opens the data file, then the index file (a missing one is replaced by
  // a new empty index file with the primary index marked unavailable, and
  // index_rebuilt() becomes true), then the BLOB file when the table has
  // BLOB fields. Any failure closes what was opened and re-raises. Sets
  // read_only() when a file was opened without write access or carries the
  // read-only attribute. Opening an open table does nothing.
  void OpenFiles();
  // Flushes an exclusive, writable table with trimming (or, with
  // discard_caches, drops its caches unwritten), releases every lock,
  // closes the index, BLOB and data files and clears the per-opening flags.
  // The files are closed even when the flush fails; its error is then
  // re-raised.
  void CloseFiles(bool discard_caches = false);
  // Creates the table's files, held exclusively: the data file header and
  // descriptors, a new index file with the primary descriptor (a primary
  // without key fields sets the primary-index-unavailable flag instead) and
  // the secondary descriptors (at most 30, else 9487), and the BLOB file
  // when there are BLOB fields; then writes them all with a flush. The
  // table stays open exclusively for its creator.
  void CreateFiles(const TDataFileCreation& creation, std::vector<TFieldDescriptor> descriptors,
                   const TIndexDescriptor& primary, std::span<const TIndexDescriptor> secondary = {});
  // The full header checks of all three files (the index file's skipped
  // when it was just recreated): 12035, 15878 or 8961.
  void CheckHeaders(const LocaleInstalledTest& locale_installed);

  // --- Indexes (the files must be open) ---

  // The key of an index slot, from its descriptor and the field
  // descriptors (errors as DefineIndexKey).
  TIndexKeyDefinition IndexKey(int slot) const;
  // The key order of a slot, from set_key_order or byte order.
  TIndexKeyOrder KeyOrder(const TIndexKeyDefinition& definition) const;
  // The page cache of a slot, opened with the page format its descriptor
  // gives (key length, descending, unique, attribute, compression).
  TIndexPageCache& OpenIndex(int slot);
  // The tree of a slot over OpenIndex, ordered by KeyOrder. The tree refers
  // to the cache: it must not outlive the open files.
  TIndexTree IndexTree(int slot);

  // --- Locks (each returns whether change detection found a change) ---

  // Takes the lock of record n (see the class comment). 10258 for n below 1
  // or when the retries run out.
  bool LockRecord(std::int32_t n);
  // Releases it, or defers that while the table is locked. 10242 when the
  // record is not held or the unlock fails.
  void UnlockRecord(std::int32_t n);
  bool SharedLock();
  void SharedUnlock();
  bool WriteLock();
  void WriteUnlock();
  bool LockTable();
  void UnlockTable();
  bool DetectChanges();

  bool shared_lock_held() const { return shared_lock_held_; }
  bool write_lock_held() const { return write_lock_held_; }
  bool table_locked() const { return table_locked_; }
  bool in_transaction() const { return in_transaction_; }
  // Attempts the last LockRecord made on the record's byte.
  std::uint32_t last_record_lock_attempts() const { return last_record_lock_attempts_; }
  const std::set<std::int32_t>& held_records() const { return held_records_; }
  const std::set<std::int32_t>& deferred_unlocks() const { return deferred_unlocks_; }
  // Records locked by one of this table's cursors (kept by the cursors).
  std::set<std::int32_t>& cursor_locked_records() { return cursor_locked_records_; }

  // --- Flush and caches ---

  // Writes what is modified (see TTableFlushOptions). Nothing for a
  // read-only table; only marks the forced headers in a transaction.
  void Flush(const TTableFlushOptions& options = {});
  // The flush that ends a cursor's modifying operation. A shared table
  // writes what changed now, inside the writer's lock, so the change
  // counters other programs compare have moved on when the lock goes. An
  // exclusive table has no one to tell: it only marks the forced headers
  // modified (their counters move on in memory), and its caches reach the
  // files when they make room, when the table is closed, or on a Flush.
  void FlushModification(const TTableFlushOptions& options);
  // Forgets cached records, permanent index pages and BLOB blocks.
  void DropCaches();

  // --- Transactions (the table's side) ---
  void StartTransaction();
  void Commit(bool force_flush);
  void Rollback();

  // TTableFileOwner
  const TTableSettings& Settings() const override { return settings_; }
  void MarkWritten() override { has_written_ = true; }
  bool TableLocked() const override { return table_locked_; }
  bool ShortReadAllowed() const override;
  bool PrimaryIndexUnavailable() const override;
  bool LockForRead() override { return SharedLock(); }

 private:
  [[noreturn]] void Raise(std::uint16_t code) const;
  void ConfigureFiles();
  // Makes and attaches the index page caches and the BLOB block cache.
  void AttachCaches();
  void CloseAllFiles();
  // Releases every lock without raising (closing).
  void ReleaseAllLocks();
  bool ReleaseSharedBytes();
  bool ReleaseWriteRanges();

  std::string directory_;
  std::string table_name_;
  TTableSettings settings_;
  std::string temporary_directory_;
  KeyOrderSource key_order_;
  bool exclusive_ = false;
  bool in_memory_ = false;
  bool temporary_ = false;
  bool open_ = false;
  bool read_only_ = false;
  bool read_only_attribute_ = false;
  bool index_rebuilt_ = false;
  bool has_written_ = false;

  TDataFile data_;
  TIndexFile index_;
  TBlobFile blob_;

  bool shared_lock_held_ = false;
  std::uint16_t index_shared_number_ = 0;
  std::uint16_t blob_shared_number_ = 0;
  bool write_lock_held_ = false;
  bool write_took_semaphore_ = false;
  bool write_took_blob_ = false;
  bool table_locked_ = false;
  bool in_transaction_ = false;
  std::uint32_t last_record_lock_attempts_ = 0;
  std::set<std::int32_t> held_records_;
  std::set<std::int32_t> cursor_locked_records_;
  std::set<std::int32_t> deferred_unlocks_;
};

}  // namespace telvora::storage
