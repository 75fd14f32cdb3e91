#pragma once
// TPhysicalFile: a shared file object over one operating-system file
// (platform::OsFile), shared by every opener of that file in this process.
//
// All openers share the one handle and its one position, as they share a
// Windows handle: reads and writes are positioned I/O at the handle's
// position, which the seek sets and the read or write moves on, so a seek
// and the read or write after it must be done inside the critical section
// (TFileHandler does so). Byte-range locks are the handle's: two openers of
// this process exclude each other exactly as two programs do.
//
// Opening asks for read/write access unless the file has the read-only
// attribute, and falls back to read-only access when read/write is refused
// (read_only() then tells). A handle opened without write access cannot
// hold an exclusive byte-range lock on Linux, so such a file takes every
// range as a shared lock: it still keeps every writer's range out, and the
// only thing it gives up is excluding other readers, which a file that can
// never be written has no need of (record locks, table locks and shared
// locks of a read-only table only have to keep writers away).
//
// The sequential-scan hint and the normal and temporary attributes of the
// Windows open have no Linux counterpart and are not asked for. A temporary
// file opened (not created) is removed with its last close.
//
// The object exists while it has openers: the TFileList frees it, closing
// the handle, when the last one leaves.
//
// Threads: as TAbstractFile; every operation holds the critical section.

#include <cstdint>
#include <string>

#include "platform/os_file.h"
#include "storage/abstract_file.h"

namespace telvora::storage {

class TPhysicalFile : public TAbstractFile {
 public:
  explicit TPhysicalFile(std::string name);
  ~TPhysicalFile() override;

  std::optional<std::uint64_t> FileSize() override;
  std::uint32_t Create(bool temporary) override;
  std::uint32_t Open(bool exclusive, bool temporary) override;
  std::size_t Close(std::uint32_t opener_id) override;
  // Renames or deletes the file by name; the file must not be open here.
  bool Rename(const std::string& new_name) override;
  bool Delete() override;
  std::optional<std::size_t> Read(std::uint32_t opener_id, void* buffer,
                                  std::size_t length) override;
  bool Write(std::uint32_t opener_id, const void* data, std::size_t length) override;
  bool Flush() override;
  std::optional<std::uint64_t> Seek(std::uint32_t opener_id, std::int64_t offset,
                                    SeekOrigin origin) override;
  bool LockRange(std::uint64_t offset, std::uint64_t length) override;
  bool UnlockRange(std::uint64_t offset, std::uint64_t length) override;

 private:
  platform::OsFile file_;
  std::uint64_t position_ = 0;  // the handle's position
};

}  // namespace telvora::storage
