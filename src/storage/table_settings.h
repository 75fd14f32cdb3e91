#pragma once
// TTableSettings: the settings of an engine session that the table files
// use: record-lock retries, buffer flushing, change detection and the sizes
// of the record and BLOB block caches.
//
// A plain value; the engine session copies its own settings into the open
// tables it serves. The defaults are the engine's.

#include <cstdint>

namespace telvora::storage {

struct TTableSettings {
  // Extra attempts of a record lock after the first one.
  std::uint32_t LockRetryCount = 15;
  // Milliseconds between record-lock attempts.
  std::uint32_t LockWaitTime = 100;
  // Flush the operating system's buffers after every write of a file.
  bool ForceBufferFlush = false;
  // When false, a record read from disk and a record lock first take the
  // shared lock, which notices other writers' changes.
  bool StrictChangeDetection = false;
  // Record cache capacity = min(DataBufferBytes / record size,
  // DataBufferCount); index page caches hold DataBufferBytes / 8,192 pages.
  std::uint32_t DataBufferBytes = 16384;
  std::uint32_t DataBufferCount = 8192;
  // Block cache capacity = min(BlobBufferBytes / block size, BlobBufferCount).
  std::uint32_t BlobBufferBytes = 32768;
  std::uint32_t BlobBufferCount = 8192;
};

}  // namespace telvora::storage
