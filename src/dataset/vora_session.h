#pragma once
// TVoraSession: one engine session and its settings (private directory,
// lock retries and protocol, buffer sizes, table passwords), and the
// database components that belong to it.
//
// Active means the engine session exists: the default session takes the
// engine's shared session (starting the engine), every other session makes
// its own. Settings changed on an active session go to the engine session
// at once; on an inactive one they are stored until activation. Databases
// are found by name (OpenDatabase); a name that matches no database
// component gets a temporary database, freed again when its session
// deactivates or, without KeepConnection, when its last user leaves.
//
// Threads: the engine state is guarded by the session list's lock, taken
// through LockSession; a session is otherwise used from one thread.

#include <cstdint>
#include <string>
#include <vector>

#include "dataset/field_def.h"
#include "engine/data_session.h"
#include "platform/component.h"

namespace telvora::dataset {

class TVoraDatabase;

enum class TSessionType : std::uint8_t { stLocal, stRemote };
enum class TRemoteType : std::uint8_t { rtLAN, rtInternet };
using engine::TLockProtocol;

inline constexpr const char* kEngineVersion = "3.24";
inline constexpr const char* kDefaultSessionName = "Default";

class TVoraSession : public platform::TComponent {
 public:
  using TSessionNotifyEvent = platform::TEvent<void(TVoraSession&)>;
  using TVoraPasswordEvent = platform::TEvent<void(TVoraSession&, bool& Continue)>;

  static constexpr std::uint8_t kDefaultLockRetryCount = 15;
  static constexpr std::uint16_t kDefaultLockWaitTime = 100;
  static constexpr std::uint16_t kDefaultProgressSteps = 20;
  static constexpr std::uint16_t kMaxProgressSteps = 100;
  static constexpr std::int32_t kDefaultRemotePort = 12005;
  static constexpr const char* kDefaultRemoteAddress = "127.0.0.1";
  // The buffer settings every session hands its engine session.
  static constexpr std::uint32_t kDataBufferBytes = 16384;
  static constexpr std::uint32_t kDataBufferCount = 8192;
  static constexpr std::uint32_t kBlobBufferBytes = 32768;
  static constexpr std::uint32_t kBlobBufferCount = 8192;

  // "This auto-session already exists." when the owner holds an
  // automatically named session.
  explicit TVoraSession(platform::TComponent* AOwner);
  ~TVoraSession() override;

  // --- Published ---
  bool Active() const { return engine_session_ != nullptr; }
  void SetActive(bool value);
  bool AutoSessionName() const { return auto_session_name_; }
  void SetAutoSessionName(bool value);
  const std::string& SessionName() const { return session_name_; }
  void SetSessionName(const std::string& value);
  bool KeepConnections() const { return keep_connections_; }
  void SetKeepConnections(bool value) { keep_connections_ = value; }
  const std::string& PrivateDir() const { return private_dir_; }
  void SetPrivateDir(const std::string& value);
  std::uint8_t LockRetryCount() const { return lock_retry_count_; }
  void SetLockRetryCount(std::uint8_t value);
  std::uint16_t LockWaitTime() const { return lock_wait_time_; }
  void SetLockWaitTime(std::uint16_t value);
  TLockProtocol LockProtocol() const { return lock_protocol_; }
  void SetLockProtocol(TLockProtocol value);
  bool ForceBufferFlush() const { return force_buffer_flush_; }
  void SetForceBufferFlush(bool value);
  bool StrictChangeDetection() const { return strict_change_detection_; }
  void SetStrictChangeDetection(bool value);
  std::uint16_t ProgressSteps() const { return progress_steps_; }
  // Values above 100 are ignored.
  void SetProgressSteps(std::uint16_t value);
  TSessionType SessionType() const { return session_type_; }
  void SetSessionType(TSessionType value);
  TRemoteType RemoteType() const { return remote_type_; }
  void SetRemoteType(TRemoteType value);
  const std::string& RemoteHost() const { return remote_host_; }
  void SetRemoteHost(const std::string& value);
  const std::string& RemoteAddress() const { return remote_address_; }
  void SetRemoteAddress(const std::string& value);
  std::int32_t RemotePort() const { return remote_port_; }
  void SetRemotePort(std::int32_t value);
  const std::string& RemoteService() const { return remote_service_; }
  void SetRemoteService(const std::string& value);
  bool RemoteTrace() const { return remote_trace_; }
  void SetRemoteTrace(bool value) { remote_trace_ = value; }
  const std::string& RemoteUser() const { return remote_user_; }
  void SetRemoteUser(const std::string& value);
  const std::string& RemotePassword() const { return remote_password_; }
  void SetRemotePassword(const std::string& value);
  std::string EngineVersion() const { return kEngineVersion; }
  void SetEngineVersion(const std::string& /*value*/) {}

