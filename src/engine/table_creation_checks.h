#pragma once
// The checks a new table's description passes before its files are made,
// and the creation of a checked table through its database directory.
//
// CheckTableDescription runs the checks in this order, each raising its
// code with the table's name (and the field or index concerned):
//   10015 a password given is not 1 to 15 characters after trimming blanks
//   15878 a language id other than 0 that names no installed locale
//   9492  more than 1,024 fields
//   9487  more than 32 index descriptors
//   9498  a BLOB block size below 64 bytes
//   per field, in order:
//     10038 name (trimmed, cut to 30 characters) empty, not starting with a
//           letter, '_' or a byte 128-254, or repeated without regard to case
//     10000 field number repeated or not its position; type 0 or unknown;
//           a string, bytes or varbytes size above 250
//     10006 a default, minimum or maximum text not valid for the type
//   9487  more than 30 secondary indexes
//   per secondary index: 10022 name not starting with a letter, '_' or a
//           byte 128-254; 10027 name repeated without regard to case
//   per index: 10023 more than 16 key fields, a gap, or a field that does
//           not exist; 12292 a BLOB key field; 10026 key size above 522, or
//           a secondary index without fields
//   12292 a text index field that is neither a string nor a memo
// (the directory adds 13060 for a table that exists, unless overwriting).
//
// The checked definition has the fields' sizes (0 for types without one),
// decimals (0 except BCD), stored lengths and offsets (from 9 in field
// order; an auto-increment field at 5, taking no room), the indexes' key
// lengths (each field's key length + 1, plus 4 for the record id of a
// non-unique index), a unique primary index, and the text index parameters
// (the defaults when none were given).
//
// Pure functions apart from the locale lookup and the directory's files;
// one thread at a time per directory.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/data_directory.h"
#include "storage/data_file_header.h"
#include "storage/field_descriptor.h"
#include "storage/index_descriptor.h"
#include "storage/text_index_parameters.h"

namespace telvora::engine {

// A table as its creator describes it.
struct TTableDescription {
  std::uint16_t language_id = 0;
  std::uint16_t sort_id = 0;
  std::vector<storage::TFieldDescriptor> fields;
  // The primary index first (with no key fields the table has no primary
  // key), then the secondary indexes. Empty: no primary key, no secondary.
  std::vector<storage::TIndexDescriptor> indexes;
  std::vector<std::uint16_t> text_index_fields;
  std::string description;
  std::string password;  // empty: not encrypted
  std::uint16_t blob_block_size = storage::kDefaultBlobBlockSize;
  std::optional<storage::TTextIndexParameters> text_index_parameters;
};

TTableDefinition CheckTableDescription(const TTableDescription& description, const std::string& table_name);

// Checks the description and creates the table's files through the
// directory (which closes them again).
void CreateCheckedTable(TDataDirectory& directory, const std::string& table_name,
                        const TTableDescription& description, bool in_memory, bool overwrite);

}  // namespace telvora::engine
