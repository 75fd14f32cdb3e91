#include "storage/file_handler.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "platform/last_error.h"
#include "platform/os_file.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "storage/file_list.h"
#include "storage/system_error.h"

namespace telvora::storage {
namespace {

constexpr std::uint64_t kMaxSeekPosition =
    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

// Holds a shared object's critical section for one scope.
class SectionGuard {
 public:
  explicit SectionGuard(TAbstractFile& file) : file_(file) { file_.Enter(); }
  ~SectionGuard() { file_.Leave(); }
  SectionGuard(const SectionGuard&) = delete;
  SectionGuard& operator=(const SectionGuard&) = delete;

 private:
  TAbstractFile& file_;
};

}  // namespace

TFileHandler::TFileHandler() = default;

TFileHandler::~TFileHandler() { TFileHandler::Close(); }

void TFileHandler::Raise(std::uint16_t code) const {
  RaiseEngineError(code, ErrorContextTexts{.table = error_name_.empty() ? file_name_ : error_name_});
}

TAbstractFile& TFileHandler::OpenFile() const {
  if (!open_ || file_ == nullptr) {
    platform::SetLastSystemError(platform::kErrorInvalidHandle);
    Raise(VORA_OSEBADF);
  }
  return *file_;
}

void TFileHandler::Attach(std::int64_t result, TAbstractFile* file) {
  if (result < 0) Raise(static_cast<std::uint16_t>(-result));
  file_ = file;
  opener_id_ = static_cast<std::uint32_t>(result);
  open_ = true;
  read_only_ = file->read_only();
  read_only_attribute_ = file->read_only_attribute();
}

void TFileHandler::Open() {
  if (open_) return;
  if (!in_memory_) {
    // A folder of the table's name is no table: Windows' file-exists test
    // is false for it, so it reads as a missing file, not as access denied.
    const auto attributes = platform::OsFile::GetAttributes(TFileList::TrimmedName(file_name_));
    if (!attributes) Raise(EngineCodeForSystemError(platform::GetLastSystemError()));
    if (attributes->directory) {
      platform::SetLastSystemError(platform::kErrorFileNotFound);
      Raise(VORA_OSENOENT);
    }
  }
  TAbstractFile* file = nullptr;
  const std::int64_t result =
      TFileList::Instance().Open(file_name_, in_memory_, exclusive_, temporary_, file);
  Attach(result, file);
}

void TFileHandler::Close() {
  if (!open_) return;
  TFileList::Instance().Close(file_, opener_id_);
  file_ = nullptr;
  opener_id_ = 0;
  open_ = false;
}

void TFileHandler::Create() {
  if (open_) Close();
  TAbstractFile* file = nullptr;
  const std::int64_t result = TFileList::Instance().Create(file_name_, in_memory_, temporary_, file);
  Attach(result, file);
}

void TFileHandler::Delete() {
  const int result = TFileList::Instance().Delete(file_name_, in_memory_);
  if (result < 0) Raise(static_cast<std::uint16_t>(-result));
}

void TFileHandler::Rename(const std::string& new_name) {
  const int result = TFileList::Instance().Rename(file_name_, new_name, in_memory_);
  if (result < 0) Raise(static_cast<std::uint16_t>(-result));
  file_name_ = new_name;
}

void TFileHandler::CopyOut(const std::string& target_name, const FileCopyProgress& progress) {
  OpenFile();
  TFileHandler target;
  target.set_file_name(target_name);
  target.Create();
  try {
    const std::uint64_t total = FileSize();
    std::vector<unsigned char> chunk(kFileCopyChunkSize);
    std::uint64_t copied = 0;
    while (copied < total) {
      const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), total - copied));
      ReadAt(copied, chunk.data(), length);
      target.WriteAt(copied, chunk.data(), length);
      copied += length;
      if (progress) progress(copied, total);
    }
    target.Close();
  } catch (...) {
    // A partial copy is no copy: take it away again.
    target.Close();
    TFileList::Instance().Delete(target_name, false);
    throw;
  }
}

void TFileHandler::CopyIn(const std::string& source_name, const FileCopyProgress& progress) {
  OpenFile();
  TFileHandler source;
  source.set_file_name(source_name);
  source.Open();
  const std::uint64_t total = source.FileSize();
  std::vector<unsigned char> chunk(kFileCopyChunkSize);
  std::uint64_t copied = 0;
  while (copied < total) {
    const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), total - copied));
    source.ReadAt(copied, chunk.data(), length);
    WriteAt(copied, chunk.data(), length);
    copied += length;
    if (progress) progress(copied, total);
  }
  // The file ends where the copy ends, also when it was longer before.
  WriteAt(total, nullptr, 0);
}

std::size_t TFileHandler::Read(void* buffer, std::size_t length, bool allow_short) {
  TAbstractFile& file = OpenFile();
  const std::optional<std::size_t> count = file.Read(opener_id_, buffer, length);
  if (!count || (*count < length && !allow_short)) Raise(VORA_READERR);
  return *count;
}

void TFileHandler::Write(const void* data, std::size_t length) {
  TAbstractFile& file = OpenFile();
  if (!file.Write(opener_id_, data, length)) Raise(VORA_WRITEERR);
}

void TFileHandler::Flush() {
  TAbstractFile& file = OpenFile();
  if (!file.Flush()) Raise(VORA_WRITEERR);
}

std::uint64_t TFileHandler::Seek(std::int64_t offset, SeekOrigin origin) {
  TAbstractFile& file = OpenFile();
  const std::optional<std::uint64_t> position = file.Seek(opener_id_, offset, origin);
  if (!position) Raise(EngineCodeForSystemError(platform::GetLastSystemError()));
  return *position;
}

std::uint64_t TFileHandler::FileSize() {
  TAbstractFile& file = OpenFile();
  const std::optional<std::uint64_t> size = file.FileSize();
  if (!size) Raise(EngineCodeForSystemError(platform::GetLastSystemError()));
  return *size;
}

std::size_t TFileHandler::ReadAt(std::uint64_t position, void* buffer, std::size_t length,
                                 bool allow_short) {
  SectionGuard section(OpenFile());
  if (position > kMaxSeekPosition) {
    platform::SetLastSystemError(platform::kErrorInvalidParameter);
    Raise(VORA_READERR);
  }
  Seek(static_cast<std::int64_t>(position), SeekOrigin::kBeginning);
  return Read(buffer, length, allow_short);
}

void TFileHandler::WriteAt(std::uint64_t position, const void* data, std::size_t length) {
  SectionGuard section(OpenFile());
  if (position > kMaxSeekPosition) {
    platform::SetLastSystemError(platform::kErrorInvalidParameter);
    Raise(VORA_WRITEERR);
  }
  Seek(static_cast<std::int64_t>(position), SeekOrigin::kBeginning);
  Write(data, length);
}

void TFileHandler::EnterCriticalSection() { OpenFile().Enter(); }

void TFileHandler::LeaveCriticalSection() { OpenFile().Leave(); }

bool TFileHandler::LockRange(std::uint64_t offset, std::uint64_t length) {
  return OpenFile().LockRange(offset, length);
}

bool TFileHandler::UnlockRange(std::uint64_t offset, std::uint64_t length) {
  return OpenFile().UnlockRange(offset, length);
}

}  // namespace telvora::storage
