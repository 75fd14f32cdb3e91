#include "dataset/vora_database.h"

#include <algorithm>

#include "dataset/dataset_error.h"
#include "dataset/field_def.h"
#include "dataset/vora_db_data_set.h"
#include "dataset/vora_session.h"
#include "dataset/vora_session_list.h"

namespace telvora::dataset {

std::string NormalizeSeparators(std::string name) {
  std::replace(name.begin(), name.end(), kForeignPathSeparator, kPathSeparator);
  return name;
}

bool IsPathName(const std::string& name) {
  return name.find(':') != std::string::npos || name.find(kPathSeparator) != std::string::npos ||
         name.find(kForeignPathSeparator) != std::string::npos;
}

TVoraDatabase::TVoraDatabase(platform::TComponent* AOwner) : TComponent(AOwner) {
  // A database placed beside an automatically named session belongs to it.
  if (AOwner != nullptr) {
    for (int i = 0; i < AOwner->ComponentCount(); ++i) {
      auto* session = dynamic_cast<TVoraSession*>(AOwner->Components(i));
      if (session != nullptr && session->AutoSessionName()) session_name_ = session->SessionName();
    }
  }
  AttachToSession();
}

TVoraDatabase::~TVoraDatabase() {
  try {
    Disconnect();
  } catch (...) {
  }
  if (session_ != nullptr) session_->RemoveDatabase(this);
}

std::string TVoraDatabase::EngineVersion() const { return kEngineVersion; }

void TVoraDatabase::CheckDisconnected() const {
  if (Connected()) DatabaseError(kDatabaseOpen);
}

void TVoraDatabase::CheckConnected() const {
  if (!Connected()) DatabaseError(kDatabaseClosed);
}

void TVoraDatabase::AttachToSession() {
  TVoraSession* session = Sessions().FindSession(session_name_);
  if (session == session_) return;
  if (session_ != nullptr) session_->RemoveDatabase(this);
  session_ = session;
  if (session_ != nullptr) session_->AddDatabase(this);
}

// --- Properties ---

void TVoraDatabase::SetDatabaseName(const std::string& value) {
  const std::string name = NormalizeSeparators(value);
  if (name == database_name_) return;
  CheckDisconnected();
  if (!temporary_ && IsPathName(name)) DatabaseErrorFmt(kInvalidDatabaseName, name);
  if (session_ != nullptr && !name.empty()) {
    TVoraDatabase* other = session_->FindDatabase(name);
    if (other != nullptr && other != this && !(other->handle_shared_ && handle_shared_)) {
      if (other->temporary_ && other->use_count_ == 0) {
        delete other;
      } else {
        DatabaseErrorFmt(kDuplicateDatabaseName, name);
      }
    }
  }
  database_name_ = name;
}

void TVoraDatabase::SetDirectory(const std::string& value) {
  const std::string directory = NormalizeSeparators(value);
  if (directory == directory_) return;
  CheckDisconnected();
  directory_ = directory;
}

void TVoraDatabase::SetRemoteDatabase(const std::string& value) {
  if (value == remote_database_) return;
  CheckDisconnected();
  remote_database_ = value;
}

void TVoraDatabase::SetSessionName(const std::string& value) {
  if (value == session_name_) return;
  CheckDisconnected();
  session_name_ = value;
  AttachToSession();
}

void TVoraDatabase::SetKeepConnection(bool value) {
  if (value == keep_connection_) return;
  keep_connection_ = value;
  if (!value && use_count_ == 0 && Connected() && !temporary_) Disconnect();
}

void TVoraDatabase::SetHandleShared(bool value) {
  if (value == handle_shared_) return;
  CheckDisconnected();
  handle_shared_ = value;
}

void TVoraDatabase::SetConnected(bool value) {
  if (value) {
    Connect();
  } else {
    Disconnect();
  }
}

// --- Connecting ---

void TVoraDatabase::Connect() {
  if (Connected()) return;
  BeforeConnect(*this);
  if (database_name_.empty() && !temporary_) DatabaseError(kDatabaseNameMissing);
  TVoraSession& session = Sessions().GetSession(session_name_);
  if (&session != session_) {
    if (session_ != nullptr) session_->RemoveDatabase(this);
    session_ = &session;
    session_->AddDatabase(this);
  }
  session.SetActive(true);
  for (TVoraDatabase* other : session.databases_) {
    if (other != this && SameText(other->database_name_, database_name_) &&
        !(other->handle_shared_ && handle_shared_)) {
      DatabaseErrorFmt(kDuplicateDatabaseName, database_name_);
    }
  }
  if (handle_shared_) {
    for (TVoraDatabase* other : session.databases_) {
      if (other != this && other->Connected() && other->handle_shared_ &&
          SameText(other->database_name_, database_name_)) {
        // The directory is counted for each sharer, so that the one that
        // opened it may disconnect first without leaving the others on a
        // freed directory.
        handle_ = other->handle_;
        handle_->AddReference();
        acquired_handle_ = true;
        return;
      }
    }
  }
  session.LockSession();
  try {
    const std::string name = IsPathName(database_name_) ? std::string() : database_name_;
    handle_ = &session.EngineSession()->OpenDirectory(name, directory_);
  } catch (...) {
    session.UnlockSession();
    throw;
  }
  session.UnlockSession();
  acquired_handle_ = true;
}

void TVoraDatabase::Disconnect() {
  if (!Connected()) return;
  disconnecting_ = true;
  try {
    while (!datasets_.empty()) {
      TVoraDBDataSet* dataset = datasets_.back();
      dataset->Close();
      // A dataset that stays registered after closing would loop here.
      std::erase(datasets_, dataset);
    }
  } catch (...) {
    disconnecting_ = false;
    throw;
  }
  disconnecting_ = false;
  engine::TDataDirectory* handle = handle_;
  handle_ = nullptr;
  use_count_ = 0;
  if (acquired_handle_ && session_ != nullptr && session_->EngineSession() != nullptr) {
    session_->LockSession();
    session_->EngineSession()->CloseDirectory(*handle);
    session_->UnlockSession();
  }
  acquired_handle_ = false;
}

void TVoraDatabase::RegisterDataSet(TVoraDBDataSet* dataset) {
  if (std::find(datasets_.begin(), datasets_.end(), dataset) == datasets_.end()) datasets_.push_back(dataset);
}

void TVoraDatabase::UnregisterDataSet(TVoraDBDataSet* dataset) { std::erase(datasets_, dataset); }

// --- Transactions ---

void TVoraDatabase::StartTransaction() {
  CheckConnected();
  if (handle_->in_transaction()) DatabaseErrorFmt(kActiveTransaction, database_name_);
  session_->LockSession();
  try {
    handle_->StartTransaction();
  } catch (...) {
    session_->UnlockSession();
    throw;
  }
  session_->UnlockSession();
}

void TVoraDatabase::Commit() {
  CheckConnected();
  if (!handle_->in_transaction()) DatabaseErrorFmt(kNoActiveTransaction, database_name_);
  session_->LockSession();
  try {
    handle_->Commit(session_->ForceBufferFlush());
  } catch (...) {
    session_->UnlockSession();
    throw;
  }
  session_->UnlockSession();
}

void TVoraDatabase::Rollback() {
  CheckConnected();
  if (!handle_->in_transaction()) DatabaseErrorFmt(kNoActiveTransaction, database_name_);
  session_->LockSession();
  try {
    handle_->Rollback();
  } catch (...) {
    session_->UnlockSession();
    throw;
  }
  session_->UnlockSession();
}

bool TVoraDatabase::InTransaction() const { return handle_ != nullptr && handle_->in_transaction(); }

}  // namespace telvora::dataset
