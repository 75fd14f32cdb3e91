#include "engine/data_directory.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "engine/data_session.h"
#include "engine/index_key_order.h"
#include "engine/locale_names.h"
#include "engine/record_id_index_rebuild.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "storage/file_list.h"
#include "storage/index_file_header.h"
#include "storage/table_file_names.h"

namespace telvora::engine {
namespace {

using storage::TDataTable;
using storage::TFileList;

[[noreturn]] void Raise(std::uint16_t code, const std::string& table) {
  storage::RaiseEngineError(code, {.table = table});
}

}  // namespace

TDataDirectory::TDataDirectory(TDataSession& session, std::string database_name, std::string path)
    : session_(session), database_name_(std::move(database_name)), path_(std::move(path)) {}

TDataDirectory::~TDataDirectory() {
  if (in_transaction_) {
    try {
      Rollback();
    } catch (...) {
      // A directory going away cannot report; the tables are closed below.
    }
  }
  for (Entry& e : tables_) {
    try {
      e.table->CloseFiles();
    } catch (...) {
    }
  }
}

TDataDirectory::Entry* TDataDirectory::Find(const std::string& name, bool in_memory) {
  const std::string wanted = storage::TableFileBaseName(name);
  for (Entry& e : tables_) {
    if (e.table->in_memory() == in_memory &&
        TFileList::SameName(storage::TableFileBaseName(e.table->table_name()), wanted)) {
      return &e;
    }
  }
  return nullptr;
}

const TDataDirectory::Entry* TDataDirectory::Find(const std::string& name, bool in_memory) const {
  return const_cast<TDataDirectory*>(this)->Find(name, in_memory);
}

TDataDirectory::Entry* TDataDirectory::FindEntry(const TDataTable& table) {
  for (Entry& e : tables_) {
    if (e.table.get() == &table) return &e;
  }
  return nullptr;
}

int TDataDirectory::UsersOf(const TDataTable& table) const {
  for (const Entry& e : tables_) {
    if (e.table.get() == &table) return e.users;
  }
  return 0;
}

void TDataDirectory::PrepareTable(TDataTable& table, const std::string& name, const TTableOpenFlags& flags) const {
  table.set_directory(path_);
  table.set_table_name(name);
  table.set_exclusive(flags.exclusive);
  table.set_in_memory(flags.in_memory);
  table.set_temporary(flags.temporary);
  table.set_settings(session_.TableSettings());
  table.set_temporary_directory(session_.TemporaryFolder());
  table.set_key_order(MakeTableKeyOrder(table));
}

TDataTable& TDataDirectory::OpenTable(const std::string& name, const TTableOpenFlags& flags) {
  if (Entry* e = Find(name, flags.in_memory)) {
    if (e->users > 0 || e->table->in_transaction()) {
      // A table held only by a transaction is taken back as it is.
      if (e->users > 0 && (e->table->exclusive() || flags.exclusive)) Raise(storage::VORA_OSEACCES, name);
      ++e->users;
      return *e->table;
    }
    PrepareTable(*e->table, name, flags);
    e->table->OpenFiles();
    if (in_transaction_) e->table->StartTransaction();
    e->users = 1;
    return *e->table;
  }
  auto table = std::make_unique<TDataTable>();
  PrepareTable(*table, name, flags);
  table->OpenFiles();  // a failure leaves nothing behind: the object is freed
  if (in_transaction_) table->StartTransaction();
  tables_.push_back(Entry{std::move(table), 1});
  return *tables_.back().table;
}

TDataTable& TDataDirectory::OpenTableForCursor(const std::string& name, const TTableOpenFlags& flags) {
  TDataTable& table = OpenTable(name, flags);
  try {
    if (UsersOf(table) == 1 && !(table.in_transaction() && table.has_written())) {
      CheckFirstUser(table);
      RebuildRecordIdIndex(table);
    }
  } catch (...) {
    CloseTable(table);
    throw;
  }
  return table;
}

void TDataDirectory::CheckFirstUser(TDataTable& table) {
  table.SharedLock();
  try {
    table.CheckHeaders(&LocaleInstalled);
  } catch (...) {
    table.SharedUnlock();
    throw;
  }
  table.SharedUnlock();

  const storage::TDataFileHeader& header = table.data_file().Header();
  if (!header.Encrypted()) return;
  const std::string password = header.Password();
  while (!session_.HasPassword(password)) {
    std::string offered;
    const auto& ask = session_.GetPasswordCallback();
    if (!ask || !ask(table.table_name(), offered)) Raise(storage::VORA_NOTSUFFTABLERIGHTS, table.table_name());
    session_.AddPassword(offered);
  }
}

void TDataDirectory::CloseTable(TDataTable& table, bool discard) {
  Entry* e = FindEntry(table);
  // A table this directory does not list may be gone already: it is not
  // read, not even for its name.
  if (e == nullptr) Raise(storage::VORA_OSENOENT, "");
  if (e->users > 0) --e->users;
  if (e->users > 0 || table.in_transaction()) return;
  try {
    table.CloseFiles(discard && table.temporary());
  } catch (...) {
    RemoveEntry(table);
    throw;
  }
  RemoveEntry(table);
}

void TDataDirectory::RemoveEntry(const TDataTable& table) {
  tables_.erase(std::remove_if(tables_.begin(), tables_.end(),
                               [&](const Entry& e) { return e.table.get() == &table; }),
                tables_.end());
}

std::string TDataDirectory::DataFileName(const std::string& name) const {
  return storage::TableFileName(path_, name, storage::kDataFileExtension);
}

bool TDataDirectory::TableExists(const std::string& name, bool in_memory) const {
  if (Find(name, in_memory) != nullptr) return true;
  if (in_memory) return TFileList::Instance().Contains(DataFileName(name), true);
  std::error_code ec;
  return std::filesystem::is_regular_file(DataFileName(name), ec);
}

namespace {

// The text index's key fields and parameters of a table just created.
void StoreTextIndex(TDataTable& table, const TTableDefinition& definition) {
  if (definition.text_index_fields.empty() && !definition.text_index_parameters) return;
  storage::TIndexFileHeader& header = table.index_file().MutableHeader();
  storage::TIndexDescriptor text = header.Descriptor(storage::kTextIndexSlot);
  text.SetKeyFieldCount(static_cast<std::uint8_t>(definition.text_index_fields.size()));
  for (std::size_t i = 0; i < definition.text_index_fields.size(); ++i) {
    text.SetKeyFieldNumber(static_cast<int>(i), definition.text_index_fields[i]);
  }
  header.SetDescriptor(storage::kTextIndexSlot, text);
  if (definition.text_index_parameters) {
    storage::WriteTextIndexParameters(table.OpenIndex(storage::kTextIndexSlot), *definition.text_index_parameters);
  }
  table.Flush({.force_index_header = true});
}

}  // namespace

void TDataDirectory::CreateTable(const std::string& name, const TTableDefinition& definition, bool in_memory,
                                 bool overwrite) {
  if (!overwrite && TableExists(name, in_memory)) Raise(storage::VORA_TABLEEXISTS, name);
  if (const Entry* e = Find(name, in_memory); e != nullptr && (e->users > 0 || e->table->in_transaction())) {
    Raise(storage::VORA_OSEACCES, name);
  }
  // A listed but unused table object is dropped and made anew.
  if (const Entry* e = Find(name, in_memory)) RemoveEntry(*e->table);
  TDataTable table;
  PrepareTable(table, name, TTableOpenFlags{.exclusive = true, .in_memory = in_memory});
  table.CreateFiles(definition.creation, definition.fields, definition.primary, definition.secondary);
  try {
    StoreTextIndex(table, definition);
  } catch (...) {
    table.CloseFiles(true);
    throw;
  }
  table.CloseFiles();
}

void TDataDirectory::DeleteTable(const std::string& name, bool in_memory) {
  if (const Entry* e = Find(name, in_memory)) {
    if (e->users > 0 || e->table->in_transaction()) Raise(storage::VORA_OSEACCES, name);
    RemoveEntry(*e->table);
  }
  const storage::TableFileNames files = storage::MakeTableFileNames(path_, name);
  TFileList& list = TFileList::Instance();
  const int data = list.Delete(files.data, in_memory);
  if (data < 0) Raise(static_cast<std::uint16_t>(-data), name);
  const int index = list.Delete(files.index, in_memory);
  if (index < 0 && -index != storage::VORA_OSENOENT) Raise(static_cast<std::uint16_t>(-index), name);
  const int blob = list.Delete(files.blob, in_memory);
  if (blob < 0 && -blob != storage::VORA_OSENOENT) Raise(static_cast<std::uint16_t>(-blob), name);
}

std::string TDataDirectory::MakeTemporaryTableName() const {
  const long thread_id = static_cast<long>(::gettid());
  const std::string prefix = std::to_string(thread_id < 0 ? -thread_id : thread_id).substr(0, 5);
  for (std::uint64_t counter = 0;; ++counter) {
    std::string candidate = prefix + std::to_string(counter) + std::string(storage::kDataFileExtension);
    if (!TableExists(candidate, false) && !TableExists(candidate, true)) return candidate;
  }
}

void TDataDirectory::StartTransaction() {
  if (in_transaction_) return;
  try {
    for (Entry& e : tables_) e.table->StartTransaction();
  } catch (...) {
    for (Entry& e : tables_) {
      try {
        if (e.table->in_transaction()) e.table->Rollback();
      } catch (...) {
      }
    }
    throw;
  }
  in_transaction_ = true;
}

void TDataDirectory::Commit(bool force_flush) {
  EndTransaction([force_flush](TDataTable& table) { table.Commit(force_flush); });
}

void TDataDirectory::Rollback() {
  EndTransaction([](TDataTable& table) { table.Rollback(); });
}

void TDataDirectory::EndTransaction(const std::function<void(TDataTable&)>& end_table) {
  if (!in_transaction_) return;
  // The directory leaves its transaction even when a table fails to end
  // it, and the tables no cursor uses any more are freed either way.
  struct ClearFlag {
    TDataDirectory* d;
    ~ClearFlag() {
      d->in_transaction_ = false;
      d->FreeUnusedTables();
    }
  } clear{this};
  for (Entry& e : tables_) {
    if (e.table->in_transaction()) end_table(*e.table);
  }
}

void TDataDirectory::FreeUnusedTables() {
  for (auto it = tables_.begin(); it != tables_.end();) {
    if (it->users == 0 && !it->table->in_transaction()) {
      try {
        it->table->CloseFiles();
      } catch (...) {
      }
      it = tables_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace telvora::engine
