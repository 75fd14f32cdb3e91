#pragma once
// TVoraDatabase: one database directory of a session, kept open for the
// datasets that use it.
//
// A database is placed (made by the user, named by DatabaseName) or
// temporary (made by a session for a dataset that named a folder). While
// connected it holds the engine directory of its session; the datasets
// registered with it are closed when it disconnects. Its use count counts
// the datasets currently holding it; with KeepConnection it stays
// connected at count 0.
//
// Names: every foreign separator ("\") in DatabaseName and Directory
// becomes this system's "/"; a name holding ":" or "/" is a path.
//
// Threads: the session's.

#include <string>
#include <vector>

#include "engine/data_directory.h"
#include "platform/component.h"

namespace telvora::dataset {

class TVoraSession;
class TVoraDBDataSet;

// Path separators: the one of this system, and the one names written for
// another system may hold.
inline constexpr char kPathSeparator = '/';
inline constexpr char kForeignPathSeparator = '\\';
// Every foreign separator replaced by this system's.
std::string NormalizeSeparators(std::string name);
// A name holding ":" or a separator names a folder.
bool IsPathName(const std::string& name);

class TVoraDatabase : public platform::TComponent {
 public:
  using TDatabaseNotifyEvent = platform::TEvent<void(TVoraDatabase&)>;

  explicit TVoraDatabase(platform::TComponent* AOwner);
  ~TVoraDatabase() override;

  // --- Published ---
  const std::string& DatabaseName() const { return database_name_; }
  void SetDatabaseName(const std::string& value);
  const std::string& Directory() const { return directory_; }
  void SetDirectory(const std::string& value);
  const std::string& RemoteDatabase() const { return remote_database_; }
  void SetRemoteDatabase(const std::string& value);
  const std::string& SessionName() const { return session_name_; }
  void SetSessionName(const std::string& value);
  bool Connected() const { return handle_ != nullptr; }
  void SetConnected(bool value);
  bool KeepConnection() const { return keep_connection_; }
  void SetKeepConnection(bool value);
  bool HandleShared() const { return handle_shared_; }
  void SetHandleShared(bool value);
  std::string EngineVersion() const;
  void SetEngineVersion(const std::string& /*value*/) {}

  TDatabaseNotifyEvent BeforeConnect;

  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }

  // --- Transactions (the engine directory's) ---
  void StartTransaction();
  void Commit();
  void Rollback();
  bool InTransaction() const;

  // --- State ---
  bool Temporary() const { return temporary_; }
  TVoraSession* Session() const { return session_; }
  engine::TDataDirectory* Handle() const { return handle_; }
  int UseCount() const { return use_count_; }
  int DataSetCount() const { return static_cast<int>(datasets_.size()); }
  TVoraDBDataSet* DataSets(int index) const { return datasets_.at(static_cast<std::size_t>(index)); }

 private:
  friend class TVoraSession;
  friend class TVoraDBDataSet;

  void Connect();
  void Disconnect();
  void CheckDisconnected() const;
  void CheckConnected() const;
  // Moves the database into the list of the session its SessionName names
  // (none when there is no such session yet).
  void AttachToSession();
  void RegisterDataSet(TVoraDBDataSet* dataset);
  void UnregisterDataSet(TVoraDBDataSet* dataset);

  std::string database_name_;
  std::string directory_;
  std::string remote_database_;
  std::string session_name_;
  bool keep_connection_ = true;
  bool handle_shared_ = false;
  bool temporary_ = false;
  bool acquired_handle_ = false;
  // Set while datasets are being closed by a disconnect: their releases
  // then only count down.
  bool disconnecting_ = false;
  TVoraSession* session_ = nullptr;
  engine::TDataDirectory* handle_ = nullptr;
  int use_count_ = 0;
  std::vector<TVoraDBDataSet*> datasets_;
};

}  // namespace telvora::dataset
