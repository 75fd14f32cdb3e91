#include "storage/data_file.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "storage/date_time_values.h"
#include "storage/engine_error_codes.h"
#include "storage/header_checks.h"
#include "storage/record_image.h"
#include "storage/scrambler.h"
#include "storage/storage_errors.h"

namespace telvora::storage {
namespace {

// The owner of a data file that belongs to no table: unlocked, unshared,
// default settings.
class NoOwner final : public TTableFileOwner {
 public:
  const TTableSettings& Settings() const override { return settings_; }
  void MarkWritten() override {}
  bool TableLocked() const override { return false; }
  bool ShortReadAllowed() const override { return false; }
  bool PrimaryIndexUnavailable() const override { return false; }
  bool LockForRead() override { return false; }

 private:
  TTableSettings settings_;
};

NoOwner& DefaultOwner() {
  static NoOwner owner;
  return owner;
}

void GrowScratch(std::vector<std::uint8_t>& buffer, std::size_t size) {
  if (buffer.size() < size) {
    buffer.resize((size + kScratchBufferStep - 1) / kScratchBufferStep * kScratchBufferStep);
  }
}

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

TDataFile::TDataFile() = default;

TDataFile::~TDataFile() { TDataFile::Close(); }

void TDataFile::RaiseTable(std::uint16_t code) const {
  RaiseTableError(code, table_name_.empty() ? file_name() : table_name_);
}

const TTableSettings& TDataFile::Settings() const {
  return (owner_ != nullptr ? *owner_ : static_cast<TTableFileOwner&>(DefaultOwner())).Settings();
}

void TDataFile::NoteWritten() {
  if (owner_ != nullptr) owner_->MarkWritten();
}

std::size_t TDataFile::SettingsCapacity() const {
  const TTableSettings& settings = Settings();
  const std::size_t record_size = std::max<std::size_t>(header_.RecordSize(), 1);
  // At least one record, so that a record larger than the buffer setting
  // still has a place without growing the cache at every read.
  return std::max<std::size_t>(
      1, std::min<std::size_t>(settings.DataBufferBytes / record_size, settings.DataBufferCount));
}

std::uint64_t TDataFile::SlotPosition(std::int32_t n) const {
  return kDataFileHeaderSize + std::uint64_t{kFieldDescriptorSize} * header_.FieldCount() +
         static_cast<std::uint64_t>(n - 1) * header_.RecordSize();
}

// --- Opening, creating, closing ---

void TDataFile::ReadHeaderImage(std::span<std::uint8_t, kDataFileHeaderSize> image) {
  ReadAt(0, image.data(), image.size());
}

void TDataFile::Open() {
  if (is_open()) return;
  TFileHandler::Open();
  try {
    std::array<std::uint8_t, kDataFileHeaderSize> image{};
    ReadHeaderImage(image);
    TDataFileHeader header(image);
    CheckFieldCountOnOpen(header, table_name_.empty() ? file_name() : table_name_);
    const std::size_t block_size = std::size_t{kFieldDescriptorSize} * header.FieldCount();
    std::vector<std::uint8_t> block(block_size);
    if (block_size > 0) ReadAt(kDataFileHeaderSize, block.data(), block_size);
    descriptors_ = DecodeFieldDescriptorBlock(block, header.Encrypted());
    header_ = header;
    header_.ClearModified();
    descriptors_modified_ = false;
    capacity_ = SettingsCapacity();
  } catch (...) {
    TDataFile::Close();
    throw;
  }
}

void TDataFile::Close() {
  DropCache();
  descriptors_.clear();
  descriptors_.shrink_to_fit();
  descriptors_modified_ = false;
  TFileHandler::Close();
}

void TDataFile::Create(const TDataFileCreation& creation, std::vector<TFieldDescriptor> descriptors) {
  if (is_open()) Close();
  TDataFileHeader header =
      TDataFileHeader::Create(creation, descriptors, table_name_.empty() ? file_name() : table_name_);
  TFileHandler::Create();
  header_ = header;
  descriptors_ = std::move(descriptors);
  descriptors_modified_ = true;
  capacity_ = SettingsCapacity();
}

// --- Header ---

bool TDataFile::RereadHeaderIfChanged() {
  std::array<std::uint8_t, kDataFileHeaderSize> image{};
  ReadHeaderImage(image);
  TDataFileHeader read(image);
  if (read.ChangeCounter() == header_.ChangeCounter()) return false;
  header_ = read;
  header_.ClearModified();
  return true;
}

void TDataFile::RereadHeader() {
  std::array<std::uint8_t, kDataFileHeaderSize> image{};
  ReadHeaderImage(image);
  header_ = TDataFileHeader(image);
  header_.ClearModified();
}

bool TDataFile::WriteHeader(bool force) {
  if (!force && !header_.Modified()) return false;
  header_.PrepareWrite(CurrentLocalDateTime());
  WriteAt(0, header_.Image().data(), header_.Image().size());
  header_.ClearModified();
  NoteWritten();
  return true;
}

void TDataFile::MarkModified() {
  header_.MarkModified();
  NoteWritten();
}

bool TDataFile::WriteDescriptors() {
  if (!descriptors_modified_) return false;
  const std::vector<std::uint8_t> block = EncodeFieldDescriptorBlock(descriptors_, header_.Encrypted());
  if (!block.empty()) WriteAt(kDataFileHeaderSize, block.data(), block.size());
  if (Settings().ForceBufferFlush) Flush();
  descriptors_modified_ = false;
  NoteWritten();
  return true;
}

// --- Descriptors ---

std::optional<TFieldDescriptor> TDataFile::DescriptorAt(std::size_t position) const {
  if (position < 1 || position > descriptors_.size()) return std::nullopt;
  return descriptors_[position - 1];
}

std::optional<TFieldDescriptor> TDataFile::DescriptorByNumber(std::uint16_t number) const {
  for (const TFieldDescriptor& d : descriptors_) {
    if (d.FieldNumber() == number) return d;
  }
  return std::nullopt;
}

std::size_t TDataFile::FindField(std::string_view name) const {
  for (std::size_t i = 0; i < descriptors_.size(); ++i) {
    if (SameNameIgnoringCase(descriptors_[i].Name(), name)) return i + 1;
  }
  return 0;
}

// --- Recency and sorted lists ---

void TDataFile::LinkAtHead(TRecord* record) {
  record->newer_ = nullptr;
  record->older_ = head_;
  if (head_ != nullptr) head_->newer_ = record;
  head_ = record;
  if (tail_ == nullptr) tail_ = record;
}

void TDataFile::Unlink(TRecord* record) {
  if (record->newer_ != nullptr) record->newer_->older_ = record->older_;
  else head_ = record->older_;
  if (record->older_ != nullptr) record->older_->newer_ = record->newer_;
  else tail_ = record->newer_;
  record->newer_ = record->older_ = nullptr;
}

void TDataFile::MoveToHead(TRecord* record) {
  if (head_ == record) return;
  Unlink(record);
  LinkAtHead(record);
}

std::vector<std::unique_ptr<TRecord>>::iterator TDataFile::LowerBound(std::int32_t n) {
  return std::lower_bound(sorted_.begin(), sorted_.end(), n,
                          [](const std::unique_ptr<TRecord>& r, std::int32_t v) { return r->record_number_ < v; });
}

TRecord* TDataFile::FindCached(std::int32_t n) const {
  auto it = std::lower_bound(sorted_.begin(), sorted_.end(), n,
                             [](const std::unique_ptr<TRecord>& r, std::int32_t v) { return r->record_number_ < v; });
  return (it != sorted_.end() && (*it)->record_number_ == n) ? it->get() : nullptr;
}

void TDataFile::InsertSorted(std::unique_ptr<TRecord> record) {
  auto it = LowerBound(record->record_number_);
  sorted_.insert(it, std::move(record));
}

std::unique_ptr<TRecord> TDataFile::RemoveSorted(TRecord* record) {
  auto it = LowerBound(record->record_number_);
  if (it == sorted_.end() || it->get() != record) RaiseTable(VORA_FILECORRUPT);
  std::unique_ptr<TRecord> owned = std::move(*it);
  sorted_.erase(it);
  return owned;
}

// --- Record cache ---

TRecord* TDataFile::FindEvictable() const {
  for (TRecord* r = tail_; r != nullptr; r = r->newer_) {
    if (!r->modified_ && r->pin_count_ == 0) return r;
  }
  return nullptr;
}

TRecord* TDataFile::TakeRecordObject(std::int32_t n) {
  std::unique_ptr<TRecord> object;
  if (sorted_.size() >= capacity_) {
    TRecord* victim = FindEvictable();
    const bool locked = owner_ != nullptr && owner_->TableLocked();
    if (victim == nullptr && !locked) {
      WriteModifiedRecords();
      victim = FindEvictable();
    }
    if (victim != nullptr) {
      object = RemoveSorted(victim);
      Unlink(victim);
    } else {
      // Everything is pinned or must stay in memory: grow rather than fail.
      capacity_ += kCacheGrowthStep;
    }
  }
  if (object == nullptr) object = spares_.Take();
  object->Reset(this, n, header_.RecordSize());
  TRecord* record = object.get();
  InsertSorted(std::move(object));
  LinkAtHead(record);
  return record;
}

TRecord* TDataFile::Append(std::int32_t n) {
  const std::uint64_t end = SlotPosition(n) + header_.RecordSize();
  if (n > kMaxRecordNumber || end > kMaxDataFileEnd) RaiseTable(VORA_TABLEFULL);
  TRecord* record = TakeRecordObject(n);
  record->SetLink(n);
  record->modified_ = true;
  record->Pin();
  header_.SetNextRecordNumber(n + 1);
  return record;
}

std::int32_t TDataFile::ReadAheadCount(std::int32_t n, ReadDirection direction, bool read_ahead,
                                       std::optional<std::int32_t> cursor_read_ahead) const {
  if (!read_ahead) return 1;
  const std::int64_t to_end = std::int64_t{header_.NextRecordNumber()} - n;
  std::int64_t k = cursor_read_ahead
                       ? std::int64_t{*cursor_read_ahead}
                       : std::min<std::int64_t>(
                             std::max<std::int64_t>(1, kDefaultReadAheadBytes / std::max<std::uint16_t>(header_.RecordSize(), 1)),
                             to_end);
  // Never at or past the next record number, never before slot 1.
  k = std::min<std::int64_t>(k, direction == ReadDirection::kForward ? to_end : std::int64_t{n});
  // A read larger than the cache would evict its own first records.
  k = std::min<std::int64_t>(k, static_cast<std::int64_t>(std::max<std::size_t>(capacity_, 1)));
  return static_cast<std::int32_t>(std::max<std::int64_t>(k, 1));
}

void TDataFile::LoadSlots(std::int32_t first, std::int32_t count) {
  const std::size_t record_size = header_.RecordSize();
  const std::size_t bytes = record_size * static_cast<std::size_t>(count);
  GrowScratch(read_scratch_, bytes);
  const std::size_t got = ReadAt(SlotPosition(first), read_scratch_.data(), bytes, true);
  if (got < bytes && !(owner_ != nullptr && owner_->ShortReadAllowed())) RaiseTable(VORA_READERR);

  struct ReadingRange {
    TDataFile& file;
    ReadingRange(TDataFile& f, std::int32_t a, std::int32_t b) : file(f) {
      file.reading_first_ = a;
      file.reading_last_ = b;
    }
    ~ReadingRange() {
      file.reading_first_ = 0;
      file.reading_last_ = -1;
    }
  } reading(*this, first, first + count - 1);

  // Records loaded by this read are held until it ends, so that making room
  // for the later ones never evicts the earlier ones (record n among them).
  std::vector<TRecord*> loaded;
  struct Unpin {
    std::vector<TRecord*>& records;
    ~Unpin() {
      for (TRecord* r : records) r->Unpin();
    }
  } unpin{loaded};
  const std::size_t whole = got / record_size;
  loaded.reserve(whole);
  for (std::size_t i = 0; i < whole; ++i) {
    const auto n = static_cast<std::int32_t>(first + static_cast<std::int32_t>(i));
    const std::span<const std::uint8_t> slot(read_scratch_.data() + i * record_size, record_size);
    TRecord* record = FindCached(n);
    if (record != nullptr && (record->modified_ || record->pin_count_ > 0)) continue;
    if (record == nullptr) record = TakeRecordObject(n);
    record->Pin();
    loaded.push_back(record);
    std::span<std::uint8_t> image = record->MutableImage();
    std::memcpy(image.data(), slot.data(), record_size);
    // Unscrambled first: bytes 1-4 of the file image are scrambled too.
    if (header_.Encrypted()) Scramble(image, kDataKey);
    if (!record->Deleted()) record->SetLink(n);
  }
}

TRecord* TDataFile::GetRecord(std::int32_t n, ReadDirection direction, bool read_ahead,
                              std::optional<std::int32_t> cursor_read_ahead) {
  const std::int32_t next = header_.NextRecordNumber();
  if (n < 1 || n > next) RaiseTable(VORA_FILECORRUPT);
  if (n == next) return Append(n);

  // The most recent records are the likeliest to be asked for again.
  TRecord* record = head_;
  for (int i = 0; i < 4 && record != nullptr; ++i, record = record->older_) {
    if (record->record_number_ == n) {
      MoveToHead(record);
      record->Pin();
      return record;
    }
  }
  record = FindCached(n);
  if (record == nullptr) {
    if (!Settings().StrictChangeDetection && owner_ != nullptr && owner_->LockForRead()) return nullptr;
    // The shared lock may have re-read a header that another writer moved.
    if (n >= header_.NextRecordNumber()) RaiseTable(VORA_FILECORRUPT);
    const std::int32_t k = ReadAheadCount(n, direction, read_ahead, cursor_read_ahead);
    LoadSlots(direction == ReadDirection::kForward ? n : n - k + 1, k);
    record = FindCached(n);
    if (record == nullptr) RaiseTable(VORA_FILECORRUPT);
  }
  MoveToHead(record);
  record->Pin();
  return record;
}

void TDataFile::ReleaseRecord(TRecord* record) {
  if (record == nullptr) return;
  record->Unpin();
  if (record->detached_ && record->pin_count_ == 0) {
    auto it = std::find_if(detached_.begin(), detached_.end(),
                           [record](const std::unique_ptr<TRecord>& r) { return r.get() == record; });
    if (it != detached_.end()) {
      std::unique_ptr<TRecord> owned = std::move(*it);
      detached_.erase(it);
      spares_.Give(std::move(owned));
    }
  }
}

TRecord* TDataFile::NewRecordSlot() {
  const std::int32_t head = header_.DeletedChainHead();
  const bool unavailable = owner_ != nullptr && owner_->PrimaryIndexUnavailable();
  const std::int32_t target = (head != 0 && !unavailable) ? head : header_.NextRecordNumber();
  TRecord* record = GetRecord(target);
  if (record == nullptr) return nullptr;
  header_.SetDeletedChainHead(record->Deleted() ? record->Link() : 0);
  record->SetDeleted(false);
  record->SetLink(record->record_number_);
  return record;
}

void TDataFile::DeleteRecord(TRecord* record) {
  // Pushing a slot that is already on the chain would link it to itself,
  // and the next two new records would then share the slot.
  if (record->Deleted()) return;
  record->SetDeleted(true);
  const std::int32_t head = header_.DeletedChainHead();
  const std::int32_t next = header_.NextRecordNumber();
  const bool unavailable = owner_ != nullptr && owner_->PrimaryIndexUnavailable();
  const std::int32_t current = (head != 0 && !unavailable) ? head : next;
  record->SetLink(current == next ? 0 : current);
  header_.SetDeletedChainHead(record->record_number_);
}

bool TDataFile::WriteModifiedRecords() {
  const auto writable = [this](const TRecord& r) {
    return r.modified_ && r.pin_count_ == 0 &&
           !(r.record_number_ >= reading_first_ && r.record_number_ <= reading_last_);
  };
  const std::size_t record_size = header_.RecordSize();
  bool wrote = false;
  std::size_t i = 0;
  while (i < sorted_.size()) {
    if (!writable(*sorted_[i])) {
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < sorted_.size() && writable(*sorted_[j]) &&
           sorted_[j]->record_number_ == sorted_[i]->record_number_ + static_cast<std::int32_t>(j - i)) {
      ++j;
    }
    const std::size_t bytes = (j - i) * record_size;
    GrowScratch(write_scratch_, bytes);
    for (std::size_t k = i; k < j; ++k) {
      const std::span<std::uint8_t> slot(write_scratch_.data() + (k - i) * record_size, record_size);
      std::memcpy(slot.data(), sorted_[k]->Image().data(), record_size);
      if (header_.Encrypted()) Scramble(slot, kDataKey);
    }
    WriteAt(SlotPosition(sorted_[i]->record_number_), write_scratch_.data(), bytes);
    for (std::size_t k = i; k < j; ++k) sorted_[k]->modified_ = false;
    wrote = true;
    i = j;
  }
  if (wrote) NoteWritten();
  return wrote;
}

void TDataFile::TrimCache() {
  capacity_ = SettingsCapacity();
  const bool locked = owner_ != nullptr && owner_->TableLocked();
  while (sorted_.size() > capacity_) {
    TRecord* victim = FindEvictable();
    if (victim == nullptr && !locked) {
      WriteModifiedRecords();
      victim = FindEvictable();
    }
    if (victim == nullptr) break;
    std::unique_ptr<TRecord> owned = RemoveSorted(victim);
    Unlink(victim);
    spares_.Give(std::move(owned));
  }
  capacity_ = std::max(sorted_.size(), capacity_);
}

void TDataFile::DropCache() {
  for (std::unique_ptr<TRecord>& record : sorted_) {
    record->modified_ = false;
    record->newer_ = record->older_ = nullptr;
    if (record->pin_count_ > 0) {
      record->detached_ = true;
      detached_.push_back(std::move(record));
    } else {
      spares_.Give(std::move(record));
    }
  }
  sorted_.clear();
  head_ = tail_ = nullptr;
  capacity_ = SettingsCapacity();
}

}  // namespace telvora::storage
