#pragma once
// TRecord: one record of the record cache of a data file: its number, its
// image (record-size bytes), whether the image differs from the file, how
// many users hold it, and its place in the cache's recency list.
//
// Invariants: a pinned record (pin count above 0) is never evicted or
// refreshed from the file; a modified record is never evicted before it is
// written. The image buffer grows in steps of 64 bytes and never shrinks
// while the record is in use.
//
// Owned by its data file's cache; used by the thread that uses the table.
// Image access is for a pinned record only.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace telvora::storage {

class TDataFile;

inline constexpr std::size_t kRecordBufferStep = 64;

class TRecord {
 public:
  TRecord() = default;
  TRecord(const TRecord&) = delete;
  TRecord& operator=(const TRecord&) = delete;

  // Gives the record a number and a cleared image of `size` bytes.
  void Reset(TDataFile* owner, std::int32_t record_number, std::size_t size);

  TDataFile* owner() const { return owner_; }
  std::int32_t RecordNumber() const { return record_number_; }
  bool Modified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }
  int PinCount() const { return pin_count_; }
  void Pin() { ++pin_count_; }
  // Not below 0.
  void Unpin() {
    if (pin_count_ > 0) --pin_count_;
  }

  // The whole image (record-size bytes).
  std::span<const std::uint8_t> Image() const { return {buffer_.data(), size_}; }
  // For the data file and the tests; changes made here do not set the
  // modified flag.
  std::span<std::uint8_t> MutableImage() { return {buffer_.data(), size_}; }

  // Replaces bytes 9 to the end with the caller's (which must hold at least
  // record-size − 9 bytes; the rest is ignored). Sets modified.
  void ReplaceFields(std::span<const std::uint8_t> fields);
  bool Deleted() const;
  // Sets modified.
  void SetDeleted(bool deleted);
  // The record id / auto-increment word at offset 5.
  std::int32_t AutoIncWord() const;
  // Sets modified.
  void SetAutoIncWord(std::int32_t value);
  // Bytes 1 to 4: the record number of an active slot, the chain link of a
  // deleted one.
  std::int32_t Link() const;
  void SetLink(std::int32_t value);
  // Whether the image equals the caller's buffer byte for byte (the buffer
  // must be record-size bytes long to be equal).
  bool SameImage(std::span<const std::uint8_t> other) const;

 private:
  friend class TDataFile;

  TDataFile* owner_ = nullptr;
  std::int32_t record_number_ = 0;
  std::vector<std::uint8_t> buffer_;
  std::size_t size_ = 0;
  bool modified_ = false;
  int pin_count_ = 0;
  bool detached_ = false;  // dropped from the cache while pinned
  TRecord* newer_ = nullptr;  // towards the head of the recency list
  TRecord* older_ = nullptr;  // towards the tail
};

}  // namespace telvora::storage
