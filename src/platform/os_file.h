#pragma once
// OsFile: one open operating-system file, the Linux stand-in for a Windows
// file handle with its share mode and its byte-range locks.
//
// Each OsFile owns one open file description (one open(2) call, never dup'ed
// and closed on exec), so the byte-range locks it takes are open-file-
// description locks (F_OFD_SETLK): they belong to this object, conflict with
// every other OsFile of the same file in this process and in any other, and
// disappear when the object closes. Nothing here ever waits for a lock.
//
// Failures return false (or an empty optional) and set the calling thread's
// last system error to a Windows error number (platform/last_error.h), as the
// Windows file functions do; nothing throws.
//
// Share modes. Windows' "share none" versus "share read and write" is
// emulated with locks on two reserved bytes, kShareLockOffset (S) and S + 1
// (X), far above every range a caller may lock:
//   - an exclusive opener with write access write-locks S and X together;
//   - a shared opener read-locks S, then asks (F_OFD_GETLK) whether anyone
//     holds X, and if so lets go and refuses;
//   - an exclusive opener without write access (a POSIX write lock needs a
//     descriptor opened for writing) read-locks X, then asks whether anyone
//     else holds S or X, and if so lets go and refuses.
// Every opener takes its byte before it looks at the other one, so of two
// openers racing each other at least one sees the other: two openers that
// exclude each other never both succeed (both may be refused, as when two
// programs open the same file at the same instant). A refused opening fails
// with 32, the sharing violation. An exclusive opener therefore excludes
// every other opener whatever its access, exactly as "share none" does.
//
// The read-only attribute. Windows' FILE_ATTRIBUTE_READONLY is taken to be
// a regular file with no write permission bit for anyone (mode & 0222 == 0);
// SetReadOnly clears all three write bits and, when cleared, gives the owner
// back the write bit. Such a file always opens read-only, even for root, who
// could write it regardless.
//
// Byte-range locks follow LockFile/LockFileEx: an exclusive range conflicts
// with any other range that overlaps it, shared ranges overlap each other
// freely, and this holds between two OsFile objects and within one object
// (OFD locks of one description never conflict with each other, so each
// object keeps the list of ranges it holds and refuses an overlapping
// request itself before asking the kernel). An unlock names exactly a held
// range, start and length. Like Windows' own locks, the ranges may lie beyond
// the end of the file; unlike them they are advisory: reads and writes are
// not checked against them (the table files lock bytes that hold no data).
//
// Threads: an open OsFile may be used from several threads at once for
// Read, Write, Size, Flush and the lock calls (positioned I/O has no shared
// position; the held-range list has its own mutex). Open, Create, Close,
// moving and destroying must not overlap any other call on the object.
// Move-only; a moved-from object is closed.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace telvora::platform {

enum class FileAccess { kRead, kReadWrite };
enum class FileSharing { kExclusive, kShared };
enum class LockKind { kExclusive, kShared };

struct FileAttributes {
  bool read_only = false;  // regular file with no write permission bit
  bool directory = false;
};

class OsFile {
 public:
  // The two reserved share-mode bytes (see above). Every caller range must
  // end at or below kShareLockOffset; the table files lock nothing above
  // 2^32, so 2^62 leaves all of the 64-bit positions a table can use free.
  static constexpr std::uint64_t kShareLockOffset = std::uint64_t{1} << 62;
  static constexpr std::uint64_t kShareLockLength = 2;

  OsFile();
  ~OsFile();
  OsFile(OsFile&& other) noexcept;
  OsFile& operator=(OsFile&& other) noexcept;
  OsFile(const OsFile&) = delete;
  OsFile& operator=(const OsFile&) = delete;

  // Opens an existing file (open-existing disposition). kReadWrite falls
  // back to read-only when write access is refused (no permission, read-only
  // file system, immutable file) and always gives read-only for a file with
  // the read-only attribute; read_only() tells which was had. A folder is
  // refused with 5, a missing file with 2, a missing folder on the way with
  // 3, a file open elsewhere in a conflicting share mode with 32.
  // With delete_on_close the file's name is removed when this object
  // closes (Windows removes it with the last handle; other programs that
  // still have it open keep reading and writing it under no name).
  // REQUIRES: the object is closed.
  bool Open(const std::string& path, FileAccess access, FileSharing sharing,
            bool delete_on_close = false);

  // Creates the file always-new: made if missing, otherwise emptied; opened
  // read/write and exclusive. An existing file is emptied only once its
  // exclusive share lock is held, so a file open elsewhere is refused with 32
  // and left as it was. A file with the read-only attribute is refused with 5.
  // REQUIRES: the object is closed.
  bool Create(const std::string& path, bool delete_on_close = false);

  // Releases every lock this object holds and closes the file (removing its
  // name first when it was opened with delete_on_close and the name still
  // refers to this file). Closing a closed object does nothing.
  bool Close();

  bool is_open() const;
  // Opened without write access (asked so, fallen back, or the attribute).
  bool read_only() const;
  // The file had the read-only attribute when it was opened.
  bool read_only_attribute() const;
  bool exclusive() const;
  const std::string& path() const;

  // Reads up to length bytes at offset; fewer only at the end of the file.
  // Returns the number of bytes read.
  std::optional<std::size_t> Read(std::uint64_t offset, void* buffer, std::size_t length) const;
  // Writes all length bytes at offset, or fails (5 when opened read-only,
  // 112 when the disk is full). A write of length 0 truncates (or extends)
  // the file to offset.
  bool Write(std::uint64_t offset, const void* data, std::size_t length);
  // Forces written data to the disk.
  bool Flush();
  std::optional<std::uint64_t> Size() const;

  // Takes a byte range lock without waiting. Refused with 33 when it
  // conflicts with a range held through this or any other object, with 87
  // for length 0 or a range reaching past kShareLockOffset, and with 5 for an
  // exclusive range on an object without write access (take a shared one).
  bool LockRange(std::uint64_t offset, std::uint64_t length,
                 LockKind kind = LockKind::kExclusive);
  // Releases the range this object holds with exactly this start and
  // length; anything else is refused with 158 (not locked). Bytes still
  // covered by another held shared range stay locked.
  bool UnlockRange(std::uint64_t offset, std::uint64_t length);

  // Path operations, with DeleteFile/MoveFile's refusals: a folder or a file
  // with the read-only attribute cannot be deleted (5); a file open through
  // an OsFile anywhere, in this process too, cannot be deleted or renamed
  // (32); rename never replaces an existing name (183).
  static bool Delete(const std::string& path);
  static bool Rename(const std::string& from, const std::string& to);
  static std::optional<FileAttributes> GetAttributes(const std::string& path);
  // Sets or clears the read-only attribute of a regular file (5 for a folder).
  static bool SetReadOnly(const std::string& path, bool read_only);
  // True when path names an existing folder; false otherwise, error unset.
  static bool IsDirectory(const std::string& path);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace telvora::platform
