#include "storage/index_pages.h"

#include <cassert>

namespace telvora::storage {

TIndexPages::TIndexPages(TIndexPageFile& file, int data_buffer_bytes)
    : file_(file), data_buffer_bytes_(data_buffer_bytes) {}

TIndexPages::~TIndexPages() {
  for (auto& cache : caches_) cache.reset();
  if (temporary_file_) temporary_file_->CloseAndDelete();
}

void TIndexPages::SetTemporaryDirectory(const std::string& directory, bool encrypted) {
  temporary_directory_ = directory;
  encrypted_ = encrypted;
}

TIndexPageCache& TIndexPages::OpenIndex(int slot, const TPageFormat& format, bool temporary) {
  assert(slot >= 0 && slot < kIndexPageSlots);
  auto& cache = caches_[static_cast<std::size_t>(slot)];
  if (cache && temporary_[static_cast<std::size_t>(slot)] == temporary) {
    const TPageFormat& old = cache->format();
    if (old.key_length == format.key_length && old.unique == format.unique && old.descending == format.descending &&
        old.attribute == format.attribute && old.compression == format.compression && old.slot == format.slot) {
      return *cache;
    }
  }
  cache.reset();
  TIndexPageFile* pages = &file_;
  if (temporary) {
    if (!temporary_file_) {
      temporary_file_ = std::make_unique<TTemporaryIndexFile>(file_, temporary_directory_, encrypted_);
    }
    pages = temporary_file_.get();
  }
  cache = std::make_unique<TIndexPageCache>(*pages, spares_, slot, format, data_buffer_bytes_);
  temporary_[static_cast<std::size_t>(slot)] = temporary;
  return *cache;
}

TIndexPageCache* TIndexPages::Cache(int slot) const {
  if (slot < 0 || slot >= kIndexPageSlots) return nullptr;
  return caches_[static_cast<std::size_t>(slot)].get();
}

void TIndexPages::CloseIndex(int slot) {
  if (slot >= 0 && slot < kIndexPageSlots) caches_[static_cast<std::size_t>(slot)].reset();
}

bool TIndexPages::WriteModifiedPages() {
  bool wrote = false;
  for (std::size_t i = 0; i < caches_.size(); ++i) {
    if (caches_[i] && !temporary_[i]) wrote = caches_[i]->WriteModifiedPages() || wrote;
  }
  return wrote;
}

bool TIndexPages::WriteTemporaryPages() {
  bool wrote = false;
  for (std::size_t i = 0; i < caches_.size(); ++i) {
    if (caches_[i] && temporary_[i]) wrote = caches_[i]->WriteModifiedPages() || wrote;
  }
  return wrote;
}

void TIndexPages::DropPermanentPages() {
  for (std::size_t i = 0; i < caches_.size(); ++i) {
    if (caches_[i] && !temporary_[i]) caches_[i]->Drop();
  }
}

void TIndexPages::DropTemporaryPages() {
  for (std::size_t i = 0; i < caches_.size(); ++i) {
    if (caches_[i] && temporary_[i]) caches_[i]->Drop();
  }
}

void TIndexPages::DropTemporaryIndexes() {
  for (std::size_t i = 0; i < caches_.size(); ++i) {
    if (temporary_[i]) {
      caches_[i].reset();
      temporary_[i] = false;
    }
  }
  if (temporary_file_) {
    temporary_file_->CloseAndDelete();
    temporary_file_.reset();
  }
}

void TIndexPages::Trim() {
  for (auto& cache : caches_) {
    if (cache) cache->Trim();
  }
}

}  // namespace telvora::storage
