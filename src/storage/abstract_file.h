#pragma once
// TAbstractFile: one shared open-file object, the single object through which
// every user in this process reaches one table file (one per distinct file
// name and kind, kept in the TFileList).
//
// It keeps what all kinds share: the name, the open count and its openers
// (each with an identifier from a per-object counter starting at 1 and its own
// 64-bit position), the flags exclusive, temporary, read-only and read-only
// attribute, and, for files that live in memory, the length and the list of
// held byte ranges. The base class implements the in-memory behaviour of
// everything but create, read and write; TMemoryFile adds those, TPhysicalFile
// replaces every operation but the opener lookup with one on an
// operating-system file.
//
// Failures return false or nothing and set the calling thread's last system
// error (platform/last_error.h); the engine errors are chosen by the
// TFileHandler, which knows the table's name.
//
// Threads: every operation holds the object's critical section (a recursive
// mutex), so any thread may call any operation. A caller that needs a seek
// and the read or write after it to be one step holds the section around
// both (Enter/Leave). Open, Create and Close are called only by the
// TFileList, under the list's mutex; the object lives while it has openers.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace telvora::storage {

enum class SeekOrigin { kBeginning, kCurrent, kEnd };

// The position `offset` bytes from `base`, or nothing (87 set as the system
// error) when it would fall before the start or past the largest signed
// 64-bit position.
std::optional<std::uint64_t> SeekTarget(std::uint64_t base, std::int64_t offset);

class TAbstractFile {
 public:
  struct Opener {
    std::uint32_t id;
    std::uint64_t position;
  };

  // A byte range held by an in-memory file's lock list; end is one past the
  // last byte.
  struct HeldRange {
    std::uint64_t start;
    std::uint64_t end;
    std::uint64_t length;
  };

  virtual ~TAbstractFile();
  TAbstractFile(const TAbstractFile&) = delete;
  TAbstractFile& operator=(const TAbstractFile&) = delete;

  // The opener with this identifier, or null.
  // REQUIRES: the critical section is held.
  virtual Opener* FindOpener(std::uint32_t opener_id);
  virtual std::optional<std::uint64_t> FileSize();

  // Creates (or re-creates, emptied) the file: exclusive, temporary as
  // asked, and registers the creator as its one opener. Returns the opener's
  // identifier, or 0 with the system error set.
  // REQUIRES: the object has no openers.
  virtual std::uint32_t Create(bool temporary) = 0;
  // Registers a new opener. When the object has no openers yet the file is
  // opened first with these flags; otherwise the flags are the first
  // opener's. Returns the opener's identifier, or 0 with the system error
  // set (32, sharing violation, when either side is exclusive).
  virtual std::uint32_t Open(bool exclusive, bool temporary);
  // Unregisters the opener; returns the open count left.
  virtual std::size_t Close(std::uint32_t opener_id);
  virtual bool Rename(const std::string& new_name);
  virtual bool Delete();

  // Reads up to length bytes at the opener's position and moves it on;
  // fewer only at the end of the file.
  virtual std::optional<std::size_t> Read(std::uint32_t opener_id, void* buffer,
                                          std::size_t length) = 0;
  // Writes all length bytes at the opener's position and moves it on; a
  // length of 0 sets the end of the file at the position.
  virtual bool Write(std::uint32_t opener_id, const void* data, std::size_t length) = 0;
  virtual bool Flush();
  // Moves the opener's position; returns the new position. A position
  // before the start of the file is refused (87).
  virtual std::optional<std::uint64_t> Seek(std::uint32_t opener_id, std::int64_t offset,
                                            SeekOrigin origin);
  // Takes a byte range without waiting: refused (33) when it overlaps any
  // range held through this object. Length 0 is refused (87).
  virtual bool LockRange(std::uint64_t offset, std::uint64_t length);
  // Releases the range held with exactly this start and length (158 if none).
  virtual bool UnlockRange(std::uint64_t offset, std::uint64_t length);

  // The critical section that serializes every operation on the object.
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }

  const std::string& name() const { return name_; }
  bool in_memory() const { return in_memory_; }
  std::size_t open_count();
  bool exclusive();
  bool temporary();
  bool read_only();
  bool read_only_attribute();

 protected:
  TAbstractFile(std::string name, bool in_memory);

  // Adds an opener at position 0 and returns its new identifier.
  // REQUIRES: the critical section is held.
  std::uint32_t AddOpener();

  std::recursive_mutex mutex_;
  std::string name_;
  const bool in_memory_;
  std::vector<Opener> openers_;
  std::uint32_t last_opener_id_ = 0;
  bool exclusive_ = false;
  bool temporary_ = false;
  bool read_only_ = false;
  bool read_only_attribute_ = false;
  std::uint64_t length_ = 0;  // in-memory files only
  std::vector<HeldRange> locks_;  // in-memory files only
};

}  // namespace telvora::storage
