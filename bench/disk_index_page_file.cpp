#include "disk_index_page_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace telvora::bench {

namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

TDiskIndexPageFile::TDiskIndexPageFile(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd_ < 0) Fail("cannot create " + path);
}

TDiskIndexPageFile::~TDiskIndexPageFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool TDiskIndexPageFile::ReadPageImage(std::int32_t n, std::span<std::uint8_t, storage::kIndexPageSize> image) {
  const off_t at = static_cast<off_t>(n) * static_cast<off_t>(storage::kIndexPageSize);
  std::size_t done = 0;
  while (done < image.size()) {
    const ssize_t got = ::pread(fd_, image.data() + done, image.size() - done, at + static_cast<off_t>(done));
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail("page read");
    }
    if (got == 0) break;  // a page allocated but not yet written reads as zero
    done += static_cast<std::size_t>(got);
  }
  std::fill(image.begin() + static_cast<std::ptrdiff_t>(done), image.end(), 0);
  return true;
}

void TDiskIndexPageFile::WritePageImages(std::int32_t first, std::span<const std::uint8_t> images) {
  const off_t at = static_cast<off_t>(first) * static_cast<off_t>(storage::kIndexPageSize);
  std::size_t done = 0;
  while (done < images.size()) {
    const ssize_t put = ::pwrite(fd_, images.data() + done, images.size() - done, at + static_cast<off_t>(done));
    if (put < 0) {
      if (errno == EINTR) continue;
      Fail("page write");
    }
    done += static_cast<std::size_t>(put);
  }
}

std::int32_t TDiskIndexPageFile::AllocatePageAtEnd() {
  storage::CheckNewPageNumber(next_page_, TableName());
  return next_page_++;
}

}  // namespace telvora::bench
