#pragma once
// TIndexPageFile: what the index page caches need of the file that holds an
// index's pages: raw page images, new pages at the end, and the per-index
// page chains kept in the index file header.
//
// The index file (TIndexFile) implements it over the table's .IDX file; the
// temporary index file implements the page half over its own file and hands
// the chain half on to the table's index file, where the descriptors of
// temporary indexes live too.
//
// Images passed here are plain: an implementation scrambles and unscrambles
// them for an encrypted table. Page numbers start at 1 (page 0 of the index
// file is its header).
//
// Threads: as the owning table; used under its locks by one cursor at a
// time.

#include <cstdint>
#include <span>
#include <string>

#include "storage/page_image.h"

namespace telvora::storage {

// A page number may not pass this, nor a page end this byte offset.
inline constexpr std::int64_t kMaxIndexPageNumber = 2'000'000'000;
inline constexpr std::int64_t kMaxIndexFileEnd = 4'000'000'000;
// More pages than a file can hold: a chain this long has a cycle.
inline constexpr std::int64_t kMaxIndexPagesInFile = kMaxIndexFileEnd / static_cast<std::int64_t>(kIndexPageSize);

class TIndexPageFile {
 public:
  virtual ~TIndexPageFile() = default;

  // Reads page n into image (4,096 bytes, unscrambled). A short read at the
  // end of the file is accepted under the same rule as for records (the
  // rest of image is then zero). Returns false, reading nothing, when change
  // detection found the table changed by another user while taking the
  // shared lock for the read: the caller drops what it holds and
  // repositions. Raises 9217 on a failed read.
  virtual bool ReadPageImage(std::int32_t n, std::span<std::uint8_t, kIndexPageSize> image) = 0;
  // Writes count consecutive pages from first with one write; images holds
  // count × 4,096 plain bytes. Raises 9218 on a failed write.
  virtual void WritePageImages(std::int32_t first, std::span<const std::uint8_t> images) = 0;
  // The number of a new page at the end of the file; moves the next page
  // number on (the header's, or a temporary file's own counter). Raises 9479
  // when the number would pass 2,000,000,000 or the page's end byte
  // 4,000,000,000.
  virtual std::int32_t AllocatePageAtEnd() = 0;

  // The chains of an index slot, as in its descriptor (root page at offset
  // 86, free chain head at 90, the text index's data page at 96). Setters
  // change the in-memory header and set its modified marker.
  virtual std::int32_t RootPage(int slot) const = 0;
  virtual void SetRootPage(int slot, std::int32_t page) = 0;
  virtual std::int32_t FreeChainHead(int slot) const = 0;
  virtual void SetFreeChainHead(int slot, std::int32_t page) = 0;
  virtual std::int32_t TextDataPage() const = 0;
  virtual void SetTextDataPage(std::int32_t page) = 0;

  // Called when a cursor operation changed pages: the index header's change
  // counter must move on with the next header write.
  virtual void PagesChanged() = 0;
  // False while the table is locked or in a transaction: caches then keep
  // modified pages in memory and grow rather than write to make room.
  virtual bool MayWriteToMakeRoom() const = 0;
  // The table's name, for error messages.
  virtual std::string TableName() const = 0;
};

// The number that a new page at the end would get must stay inside the
// limits; raises 9479 with the table name otherwise.
void CheckNewPageNumber(std::int64_t number, const std::string& table_name);

}  // namespace telvora::storage
