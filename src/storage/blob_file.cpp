#include "storage/blob_file.h"

#include <array>
#include <vector>

#include "storage/blob_blocks.h"
#include "storage/blob_file_blocks.h"
#include "storage/engine_error_codes.h"
#include "storage/header_checks.h"
#include "storage/scrambler.h"
#include "storage/storage_errors.h"

namespace telvora::storage {

TBlobFile::TBlobFile() = default;

TBlobFile::~TBlobFile() { TBlobFile::Close(); }

void TBlobFile::RaiseTable(std::uint16_t code) const {
  RaiseTableError(code, table_name_.empty() ? file_name() : table_name_);
}

TBlobFileHeader TBlobFile::ReadHeaderFromFile() {
  std::array<std::uint8_t, kBlobFileHeaderSize> image{};
  ReadAt(0, image.data(), image.size());
  return TBlobFileHeader::FromFileImage(image, encrypted_);
}

void TBlobFile::Open() {
  if (is_open()) return;
  TFileHandler::Open();
  try {
    header_ = ReadHeaderFromFile();
    header_.ClearModified();
  } catch (...) {
    TBlobFile::Close();
    throw;
  }
}

void TBlobFile::Close() {
  if (is_open()) DropBlocks();
  if (blocks_ != nullptr) {
    if (block_cache_ == blocks_.get()) block_cache_ = nullptr;
    blocks_.reset();
    block_file_.reset();
  }
  TFileHandler::Close();
}

void TBlobFile::AttachBlocks(std::uint32_t blob_buffer_bytes, std::uint32_t blob_buffer_count,
                             std::function<std::int32_t()> next_blob_key) {
  if (block_cache_ == blocks_.get()) block_cache_ = nullptr;
  blocks_.reset();
  block_file_ = std::make_unique<TBlobFileBlocks>(*this, std::move(next_blob_key));
  blocks_ = std::make_unique<TBlobBlocks>(
      *block_file_, TBlobCacheSettings{.blob_buffer_bytes = blob_buffer_bytes, .blob_buffer_count = blob_buffer_count});
  block_cache_ = blocks_.get();
}

void TBlobFile::Create() {
  TFileHandler::Create();
  header_ = TBlobFileHeader::New();
}

bool TBlobFile::RereadHeaderIfChanged() {
  TBlobFileHeader read = ReadHeaderFromFile();
  if (read.ChangeCounter() == header_.ChangeCounter()) return false;
  header_ = read;
  header_.ClearModified();
  return true;
}

void TBlobFile::RereadHeader() {
  header_ = ReadHeaderFromFile();
  header_.ClearModified();
}

bool TBlobFile::WriteHeader(bool force) {
  if (!force && !header_.Modified()) return false;
  header_.PrepareWrite();
  const auto image = header_.ImageForFile(encrypted_);
  WriteAt(0, image.data(), image.size());
  header_.ClearModified();
  if (owner_ != nullptr) owner_->MarkWritten();
  return true;
}

void TBlobFile::MarkModified() {
  header_.MarkModified();
  if (owner_ != nullptr) owner_->MarkWritten();
}

std::int32_t TBlobFile::TakeNextBlockNumber() {
  const std::int32_t block = header_.NextBlockNumber();
  if (block < 1 || block > kMaxBlobBlockNumber || BlockPosition(block) + block_size_ > kMaxBlobFileEnd) {
    RaiseTable(VORA_TABLEFULL);
  }
  header_.SetNextBlockNumber(block + 1);
  return block;
}

void TBlobFile::CheckBlocks(std::int32_t first, std::size_t count) const {
  const std::int64_t last = std::int64_t{first} + static_cast<std::int64_t>(count) - 1;
  if (first < 1 || last >= header_.NextBlockNumber()) RaiseTable(VORA_MEMOCORRUPT);
}

void TBlobFile::ScrambleBlocks(std::span<std::uint8_t> image) const {
  for (std::size_t at = 0; at + block_size_ <= image.size(); at += block_size_) {
    Scramble(image.subspan(at, kBlobBlockHeaderSize), kDataKey);
    Scramble(image.subspan(at + kBlobBlockHeaderSize, block_size_ - kBlobBlockHeaderSize), kDataKey);
  }
}

std::size_t TBlobFile::ReadBlockImages(std::int32_t first, std::span<std::uint8_t> image, bool allow_short) {
  const std::size_t count = image.size() / block_size_;
  CheckBlocks(first, count);
  const std::size_t got = ReadAt(BlockPosition(first), image.data(), count * block_size_, allow_short);
  const std::size_t whole = got / block_size_;
  if (encrypted_) ScrambleBlocks(image.first(whole * block_size_));
  return whole;
}

void TBlobFile::WriteBlockImages(std::int32_t first, std::span<const std::uint8_t> image) {
  const std::size_t count = image.size() / block_size_;
  CheckBlocks(first, count);
  std::vector<std::uint8_t> stored(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(count * block_size_));
  if (encrypted_) ScrambleBlocks(stored);
  WriteAt(BlockPosition(first), stored.data(), stored.size());
  if (owner_ != nullptr) owner_->MarkWritten();
}

bool TBlobFile::WriteModifiedBlocks() { return block_cache_ != nullptr && block_cache_->WriteModifiedBlocks(); }

void TBlobFile::DropBlocks() {
  if (block_cache_ != nullptr) block_cache_->DropBlocks();
}

void TBlobFile::TrimBlocks() {
  if (block_cache_ != nullptr) block_cache_->Trim();
}

}  // namespace telvora::storage
