#include "storage/file_list.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/last_error.h"
#include "storage/engine_error_codes.h"
#include "storage/memory_file.h"
#include "storage/physical_file.h"
#include "storage/system_error.h"

namespace telvora::storage {
namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view Trim(std::string_view name) {
  while (!name.empty() && IsBlank(name.front())) name.remove_prefix(1);
  while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);
  return name;
}

// The negative engine code of the calling thread's last system error.
int RefusalFromSystemError() {
  return -static_cast<int>(EngineCodeForSystemError(platform::GetLastSystemError()));
}

int Refuse(std::uint32_t windows_error) {
  platform::SetLastSystemError(windows_error);
  return RefusalFromSystemError();
}

std::unique_ptr<TAbstractFile> NewFile(const std::string& name, bool in_memory) {
  if (in_memory) return std::make_unique<TMemoryFile>(name);
  return std::make_unique<TPhysicalFile>(name);
}

}  // namespace

TFileList& TFileList::Instance() {
  static TFileList list;
  return list;
}

std::string TFileList::TrimmedName(std::string_view name) { return std::string(Trim(name)); }

bool TFileList::SameName(std::string_view a, std::string_view b) {
  a = Trim(a);
  b = Trim(b);
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::vector<std::unique_ptr<TAbstractFile>>::iterator TFileList::Find(std::string_view name,
                                                                     bool in_memory) {
  return std::find_if(files_.begin(), files_.end(), [&](const std::unique_ptr<TAbstractFile>& f) {
    if (f->in_memory() != in_memory || !SameName(f->name(), name)) return false;
    if (in_memory || f->name() == Trim(name)) return true;
    // Names that differ only in case are one file on a case-blind file
    // system but may be two on this one: sharing the first one's handle
    // would read and write the wrong file, so they are one entry only when
    // they name the same file.
    std::error_code error;
    return std::filesystem::equivalent(f->name(), std::string(Trim(name)), error) && !error;
  });
}

void TFileList::Remove(TAbstractFile* file) {
  std::erase_if(files_, [file](const std::unique_ptr<TAbstractFile>& f) { return f.get() == file; });
}

std::int64_t TFileList::Open(const std::string& name, bool in_memory, bool exclusive,
                             bool temporary, TAbstractFile*& file) {
  std::lock_guard<std::mutex> guard(mutex_);
  file = nullptr;
  const auto found = Find(name, in_memory);
  if (found != files_.end()) {
    const std::uint32_t id = (*found)->Open(exclusive, temporary);
    if (id == 0) return RefusalFromSystemError();
    file = found->get();
    return id;
  }
  if (in_memory) return Refuse(platform::kErrorFileNotFound);
  std::unique_ptr<TAbstractFile> opened = NewFile(TrimmedName(name), false);
  const std::uint32_t id = opened->Open(exclusive, temporary);
  if (id == 0) return RefusalFromSystemError();
  file = opened.get();
  files_.push_back(std::move(opened));
  return id;
}

std::int64_t TFileList::Create(const std::string& name, bool in_memory, bool temporary,
                               TAbstractFile*& file) {
  std::lock_guard<std::mutex> guard(mutex_);
  file = nullptr;
  auto found = Find(name, in_memory);
  if (found != files_.end() && (*found)->open_count() > 0) {
    return Refuse(platform::kErrorSharingViolation);
  }
  if (found == files_.end()) {
    files_.push_back(NewFile(TrimmedName(name), in_memory));
    found = files_.end() - 1;
  }
  TAbstractFile* created = found->get();
  const std::uint32_t id = created->Create(temporary);
  if (id == 0) {
    const int refusal = RefusalFromSystemError();
    if (!in_memory) Remove(created);  // a physical entry lives only while open
    return refusal;
  }
  file = created;
  return id;
}

void TFileList::Close(TAbstractFile* file, std::uint32_t opener_id) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (file == nullptr) return;
  const std::size_t left = file->Close(opener_id);
  if (left == 0 && (!file->in_memory() || file->temporary())) Remove(file);
}

int TFileList::Delete(const std::string& name, bool in_memory) {
  std::lock_guard<std::mutex> guard(mutex_);
  const auto found = Find(name, in_memory);
  if (found != files_.end() && (*found)->open_count() > 0) {
    return Refuse(platform::kErrorSharingViolation);
  }
  if (in_memory) {
    if (found == files_.end()) return Refuse(platform::kErrorFileNotFound);
    (*found)->Delete();
    files_.erase(found);
    return 0;
  }
  TPhysicalFile closed(TrimmedName(name));
  return closed.Delete() ? 0 : RefusalFromSystemError();
}

int TFileList::Rename(const std::string& from, const std::string& to, bool in_memory) {
  std::lock_guard<std::mutex> guard(mutex_);
  const auto found = Find(from, in_memory);
  if (found != files_.end() && (*found)->open_count() > 0) {
    return Refuse(platform::kErrorSharingViolation);
  }
  if (in_memory) {
    if (found == files_.end()) return Refuse(platform::kErrorFileNotFound);
    // Renaming onto another entry would lose it; a file system refuses the
    // same way.
    const auto target = Find(to, true);
    if (target != files_.end() && target != found) return Refuse(platform::kErrorAlreadyExists);
    (*found)->Rename(TrimmedName(to));
    return 0;
  }
  TPhysicalFile closed(TrimmedName(from));
  return closed.Rename(TrimmedName(to)) ? 0 : RefusalFromSystemError();
}

bool TFileList::Contains(const std::string& name, bool in_memory) {
  std::lock_guard<std::mutex> guard(mutex_);
  return Find(name, in_memory) != files_.end();
}

std::size_t TFileList::size() {
  std::lock_guard<std::mutex> guard(mutex_);
  return files_.size();
}

}  // namespace telvora::storage
