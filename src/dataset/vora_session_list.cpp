#include "dataset/vora_session_list.h"

#include <algorithm>

#include "dataset/dataset_error.h"
#include "dataset/field_def.h"
#include "dataset/vora_session.h"

namespace telvora::dataset {

TVoraSessionList& TVoraSessionList::Instance() {
  static TVoraSessionList list;
  return list;
}

TVoraSessionList& Sessions() { return TVoraSessionList::Instance(); }
TVoraSession& Session() { return Sessions().DefaultSession(); }

TVoraSessionList::TVoraSessionList() {
  default_session_owner_.reset(new TVoraSession(TVoraSession::DefaultTag{}));
  default_session_ = default_session_owner_.get();
  sessions_.push_back(default_session_);
}

TVoraSessionList::~TVoraSessionList() {
  std::lock_guard guard(lock_);
  // Sessions owned by components have gone with their owners; any still
  // active lose their engine sessions here, the default session last.
  for (auto it = sessions_.rbegin(); it != sessions_.rend(); ++it) {
    if (*it != default_session_) (*it)->SetActive(false);
  }
  default_session_->SetActive(false);
  std::erase(sessions_, default_session_);
  default_session_owner_.reset();
  default_session_ = nullptr;
}

TVoraSession* TVoraSessionList::FindSession(const std::string& name) {
  std::lock_guard guard(lock_);
  if (name.empty()) return default_session_;
  for (TVoraSession* session : sessions_) {
    if (SameText(session->SessionName(), name)) return session;
  }
  return nullptr;
}

TVoraSession& TVoraSessionList::GetSession(const std::string& name) {
  TVoraSession* session = FindSession(name);
  if (session == nullptr) DatabaseErrorFmt(kInvalidSessionName, name);
  return *session;
}

int TVoraSessionList::Count() {
  std::lock_guard guard(lock_);
  return static_cast<int>(sessions_.size());
}

TVoraSession* TVoraSessionList::Sessions(int index) {
  std::lock_guard guard(lock_);
  return sessions_.at(static_cast<std::size_t>(index));
}

void TVoraSessionList::SetPasswordDialog(TPasswordDialog dialog) {
  std::lock_guard guard(lock_);
  password_dialog_ = std::move(dialog);
}

TVoraSessionList::TPasswordDialog TVoraSessionList::PasswordDialog() {
  std::lock_guard guard(lock_);
  return password_dialog_;
}

void TVoraSessionList::AddSession(TVoraSession* session) {
  std::lock_guard guard(lock_);
  sessions_.push_back(session);
}

void TVoraSessionList::RemoveSession(TVoraSession* session) {
  std::lock_guard guard(lock_);
  std::erase(sessions_, session);
}

int TVoraSessionList::TakeAutoNumber() {
  std::lock_guard guard(lock_);
  int number = 0;
  while (auto_numbers_.contains(number)) ++number;
  auto_numbers_.insert(number);
  return number;
}

void TVoraSessionList::FreeAutoNumber(int number) {
  std::lock_guard guard(lock_);
  auto_numbers_.erase(number);
}

engine::TDataSession& TVoraSessionList::StartEngine() {
  if (shared_engine_session_ == nullptr) shared_engine_session_ = std::make_unique<engine::TDataSession>();
  return *shared_engine_session_;
}

void TVoraSessionList::StopEngine() {
  if (current_engine_session_ == shared_engine_session_.get()) current_engine_session_ = nullptr;
  shared_engine_session_.reset();
}

}  // namespace telvora::dataset
