#pragma once
// TIndexFilePages: the table's index file seen as the page file of its index
// page caches (TIndexPageFile). It adds to the raw page I/O of TIndexFile
// what the caches need from the open table: the shared lock and change
// detection before a read, the short-read rule, the 9479 limit on new pages,
// the per-slot chains of the header and the table lock that keeps modified
// pages in memory.
//
// Owned by its TIndexFile together with the TIndexPages that use it; it
// lives as long as the file is open. Same thread rules as the index file.

#include <cstdint>
#include <span>
#include <string>

#include "storage/index_page_file.h"

namespace telvora::storage {

class TIndexFile;

class TIndexFilePages final : public TIndexPageFile {
 public:
  explicit TIndexFilePages(TIndexFile& file) : file_(file) {}

  bool ReadPageImage(std::int32_t n, std::span<std::uint8_t, kIndexPageSize> image) override;
  void WritePageImages(std::int32_t first, std::span<const std::uint8_t> images) override;
  std::int32_t AllocatePageAtEnd() override;

  std::int32_t RootPage(int slot) const override;
  void SetRootPage(int slot, std::int32_t page) override;
  std::int32_t FreeChainHead(int slot) const override;
  void SetFreeChainHead(int slot, std::int32_t page) override;
  std::int32_t TextDataPage() const override;
  void SetTextDataPage(std::int32_t page) override;

  void PagesChanged() override;
  bool MayWriteToMakeRoom() const override;
  std::string TableName() const override;

 private:
  TIndexFile& file_;
};

}  // namespace telvora::storage
