#pragma once
// TFieldSpec: a field as a table definition names it (name, type, subtype,
// declared size, decimals), and the descriptors a list of them makes; and the
// one-field index most such tables have. Test tables and fuzz seeds are
// written this way.
//
// The descriptors are numbered from 1 in list order; their stored lengths
// and offsets are left to whoever lays the record out (AssignRecordLayout,
// or table creation, which checks the definition first).

#include <cstdint>
#include <span>
#include <vector>

#include "storage/field_descriptor.h"
#include "storage/index_descriptor.h"

namespace telvora::storage {

struct TFieldSpec {
  const char* name;
  std::uint8_t type;
  std::uint8_t subtype = 0;
  std::uint8_t size = 0;
  std::uint8_t decimals = 0;
};

std::vector<TFieldDescriptor> DescribeFields(std::span<const TFieldSpec> specs);

// DescribeFields with the stored lengths and offsets of a record laid out
// in list order, for code that reads and writes record images without a
// table behind them.
std::vector<TFieldDescriptor> DescribeLaidOutFields(std::span<const TFieldSpec> specs);

// A secondary index on one field, case-sensitive and without key
// compression unless the caller changes it.
TIndexDescriptor SingleFieldIndex(const char* name, std::uint16_t field, bool unique);

}  // namespace telvora::storage
