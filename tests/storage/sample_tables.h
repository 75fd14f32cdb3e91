#pragma once
// Descriptor sets for the storage tests, built through the descriptor setters
// only (stored lengths and offsets are left for the code under test).

#include <cstdint>
#include <string>
#include <vector>

#include "storage/field_descriptor.h"
#include "storage/field_specs.h"
#include "storage/field_types.h"

namespace telvora::storage::testing {

using FieldDef = TFieldSpec;

inline std::vector<TFieldDescriptor> MakeDescriptors(const std::vector<FieldDef>& defs) { return DescribeFields(defs); }

// One field of every storable type, plus auto-increment, money and memo.
inline const std::vector<FieldDef>& EveryTypeFields() {
  static const std::vector<FieldDef> defs = {
      {"Name", kTypeString, 0, 20, 0},           // 1
      {"Born", kTypeDate, 0, 0, 0},              // 2
      {"Photo", kTypeBlob, 0, 0, 0},             // 3
      {"Active", kTypeBoolean, 0, 0, 0},         // 4
      {"Small", kTypeSmallInt, 0, 0, 0},         // 5
      {"Count", kTypeInteger, 0, 0, 0},          // 6
      {"Ratio", kTypeFloat, 0, 0, 0},            // 7
      {"Amount", kTypeBcd, 0, 0, 2},             // 8
      {"Raw", kTypeBytes, 0, 10, 0},             // 9
      {"At", kTypeTime, 0, 0, 0},                // 10
      {"Stamp", kTypeTimeStamp, 0, 0, 0},        // 11
      {"Flags", kTypeWord, 0, 0, 0},             // 12
      {"Var", kTypeVarBytes, 0, 16, 0},          // 13
      {"Big", kTypeLargeInt, 0, 0, 0},           // 14
      {"Id", kTypeInteger, kSubtypeAutoInc, 0, 0},  // 15
      {"Price", kTypeFloat, kSubtypeMoney, 0, 0},   // 16
      {"Notes", kTypeBlob, kSubtypeMemo, 0, 0},     // 17
  };
  return defs;
}

}  // namespace telvora::storage::testing
