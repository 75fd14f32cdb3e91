#pragma once
// TDataSession: one user of the engine. It holds the settings its open
// tables work with, its list of table passwords and the database
// directories it has open.
//
// Invariants: every directory in the list has a reference count above 0;
// two directories never have the same path (compared trimmed and without
// regard to case). A session is used by one thread at a time.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "storage/table_settings.h"

namespace telvora::engine {

class TDataDirectory;

enum class TLockProtocol : std::uint8_t { lpPessimistic = 0, lpOptimistic = 1 };

class TDataSession {
 public:
  TDataSession();
  ~TDataSession();
  TDataSession(const TDataSession&) = delete;
  TDataSession& operator=(const TDataSession&) = delete;

  // The folder relative table paths start from: the process's current
  // folder at creation, with a trailing separator.
  const std::string& DefaultDirectory() const { return default_directory_; }
  // Where temporary files go; empty means the default directory.
  const std::string& PrivateDir() const { return private_dir_; }
  void SetPrivateDir(const std::string& value) { private_dir_ = value; }
  // The private folder, or the default one when it is empty, with a
  // trailing separator.
  std::string TemporaryFolder() const;

  int ProgressSteps() const { return progress_steps_; }
  void SetProgressSteps(int value) { progress_steps_ = value; }
  TLockProtocol LockProtocol() const { return lock_protocol_; }
  void SetLockProtocol(TLockProtocol value) { lock_protocol_ = value; }
  // The settings the open tables of this session use (lock retries, flush,
  // change detection, buffer sizes). Changes reach tables opened later.
  const storage::TTableSettings& TableSettings() const { return table_settings_; }
  storage::TTableSettings& MutableTableSettings() { return table_settings_; }

  // Passwords compare with regard to case; empty ones and repeats are
  // ignored; each is kept as a short string of at most 255 characters.
  void AddPassword(const std::string& password);
  void RemovePassword(const std::string& password);
  void RemoveAllPasswords();
  bool HasPassword(const std::string& password) const;

  // Asked when an encrypted table's password is not in the list: returns
  // a password to add and try, or nothing to give up.
  using PasswordCallback = std::function<bool(const std::string& table, std::string& password)>;
  void SetPasswordCallback(PasswordCallback callback) { password_callback_ = std::move(callback); }
  const PasswordCallback& GetPasswordCallback() const { return password_callback_; }

  // Opens (or reuses) the directory for a path; its reference count rises
  // by one. An empty path means the default directory, except for the
  // database named "Memory", which keeps an empty path (in-memory tables).
  TDataDirectory& OpenDirectory(const std::string& database_name, const std::string& path);
  // Lowers the count; at 0 the directory is rolled back, its tables freed
  // and it is destroyed.
  void CloseDirectory(TDataDirectory& directory);
  int DirectoryCount() const { return static_cast<int>(directories_.size()); }

 private:
  std::string default_directory_;
  std::string private_dir_;
  int progress_steps_ = 20;
  TLockProtocol lock_protocol_ = TLockProtocol::lpPessimistic;
  storage::TTableSettings table_settings_;
  std::vector<std::string> passwords_;
  PasswordCallback password_callback_;
  std::vector<std::unique_ptr<TDataDirectory>> directories_;
};

// A folder path as directories keep it: blanks trimmed and a trailing
// separator added (empty stays empty).
std::string NormalizeDirectoryPath(const std::string& path);

}  // namespace telvora::engine
