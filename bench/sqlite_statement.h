#pragma once
// SQLite through its C API as the benchmarks use it: result codes turned
// into exceptions, and prepared statements that finalize themselves.

#include <sqlite3.h>

#include <memory>
#include <string>

namespace telvora::bench {

// Raises std::runtime_error naming `what` unless rc is OK, DONE or ROW.
void SqliteCheck(int rc, sqlite3* db, const char* what);
void SqliteExec(sqlite3* db, const std::string& sql);

using SqliteDatabase = std::unique_ptr<sqlite3, decltype(&sqlite3_close)>;

class SqliteStatement {
 public:
  SqliteStatement(sqlite3* db, const char* sql);
  ~SqliteStatement() { sqlite3_finalize(handle); }
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  // One step; true while it yields rows.
  bool Step();
  void Reset() { sqlite3_reset(handle); }
  // The string must outlive the step that reads it.
  void BindText(int i, const std::string& s) {
    sqlite3_bind_text(handle, i, s.data(), static_cast<int>(s.size()), SQLITE_STATIC);
  }
  // Values go in as bytes: code page 1256 is not UTF-8, and as BLOBs they
  // compare byte by byte and substr counts bytes.
  void BindBytes(int i, const std::string& s) {
    sqlite3_bind_blob(handle, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  }

  sqlite3_stmt* handle = nullptr;

 private:
  sqlite3* db_;
};

}  // namespace telvora::bench
