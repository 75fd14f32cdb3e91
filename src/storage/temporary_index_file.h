#pragma once
// TTemporaryIndexFile: the file that holds the pages of a table's temporary
// indexes, apart from its index file.
//
// Same page layout as the index file (page n at n × 4,096; nothing at page
// 0), pages numbered from a counter that starts at 1 when the file is
// created and is never stored. The file is created exclusively, as an
// ordinary file, under the first free name <five digits of the thread id>
// <counter>.IDX in the given directory, and stays until CloseAndDelete. The
// chains of temporary indexes (root, free head) live in their descriptors in
// the index file header, so those calls go to the table's index file.
//
// Not thread-safe: owned by the table's index pages, under its locks.

#include <cstdint>
#include <string>

#include "storage/file_handler.h"
#include "storage/index_page_file.h"

namespace telvora::storage {

inline constexpr const char* kTemporaryIndexExtension = ".IDX";

class TTemporaryIndexFile final : public TIndexPageFile {
 public:
  // Creates the file. Raises the file layer's errors when it cannot.
  TTemporaryIndexFile(TIndexPageFile& chains, const std::string& directory, bool encrypted);
  ~TTemporaryIndexFile() override;

  // Closes the file and deletes it; never raises.
  void CloseAndDelete();
  const std::string& file_name() const { return handler_.file_name(); }

  bool ReadPageImage(std::int32_t n, std::span<std::uint8_t, kIndexPageSize> image) override;
  void WritePageImages(std::int32_t first, std::span<const std::uint8_t> images) override;
  std::int32_t AllocatePageAtEnd() override;
  std::int32_t RootPage(int slot) const override { return chains_.RootPage(slot); }
  void SetRootPage(int slot, std::int32_t page) override { chains_.SetRootPage(slot, page); }
  std::int32_t FreeChainHead(int slot) const override { return chains_.FreeChainHead(slot); }
  void SetFreeChainHead(int slot, std::int32_t page) override { chains_.SetFreeChainHead(slot, page); }
  std::int32_t TextDataPage() const override { return chains_.TextDataPage(); }
  void SetTextDataPage(std::int32_t page) override { chains_.SetTextDataPage(page); }
  void PagesChanged() override { chains_.PagesChanged(); }
  bool MayWriteToMakeRoom() const override { return chains_.MayWriteToMakeRoom(); }
  std::string TableName() const override { return chains_.TableName(); }

  std::int32_t next_page() const { return next_page_; }

 private:
  TIndexPageFile& chains_;
  bool encrypted_;
  TFileHandler handler_;
  std::int32_t next_page_ = 1;
  bool deleted_ = false;
};

// The first name <directory><five digits of the thread id><n><extension>,
// n = 0, 1, ..., for which no file exists.
std::string UniqueTemporaryName(const std::string& directory, const std::string& extension);

}  // namespace telvora::storage