  TSessionNotifyEvent OnStartup;
  TVoraPasswordEvent OnPassword;
  TSessionNotifyEvent OnRemoteLogin;
  TSessionNotifyEvent OnRemoteTrace;

  // --- Databases ---
  // A connected database for the name, its use count raised by one.
  TVoraDatabase& OpenDatabase(const std::string& name, platform::TComponent* requesting_owner);
  // Lowers the use count; at 0 a database without KeepConnection is freed
  // (temporary) or disconnected (placed).
  void CloseDatabase(TVoraDatabase& database);
  TVoraDatabase* FindDatabase(const std::string& name);
  int DatabaseCount() const { return static_cast<int>(databases_.size()); }
  TVoraDatabase* Databases(int index) const { return databases_.at(static_cast<std::size_t>(index)); }

  // --- Passwords (the engine session's list) ---
  void AddPassword(const std::string& password);
  void RemovePassword(const std::string& password);
  void RemoveAllPasswords();
  // Asked by the engine for a table whose password the list lacks: the
  // OnPassword event, else the password dialog. True means try again.
  bool PasswordCallback();

  // --- The session lock ---
  // The first use takes the process-wide lock and makes this session's
  // engine session current (activating the session first); nested uses
  // count. Undone on failure.
  void LockSession();
  void UnlockSession();
  bool IsDefault() const;
  // The engine session while active.
  engine::TDataSession* EngineSession() const { return engine_session_; }

 private:
  friend class TVoraSessionList;
  friend class TVoraDatabase;
  struct DefaultTag {};
  TVoraSession(DefaultTag);

  void Activate();
  void Deactivate();
  void ApplySettings();
  void CheckInactive() const;
  void AddDatabase(TVoraDatabase* database);
  void RemoveDatabase(TVoraDatabase* database);
  // Another component on the owner that is an automatically named session.
  TVoraSession* OwnerAutoSession() const;
  // Gives every table and database component on the owner this session's
  // name.
  void NameOwnerComponents();

  bool is_default_ = false;
  engine::TDataSession* engine_session_ = nullptr;
  std::unique_ptr<engine::TDataSession> own_engine_session_;
  bool auto_session_name_ = false;
  int auto_number_ = -1;
  std::string session_name_;
  bool keep_connections_ = true;
  std::string private_dir_;
  std::uint8_t lock_retry_count_ = kDefaultLockRetryCount;
  std::uint16_t lock_wait_time_ = kDefaultLockWaitTime;
  TLockProtocol lock_protocol_ = TLockProtocol::lpPessimistic;
  bool force_buffer_flush_ = false;
  bool strict_change_detection_ = false;
  std::uint16_t progress_steps_ = kDefaultProgressSteps;
  TSessionType session_type_ = TSessionType::stLocal;
  TRemoteType remote_type_ = TRemoteType::rtLAN;
  std::string remote_host_;
  std::string remote_address_ = kDefaultRemoteAddress;
  std::int32_t remote_port_ = kDefaultRemotePort;
  std::string remote_service_;
  bool remote_trace_ = false;
  std::string remote_user_;
  std::string remote_password_;

  std::vector<TVoraDatabase*> databases_;
  int lock_count_ = 0;
};

}  // namespace telvora::dataset
