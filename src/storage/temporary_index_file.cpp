#include "storage/temporary_index_file.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "storage/scrambler.h"

namespace telvora::storage {
namespace {

constexpr std::size_t kThreadDigits = 5;

}  // namespace

std::string UniqueTemporaryName(const std::string& directory, const std::string& extension) {
  std::string folder = directory;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  const std::string thread = std::to_string(std::llabs(static_cast<long long>(::gettid()))).substr(0, kThreadDigits);
  for (unsigned long counter = 0;; ++counter) {
    std::string name = folder + thread + std::to_string(counter) + extension;
    std::error_code error;
    if (!std::filesystem::exists(name, error)) return name;
  }
}

TTemporaryIndexFile::TTemporaryIndexFile(TIndexPageFile& chains, const std::string& directory, bool encrypted)
    : chains_(chains), encrypted_(encrypted) {
  handler_.set_file_name(UniqueTemporaryName(directory, kTemporaryIndexExtension));
  handler_.set_exclusive(true);
  handler_.Create();
}

TTemporaryIndexFile::~TTemporaryIndexFile() { CloseAndDelete(); }

void TTemporaryIndexFile::CloseAndDelete() {
  if (deleted_) return;
  deleted_ = true;
  handler_.Close();
  try {
    handler_.Delete();
  } catch (...) {
    // Closing must not fail; a file left behind is only litter in the
    // private directory.
  }
}

bool TTemporaryIndexFile::ReadPageImage(std::int32_t n, std::span<std::uint8_t, kIndexPageSize> image) {
  std::fill(image.begin(), image.end(), 0);
  handler_.ReadAt(static_cast<std::uint64_t>(n) * kIndexPageSize, image.data(), kIndexPageSize, true);
  if (encrypted_) Scramble(image, kDataKey);
  return true;
}

void TTemporaryIndexFile::WritePageImages(std::int32_t first, std::span<const std::uint8_t> images) {
  std::vector<std::uint8_t> buffer(images.begin(), images.end());
  if (encrypted_) {
    for (std::size_t at = 0; at + kIndexPageSize <= buffer.size(); at += kIndexPageSize) {
      Scramble(std::span<std::uint8_t>(buffer).subspan(at, kIndexPageSize), kDataKey);
    }
  }
  handler_.WriteAt(static_cast<std::uint64_t>(first) * kIndexPageSize, buffer.data(), buffer.size());
}

std::int32_t TTemporaryIndexFile::AllocatePageAtEnd() {
  CheckNewPageNumber(next_page_, TableName());
  return next_page_++;
}

}  // namespace telvora::storage
