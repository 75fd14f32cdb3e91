#pragma once
// TMemoryFile: a shared file object whose contents live in this process's
// memory, for in-memory tables.
//
// The contents are a buffer that grows in steps of kMemoryFileGrowthStep
// bytes and is given back only when the object is destroyed; the length is
// kept apart from the buffer's size, and every byte between the length and a
// later write or extension reads as 0. Each opener has its own position. Byte
// ranges are locked in the object's own lock list (see TAbstractFile), so all
// sessions of the process exclude each other through it.
//
// Threads: as TAbstractFile; every operation holds the critical section.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "storage/abstract_file.h"

namespace telvora::storage {

inline constexpr std::size_t kMemoryFileGrowthStep = 4096;

class TMemoryFile : public TAbstractFile {
 public:
  explicit TMemoryFile(std::string name);

  std::uint32_t Create(bool temporary) override;
  std::optional<std::size_t> Read(std::uint32_t opener_id, void* buffer,
                                  std::size_t length) override;
  bool Write(std::uint32_t opener_id, const void* data, std::size_t length) override;

  // Bytes reserved for the contents (a multiple of kMemoryFileGrowthStep).
  std::size_t capacity();

 private:
  // Makes room for `length` bytes and sets the length, zeroing any bytes
  // added past the old length. False (8, not enough memory) when the
  // buffer cannot grow.
  bool SetLength(std::uint64_t length);

  std::vector<unsigned char> buffer_;
};

}  // namespace telvora::storage
