#include "storage/storage_errors.h"

#include <utility>

namespace telvora::storage {

TableError::TableError(std::uint16_t code, std::string table, std::string field, std::string index)
    : std::runtime_error("engine error " + std::to_string(code) + " in the table '" + table + "'"),
      code_(code),
      table_(std::move(table)),
      field_(std::move(field)),
      index_(std::move(index)) {}

void RaiseTableError(std::uint16_t code, const std::string& table, const std::string& field,
                     const std::string& index) {
  throw TableError(code, table, field, index);
}

std::optional<std::uint16_t> StorageErrorCode(const std::exception& e) {
  if (const auto* error = dynamic_cast<const TableError*>(&e)) return error->code();
  return std::nullopt;
}

}  // namespace telvora::storage
