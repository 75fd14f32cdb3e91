// TDataCursor: the writing half: new records, inserts, edits and deletes
// under the table's write lock, record locks under the session's locking
// protocol, BLOB values and the creation and deletion of table files.

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/record_defaults.h"
#include "engine/record_validation.h"
#include "engine/record_writes.h"
#include "storage/engine_error_codes.h"

namespace telvora::engine {

namespace {

bool SameImage(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace

bool TDataCursor::TakesLocks() const { return !exclusive_ && !table_->read_only_attribute(); }

bool TDataCursor::Optimistic() const {
  return directory_.session().LockProtocol() == TLockProtocol::lpOptimistic;
}

void TDataCursor::RequireCurrent() const {
  if (at_bof_ || at_eof_) Raise(storage::VORA_NOCURRREC);
}

void TDataCursor::RequireWritable() const {
  RequireOpen();
  if (read_only_) Raise(storage::VORA_OSEACCES);
}

void TDataCursor::CheckRecord(std::span<const std::uint8_t> buffer) const {
  // A buffer of another size cannot be a record of this table; writing it
  // would read or write past its end.
  if (buffer.size() != record_size_) throw std::invalid_argument("record buffer of the wrong size");
}

TOpenBlobValues& TDataCursor::Blobs() {
  RequireOpen();
  if (!blobs_) blobs_ = std::make_unique<TOpenBlobValues>(*table_);
  return *blobs_;
}

TRecordWriteParts TDataCursor::WriteParts() {
  if (!index_writer_) index_writer_ = std::make_unique<TRecordIndexWriter>(*table_);
  return {*table_, *index_writer_, Blobs()};
}

void TDataCursor::Write(const std::function<void()>& op) {
  RequireOpen();
  ++access_depth_;
  const bool take = TakesLocks() && !table_->write_lock_held();
  try {
    if (take) {
      const bool changed = table_->WriteLock();
      if (changed || CountersChanged()) Resync();
    } else if (CountersChanged()) {
      Resync();
    }
    op();
  } catch (...) {
    --access_depth_;
    if (take && table_->write_lock_held()) {
      try {
        table_->WriteUnlock();
      } catch (...) {
        // The write's own error is the one to report.
      }
    }
    throw;
  }
  --access_depth_;
  if (take) table_->WriteUnlock();
}

void TDataCursor::FlushWrite() {
  table_->FlushModification({.force_data_header = true,
                             .force_blob_header = table_->HasBlobFile(),
                             .force_index_header = true});
  CopyCounters();
}

// --- Record locks ---

void TDataCursor::LockRecord(std::int32_t n) {
  RequireOpen();
  if (n == 0) {
    RequireCurrent();
    n = physical_rec_no_;
  }
  if (!TakesLocks()) return;
  std::set<std::int32_t>& locked = table_->cursor_locked_records();
  // Byte-range locks do not keep two cursors of one process apart: the
  // open table's own list does.
  if (locked.contains(n)) Raise(storage::VORA_RECLOCKFAILED);
  const bool changed = table_->LockRecord(n);
  locked.insert(n);
  if (locked_record_ != 0 && locked_record_ != n) UnlockRecord();
  locked_record_ = n;
  if (changed) Resync();
}

void TDataCursor::UnlockRecord() {
  RequireOpen();
  if (locked_record_ == 0) return;
  const std::int32_t n = locked_record_;
  locked_record_ = 0;
  table_->cursor_locked_records().erase(n);
  table_->UnlockRecord(n);
}

void TDataCursor::ReleaseWriteState() {
  if (locked_record_ != 0) {
    const std::int32_t n = locked_record_;
    locked_record_ = 0;
    table_->cursor_locked_records().erase(n);
    try {
      table_->UnlockRecord(n);
    } catch (...) {
      // Closing releases every lock of the table anyway.
    }
  }
  change_detected_ = false;
  edit_image_.clear();
  edit_record_ = 0;
  blobs_.reset();
  index_writer_.reset();
}

void TDataCursor::LockForEdit(std::span<const std::uint8_t> as_read) {
  const std::int32_t n = physical_rec_no_;
  const bool optimistic = Optimistic();
  if (!optimistic) LockRecord(n);
  if (exclusive_) return;
  LoadRecord();
  const bool compare = !as_read.empty();
  if ((compare && !SameImage(as_read.first(std::min(as_read.size(), record_.size())), record_)) ||
      physical_rec_no_ != n) {
    if (!optimistic) UnlockRecord();
    Raise(storage::VORA_KEYORRECDELETED);
  }
  if (optimistic) {
    edit_image_ = record_;
    edit_record_ = n;
  }
}

void TDataCursor::CancelEdit() {
  RequireOpen();
  if (Optimistic()) {
    change_detected_ = false;
    edit_image_.clear();
    edit_record_ = 0;
  } else {
    UnlockRecord();
  }
}

// --- New records ---

void TDataCursor::InitRecord(std::span<std::uint8_t> buffer) {
  RequireOpen();
  CheckRecord(buffer);
  engine::InitRecord(fields_, locale_, buffer);
}

int TDataCursor::CopyCurrentForAppend(std::span<std::uint8_t> buffer) {
  RequireOpen();
  CheckRecord(buffer);
  int result = kOk;
  Access([&] {
    if (at_bof_ || at_eof_) {
      result = storage::VORA_NOCURRREC;
      return;
    }
    LoadRecord();
    Blobs().CopyForAppend(record_, buffer);
  });
  return result;
}

// --- Inserting, modifying and deleting ---

void TDataCursor::InsertRecord(std::span<std::uint8_t> buffer, bool reposition) {
  RequireWritable();
  CheckRecord(buffer);
  if (HasValidityChecks(fields_)) ValidateRecord(fields_, locale_, buffer, table_name_);
  Write([&] {
    // The slot the data file will hand out: the head of the deleted chain
    // or a new one at the end. Locked before anything is written, so that a
    // lock that fails leaves the table as it was.
    const std::int32_t deleted_head = table_->data_file().Header().DeletedChainHead();
    const std::int32_t slot = deleted_head != 0 ? deleted_head : SlotCount() + 1;
    const bool took = TakesLocks();
    LockRecord(slot);
    std::int32_t n = 0;
    try {
      n = InsertRecordImage(WriteParts(), buffer);
      FlushWrite();
    } catch (...) {
      if (took) UnlockRecord();
      throw;
    }
    if (took) UnlockRecord();
    NoteRecordWritten(n, buffer);
    if (reposition) RepositionOnRecord(buffer, n);
  });
}

void TDataCursor::ModifyRecord(std::span<std::uint8_t> buffer, bool edit_locked, bool reposition) {
  RequireWritable();
  CheckRecord(buffer);
  if (HasValidityChecks(fields_)) ValidateRecord(fields_, locale_, buffer, table_name_);
  RequireCurrent();
  const bool optimistic = Optimistic();
  // The record as the edit read it: taken at the edit start, or else the
  // cursor's image now, before the write lock may re-read it.
  std::vector<std::uint8_t> as_read = record_;
  std::int32_t read_number = physical_rec_no_;
  if (optimistic && !edit_image_.empty()) {
    as_read = edit_image_;
    read_number = edit_record_;
  }
  Write([&] {
    bool took = false;
    if (optimistic && !exclusive_) {
      const bool gone = at_bof_ || at_eof_;
      if (!gone) LoadRecord();
      if (change_detected_ || gone || physical_rec_no_ != read_number || !SameImage(record_, as_read)) {
        change_detected_ = true;
        Raise(storage::VORA_KEYORRECDELETED);
      }
      took = TakesLocks();
      LockRecord(physical_rec_no_);
    }
    RequireCurrent();
    const std::int32_t n = physical_rec_no_;
    try {
      ModifyRecordImage(WriteParts(), n, buffer);
      FlushWrite();
    } catch (...) {
      if (took) UnlockRecord();
      throw;
    }
    if (optimistic || edit_locked) UnlockRecord();
    edit_image_.clear();
    edit_record_ = 0;
    NoteRecordWritten(n, buffer);
    if (reposition) {
      RepositionOnRecord(buffer, n);
    } else {
      LoadRecord();
    }
  });
}

void TDataCursor::DeleteRecord(std::span<const std::uint8_t> buffer, bool reposition) {
  RequireWritable();
  CheckRecord(buffer);
  Write([&] {
    RequireCurrent();
    const std::int32_t n = physical_rec_no_;
    bool took = false;
    if (table_->cursor_locked_records().contains(n)) {
      if (locked_record_ != n) Raise(storage::VORA_RECLOCKFAILED);
    } else {
      if (!exclusive_) {
        LoadRecord();
        if (!SameImage(buffer, record_)) Raise(storage::VORA_KEYORRECDELETED);
      }
      took = TakesLocks();
      LockRecord(n);
    }
    try {
      DeleteRecordImage(WriteParts(), n, buffer);
      FlushWrite();
    } catch (...) {
      if (took) UnlockRecord();
      throw;
    }
    UnlockRecord();
    edit_image_.clear();
    edit_record_ = 0;
    NoteRecordDeleted(n);
    // The record is gone: re-synchronising finds the entry that now
    // follows it (none after the last one).
    if (reposition) {
      if (natural_) {
        // In physical order the following record is the next visible slot.
        std::int32_t r = n + 1;
        while (r <= SlotCount() && !Visible(r)) ++r;
        if (r <= SlotCount()) {
          PositionOnRecord(r);
          at_bof_ = at_eof_ = false;
          LoadRecord();
        } else {
          RestoreCrack(false, true);
        }
      } else {
        const std::vector<std::uint8_t> deleted_key = current_key_;
        ResyncBody();
        // Nothing follows the last entry: the nearest one found before it
        // is not the following record.
        if (!at_bof_ && !at_eof_ && current_key_.size() == deleted_key.size() &&
            CompareKeys(current_key_.data(), deleted_key.data(), deleted_key.size()) < 0) {
          RestoreCrack(false, true);
        }
      }
    }
  });
}

// --- BLOB values ---

std::uint16_t TDataCursor::OpenBlob(std::uint16_t field, std::span<std::uint8_t> record, int mode, bool internal,
                                    std::size_t& size) {
  std::uint16_t result = 0;
  Access([&] { result = Blobs().OpenBlob(field, record, mode, internal, size); });
  return result;
}

std::uint16_t TDataCursor::CloseBlob(std::uint16_t field, std::span<std::uint8_t> record) {
  return Blobs().CloseBlob(field, record);
}

std::uint16_t TDataCursor::ReadBlob(std::uint16_t field, std::span<const std::uint8_t> record, std::size_t offset,
                                    std::size_t count, std::uint8_t* destination, std::size_t& read) {
  return Blobs().ReadBlob(field, record, offset, count, destination, read);
}

std::uint16_t TDataCursor::WriteBlob(std::uint16_t field, std::span<std::uint8_t> record, std::size_t offset,
                                     std::size_t count, const std::uint8_t* source) {
  return Blobs().WriteBlob(field, record, offset, count, source);
}

std::uint16_t TDataCursor::TruncateBlob(std::uint16_t field, std::span<std::uint8_t> record, std::size_t length) {
  return Blobs().TruncateBlob(field, record, length);
}

std::uint16_t TDataCursor::GetBlobSize(std::uint16_t field, std::span<const std::uint8_t> record, std::size_t& size) {
  return Blobs().GetBlobSize(field, record, size);
}

// --- Table files ---

void TDataCursor::CreateTable(const TTableDescription& description, bool overwrite) {
  RequireClosed();
  if (!exclusive_) Raise(storage::VORA_NEEDEXCLACCESS);
  if (read_only_) Raise(storage::VORA_OSEACCES);
  CreateCheckedTable(directory_, table_name_, description, directory_.path().empty(), overwrite);
}

void TDataCursor::DeleteTable() {
  RequireClosed();
  directory_.DeleteTable(table_name_, directory_.path().empty());
}

}  // namespace telvora::engine
