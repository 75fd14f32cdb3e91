#include "tools/component_table.h"

#include <filesystem>

#include "dataset/vora_session.h"
#include "dataset/vora_session_list.h"

namespace telvora::tools {
namespace {

dataset::TVoraSession& DefaultSession() { return dataset::TVoraSessionList::Instance().DefaultSession(); }

}  // namespace

ComponentTable::ComponentTable(const TableArgument& table, const std::string& password) : password_(password) {
  if (!password_.empty()) DefaultSession().AddPassword(password_);
  table_ = std::make_unique<dataset::TVoraTable>(nullptr);
  // The database name is the table's folder: the session opens a temporary
  // database for it. An empty folder means the current one.
  table_->SetDatabaseName(table.folder.empty() ? std::filesystem::current_path().string() : table.folder);
  table_->SetTableName(table.name);
  table_->Open();
}

ComponentTable::~ComponentTable() {
  table_.reset();
  if (!password_.empty()) DefaultSession().RemovePassword(password_);
}

}  // namespace telvora::tools
