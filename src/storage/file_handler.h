#pragma once
// TFileHandler: one user's access to one table file, through the shared file
// object that the TFileList keeps for the file's name; the base of the data,
// index and BLOB files.
//
// The caller sets the full file name and the in-memory, exclusive and
// temporary flags, then opens or creates. Every failure is raised as an
// EVoraEngineError whose table text is the file name:
//   11010 the file does not exist (for a physical file also when the name is
//         a folder; for an in-memory file when the list has no entry);
//   11013 the file is open in this process and either side is exclusive, or
//         a create, delete or rename meets a file open in this process;
//   other 110xx codes from the operating system's error (EngineCodeForSystemError);
//   9217  a read that fails, or returns fewer bytes than asked when that was
//         not allowed; 9218 a write that fails or writes fewer bytes, or a
//         failed flush.
//
// Positions follow the file's kind: an in-memory file keeps one position per
// opener, a physical one the shared handle's position, so a seek and the read
// or write after it belong inside the shared object's critical section
// (Enter/Leave, or ReadAt/WriteAt, which do both in one step).
//
// Byte-range locks never wait; they return success or failure. See
// lock_map.h for the ranges and the fixed-wait loops.
//
// Threads: one handler is used by one thread at a time; handlers of one file
// used from several threads share the object safely. Do not open, create,
// close, delete or rename while holding the critical section (the file list's
// mutex is taken first, then the object's).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "storage/abstract_file.h"

namespace telvora::storage {

// Bytes moved per step by CopyOut and CopyIn.
inline constexpr std::size_t kFileCopyChunkSize = 65536;

// Told after each chunk of a copy: bytes copied so far and the whole size.
using FileCopyProgress = std::function<void(std::uint64_t copied, std::uint64_t total)>;

class TFileHandler {
 public:
  TFileHandler();
  // Closes the file when still open.
  virtual ~TFileHandler();
  TFileHandler(const TFileHandler&) = delete;
  TFileHandler& operator=(const TFileHandler&) = delete;

  // Opens the file named by file_name() as a new opener of its shared
  // object. Opening an open handler does nothing.
  virtual void Open();
  // Unregisters this opener; the last opener's close closes the handle.
  // Closing a closed handler does nothing; never raises.
  virtual void Close();
  // Creates the file always-new (exclusive, temporary as set) and leaves
  // this handler open as its only opener.
  virtual void Create();
  // Deletes the file by name. REQUIRES: this handler is closed.
  virtual void Delete();
  // Renames the file; file_name() becomes new_name. REQUIRES: closed.
  virtual void Rename(const std::string& new_name);
  // Copies the whole file into a new physical file of that name (replacing
  // one that exists and is not open), in chunks of kFileCopyChunkSize bytes.
  // Leaves this handler's position at the end of the copied data.
  // REQUIRES: open.
  virtual void CopyOut(const std::string& target_name, const FileCopyProgress& progress = {});
  // Replaces this file's contents with those of an existing physical file,
  // in chunks of kFileCopyChunkSize bytes; the file ends where the copied
  // data ends. REQUIRES: open for writing.
  virtual void CopyIn(const std::string& source_name, const FileCopyProgress& progress = {});
  // Reads at the current position. Returns the bytes read; fewer than
  // length raises 9217 unless allow_short.
  virtual std::size_t Read(void* buffer, std::size_t length, bool allow_short = false);
  // Writes at the current position; length 0 sets the end of the file there.
  virtual void Write(const void* data, std::size_t length);
  // Forces the file's written data to the disk.
  virtual void Flush();

  // Moves the position; returns the new position.
  std::uint64_t Seek(std::int64_t offset, SeekOrigin origin = SeekOrigin::kBeginning);
  std::uint64_t FileSize();
  // A seek and a read (or write) as one step inside the critical section.
  std::size_t ReadAt(std::uint64_t position, void* buffer, std::size_t length,
                     bool allow_short = false);
  void WriteAt(std::uint64_t position, const void* data, std::size_t length);

  // The shared object's critical section, for callers that combine several
  // steps. REQUIRES: open.
  void EnterCriticalSection();
  void LeaveCriticalSection();

  // Takes or releases a byte range without waiting (see lock_map.h).
  // REQUIRES: open.
  bool LockRange(std::uint64_t offset, std::uint64_t length);
  bool UnlockRange(std::uint64_t offset, std::uint64_t length);

  // Settings, read by Open and Create.
  void set_file_name(const std::string& name) { file_name_ = name; }
  // The name errors give for the file: the table's name as its user gave
  // it ("Table 'PhoneBook' does not exist"); the file name until set.
  void set_error_name(const std::string& name) { error_name_ = name; }
  void set_in_memory(bool in_memory) { in_memory_ = in_memory; }
  void set_exclusive(bool exclusive) { exclusive_ = exclusive; }
  void set_temporary(bool temporary) { temporary_ = temporary; }
  const std::string& file_name() const { return file_name_; }
  bool in_memory() const { return in_memory_; }
  bool exclusive() const { return exclusive_; }
  bool temporary() const { return temporary_; }

  // Results of the last open or create.
  bool is_open() const { return open_; }
  // Opened without write access (asked for read/write and fell back).
  bool read_only() const { return read_only_; }
  bool read_only_attribute() const { return read_only_attribute_; }
  std::uint32_t opener_id() const { return opener_id_; }
  // The shared object while open, else null.
  TAbstractFile* file() const { return file_; }

 protected:
  // Raises `code` with this file's name as the table text.
  [[noreturn]] void Raise(std::uint16_t code) const;
  // REQUIRES: open; raises 11014 otherwise.
  TAbstractFile& OpenFile() const;

 private:
  // Takes the results of an open or create from the list.
  void Attach(std::int64_t result, TAbstractFile* file);

  std::string file_name_;
  std::string error_name_;
  bool in_memory_ = false;
  bool exclusive_ = false;
  bool temporary_ = false;
  bool read_only_ = false;
  bool read_only_attribute_ = false;
  std::uint32_t opener_id_ = 0;
  TAbstractFile* file_ = nullptr;
  bool open_ = false;
};

}  // namespace telvora::storage
