#pragma once
// An index page file held in memory, for the index tests: page images in a
// map, the chains in a real index file header, and counters of the reads
// and writes the caches make.

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "storage/index_file_header.h"
#include "storage/index_page_file.h"

namespace telvora::storage::testing {

class TMemoryIndexPageFile : public TIndexPageFile {
 public:
  TMemoryIndexPageFile() : header_(TIndexFileHeader::New()) {}

  bool ReadPageImage(std::int32_t n, std::span<std::uint8_t, kIndexPageSize> image) override {
    ++reads;
    auto it = pages.find(n);
    if (it == pages.end()) {
      std::fill(image.begin(), image.end(), 0);
    } else {
      std::copy(it->second.begin(), it->second.end(), image.begin());
    }
    return !change_detected;
  }

  void WritePageImages(std::int32_t first, std::span<const std::uint8_t> images) override {
    ++writes;
    for (std::size_t at = 0; at < images.size(); at += kIndexPageSize) {
      auto& page = pages[first + static_cast<std::int32_t>(at / kIndexPageSize)];
      std::copy_n(images.begin() + static_cast<std::ptrdiff_t>(at), kIndexPageSize, page.begin());
      ++pages_written;
    }
  }

  std::int32_t AllocatePageAtEnd() override {
    const std::int32_t n = header_.NextPageNumber();
    CheckNewPageNumber(n, TableName());
    header_.SetNextPageNumber(n + 1);
    return n;
  }

  std::int32_t RootPage(int slot) const override { return header_.Descriptor(slot).RootPage(); }
  void SetRootPage(int slot, std::int32_t page) override {
    TIndexDescriptor descriptor = header_.Descriptor(slot);
    descriptor.SetRootPage(page);
    header_.SetDescriptor(slot, descriptor);
  }
  std::int32_t FreeChainHead(int slot) const override { return header_.Descriptor(slot).FreeChainHead(); }
  void SetFreeChainHead(int slot, std::int32_t page) override {
    TIndexDescriptor descriptor = header_.Descriptor(slot);
    descriptor.SetFreeChainHead(page);
    header_.SetDescriptor(slot, descriptor);
  }
  std::int32_t TextDataPage() const override { return header_.Descriptor(kTextIndexSlot).DataPage(); }
  void SetTextDataPage(std::int32_t page) override {
    TIndexDescriptor descriptor = header_.Descriptor(kTextIndexSlot);
    descriptor.SetDataPage(page);
    header_.SetDescriptor(kTextIndexSlot, descriptor);
  }
  void PagesChanged() override { ++changes; }
  bool MayWriteToMakeRoom() const override { return !table_locked; }
  std::string TableName() const override { return "Tree"; }

  TIndexFileHeader& header() { return header_; }

  std::map<std::int32_t, std::array<std::uint8_t, kIndexPageSize>> pages;
  int reads = 0;
  int writes = 0;
  int pages_written = 0;
  int changes = 0;
  bool table_locked = false;
  bool change_detected = false;

 private:
  TIndexFileHeader header_;
};

}  // namespace telvora::storage::testing
