#include "dataset/vora_db_data_set.h"

#include "dataset/vora_database.h"
#include "dataset/vora_session.h"
#include "dataset/vora_session_list.h"

namespace telvora::dataset {

TVoraDBDataSet::TVoraDBDataSet(platform::TComponent* AOwner) : TVoraDataSet(AOwner) {
  // A dataset placed beside an automatically named session belongs to it.
  if (AOwner != nullptr) {
    for (int i = 0; i < AOwner->ComponentCount(); ++i) {
      auto* session = dynamic_cast<TVoraSession*>(AOwner->Components(i));
      if (session != nullptr && session->AutoSessionName()) session_name_ = session->SessionName();
    }
  }
}

TVoraDBDataSet::~TVoraDBDataSet() { CloseForDestroy(); }

void TVoraDBDataSet::CloseForDestroy() {
  MarkDestroying();
  try {
    Close();
  } catch (...) {
  }
  // Uses left by a failure above still hold the database.
  while (database_uses_ > 0) {
    try {
      CloseDatabase();
    } catch (...) {
      break;
    }
  }
  if (database_ != nullptr) database_->UnregisterDataSet(this);
}

void TVoraDBDataSet::SetDatabaseName(const std::string& value) {
  const std::string name = NormalizeSeparators(value);
  if (name == database_name_) return;
  CheckInactive();
  if (database_ != nullptr) DatabaseError(kDatabaseOpen);
  database_name_ = name;
}

void TVoraDBDataSet::SetSessionName(const std::string& value) {
  if (value == session_name_) return;
  CheckInactive();
  session_name_ = value;
}

TVoraSession& TVoraDBDataSet::DBSession() const { return Sessions().GetSession(session_name_); }

TVoraDatabase& TVoraDBDataSet::OpenDatabase() {
  if (database_uses_ == 0) {
    TVoraDatabase& database = DBSession().OpenDatabase(database_name_, Owner());
    database_ = &database;
    database.RegisterDataSet(this);
  }
  ++database_uses_;
  return *database_;
}

void TVoraDBDataSet::CloseDatabase() {
  if (database_uses_ == 0) return;
  if (--database_uses_ > 0) return;
  TVoraDatabase* database = database_;
  database_ = nullptr;
  database->UnregisterDataSet(this);
  if (database->Session() != nullptr) database->Session()->CloseDatabase(*database);
}

void TVoraDBDataSet::DestroyHandle() { CloseDatabase(); }

}  // namespace telvora::dataset
