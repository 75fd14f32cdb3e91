#pragma once
// TIndexFile: a table's index file: its 4096-byte header (scrambled as a
// whole with the data key in an encrypted table) and raw access to the index
// pages that follow it (page n at n × 4096, each scrambled as a whole).
//
// The header image is the authority for the next page number, the active
// record count and the index descriptors. The pages themselves are cached
// and interpreted by the index code, which attaches its TIndexPageCaches;
// until it does, the page operations of the table do nothing.
//
// Threads: one thread at a time, under the owning table's locks.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "storage/file_handler.h"
#include "storage/index_file_header.h"
#include "storage/index_page_caches.h"
#include "storage/page_image.h"
#include "storage/table_file_owner.h"

namespace telvora::storage {

class TIndexFilePages;
class TIndexPages;

class TIndexFile : public TFileHandler {
 public:
  TIndexFile();
  ~TIndexFile() override;

  void set_owner(TTableFileOwner* owner) { owner_ = owner; }
  TTableFileOwner* owner() const { return owner_; }
  void set_table_name(const std::string& name) { table_name_ = name; }
  const std::string& table_name() const { return table_name_; }
  // Whether the table is encrypted (from the data file header); set before
  // Open or Create.
  void set_encrypted(bool encrypted) { encrypted_ = encrypted; }
  bool encrypted() const { return encrypted_; }
  // The page caches of the index code; null detaches them.
  void set_page_caches(TIndexPageCaches* caches) { page_caches_ = caches; }
  TIndexPageCaches* page_caches() const { return page_caches_; }

  // Makes this file's own index page caches and attaches them: each cache
  // starts with room for data_buffer_bytes / 8,192 pages; temporary indexes
  // go to a file in temporary_directory, scrambled when the table is
  // encrypted. Replaces caches attached before (their pages are forgotten).
  // REQUIRES: the file is open.
  void AttachPages(int data_buffer_bytes, const std::string& temporary_directory);
  // The caches made by AttachPages, or null.
  TIndexPages* pages() const { return pages_.get(); }

  // Opens the file and reads the header (secondary count above 32: 8961;
  // short read: 9217). A failure leaves the file closed.
  void Open() override;
  // Drops the temporary index pages and closes the file.
  void Close() override;
  // Creates the file empty and fills a new header (modified): the reserved
  // slots "Sys Deleted" and "Sys Text", nothing else. The caller adds the
  // primary and secondary descriptors; the header is written by the next
  // header write.
  void Create() override;
  // Create, then write the header at once (a lost index file is replaced
  // this way).
  void CreateNewFile();

  bool RereadHeaderIfChanged();
  void RereadHeader();
  // Writes the header when forced or modified (change counter + 1). Returns
  // whether it wrote.
  bool WriteHeader(bool force);
  void MarkModified();

  const TIndexFileHeader& Header() const { return header_; }
  TIndexFileHeader& MutableHeader() { return header_; }
  std::int32_t ActiveRecordCount() const { return header_.ActiveRecordCount(); }
  void IncrementActiveRecordCount() { header_.IncrementActiveRecordCount(); }
  void DecrementActiveRecordCount() { header_.DecrementActiveRecordCount(); }
  bool PrimaryIndexUnavailable() const { return header_.PrimaryIndexUnavailable(); }
  void SetPrimaryIndexUnavailable(bool unavailable) { header_.SetPrimaryIndexUnavailable(unavailable); }

  // Pages: 1 to next page number − 1.
  std::int32_t NextPageNumber() const { return header_.NextPageNumber(); }
  // Hands out the next page number (header marked modified).
  std::int32_t TakeNextPageNumber();
  std::uint64_t PagePosition(std::int32_t page) const { return std::uint64_t(page) * kIndexPageSize; }
  // Reads page n, unscrambled. 8965 for a page outside 1 to next − 1; 9217
  // when the file ends before it, unless allow_short (the rest of image is
  // then zero: the page has not reached the file yet).
  void ReadPageImage(std::int32_t page, std::span<std::uint8_t, kIndexPageSize> image, bool allow_short = false);
  // Writes page n, scrambled when encrypted. 8965 outside 1 to next − 1.
  void WritePageImage(std::int32_t page, std::span<const std::uint8_t, kIndexPageSize> image);
  // Writes images.size() / 4,096 consecutive pages from first in one write,
  // each page scrambled on its own when encrypted. 8965 when a page lies
  // outside 1 to next − 1.
  void WritePageImages(std::int32_t first, std::span<const std::uint8_t> images);

  // The page caches' part of the table's flush, change detection and
  // rollback; nothing while no caches are attached.
  bool WriteModifiedPages();
  bool WriteTemporaryPages();
  void DropPermanentPages();
  void DropTemporaryPages();
  void TrimPages();

 private:
  [[noreturn]] void RaiseTable(std::uint16_t code) const;
  TIndexFileHeader ReadHeaderFromFile();
  void CheckPage(std::int32_t page) const;

  TTableFileOwner* owner_ = nullptr;
  std::string table_name_;
  bool encrypted_ = false;
  TIndexFileHeader header_;
  TIndexPageCaches* page_caches_ = nullptr;
  // Declared after the header: the caches use it until they are gone.
  std::unique_ptr<TIndexFilePages> page_file_;
  std::unique_ptr<TIndexPages> pages_;
};

}  // namespace telvora::storage
