#include "tools/table_backup.h"

#include <filesystem>

namespace telvora::tools {

std::string FreeBackupName(const std::string& path) {
  std::error_code ignored;
  std::string name = path + ".bak";
  for (int n = 2; std::filesystem::exists(name, ignored) || ignored; ++n) {
    name = path + ".bak" + std::to_string(n);
  }
  return name;
}

std::vector<std::string> BackUpTableFiles(storage::TDataTable& table, bool include_index) {
  std::vector<storage::TFileHandler*> files = {&table.data_file()};
  if (include_index) files.push_back(&table.index_file());
  if (table.HasBlobFile()) files.push_back(&table.blob_file());
  std::vector<std::string> backups;
  for (storage::TFileHandler* file : files) {
    const std::string name = FreeBackupName(file->file_name());
    file->CopyOut(name);
    backups.push_back(name);
  }
  return backups;
}

}  // namespace telvora::tools
