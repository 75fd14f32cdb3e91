#pragma once
// TDataDirectory: one database folder (or the in-memory database) of a
// session. It holds the tables opened in it, shared by every cursor that
// opens the same table through it, and the folder's transaction state.
//
// Invariants: a table object stays in the list while a cursor uses it or a
// transaction holds it, and only then; its files are open exactly while it
// is in the list. Error messages name the folder by its path.
//
// Threads: used by one thread at a time, like its session.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "storage/data_file_header.h"
#include "storage/data_table.h"
#include "storage/field_descriptor.h"
#include "storage/index_descriptor.h"
#include "storage/text_index_parameters.h"

namespace telvora::engine {

class TDataSession;

// How a cursor asks for a table.
struct TTableOpenFlags {
  bool exclusive = false;
  bool in_memory = false;
  bool temporary = false;
};

// Everything a new table is made of.
struct TTableDefinition {
  storage::TDataFileCreation creation;
  std::vector<storage::TFieldDescriptor> fields;
  storage::TIndexDescriptor primary;
  std::vector<storage::TIndexDescriptor> secondary;
  // The key fields of the text index (slot 32), field numbers.
  std::vector<std::uint16_t> text_index_fields;
  // Stored in the text index's page chain when given.
  std::optional<storage::TTextIndexParameters> text_index_parameters;
};

class TDataDirectory {
 public:
  TDataDirectory(TDataSession& session, std::string database_name, std::string path);
  // Rolls back an open transaction and frees every table still listed.
  ~TDataDirectory();
  TDataDirectory(const TDataDirectory&) = delete;
  TDataDirectory& operator=(const TDataDirectory&) = delete;

  TDataSession& session() const { return session_; }
  const std::string& database_name() const { return database_name_; }
  // Ends with a separator, or is empty for the in-memory database.
  const std::string& path() const { return path_; }
  int reference_count() const { return reference_count_; }
  void AddReference() { ++reference_count_; }
  // Returns the count left.
  int ReleaseReference() { return --reference_count_; }

  // Opens a table for one more cursor and returns the shared object. A
  // table in use is refused with 11013 when it or the request is exclusive.
  // The first cursor of a table also runs the header checks and, for an
  // encrypted table, the password check (10498); see OpenTableForCursor.
  storage::TDataTable& OpenTable(const std::string& name, const TTableOpenFlags& flags);
  // OpenTable plus the checks the first user of a table makes: the full
  // header checks under the shared lock, then the password of an encrypted
  // table (asked of the session's callback while it is missing).
  storage::TDataTable& OpenTableForCursor(const std::string& name, const TTableOpenFlags& flags);
  // A cursor leaves. The last one closes the files (flushing an exclusive
  // table, or discarding a temporary one's caches when asked), unless a
  // transaction still holds the table. An unknown table is 11010.
  void CloseTable(storage::TDataTable& table, bool discard = false);
  // Cursors using the table now (0 when it is not listed).
  int UsersOf(const storage::TDataTable& table) const;
  int OpenTableCount() const { return static_cast<int>(tables_.size()); }

  // Creates a table; 13060 when it exists and overwrite is false, 11013
  // when it is in use or held by a transaction. The files are written and
  // closed again, with the text index's fields and parameters when the
  // definition has them.
  void CreateTable(const std::string& name, const TTableDefinition& definition, bool in_memory,
                   bool overwrite);
  // Deletes the table's files; 11013 while it is in use.
  void DeleteTable(const std::string& name, bool in_memory);
  // A listed table of that name, or an existing data file.
  bool TableExists(const std::string& name, bool in_memory) const;
  // "<first five digits of the thread id><counter>.DAT": the first such
  // name for which no table exists in this directory.
  std::string MakeTemporaryTableName() const;

  bool in_transaction() const { return in_transaction_; }
  void StartTransaction();
  void Commit(bool force_flush);
  void Rollback();

 private:
  struct Entry {
    std::unique_ptr<storage::TDataTable> table;
    int users = 0;
  };

  Entry* Find(const std::string& name, bool in_memory);
  const Entry* Find(const std::string& name, bool in_memory) const;
  Entry* FindEntry(const storage::TDataTable& table);
  void PrepareTable(storage::TDataTable& table, const std::string& name, const TTableOpenFlags& flags) const;
  void CheckFirstUser(storage::TDataTable& table);
  // Frees the tables no cursor uses any more (after a transaction ends).
  void FreeUnusedTables();
  // Ends the transaction on every table in it (commit or rollback).
  void EndTransaction(const std::function<void(storage::TDataTable&)>& end_table);
  void RemoveEntry(const storage::TDataTable& table);
  std::string DataFileName(const std::string& name) const;

  TDataSession& session_;
  std::string database_name_;
  std::string path_;
  int reference_count_ = 0;
  bool in_transaction_ = false;
  std::vector<Entry> tables_;
};

}  // namespace telvora::engine
