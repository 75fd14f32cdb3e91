#pragma once
// TIndexDef: one index of a table as the table component lists it (its
// name, its fields joined by ";" and its options), read from the index
// file's descriptors: the primary index first when the table has one, then
// each secondary index in slot order.
//
// IndexForFields picks the index that serves a list of fields: the first
// non-descending index whose field list equals the names without regard to
// case, failing that the first whose list begins with them followed by ";"
// or the end; none is "No index for fields '%s'".
//
// Values and pure functions; any thread.

#include <span>
#include <string>
#include <vector>

#include "storage/field_descriptor.h"
#include "storage/index_file_header.h"

namespace telvora::dataset {

struct TIndexOptions {
  bool ixPrimary = false;
  bool ixUnique = false;
  bool ixDescending = false;
  bool ixCaseInsensitive = false;
  friend bool operator==(const TIndexOptions&, const TIndexOptions&) = default;
};

struct TIndexDef {
  std::string Name;
  std::string Fields;
  TIndexOptions Options;
  // The descriptor slot in the index file (0 the primary index).
  int Slot = 0;
};

// primary_unavailable: the table's primary index is marked unusable.
std::vector<TIndexDef> IndexDefsFromHeader(const storage::TIndexFileHeader& header, bool primary_unavailable,
                                           std::span<const storage::TFieldDescriptor> fields);

const TIndexDef& IndexForFields(const std::vector<TIndexDef>& defs, const std::string& field_names);

// The names of a ";" list, blanks around each removed, empty ones left out.
std::vector<std::string> SplitFieldNames(const std::string& names);

}  // namespace telvora::dataset
