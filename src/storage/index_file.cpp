#include "storage/index_file.h"

#include <algorithm>
#include <array>

#include "storage/engine_error_codes.h"
#include "storage/header_checks.h"
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
  TFileHandler::Close();
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

void TIndexFile::ReadPageImage(std::int32_t page, std::span<std::uint8_t, kIndexPageSize> image) {
  CheckPage(page);
  ReadAt(PagePosition(page), image.data(), image.size());
  if (encrypted_) Scramble(image, kDataKey);
}

void TIndexFile::WritePageImage(std::int32_t page, std::span<const std::uint8_t, kIndexPageSize> image) {
  CheckPage(page);
  std::array<std::uint8_t, kIndexPageSize> stored{};
  std::copy(image.begin(), image.end(), stored.begin());
  if (encrypted_) Scramble(stored, kDataKey);
  WriteAt(PagePosition(page), stored.data(), stored.size());
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
