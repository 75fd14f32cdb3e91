#pragma once
// TDataFile: a table's data file: its 127-byte header, its field
// descriptors and the cache of its records.
//
//   offset 0                          header (never scrambled)
//   offset 127                        field count × 768 bytes of descriptors
//                                     (scrambled as one image with the data
//                                     key in an encrypted table)
//   offset 127 + 768 × field count    record slot 1, slot 2, ... each
//                                     record-size bytes (each image scrambled
//                                     on its own when encrypted)
//
// The header image is the authority for the next record number, the
// deleted-record chain head and the counters; they change in memory at once
// and reach the file with the next header write.
//
// Record cache: a list of TRecord sorted by record number plus a recency list
// (head = most recently used). Its capacity is min(DataBufferBytes / record
// size, DataBufferCount) from the owner's settings; it grows by 64 entries
// when nothing can be evicted. Records handed out by GetRecord and
// NewRecordSlot are pinned and must be given back with ReleaseRecord; a
// pinned record is never evicted or refreshed, and a record dropped from the
// cache while pinned stays valid until its last release.
//
// Limits: record numbers at most 200,000,000 and slots ending at most at
// byte 4,000,000,000 (9479).
//
// Threads: one thread at a time, under the owning table's locks.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/data_file_header.h"
#include "storage/field_descriptor.h"
#include "storage/file_handler.h"
#include "storage/record.h"
#include "storage/record_stack.h"
#include "storage/table_file_owner.h"

namespace telvora::storage {

inline constexpr std::int32_t kMaxRecordNumber = 200000000;
inline constexpr std::uint64_t kMaxDataFileEnd = 4000000000;
// Records read ahead without a count from the cursor: this many bytes' worth.
inline constexpr std::uint32_t kDefaultReadAheadBytes = 8192;
inline constexpr std::size_t kCacheGrowthStep = 64;
// Scratch buffers grow in steps of this many bytes.
inline constexpr std::size_t kScratchBufferStep = 4096;

enum class ReadDirection { kForward, kBackward };

class TDataFile : public TFileHandler {
 public:
  TDataFile();
  ~TDataFile() override;

  void set_owner(TTableFileOwner* owner) { owner_ = owner; }
  // The table name that errors name (the file name when empty).
  void set_table_name(const std::string& name) { table_name_ = name; }

  // Opens the file, reads the header (field count checked before anything
  // is allocated: 8961 above 1,024) and the descriptors in one piece,
  // unscrambled. A short read is 9217. A failure leaves the file closed.
  void Open() override;
  // Drops the record cache (changes not written are lost), frees the
  // descriptors and closes the file.
  void Close() override;
  // Creates the file empty (always new, exclusive) and fills the header from
  // the creation values and the descriptors (which get their stored lengths
  // and offsets); header and descriptors are left marked modified for the
  // first flush. Raises 9492, 9498, 9477 from the header before any file is
  // created.
  void Create(const TDataFileCreation& creation, std::vector<TFieldDescriptor> descriptors);

  // Re-reads the header; when its change counter differs from the cached
  // one, takes the image read (marker cleared) and returns true.
  bool RereadHeaderIfChanged();
  // Re-reads the header unconditionally.
  void RereadHeader();
  // Writes the header when forced or modified: change counter + 1, stamp,
  // engine version, then the image at offset 0. Returns whether it wrote.
  bool WriteHeader(bool force);
  // Change counter + 1 and the modified marker, without writing.
  void MarkModified();
  // Writes the descriptor block when it is marked modified (then flushes to
  // disk when ForceBufferFlush is set). Returns whether it wrote.
  bool WriteDescriptors();

  // Descriptors: by position (1-based) and by field number, nullopt when
  // out of range; by name without regard to ASCII case, the position or 0.
  std::optional<TFieldDescriptor> DescriptorAt(std::size_t position) const;
  std::optional<TFieldDescriptor> DescriptorByNumber(std::uint16_t number) const;
  std::size_t FindField(std::string_view name) const;
  std::span<const TFieldDescriptor> Descriptors() const { return descriptors_; }
  // For the header checks, which refresh stored lengths in place.
  std::span<TFieldDescriptor> MutableDescriptors() { return descriptors_; }

