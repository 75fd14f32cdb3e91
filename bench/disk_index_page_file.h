#pragma once
// TDiskIndexPageFile: an index page file of its own for the benchmark: the
// pages of one index in a plain file (page n at n × 4,096, page 0 left
// unused as the index file's header would be), its chains in memory. The
// page caches read and write it as they would the table's index file, so
// that the timings include the real file traffic.
//
// Invariant: every page number handed out lies below next_page_.
// One thread; the benchmark's only.

#include <cstdint>
#include <span>
#include <string>

#include "storage/index_page_file.h"

namespace telvora::bench {

class TDiskIndexPageFile : public storage::TIndexPageFile {
 public:
  // Creates (truncates) the file at path. Throws std::runtime_error.
  explicit TDiskIndexPageFile(const std::string& path);
  ~TDiskIndexPageFile() override;
  TDiskIndexPageFile(const TDiskIndexPageFile&) = delete;
  TDiskIndexPageFile& operator=(const TDiskIndexPageFile&) = delete;

  bool ReadPageImage(std::int32_t n, std::span<std::uint8_t, storage::kIndexPageSize> image) override;
  void WritePageImages(std::int32_t first, std::span<const std::uint8_t> images) override;
  std::int32_t AllocatePageAtEnd() override;

  std::int32_t RootPage(int) const override { return root_; }
  void SetRootPage(int, std::int32_t page) override { root_ = page; }
  std::int32_t FreeChainHead(int) const override { return free_head_; }
  void SetFreeChainHead(int, std::int32_t page) override { free_head_ = page; }
  std::int32_t TextDataPage() const override { return 0; }
  void SetTextDataPage(std::int32_t) override {}
  void PagesChanged() override {}
  bool MayWriteToMakeRoom() const override { return true; }
  std::string TableName() const override { return "PhoneBook"; }

  // Pages handed out so far (the header page not counted).
  std::int32_t PagesUsed() const { return next_page_ - 1; }

 private:
  int fd_ = -1;
  std::int32_t next_page_ = 1;
  std::int32_t root_ = 0;
  std::int32_t free_head_ = 0;
};

}  // namespace telvora::bench
