#pragma once
// The JSON that `telvora-db info` prints for a table: its header, fields,
// indexes and counts, read from the table's headers.

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "storage/data_file_header.h"
#include "storage/field_descriptor.h"
#include "storage/index_file_header.h"

namespace telvora::tools {

struct TableInfoSource {
  std::string name;  // the table name as the user gave it, without folder
  const storage::TDataFileHeader* data = nullptr;
  const std::vector<storage::TFieldDescriptor>* fields = nullptr;
  const storage::TIndexFileHeader* index = nullptr;
  // Levels of the tree of an index slot: 0 for an empty index.
  std::function<int(int slot)> index_depth;
};

// Names of the stored type codes, as the command line writes them; empty
// for a code without a name.
std::string FieldTypeName(std::uint8_t type);

nlohmann::json DescribeTable(const TableInfoSource& source);

}  // namespace telvora::tools
