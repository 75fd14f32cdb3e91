#include "engine/data_session.h"

#include <algorithm>
#include <filesystem>

#include "engine/data_directory.h"

namespace telvora::engine {
namespace {

constexpr std::size_t kMaxPasswordLength = 255;
constexpr const char* kMemoryDatabaseName = "Memory";

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

bool SameTextAscii(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// Directories compare without regard to case, as the engine's names do; on
// a file system that tells case apart, two spellings are one directory only
// when they name the same folder, so that tables of two different folders
// never share an object.
bool SameDirectory(const std::string& a, const std::string& b) {
  if (a == b) return true;
  if (!SameTextAscii(a, b)) return false;
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec);
}

std::string WithSeparator(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

}  // namespace

std::string NormalizeDirectoryPath(const std::string& path) { return WithSeparator(Trim(path)); }

TDataSession::TDataSession()
    : default_directory_(WithSeparator(std::filesystem::current_path().string())),
      private_dir_(std::filesystem::temp_directory_path().string()) {}

TDataSession::~TDataSession() {
  // Directories go first: their tables may still flush through settings
  // held here.
  directories_.clear();
  RemoveAllPasswords();
}

std::string TDataSession::TemporaryFolder() const {
  return private_dir_.empty() ? default_directory_ : WithSeparator(private_dir_);
}

void TDataSession::AddPassword(const std::string& password) {
  if (password.empty()) return;
  std::string kept = password.substr(0, kMaxPasswordLength);
  if (HasPassword(kept)) return;
  passwords_.push_back(std::move(kept));
}

void TDataSession::RemovePassword(const std::string& password) {
  std::string kept = password.substr(0, kMaxPasswordLength);
  passwords_.erase(std::remove(passwords_.begin(), passwords_.end(), kept), passwords_.end());
}

void TDataSession::RemoveAllPasswords() { passwords_.clear(); }

bool TDataSession::HasPassword(const std::string& password) const {
  return std::find(passwords_.begin(), passwords_.end(), password) != passwords_.end();
}

TDataDirectory& TDataSession::OpenDirectory(const std::string& database_name, const std::string& path) {
  std::string normalized = NormalizeDirectoryPath(path);
  if (normalized.empty() && !SameTextAscii(Trim(database_name), kMemoryDatabaseName)) {
    normalized = default_directory_;
  }
  for (auto& directory : directories_) {
    if (SameDirectory(directory->path(), normalized)) {
      directory->AddReference();
      return *directory;
    }
  }
  directories_.push_back(std::make_unique<TDataDirectory>(*this, database_name, normalized));
  directories_.back()->AddReference();
  return *directories_.back();
}

void TDataSession::CloseDirectory(TDataDirectory& directory) {
  if (directory.ReleaseReference() > 0) return;
  auto it = std::find_if(directories_.begin(), directories_.end(),
                         [&](const auto& d) { return d.get() == &directory; });
  if (it != directories_.end()) directories_.erase(it);
}

}  // namespace telvora::engine
