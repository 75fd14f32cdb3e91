#include "sqlite_statement.h"

#include <stdexcept>

namespace telvora::bench {

void SqliteCheck(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    throw std::runtime_error(std::string("sqlite ") + what + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
  }
}

void SqliteExec(sqlite3* db, const std::string& sql) {
  SqliteCheck(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db, sql.c_str());
}

SqliteStatement::SqliteStatement(sqlite3* db, const char* sql) : db_(db) {
  SqliteCheck(sqlite3_prepare_v2(db, sql, -1, &handle, nullptr), db, sql);
}

bool SqliteStatement::Step() {
  const int rc = sqlite3_step(handle);
  SqliteCheck(rc, db_, "step");
  return rc == SQLITE_ROW;
}

}  // namespace telvora::bench
