#pragma once
// A small file-backed stand-in for the Windows registry's binary values.
//
// Keys live as folders under "$XDG_CONFIG_HOME/telvora/registry" (or
// "~/.config/telvora/registry"), one folder per root key, one nested folder
// per key path component; each value is one file holding a 4-byte
// little-endian type followed by the data. Names compare without regard to
// ASCII case, as the registry's do, by being stored lower-cased.
//
// Every key path component and value name is checked before it touches the
// file system: empty components, ".", "..", '/' and NUL are refused with
// RegistryError, so no name can reach outside the store.
//
// Thread safety: each call is independent; a write replaces the value file
// atomically (write to a temporary file, then rename), so a concurrent reader
// sees either the old or the new value, never a torn one.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace telvora::platform {

// The predefined root keys, with the handle values Windows gives them.
enum class RegistryRoot : std::uint32_t {
  ClassesRoot = 0x80000000u,
  CurrentUser = 0x80000001u,
  LocalMachine = 0x80000002u,
  Users = 0x80000003u,
};

// Value types as the registry numbers them.
enum class RegistryValueType : std::uint32_t {
  None = 0,    // REG_NONE: "unknown type"
  String = 1,  // REG_SZ
  Binary = 3,  // REG_BINARY
  DWord = 4,   // REG_DWORD
};

class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct RegistryValue {
  RegistryValueType type = RegistryValueType::None;
  std::vector<std::uint8_t> data;
};

// An open key. Cheap to copy; holds only the folder it names.
class RegistryKey {
 public:
  // Opens Key under Root; with create, makes the missing folders first.
  // Returns nothing when the key does not exist (and create is false) or
  // cannot be made. Throws RegistryError for a path that would escape the
  // store, an unknown root, or an unusable configuration folder.
  static std::optional<RegistryKey> Open(RegistryRoot root, const std::string& key_path,
                                         bool create);

  // The folder of the whole store, honouring XDG_CONFIG_HOME.
  static std::filesystem::path StoreRoot();

  bool ValueExists(const std::string& value_name) const;
  // Size of the value's data in bytes, or nothing when it is missing.
  std::optional<std::size_t> ValueSize(const std::string& value_name) const;
  std::optional<RegistryValue> ReadValue(const std::string& value_name) const;
  // Throws RegistryError("Failed to set data for '<name>'") when the value
  // cannot be written.
  void WriteValue(const std::string& value_name, RegistryValueType type,
                  std::span<const std::uint8_t> data) const;
  void WriteBinary(const std::string& value_name, std::span<const std::uint8_t> data) const {
    WriteValue(value_name, RegistryValueType::Binary, data);
  }
  bool DeleteValue(const std::string& value_name) const;

  const std::filesystem::path& folder() const { return folder_; }

 private:
  explicit RegistryKey(std::filesystem::path folder) : folder_(std::move(folder)) {}
  std::filesystem::path ValueFile(const std::string& value_name) const;

  std::filesystem::path folder_;
};

}  // namespace telvora::platform