  const TDataFileHeader& Header() const { return header_; }
  // Raw access for the owning table and tests; marker untouched.
  TDataFileHeader& MutableHeader() { return header_; }
  std::uint16_t FieldCount() const { return header_.FieldCount(); }
  std::uint16_t RecordSize() const { return header_.RecordSize(); }
  std::int16_t BlobFieldCount() const { return header_.BlobFieldCount(); }
  std::uint16_t BlobBlockSize() const { return header_.BlobBlockSize(); }
  std::uint16_t LanguageId() const { return header_.LanguageId(); }
  std::uint16_t SortId() const { return header_.SortId(); }
  bool Encrypted() const { return header_.Encrypted(); }
  std::string Password() const { return header_.Password(); }
  std::int64_t PhysicalRecordCount() const { return header_.PhysicalRecordCount(); }
  std::int32_t NextAutoIncValue() { return header_.NextAutoIncValue(); }
  void SetLastAutoIncValue(std::int32_t value) { header_.SetLastAutoIncValue(value); }
  // Byte position of slot n.
  std::uint64_t SlotPosition(std::int32_t n) const;

  // --- Record cache ---

  // Record n, pinned once more. n equal to the next record number appends a
  // new slot (zero image, bytes 1-4 = n, modified; next record number + 1).
  // Reads k slots in one read when it must go to the file: k = 1 without
  // read-ahead, else cursor_read_ahead or 8,192 / record size, never past
  // the last slot nor before slot 1. Returns null (not obtained) when the
  // shared lock taken before the read found another writer's change; the
  // caller repositions and tries again.
  // Errors: 8962 for n below 1 or above the next record number or when the
  // read did not produce record n; 9479 for an append past the limits
  // (header unchanged); 9217 for a short read not allowed by the owner.
  TRecord* GetRecord(std::int32_t n, ReadDirection direction = ReadDirection::kForward,
                     bool read_ahead = false, std::optional<std::int32_t> cursor_read_ahead = {});
  // Unpins (not below 0).
  void ReleaseRecord(TRecord* record);
  // The slot for a new record, pinned: the deleted-chain head (the chain
  // then starts at its link) unless the chain is empty or the primary index
  // is unavailable, else an appended slot (chain head then 0). Bytes 1-4
  // hold the slot's number; the caller fills the rest. Null as GetRecord.
  TRecord* NewRecordSlot();
  // Marks the record deleted and pushes it on the deleted-record chain.
  // REQUIRES: the record is pinned.
  void DeleteRecord(TRecord* record);

  // Writes every modified, unpinned record in runs of consecutive numbers,
  // one write per run. Returns whether anything was written.
  bool WriteModifiedRecords();
  // Evicts clean unpinned records while the cache holds more than the
  // capacity of the settings; the capacity becomes max(count, capacity).
  void TrimCache();
  // Forgets every cached record, modified or not. Pinned records leave the
  // cache but stay valid for their holders until released.
  void DropCache();

  std::size_t CachedRecordCount() const { return sorted_.size(); }
  std::size_t CacheCapacity() const { return capacity_; }
  // The cached record n (not pinned), or null; for the table and tests.
  TRecord* FindCached(std::int32_t n) const;

 private:
  [[noreturn]] void RaiseTable(std::uint16_t code) const;
  const TTableSettings& Settings() const;
  void NoteWritten();
  std::size_t SettingsCapacity() const;
  void ReadHeaderImage(std::span<std::uint8_t, kDataFileHeaderSize> image);

  // Recency list.
  void LinkAtHead(TRecord* record);
  void Unlink(TRecord* record);
  void MoveToHead(TRecord* record);
  // Sorted list.
  std::vector<std::unique_ptr<TRecord>>::iterator LowerBound(std::int32_t n);
  void InsertSorted(std::unique_ptr<TRecord> record);
  std::unique_ptr<TRecord> RemoveSorted(TRecord* record);

  TRecord* Append(std::int32_t n);
  // A record object for number n, linked at the head of the recency list
  // and inserted in the sorted list; evicts or grows the cache as needed.
  TRecord* TakeRecordObject(std::int32_t n);
  // The least recently used clean, unpinned record, or null.
  TRecord* FindEvictable() const;
  std::int32_t ReadAheadCount(std::int32_t n, ReadDirection direction, bool read_ahead,
                              std::optional<std::int32_t> cursor_read_ahead) const;
  void LoadSlots(std::int32_t first, std::int32_t count);

  TTableFileOwner* owner_ = nullptr;
  std::string table_name_;
  TDataFileHeader header_;
  std::vector<TFieldDescriptor> descriptors_;
  bool descriptors_modified_ = false;

  std::vector<std::unique_ptr<TRecord>> sorted_;
  std::vector<std::unique_ptr<TRecord>> detached_;
  TRecord* head_ = nullptr;
  TRecord* tail_ = nullptr;
  std::size_t capacity_ = 0;
  TRecordStack spares_;
  std::vector<std::uint8_t> read_scratch_;
  std::vector<std::uint8_t> write_scratch_;
  // Slots of a read in progress, left alone by writes made to find room.
  std::int32_t reading_first_ = 0;
  std::int32_t reading_last_ = -1;
};

}  // namespace telvora::storage
