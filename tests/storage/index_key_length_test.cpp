// Key lengths of index definitions: K = sum of (key bytes + 1) over the key
// fields, plus 4 for a non-unique index; more than 522 before the suffix, or
// no fields, is 10026; a BLOB key field is 12292.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "sample_tables.h"
#include "storage/data_file_header.h"
#include "storage/index_file_header.h"
#include "storage/index_key.h"
#include "storage/storage_errors.h"

namespace telvora::storage {
namespace {

using testing::FieldDef;
using testing::MakeDescriptors;

// Fields: 1 String 250 (251 key bytes), 2 String 250, 3 Bytes 17, 4 Bytes 18,
// 5 BCD (8 key bytes), 6 BLOB, 7 Integer, 8 memo.
const std::vector<FieldDef> kFields = {
    {"Long1", kTypeString, 0, 250, 0}, {"Long2", kTypeString, 0, 250, 0},
    {"Raw17", kTypeBytes, 0, 17, 0},   {"Raw18", kTypeBytes, 0, 18, 0},
    {"Amount", kTypeBcd, 0, 0, 2},     {"Photo", kTypeBlob, 0, 0, 0},
    {"Count", kTypeInteger, 0, 0, 0},  {"Notes", kTypeBlob, kSubtypeMemo, 0, 0},
};

struct LengthCase {
  const char* name;
  std::vector<std::uint16_t> fields;
  bool unique;
  int slot;
  bool primary_unavailable;
  std::optional<std::size_t> key_length;  // nullopt: refused
  std::uint16_t error;
  const char* error_field;
};

const LengthCase kLengthCases[] = {
    {"integer_unique", {7}, true, 1, false, 5, 0, ""},
    {"integer_non_unique_adds_record_id", {7}, false, 1, false, 9, 0, ""},
    {"bcd_keys_in_eight_bytes", {5}, true, 1, false, 9, 0, ""},
    {"exactly_522", {1, 2, 3}, true, 1, false, 522, 0, ""},
    {"exactly_522_non_unique_is_526", {1, 2, 3}, false, 1, false, 526, 0, ""},
    {"523_refused", {1, 2, 4}, true, 1, false, std::nullopt, VORA_INVALIDKEY, ""},
    {"no_fields_refused", {}, true, 1, false, std::nullopt, VORA_INVALIDKEY, ""},
    {"primary_without_order_may_have_no_fields", {}, true, 0, true, 0, 0, ""},
    {"blob_refused", {7, 6}, true, 1, false, std::nullopt, VORA_SEARCHCOLREQD, "Photo"},
    {"memo_refused", {8}, false, 1, false, std::nullopt, VORA_SEARCHCOLREQD, "Notes"},
};

class IndexKeyLengthTest : public ::testing::TestWithParam<LengthCase> {};

TEST_P(IndexKeyLengthTest, LengthOrError) {
  const LengthCase& c = GetParam();
  std::vector<TFieldDescriptor> descriptors = MakeDescriptors(kFields);
  AssignRecordLayout(descriptors);
  TIndexDescriptor index;
  index.SetName(c.slot == kPrimaryIndexSlot ? "" : "ByLength");
  index.SetUnique(c.unique);
  index.SetKeyFieldCount(static_cast<std::uint8_t>(c.fields.size()));
  for (std::size_t i = 0; i < c.fields.size(); ++i) index.SetKeyFieldNumber(static_cast<int>(i), c.fields[i]);
  if (c.key_length) {
    const TIndexKeyDefinition definition =
        DefineIndexKey(index, c.slot, descriptors, true, c.primary_unavailable, "Lengths");
    EXPECT_EQ(definition.key_length, *c.key_length);
    return;
  }
  try {
    DefineIndexKey(index, c.slot, descriptors, true, c.primary_unavailable, "Lengths");
    FAIL() << "accepted";
  } catch (const EVoraEngineError& error) {
    EXPECT_EQ(error.EngineCode, c.error);
    EXPECT_EQ(error.ContextIndex, "ByLength");
    EXPECT_EQ(error.ContextTable, "Lengths");
    EXPECT_EQ(error.ContextField, c.error_field);
  }
}

INSTANTIATE_TEST_SUITE_P(Definitions, IndexKeyLengthTest, ::testing::ValuesIn(kLengthCases),
                         [](const ::testing::TestParamInfo<LengthCase>& length_case) {
                           return std::string(length_case.param.name);
                         });

}  // namespace
}  // namespace telvora::storage
