#pragma once
// TVoraSessionList: the process's list of session components. It is made
// the first time it is asked for (when the component layer starts), with
// the default session "Default" as its first member, and it ends with the
// process, taking the default session with it.
//
// One process-wide lock guards the list and every session's engine state;
// sessions take it through their use counters (TVoraSession::LockSession).
// The list also keeps the numbers taken by automatically named sessions and
// the engine's shared session, which exists while the default session is
// active (the engine is started then).
//
// Threads: any; every member takes the lock.

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/data_session.h"

namespace telvora::dataset {

class TVoraSession;

class TVoraSessionList {
 public:
  // Shows the password dialog for a session; true when it ended with OK.
  // The window layer sets it; without it a missing password is not asked.
  using TPasswordDialog = std::function<bool(TVoraSession&)>;

  static TVoraSessionList& Instance();
  ~TVoraSessionList();
  TVoraSessionList(const TVoraSessionList&) = delete;
  TVoraSessionList& operator=(const TVoraSessionList&) = delete;

  // The session of that name (without regard to case); an empty name gives
  // the default session; nullptr when there is none.
  TVoraSession* FindSession(const std::string& name);
  // As FindSession, but "Session name %s is not valid." when there is none.
  TVoraSession& GetSession(const std::string& name);
  TVoraSession& DefaultSession() { return *default_session_; }
  int Count();
  TVoraSession* Sessions(int index);

  void SetPasswordDialog(TPasswordDialog dialog);
  TPasswordDialog PasswordDialog();

  std::recursive_mutex& Lock() { return lock_; }

  // The engine session that is current (the last one a session lock made
  // current); nullptr while the engine is stopped.
  engine::TDataSession* CurrentEngineSession() const { return current_engine_session_; }

 private:
  friend class TVoraSession;
  TVoraSessionList();

  void AddSession(TVoraSession* session);
  void RemoveSession(TVoraSession* session);
  // The lowest number not taken by an automatically named session.
  int TakeAutoNumber();
  void FreeAutoNumber(int number);
  // The engine: started with the default session's activation.
  engine::TDataSession& StartEngine();
  void StopEngine();

  std::recursive_mutex lock_;
  std::vector<TVoraSession*> sessions_;
  std::set<int> auto_numbers_;
  TPasswordDialog password_dialog_;
  std::unique_ptr<engine::TDataSession> shared_engine_session_;
  engine::TDataSession* current_engine_session_ = nullptr;
  TVoraSession* default_session_ = nullptr;
  std::unique_ptr<TVoraSession> default_session_owner_;
};

// The session list and the default session.
TVoraSessionList& Sessions();
TVoraSession& Session();

}  // namespace telvora::dataset
