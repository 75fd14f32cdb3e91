#include "storage/data_table.h"

#include <chrono>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>
#include <thread>

#include "storage/blob_blocks.h"
#include "storage/engine_error.h"
#include "storage/index_pages.h"
#include "storage/engine_error_codes.h"
#include "storage/lock_map.h"
#include "storage/storage_errors.h"
#include "storage/table_file_names.h"

namespace telvora::storage {

TDataTable::TDataTable() {
  data_.set_owner(this);
  index_.set_owner(this);
  blob_.set_owner(this);
}

TDataTable::~TDataTable() {
  try {
    CloseFiles();
  } catch (...) {
    // A destructor cannot report; the files are closed either way.
  }
}

void TDataTable::Raise(std::uint16_t code) const { RaiseTableError(code, table_name_); }

bool TDataTable::HasBlobFile() const { return data_.BlobFieldCount() > 0 && blob_.is_open(); }

bool TDataTable::ShortReadAllowed() const { return has_written_ && (exclusive_ || table_locked_); }

bool TDataTable::PrimaryIndexUnavailable() const { return index_.PrimaryIndexUnavailable(); }

// --- Files ---

void TDataTable::ConfigureFiles() {
  const TableFileNames names = MakeTableFileNames(directory_, table_name_);
  const auto configure = [this](TFileHandler& file, const std::string& name) {
    file.set_file_name(name);
    file.set_error_name(table_name_);
    file.set_in_memory(in_memory_);
    file.set_exclusive(exclusive_);
    file.set_temporary(temporary_);
  };
  configure(data_, names.data);
  configure(index_, names.index);
  configure(blob_, names.blob);
  data_.set_table_name(table_name_);
  index_.set_table_name(table_name_);
  blob_.set_table_name(table_name_);
}

void TDataTable::AttachCaches() {
  std::string temporary_directory = temporary_directory_;
  if (temporary_directory.empty()) {
    std::error_code ignored;
    temporary_directory = std::filesystem::temp_directory_path(ignored).string();
  }
  index_.AttachPages(static_cast<int>(settings_.DataBufferBytes), temporary_directory);
  if (blob_.is_open()) {
    blob_.AttachBlocks(settings_.BlobBufferBytes, settings_.BlobBufferCount,
                       [this] { return data_.MutableHeader().NextBlobKey(); });
  }
}

void TDataTable::CloseAllFiles() {
  index_.Close();
  blob_.Close();
  data_.Close();
}

void TDataTable::OpenFiles() {
  if (open_) return;
  ConfigureFiles();
  try {
    data_.Open();
    index_.set_encrypted(data_.Encrypted());
    try {
      index_.Open();
    } catch (const EVoraEngineError& e) {
      if (e.EngineCode != VORA_OSENOENT) throw;
      // A lost index file is replaced by an empty one. Its primary index is
      // marked unavailable at once: a file left with an empty primary index
      // and the flag clear would fail every later check, should this
      // program end before the record-id index is rebuilt.
      index_.CreateNewFile();
      index_.SetPrimaryIndexUnavailable(true);
      index_.WriteHeader(false);
      index_.Close();
      index_.Open();
      index_rebuilt_ = true;
    }
    if (data_.BlobFieldCount() > 0) {
      blob_.set_encrypted(data_.Encrypted());
      blob_.set_block_size(data_.BlobBlockSize());
      blob_.Open();
    }
    AttachCaches();
  } catch (...) {
    CloseAllFiles();
    index_rebuilt_ = false;
    throw;
  }
  read_only_attribute_ = data_.read_only_attribute() || index_.read_only_attribute() ||
                         (blob_.is_open() && blob_.read_only_attribute());
  read_only_ = read_only_attribute_ || data_.read_only() || index_.read_only() ||
               (blob_.is_open() && blob_.read_only());
  has_written_ = false;
  open_ = true;
}

void TDataTable::CloseFiles(bool discard_caches) {
  if (!open_) return;
  std::exception_ptr failure;
  try {
    if (exclusive_ && !read_only_) {
      if (discard_caches) {
        DropCaches();
      } else {
        Flush({.trim = true});
      }
    }
  } catch (...) {
    failure = std::current_exception();
  }
  ReleaseAllLocks();
  CloseAllFiles();
  index_rebuilt_ = false;
  has_written_ = false;
  in_transaction_ = false;
  open_ = false;
  if (failure) std::rethrow_exception(failure);
}

void TDataTable::CreateFiles(const TDataFileCreation& creation, std::vector<TFieldDescriptor> descriptors,
                             const TIndexDescriptor& primary, std::span<const TIndexDescriptor> secondary) {
  if (open_) CloseFiles();
  if (secondary.size() > static_cast<std::size_t>(kMaxSecondaryIndexes)) Raise(VORA_INDEXLIMIT);
  // Created files are held exclusively by their creator.
  exclusive_ = true;
  ConfigureFiles();
  try {
    data_.Create(creation, std::move(descriptors));
    index_.set_encrypted(creation.encrypted);
    index_.Create();
    TIndexFileHeader& header = index_.MutableHeader();
    if (primary.KeyFieldCount() == 0) {
      // Without key fields the primary index has no order to offer.
      header.SetPrimaryIndexUnavailable(true);
    } else {
      TIndexDescriptor descriptor = primary;
      descriptor.SetName("");
      descriptor.SetUnique(true);
      header.SetDescriptor(kPrimaryIndexSlot, descriptor);
    }
    for (std::size_t i = 0; i < secondary.size(); ++i) {
      header.SetDescriptor(static_cast<int>(i + 1), secondary[i]);
    }
    header.SetSecondaryIndexCount(static_cast<std::uint8_t>(secondary.size()));
    if (data_.BlobFieldCount() > 0) {
      blob_.set_encrypted(creation.encrypted);
      blob_.set_block_size(data_.BlobBlockSize());
      blob_.Create();
    }
    AttachCaches();
    read_only_ = read_only_attribute_ = false;
    open_ = true;
    Flush({.force_data_header = true, .force_blob_header = true, .force_index_header = true});
  } catch (...) {
    CloseAllFiles();
    open_ = false;
    throw;
  }
}

void TDataTable::CheckHeaders(const LocaleInstalledTest& locale_installed) {
  CheckDataFile(data_.Header(), data_.MutableDescriptors(), data_.FileSize(), locale_installed, table_name_);
  if (!index_rebuilt_) CheckIndexFile(index_.Header(), data_.Descriptors(), table_name_);
  if (data_.BlobFieldCount() > 0) CheckBlobFile(blob_.Header(), table_name_);
}

// --- Indexes ---

TIndexKeyDefinition TDataTable::IndexKey(int slot) const {
  const TIndexDescriptor descriptor = index_.Header().Descriptor(slot);
  if (slot == kRecordIdIndexSlot || slot == kTextIndexSlot) {
    // The reserved indexes have no key fields: their keys are built by
    // RecordIdIndexKey and TextIndexKey and compare byte by byte.
    TIndexKeyDefinition definition;
    definition.slot = slot;
    definition.unique = descriptor.Unique();
    definition.key_length = static_cast<std::size_t>(descriptor.KeyLength());
    return definition;
  }
  return DefineIndexKey(descriptor, slot, data_.Descriptors(), data_.LanguageId() == 0,
                        index_.PrimaryIndexUnavailable(), table_name_);
}

TIndexKeyOrder TDataTable::KeyOrder(const TIndexKeyDefinition& definition) const {
  const bool reserved = definition.slot == kRecordIdIndexSlot || definition.slot == kTextIndexSlot;
  if (key_order_ && !reserved) return key_order_(definition);
  TIndexKeyOrder order;
  order.compare = [](const std::uint8_t* a, const std::uint8_t* b, std::size_t length) {
    const int c = std::memcmp(a, b, length);
    return (c > 0) - (c < 0);
  };
  return order;
}

TIndexPageCache& TDataTable::OpenIndex(int slot) {
  TIndexPages* pages = index_.pages();
  if (pages == nullptr) Raise(VORA_INDEXCORRUPT);
  const TIndexDescriptor descriptor = index_.Header().Descriptor(slot);
  TPageFormat format;
  format.slot = slot;
  format.key_length = static_cast<std::size_t>(descriptor.KeyLength());
  format.descending = descriptor.Descending();
  format.unique = descriptor.Unique();
  format.attribute = descriptor.NoSubtreeCounts() ? 1 : 0;
  format.compression = descriptor.Compression();
  return pages->OpenIndex(slot, format, descriptor.Temporary());
}

TIndexTree TDataTable::IndexTree(int slot) {
  const TIndexKeyDefinition definition = IndexKey(slot);
  TIndexPageCache& cache = OpenIndex(slot);
  return TIndexTree(cache, KeyOrder(definition).compare, index_.Header().Descriptor(slot).Name());
}

// --- Record locks ---

bool TDataTable::LockRecord(std::int32_t n) {
  if (exclusive_ || read_only_attribute_) return false;
  if (n < 1) Raise(VORA_RECLOCKFAILED);
  if (table_locked_ && held_records_.contains(n)) return false;
  const auto offset = RecordLockOffset(static_cast<std::uint32_t>(n));
  const bool strict = settings_.StrictChangeDetection;
  // Under strict change detection the operation asking for the lock holds
  // the shared lock already and trusts its caches because of it. A failed
  // attempt gives that lock up, so that the record's holder can post, and
  // then it must be taken back (noting any change) before the next attempt:
  // otherwise the caller would compare the record it read with caches that
  // missed the holder's post, and edit over it.
  const bool keep_shared = strict && shared_lock_held_;
  bool changed = false;
  if (!strict) changed = SharedLock();
  last_record_lock_attempts_ = 0;
  for (std::uint32_t retries = 0;; ++retries) {
    ++last_record_lock_attempts_;
    if (data_.LockRange(offset, kRecordLockLength)) {
      held_records_.insert(n);
      deferred_unlocks_.erase(n);
      return changed;
    }
    SharedUnlock();
    if (retries >= settings_.LockRetryCount) Raise(VORA_RECLOCKFAILED);
    std::this_thread::sleep_for(std::chrono::milliseconds(settings_.LockWaitTime));
    if (keep_shared) {
      changed = SharedLock() || changed;
    } else if (!strict && !changed) {
      changed = SharedLock();
    }
  }
}

void TDataTable::UnlockRecord(std::int32_t n) {
  // Such a table took no lock to give back.
  if (exclusive_ || read_only_attribute_) return;
  if (table_locked_) {
    deferred_unlocks_.insert(n);
    return;
  }
  if (!held_records_.contains(n) ||
      !data_.UnlockRange(RecordLockOffset(static_cast<std::uint32_t>(n)), kRecordLockLength)) {
    Raise(VORA_UNLOCKFAILED);
  }
  held_records_.erase(n);
}

// --- Shared and write locks ---

bool TDataTable::SharedLock() {
  if (exclusive_ || read_only_attribute_ || table_locked_ || shared_lock_held_ || write_lock_held_) return false;
  const auto index_number = TakeRandomSharedLock(index_, kIndexSharedLockBase);
  if (!index_number) Raise(VORA_LOCKTIMEOUT);
  if (HasBlobFile()) {
    const auto blob_number = TakeRandomSharedLock(blob_, kBlobSharedLockBase);
    if (!blob_number) {
      ReleaseSharedLock(index_, kIndexSharedLockBase, *index_number);
      Raise(VORA_LOCKTIMEOUT);
    }
    blob_shared_number_ = *blob_number;
  }
  index_shared_number_ = *index_number;
  shared_lock_held_ = true;
  try {
    return DetectChanges();
  } catch (...) {
    ReleaseSharedBytes();
    throw;
  }
}

bool TDataTable::ReleaseSharedBytes() {
  shared_lock_held_ = false;
  bool ok = ReleaseSharedLock(index_, kIndexSharedLockBase, index_shared_number_);
  if (blob_shared_number_ != 0) {
    ok = (blob_.is_open() && ReleaseSharedLock(blob_, kBlobSharedLockBase, blob_shared_number_)) && ok;
  }
  index_shared_number_ = blob_shared_number_ = 0;
  return ok;
}

void TDataTable::SharedUnlock() {
  if (!shared_lock_held_) return;
  if (!ReleaseSharedBytes()) Raise(VORA_UNLOCKFAILED);
}

bool TDataTable::WriteLock() {
  if (exclusive_ || read_only_attribute_ || write_lock_held_) return false;
  // Our own shared byte lies inside the index write range and would keep
  // the write lock away from ourselves.
  if (shared_lock_held_) SharedUnlock();
  const bool take_semaphore = !table_locked_;
  if (take_semaphore && !LockWithFixedWait(data_, kDataSemaphoreOffset, kDataSemaphoreLength)) {
    Raise(VORA_LOCKTIMEOUT);
  }
  if (!LockWithFixedWait(index_, kIndexWriteLockOffset, kIndexWriteLockLength)) {
    if (take_semaphore) data_.UnlockRange(kDataSemaphoreOffset, kDataSemaphoreLength);
    Raise(VORA_LOCKTIMEOUT);
  }
  const bool take_blob = HasBlobFile();
  if (take_blob && !LockWithFixedWait(blob_, kBlobWriteLockOffset, kBlobWriteLockLength)) {
    index_.UnlockRange(kIndexWriteLockOffset, kIndexWriteLockLength);
    if (take_semaphore) data_.UnlockRange(kDataSemaphoreOffset, kDataSemaphoreLength);
    Raise(VORA_LOCKTIMEOUT);
  }
  write_lock_held_ = true;
  write_took_semaphore_ = take_semaphore;
  write_took_blob_ = take_blob;
  if (table_locked_) return false;
  try {
    return DetectChanges();
  } catch (...) {
    ReleaseWriteRanges();
    throw;
  }
}

bool TDataTable::ReleaseWriteRanges() {
  write_lock_held_ = false;
  bool ok = true;
  if (write_took_blob_) ok = (blob_.is_open() && blob_.UnlockRange(kBlobWriteLockOffset, kBlobWriteLockLength)) && ok;
  ok = index_.UnlockRange(kIndexWriteLockOffset, kIndexWriteLockLength) && ok;
  if (write_took_semaphore_) ok = data_.UnlockRange(kDataSemaphoreOffset, kDataSemaphoreLength) && ok;
  write_took_blob_ = write_took_semaphore_ = false;
  return ok;
}

void TDataTable::WriteUnlock() {
  if (!write_lock_held_) return;
  if (!ReleaseWriteRanges()) Raise(VORA_LOCKTIMEOUT);
}

// --- Table lock ---

bool TDataTable::LockTable() {
  if (table_locked_ || read_only_attribute_) return false;
  if (!exclusive_) {
    if (write_lock_held_ && write_took_semaphore_) {
      // The write lock already holds the semaphore; the table lock keeps it.
      write_took_semaphore_ = false;
    } else if (!LockWithFixedWait(data_, kDataSemaphoreOffset, kDataSemaphoreLength)) {
      Raise(VORA_LOCKTIMEOUT);
    }
  }
  table_locked_ = true;
  if (exclusive_) return false;
  return DetectChanges();
}

void TDataTable::UnlockTable() {
  if (!table_locked_) return;
  table_locked_ = false;
  bool ok = true;
  if (!exclusive_) ok = data_.UnlockRange(kDataSemaphoreOffset, kDataSemaphoreLength);
  // Unlocks asked for while the table was locked take effect now; a record
  // this table does not hold has nothing to give back.
  bool records_ok = true;
  for (const std::int32_t n : deferred_unlocks_) {
    if (!held_records_.contains(n)) continue;
    records_ok = data_.UnlockRange(RecordLockOffset(static_cast<std::uint32_t>(n)), kRecordLockLength) && records_ok;
    held_records_.erase(n);
  }
  deferred_unlocks_.clear();
  if (!ok) Raise(VORA_LOCKTIMEOUT);
  if (!records_ok) Raise(VORA_UNLOCKFAILED);
}

void TDataTable::ReleaseAllLocks() {
  if (data_.is_open()) {
    for (const std::int32_t n : held_records_) {
      data_.UnlockRange(RecordLockOffset(static_cast<std::uint32_t>(n)), kRecordLockLength);
    }
  }
  held_records_.clear();
  cursor_locked_records_.clear();
  deferred_unlocks_.clear();
  if (shared_lock_held_ && index_.is_open()) ReleaseSharedBytes();
  if (write_lock_held_ && index_.is_open()) ReleaseWriteRanges();
  if (table_locked_ && !exclusive_ && data_.is_open()) data_.UnlockRange(kDataSemaphoreOffset, kDataSemaphoreLength);
  shared_lock_held_ = write_lock_held_ = table_locked_ = false;
}

// --- Change detection ---

bool TDataTable::DetectChanges() {
  bool changed = false;
  if (index_.RereadHeaderIfChanged()) {
    index_.DropPermanentPages();
    data_.RereadHeader();
    data_.DropCache();
    changed = true;
  } else if (data_.RereadHeaderIfChanged()) {
    data_.DropCache();
    changed = true;
  }
  // Checked whatever the other two showed: blocks cached from before
  // another writer's change must not outlive it.
  if (HasBlobFile() && blob_.RereadHeaderIfChanged()) {
    blob_.DropBlocks();
    changed = true;
  }
  return changed;
}

// --- Flush ---

void TDataTable::Flush(const TTableFlushOptions& options) {
  if (read_only_) return;
  if (in_transaction_) {
    if (options.force_data_header) data_.MarkModified();
    if (options.force_index_header) index_.MarkModified();
    if (options.force_blob_header && HasBlobFile()) blob_.MarkModified();
    return;
  }
  const bool force_os = options.force_os_flush || settings_.ForceBufferFlush;

  bool wrote = data_.WriteModifiedRecords();
  wrote = data_.WriteHeader(options.force_data_header) || wrote;
  wrote = data_.WriteDescriptors() || wrote;
  if (wrote && force_os) data_.Flush();
  if (options.trim) data_.TrimCache();

  wrote = index_.WriteModifiedPages();
  wrote = index_.WriteHeader(options.force_index_header) || wrote;
  if (wrote && force_os) index_.Flush();
  if (options.trim) index_.TrimPages();

  if (HasBlobFile()) {
    wrote = blob_.WriteModifiedBlocks();
    wrote = blob_.WriteHeader(options.force_blob_header) || wrote;
    if (wrote && force_os) blob_.Flush();
    if (options.trim) blob_.TrimBlocks();
  }
}

void TDataTable::FlushModification(const TTableFlushOptions& options) {
  if (!exclusive_ || read_only_ || in_transaction_) {
    Flush(options);
    return;
  }
  if (options.force_data_header) data_.MarkModified();
  if (options.force_index_header) index_.MarkModified();
  if (options.force_blob_header && HasBlobFile()) blob_.MarkModified();
}

void TDataTable::DropCaches() {
  data_.DropCache();
  index_.DropPermanentPages();
  blob_.DropBlocks();
}

// --- Transactions ---

void TDataTable::StartTransaction() {
  if (read_only_ || in_transaction_) return;
  if (exclusive_) Flush();
  index_.WriteTemporaryPages();
  in_transaction_ = true;
  try {
    LockTable();
  } catch (...) {
    in_transaction_ = false;
    throw;
  }
}

void TDataTable::Commit(bool force_flush) {
  if (!in_transaction_) return;
  try {
    WriteLock();
    in_transaction_ = false;
    Flush({.trim = true, .force_os_flush = force_flush});
    index_.WriteTemporaryPages();
  } catch (...) {
    in_transaction_ = false;
    try {
      WriteUnlock();
      UnlockTable();
    } catch (...) {
      // The first failure is the one to report.
    }
    throw;
  }
  WriteUnlock();
  UnlockTable();
}

void TDataTable::Rollback() {
  if (!in_transaction_) return;
  in_transaction_ = false;
  try {
    DropCaches();
    data_.TrimCache();
    index_.TrimPages();
    blob_.TrimBlocks();
    data_.RereadHeader();
    index_.RereadHeader();
    if (HasBlobFile()) blob_.RereadHeader();
    index_.DropTemporaryPages();
  } catch (...) {
    // The table lock must not outlive the transaction.
    try {
      UnlockTable();
    } catch (...) {
      // The first failure is the one to report.
    }
    throw;
  }
  UnlockTable();
}

}  // namespace telvora::storage
