#pragma once
// TVoraDBDataSet: a dataset that reaches its table through a database of a
// session. Before its cursor is made (and while definitions are read from a
// closed table) it asks the session named SessionName (empty: the default
// session) to open the database named DatabaseName, and registers with it;
// when the last of these uses ends it unregisters and releases the database.
//
// DatabaseName has every foreign separator replaced by this system's; it
// and SessionName cannot change on an open dataset, nor DatabaseName while
// the dataset holds its database.
//
// Threads: the dataset's.

#include <string>

#include "dataset/vora_data_set.h"

namespace telvora::dataset {

class TVoraDatabase;
class TVoraSession;

class TVoraDBDataSet : public TVoraDataSet {
 public:
  explicit TVoraDBDataSet(platform::TComponent* AOwner);
  ~TVoraDBDataSet() override;

  const std::string& DatabaseName() const { return database_name_; }
  void SetDatabaseName(const std::string& value);
  const std::string& SessionName() const { return session_name_; }
  void SetSessionName(const std::string& value);

  // The database while the dataset holds it, else nullptr.
  TVoraDatabase* Database() const { return database_; }
  // The session SessionName names ("Session name %s is not valid.").
  TVoraSession& DBSession() const;

 protected:
  // Opens (first use) or counts a use of the database.
  TVoraDatabase& OpenDatabase();
  // Ends one use; the last one unregisters and releases the database.
  void CloseDatabase();
  void DestroyHandle() override;
  std::string ContextDatabaseName() const override { return database_name_; }
  // Close while the subclass's hooks still run.
  void CloseForDestroy();

 private:
  friend class TVoraDatabase;
  std::string database_name_;
  std::string session_name_;
  TVoraDatabase* database_ = nullptr;
  int database_uses_ = 0;
};

}  // namespace telvora::dataset
