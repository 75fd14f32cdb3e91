#pragma once
// The way telvora-db's contact commands reach a table: a table component on
// the TABLE argument, in the default session, through the temporary
// database the session makes for the table's folder. Going through the
// component rather than a bare cursor gives imports the component's field
// checks and its database's transactions, as the phone book itself has them.
//
// Used by one thread.

#include <memory>
#include <string>

#include "dataset/vora_database.h"
#include "dataset/vora_table.h"
#include "tools/table_argument.h"

namespace telvora::tools {

class ComponentTable {
 public:
  // Opens the table (natural order); `password` is offered when the table is
  // encrypted.
  explicit ComponentTable(const TableArgument& table, const std::string& password = {});
  ~ComponentTable();
  ComponentTable(const ComponentTable&) = delete;
  ComponentTable& operator=(const ComponentTable&) = delete;

  dataset::TVoraTable& table() { return *table_; }
  dataset::TVoraDatabase& database() { return *table_->Database(); }

 private:
  std::string password_;
  std::unique_ptr<dataset::TVoraTable> table_;
};

}  // namespace telvora::tools
