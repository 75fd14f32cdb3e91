#include "platform/registry.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <system_error>

namespace telvora::platform {
namespace fs = std::filesystem;

namespace {

// Value files carry this prefix and key folders none, so a value and a
// subkey of the same name never collide.
constexpr const char* kValuePrefix = "value.";
constexpr std::size_t kTypeBytes = 4;

std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// A name becomes exactly one folder or file name, or is refused.
void CheckName(const std::string& name, bool allow_empty, const char* what) {
  if (name.empty() && allow_empty) return;
  if (name.empty() || name == "." || name == ".." ||
      name.find('/') != std::string::npos || name.find('\0') != std::string::npos) {
    throw RegistryError(std::string("Invalid registry ") + what + " '" + name + "'");
  }
}

const char* RootFolder(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case RegistryRoot::CurrentUser: return "HKEY_CURRENT_USER";
    case RegistryRoot::LocalMachine: return "HKEY_LOCAL_MACHINE";
    case RegistryRoot::Users: return "HKEY_USERS";
  }
  throw RegistryError("Invalid registry root key");
}

}  // namespace

fs::path RegistryKey::StoreRoot() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  fs::path base;
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
      throw RegistryError("No configuration folder: neither XDG_CONFIG_HOME nor HOME is set");
    }
    base = fs::path(home) / ".config";
  }
  return base / "telvora" / "registry";
}

std::optional<RegistryKey> RegistryKey::Open(RegistryRoot root, const std::string& key_path,
                                             bool create) {
  fs::path folder = StoreRoot() / RootFolder(root);
  // Registry paths separate components with backslashes; a leading or
  // trailing one is tolerated as the registry functions do.
  std::size_t start = 0;
  while (start <= key_path.size()) {
    std::size_t end = key_path.find('\\', start);
    if (end == std::string::npos) end = key_path.size();
    std::string part = key_path.substr(start, end - start);
    bool edge = (start == 0 || end == key_path.size());
    CheckName(part, edge, "key");
    if (!part.empty()) folder /= LowerAscii(part);
    start = end + 1;
  }
  std::error_code ec;
  if (create) {
    fs::create_directories(folder, ec);
    if (ec) return std::nullopt;
  }
  if (!fs::is_directory(folder, ec)) return std::nullopt;
  return RegistryKey(folder);
}

fs::path RegistryKey::ValueFile(const std::string& value_name) const {
  CheckName(value_name, /*allow_empty=*/true, "value name");
  return folder_ / (kValuePrefix + LowerAscii(value_name));
}

bool RegistryKey::ValueExists(const std::string& value_name) const {
  std::error_code ec;
  return fs::is_regular_file(ValueFile(value_name), ec);
}

std::optional<std::size_t> RegistryKey::ValueSize(const std::string& value_name) const {
  std::error_code ec;
  auto size = fs::file_size(ValueFile(value_name), ec);
  if (ec || size < kTypeBytes) return std::nullopt;
  return static_cast<std::size_t>(size - kTypeBytes);
}

std::optional<RegistryValue> RegistryKey::ReadValue(const std::string& value_name) const {
  std::ifstream in(ValueFile(value_name), std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (bytes.size() < kTypeBytes) return std::nullopt;
  RegistryValue value;
  std::uint32_t type = 0;
  for (std::size_t i = 0; i < kTypeBytes; ++i) type |= std::uint32_t(bytes[i]) << (8 * i);
  value.type = static_cast<RegistryValueType>(type);
  value.data.assign(bytes.begin() + kTypeBytes, bytes.end());
  return value;
}

void RegistryKey::WriteValue(const std::string& value_name, RegistryValueType type,
                             std::span<const std::uint8_t> data) const {
  const fs::path target = ValueFile(value_name);
  const fs::path temp = target.string() + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    auto t = static_cast<std::uint32_t>(type);
    for (std::size_t i = 0; i < kTypeBytes; ++i) out.put(static_cast<char>((t >> (8 * i)) & 0xFF));
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.flush();
    if (!out) {
      std::error_code ignored;
      fs::remove(temp, ignored);
      throw RegistryError("Failed to set data for '" + value_name + "'");
    }
  }
  std::error_code ec;
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    throw RegistryError("Failed to set data for '" + value_name + "'");
  }
}

bool RegistryKey::DeleteValue(const std::string& value_name) const {
  std::error_code ec;
  return fs::remove(ValueFile(value_name), ec);
}

}  // namespace telvora::platform
