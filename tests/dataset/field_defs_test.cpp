// Field definitions from engine field descriptors: the data type and size
// of each type and subtype code, codes without a data type, and unique
// names for repeated field names.

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "dataset/field_def.h"
#include "storage/field_types.h"
#include "storage/sample_tables.h"

namespace telvora::dataset {
namespace {

using storage::testing::FieldDef;
using T = TFieldType;

struct MappingCase {
  std::uint8_t type;
  std::uint8_t subtype;
  std::uint8_t size;
  std::uint8_t decimals;
  std::optional<TFieldType> expected_type;
  int expected_size;
};

TEST(FieldDefs, EngineTypesMapToDataTypes) {
  const std::vector<MappingCase> cases = {
      {1, 0, 60, 0, T::ftString, 60},      {1, 31, 10, 0, T::ftFixedChar, 10}, {2, 0, 0, 0, T::ftDate, 0},
      {3, 0, 0, 0, T::ftBlob, 0},          {3, 22, 0, 0, T::ftMemo, 0},        {3, 24, 0, 0, T::ftFmtMemo, 0},
      {3, 26, 0, 0, T::ftGraphic, 0},      {3, 28, 0, 0, T::ftTypedBinary, 0}, {4, 0, 0, 0, T::ftBoolean, 0},
      {5, 0, 0, 0, T::ftSmallint, 0},      {6, 0, 0, 0, T::ftInteger, 0},      {6, 29, 0, 0, T::ftAutoInc, 0},
      {7, 0, 0, 0, T::ftFloat, 0},         {7, 21, 0, 0, T::ftCurrency, 0},    {8, 0, 0, 2, T::ftBCD, 2},
      {9, 0, 16, 0, T::ftBytes, 16},       {9, 31, 16, 0, T::ftFixedChar, 16}, {10, 0, 0, 0, T::ftTime, 0},
      {11, 0, 0, 0, T::ftDateTime, 0},     {12, 0, 0, 0, T::ftWord, 0},        {13, 0, 0, 0, T::ftInteger, 0},
      {15, 0, 20, 0, T::ftVarBytes, 20},   {15, 31, 20, 0, T::ftFixedChar, 20}, {18, 0, 0, 0, T::ftLargeint, 0},
      {19, 0, 0, 0, T::ftLargeint, 0},     {20, 0, 0, 0, T::ftADT, 0},         {21, 0, 0, 0, T::ftArray, 0},
      {22, 0, 0, 0, T::ftReference, 0},    {23, 0, 0, 0, T::ftDataSet, 0},     {0, 0, 0, 0, std::nullopt, 0},
      {14, 0, 0, 0, std::nullopt, 0},      {16, 0, 0, 0, std::nullopt, 0},     {17, 0, 0, 0, std::nullopt, 0},
      {24, 0, 0, 0, std::nullopt, 0},      {200, 0, 0, 0, std::nullopt, 0},
  };
  for (const MappingCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "type " << int(c.type) << " subtype " << int(c.subtype));
    const auto descriptors = storage::testing::MakeDescriptors({{"F", c.type, c.subtype, c.size, c.decimals}});
    const auto mapped = MapEngineFieldType(descriptors[0]);
    ASSERT_EQ(mapped.has_value(), c.expected_type.has_value());
    if (!mapped) continue;
    EXPECT_EQ(mapped->type, *c.expected_type);
    EXPECT_EQ(mapped->size, c.expected_size);
  }
}

TEST(FieldDefs, RepeatedNamesAreNumberedAndUnmappedFieldsLeftOut) {
  auto descriptors = storage::testing::MakeDescriptors({{"Name", storage::kTypeString, 0, 10, 0},
                                                        {"NAME", storage::kTypeString, 0, 10, 0},
                                                        {"Gap", storage::kTypeTenBytes, 0, 0, 0},
                                                        {"Name", storage::kTypeBcd, 0, 0, 2},
                                                        {"Name_1", storage::kTypeInteger, 0, 0, 0}});
  descriptors[3].SetRequired(true);
  const std::vector<TFieldDef> defs = FieldDefsFromDescriptors(descriptors);
  ASSERT_EQ(defs.size(), 4u);
  EXPECT_EQ(defs[0].Name, "Name");
  EXPECT_EQ(defs[1].Name, "NAME_1");
  EXPECT_EQ(defs[2].Name, "Name_2");
  EXPECT_EQ(defs[2].FieldNo, 4);
  EXPECT_EQ(defs[2].Precision, kBcdPrecision);
  EXPECT_TRUE(defs[2].Required);
  EXPECT_FALSE(defs[0].Required);
  // "Name_1" is taken by then, so the field keeps counting.
  EXPECT_EQ(defs[3].Name, "Name_1_1");
}

}  // namespace
}  // namespace telvora::dataset
