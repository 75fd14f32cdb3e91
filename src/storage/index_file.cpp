#include "storage/index_file.h"

#include <algorithm>
#include <array>
#include <vector>

#include "storage/engine_error_codes.h"
#include "storage/header_checks.h"
#include "storage/index_file_pages.h"
#include "storage/index_pages.h"
#include "storage/scrambler.h"
#include "storage/storage_errors.h"

namespace telvora::storage {

TIndexFile::TIndexFile() = default;

TIndexFile::~TIndexFile() { TIndexFile::Close(); }

void TIndexFile::RaiseTable(std::uint16_t code) const {
  RaiseTableError(code, table_name_.empty() ? file_name() : table_name_);
}

TIndexFileHeader TIndexFile::ReadHeaderFromFile() {
  std::array<std::uint8_t, kIndexFileHeaderSize> image{};
  ReadAt(0, image.data(), image.size());
  return TIndexFileHeader::FromFileImage(image, encrypted_);
}

void TIndexFile::Open() {
  if (is_open()) return;
  TFileHandler::Open();
  try {
    TIndexFileHeader header = ReadHeaderFromFile();
    CheckSecondaryCountOnOpen(header, table_name_.empty() ? file_name() : table_name_);
    header_ = header;
    header_.ClearModified();
  } catch (...) {
    TIndexFile::Close();
    throw;
  }
}

void TIndexFile::Close() {
  if (is_open()) DropTemporaryPages();
  if (pages_ != nullptr) {
    if (page_caches_ == pages_.get()) page_caches_ = nullptr;
    pages_.reset();
    page_file_.reset();
  }
  TFileHandler::Close();
}

void TIndexFile::AttachPages(int data_buffer_bytes, const std::string& temporary_directory) {
  if (page_caches_ == pages_.get()) page_caches_ = nullptr;
  pages_.reset();
  if (page_file_ == nullptr) page_file_ = std::make_unique<TIndexFilePages>(*this);
  pages_ = std::make_unique<TIndexPages>(*page_file_, data_buffer_bytes);
  pages_->SetTemporaryDirectory(temporary_directory, encrypted_);
  page_caches_ = pages_.get();
}

void TIndexFile::Create() {
  TFileHandler::Create();
  header_ = TIndexFileHeader::New();
}

void TIndexFile::CreateNewFile() {
  Create();
  WriteHeader(true);
}

bool TIndexFile::RereadHeaderIfChanged() {
  TIndexFileHeader read = ReadHeaderFromFile();
  if (read.ChangeCounter() == header_.ChangeCounter()) return false;
  header_ = read;
  header_.ClearModified();
  return true;
}

void TIndexFile::RereadHeader() {
  header_ = ReadHeaderFromFile();
  header_.ClearModified();
}

bool TIndexFile::WriteHeader(bool force) {
  if (!force && !header_.Modified()) return false;
  header_.PrepareWrite();
  const auto image = header_.ImageForFile(encrypted_);
  WriteAt(0, image.data(), image.size());
  header_.ClearModified();
  if (owner_ != nullptr) owner_->MarkWritten();
  return true;
}

void TIndexFile::MarkModified() {
  header_.MarkModified();
  if (owner_ != nullptr) owner_->MarkWritten();
}

std::int32_t TIndexFile::TakeNextPageNumber() {
  const std::int32_t page = header_.NextPageNumber();
  header_.SetNextPageNumber(page + 1);
  return page;
}

void TIndexFile::CheckPage(std::int32_t page) const {
  if (!IsValidPageReference(page, header_.NextPageNumber()) || page == 0) RaiseTable(VORA_INDEXCORRUPT);
}

void TIndexFile::ReadPageImage(std::int32_t page, std::span<std::uint8_t, kIndexPageSize> image, bool allow_short) {
  CheckPage(page);
  const std::size_t got = ReadAt(PagePosition(page), image.data(), image.size(), allow_short);
  std::fill(image.begin() + static_cast<std::ptrdiff_t>(got), image.end(), std::uint8_t{0});
  // What has not reached the file yet reads as plain zeros.
  if (encrypted_) Scramble(image.first(got), kDataKey);
}

void TIndexFile::WritePageImage(std::int32_t page, std::span<const std::uint8_t, kIndexPageSize> image) {
  WritePageImages(page, image);
}

void TIndexFile::WritePageImages(std::int32_t first, std::span<const std::uint8_t> images) {
  const std::size_t count = images.size() / kIndexPageSize;
  if (count == 0) return;
  CheckPage(first);
  CheckPage(static_cast<std::int32_t>(first + static_cast<std::int64_t>(count) - 1));
  std::vector<std::uint8_t> stored(images.begin(), images.begin() + static_cast<std::ptrdiff_t>(count * kIndexPageSize));
  if (encrypted_) {
    for (std::size_t at = 0; at < stored.size(); at += kIndexPageSize) {
      Scramble(std::span<std::uint8_t>(stored).subspan(at, kIndexPageSize), kDataKey);
    }
  }
  WriteAt(PagePosition(first), stored.data(), stored.size());
  if (owner_ != nullptr) owner_->MarkWritten();
}

bool TIndexFile::WriteModifiedPages() { return page_caches_ != nullptr && page_caches_->WriteModifiedPages(); }

bool TIndexFile::WriteTemporaryPages() { return page_caches_ != nullptr && page_caches_->WriteTemporaryPages(); }

void TIndexFile::DropPermanentPages() {
  if (page_caches_ != nullptr) page_caches_->DropPermanentPages();
}

void TIndexFile::DropTemporaryPages() {
  if (page_caches_ != nullptr) page_caches_->DropTemporaryPages();
}

void TIndexFile::TrimPages() {
  if (page_caches_ != nullptr) page_caches_->Trim();
}

}  // namespace telvora::storage
