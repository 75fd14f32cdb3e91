#include "dataset/vora_session.h"

#include <algorithm>

#include "dataset/dataset_error.h"
#include "dataset/vora_database.h"
#include "dataset/vora_db_data_set.h"
#include "dataset/vora_session_list.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"

namespace telvora::dataset {
namespace {

// Holds a session's lock for one scope.
class SessionLock {
 public:
  explicit SessionLock(TVoraSession& session) : session_(session) { session_.LockSession(); }
  ~SessionLock() { session_.UnlockSession(); }
  SessionLock(const SessionLock&) = delete;
  SessionLock& operator=(const SessionLock&) = delete;

 private:
  TVoraSession& session_;
};

constexpr const char* kMemoryDatabaseName = "Memory";

}  // namespace

TVoraSession::TVoraSession(platform::TComponent* AOwner) : TComponent(AOwner) {
  if (OwnerAutoSession() != nullptr) DatabaseError(kAutoSessionExists);
  Sessions().AddSession(this);
}

TVoraSession::TVoraSession(DefaultTag) : TComponent(nullptr), is_default_(true), session_name_(kDefaultSessionName) {}

TVoraSession::~TVoraSession() {
  try {
    SetActive(false);
  } catch (...) {
  }
  // Placed databases outlive their session only as disconnected objects.
  for (TVoraDatabase* database : databases_) database->session_ = nullptr;
  databases_.clear();
  if (!is_default_) {
    if (auto_number_ >= 0) Sessions().FreeAutoNumber(auto_number_);
    Sessions().RemoveSession(this);
  }
}

bool TVoraSession::IsDefault() const { return is_default_; }

// --- Activation ---

void TVoraSession::SetActive(bool value) {
  if (value == Active()) return;
  std::lock_guard guard(Sessions().Lock());
  if (value) {
    Activate();
  } else {
    Deactivate();
  }
}

void TVoraSession::Activate() {
  TVoraSessionList& list = Sessions();
  try {
    OnStartup(*this);
    if (session_name_.empty()) DatabaseError(kSessionNameMissing);
    if (!is_default_) list.DefaultSession().SetActive(true);
    if (is_default_) {
      engine_session_ = &list.StartEngine();
    } else {
      own_engine_session_ = std::make_unique<engine::TDataSession>();
      engine_session_ = own_engine_session_.get();
    }
    ApplySettings();
    engine_session_->SetPasswordCallback(
        [this](const std::string& /*table*/, std::string& /*password*/) { return PasswordCallback(); });
    // The remote engine access is not part of this system: a remote
    // session cannot reach its server.
    if (session_type_ == TSessionType::stRemote) {
      storage::RaiseEngineError(storage::VORA_REMOTECONNECT, {.server = remote_host_, .user = remote_user_});
    }
    list.current_engine_session_ = engine_session_;
  } catch (...) {
    Deactivate();
    throw;
  }
}

void TVoraSession::Deactivate() {
  TVoraSessionList& list = Sessions();
  // Databases last first: temporary ones are freed, placed ones
  // disconnected.
  while (engine_session_ != nullptr) {
    auto connected = std::find_if(databases_.rbegin(), databases_.rend(),
                                  [](TVoraDatabase* d) { return d->Connected() || d->Temporary(); });
    if (connected == databases_.rend()) break;
    TVoraDatabase* database = *connected;
    if (database->Temporary()) {
      delete database;
    } else {
      database->Disconnect();
    }
  }
  if (engine_session_ == nullptr) return;
  if (is_default_) {
    engine_session_ = nullptr;
    list.StopEngine();
  } else {
    if (list.current_engine_session_ == engine_session_) {
      list.current_engine_session_ = list.DefaultSession().EngineSession();
    }
    engine_session_ = nullptr;
    own_engine_session_.reset();
  }
}

void TVoraSession::ApplySettings() {
  engine::TDataSession& s = *engine_session_;
  s.SetPrivateDir(private_dir_);
  s.SetProgressSteps(progress_steps_);
  s.SetLockProtocol(lock_protocol_);
  storage::TTableSettings& t = s.MutableTableSettings();
  t.StrictChangeDetection = strict_change_detection_;
  t.ForceBufferFlush = force_buffer_flush_;
  t.LockRetryCount = lock_retry_count_;
  t.LockWaitTime = lock_wait_time_;
  t.DataBufferBytes = kDataBufferBytes;
  t.DataBufferCount = kDataBufferCount;
  t.BlobBufferBytes = kBlobBufferBytes;
  t.BlobBufferCount = kBlobBufferCount;
}

void TVoraSession::LockSession() {
  std::recursive_mutex& lock = Sessions().Lock();
  lock.lock();
  if (lock_count_ == 0) {
    try {
      if (!Active()) SetActive(true);
      Sessions().current_engine_session_ = engine_session_;
    } catch (...) {
      lock.unlock();
      throw;
    }
  }
  ++lock_count_;
}

void TVoraSession::UnlockSession() {
  if (lock_count_ == 0) return;
  --lock_count_;
  Sessions().Lock().unlock();
}

// --- Settings ---

void TVoraSession::CheckInactive() const {
  if (Active()) DatabaseError(kSessionActive);
}

void TVoraSession::SetPrivateDir(const std::string& value) {
  if (value == private_dir_) return;
  private_dir_ = value;
  if (Active()) {
    SessionLock lock(*this);
    engine_session_->SetPrivateDir(value);
  }
}

void TVoraSession::SetLockRetryCount(std::uint8_t value) {
  if (value == lock_retry_count_) return;
  lock_retry_count_ = value;
  if (Active()) {
    SessionLock lock(*this);
    engine_session_->MutableTableSettings().LockRetryCount = value;
  }
}

void TVoraSession::SetLockWaitTime(std::uint16_t value) {
  if (value == lock_wait_time_) return;
  lock_wait_time_ = value;
  if (Active()) {
    SessionLock lock(*this);
    engine_session_->MutableTableSettings().LockWaitTime = value;
  }
}

void TVoraSession::SetLockProtocol(TLockProtocol value) {
  if (value == lock_protocol_) return;
  lock_protocol_ = value;
  if (Active()) {
    SessionLock lock(*this);
    engine_session_->SetLockProtocol(value);
  }
}

void TVoraSession::SetForceBufferFlush(bool value) {
  if (value == force_buffer_flush_) return;
  force_buffer_flush_ = value;
  if (Active()) {
    SessionLock lock(*this);
    engine_session_->MutableTableSettings().ForceBufferFlush = value;
  }
}

void TVoraSession::SetStrictChangeDetection(bool value) {
  if (value == strict_change_detection_) return;
  strict_change_detection_ = value;
  if (Active()) {
    SessionLock lock(*this);
    engine_session_->MutableTableSettings().StrictChangeDetection = value;
  }
}

void TVoraSession::SetProgressSteps(std::uint16_t value) {
  if (value > kMaxProgressSteps || value == progress_steps_) return;
  progress_steps_ = value;
  if (Active()) {
    SessionLock lock(*this);
    engine_session_->SetProgressSteps(value);
  }
}

void TVoraSession::SetSessionType(TSessionType value) {
  CheckInactive();
  session_type_ = value;
}
void TVoraSession::SetRemoteType(TRemoteType value) {
  CheckInactive();
  remote_type_ = value;
}
void TVoraSession::SetRemoteHost(const std::string& value) {
  CheckInactive();
  remote_host_ = value;
}
void TVoraSession::SetRemoteAddress(const std::string& value) {
  CheckInactive();
  remote_address_ = value;
}
void TVoraSession::SetRemotePort(std::int32_t value) {
  CheckInactive();
  remote_port_ = value;
}
void TVoraSession::SetRemoteService(const std::string& value) {
  CheckInactive();
  remote_service_ = value;
}
void TVoraSession::SetRemoteUser(const std::string& value) {
  CheckInactive();
  remote_user_ = value;
}
void TVoraSession::SetRemotePassword(const std::string& value) {
  CheckInactive();
  remote_password_ = value;
}

// --- Names ---

void TVoraSession::SetSessionName(const std::string& value) {
  if (value == session_name_) return;
  if (auto_session_name_) DatabaseError(kAutoSessionActive);
  CheckInactive();
  std::lock_guard guard(Sessions().Lock());
  TVoraSession* other = Sessions().FindSession(value);
  if (!value.empty() && other != nullptr && other != this) DatabaseErrorFmt(kDuplicateSessionName, value);
  session_name_ = value;
}

TVoraSession* TVoraSession::OwnerAutoSession() const {
  if (Owner() == nullptr) return nullptr;
  for (int i = 0; i < Owner()->ComponentCount(); ++i) {
    auto* session = dynamic_cast<TVoraSession*>(Owner()->Components(i));
    if (session != nullptr && session != this && session->auto_session_name_) return session;
  }
  return nullptr;
}

void TVoraSession::SetAutoSessionName(bool value) {
  if (value == auto_session_name_) return;
  CheckInactive();
  std::lock_guard guard(Sessions().Lock());
  if (value) {
    if (Owner() != nullptr) {
      for (int i = 0; i < Owner()->ComponentCount(); ++i) {
        auto* session = dynamic_cast<TVoraSession*>(Owner()->Components(i));
        if (session != nullptr && session != this) DatabaseError(kAutoSessionExclusive);
      }
    }
    auto_number_ = Sessions().TakeAutoNumber();
    auto_session_name_ = true;
    session_name_ = Name() + "_" + std::to_string(auto_number_ + 1);
    NameOwnerComponents();
  } else {
    Sessions().FreeAutoNumber(auto_number_);
    auto_number_ = -1;
    auto_session_name_ = false;
  }
}

void TVoraSession::NameOwnerComponents() {
  if (Owner() == nullptr) return;
  for (int i = 0; i < Owner()->ComponentCount(); ++i) {
    platform::TComponent* component = Owner()->Components(i);
    if (auto* dataset = dynamic_cast<TVoraDBDataSet*>(component)) {
      if (!dataset->Active() && !SameText(dataset->SessionName(), session_name_)) {
        dataset->SetSessionName(session_name_);
      }
    } else if (auto* database = dynamic_cast<TVoraDatabase*>(component)) {
      if (!database->Connected() && !SameText(database->SessionName(), session_name_)) {
        database->SetSessionName(session_name_);
      }
    }
  }
}

// --- Databases ---

void TVoraSession::AddDatabase(TVoraDatabase* database) { databases_.push_back(database); }

void TVoraSession::RemoveDatabase(TVoraDatabase* database) { std::erase(databases_, database); }

TVoraDatabase* TVoraSession::FindDatabase(const std::string& name) {
  const std::string normalized = NormalizeSeparators(name);
  for (TVoraDatabase* database : databases_) {
    if (SameText(database->DatabaseName(), normalized)) return database;
  }
  return nullptr;
}

TVoraDatabase& TVoraSession::OpenDatabase(const std::string& name, platform::TComponent* requesting_owner) {
  SessionLock lock(*this);
  const std::string normalized = NormalizeSeparators(name);
  TVoraDatabase* database = nullptr;
  for (TVoraDatabase* d : databases_) {
    if (d->HandleShared() && d->Owner() == requesting_owner && SameText(d->DatabaseName(), normalized)) {
      database = d;
      break;
    }
  }
  if (database == nullptr) database = FindDatabase(normalized);
  bool created = false;
  if (database == nullptr) {
    auto temporary = std::make_unique<TVoraDatabase>(nullptr);
    temporary->temporary_ = true;
    temporary->database_name_ = normalized;
    temporary->session_name_ = session_name_;
    if (session_type_ == TSessionType::stRemote) {
      temporary->remote_database_ = normalized;
    } else if (!SameText(normalized, kMemoryDatabaseName)) {
      temporary->directory_ = normalized;
    }
    temporary->keep_connection_ = keep_connections_;
    temporary->AttachToSession();
    database = temporary.release();
    created = true;
  }
  try {
    database->SetConnected(true);
  } catch (...) {
    if (created) delete database;
    throw;
  }
  ++database->use_count_;
  return *database;
}

void TVoraSession::CloseDatabase(TVoraDatabase& database) {
  SessionLock lock(*this);
  if (database.use_count_ > 0) --database.use_count_;
  if (database.use_count_ > 0 || database.keep_connection_ || database.disconnecting_) return;
  if (database.temporary_) {
    delete &database;
  } else {
    database.Disconnect();
  }
}

// --- Passwords ---

void TVoraSession::AddPassword(const std::string& password) {
  SessionLock lock(*this);
  engine_session_->AddPassword(password);
}

void TVoraSession::RemovePassword(const std::string& password) {
  SessionLock lock(*this);
  engine_session_->RemovePassword(password);
}

void TVoraSession::RemoveAllPasswords() {
  SessionLock lock(*this);
  engine_session_->RemoveAllPasswords();
}

bool TVoraSession::PasswordCallback() {
  if (OnPassword.Assigned()) {
    bool continue_ = false;
    OnPassword(*this, continue_);
    return continue_;
  }
  const TVoraSessionList::TPasswordDialog dialog = Sessions().PasswordDialog();
  return dialog ? dialog(*this) : false;
}

}  // namespace telvora::dataset
