// The checks before a record is written: required fields (9732), minimum
// (9730) and maximum (9731), each naming the field; null values count as
// the zero value of their type.

#include "engine/record_validation.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/table_creation_checks.h"
#include "engine/value_text_conversion.h"
#include "storage/engine_error.h"
#include "storage/field_types.h"
#include "storage/record_image.h"
#include "storage/sample_tables.h"

namespace telvora::engine {
namespace {

using storage::TFieldDescriptor;
using storage::TFieldLayout;
using storage::TRecordImage;

struct ValidationCase {
  const char* name;
  std::uint8_t type;
  std::uint8_t size;
  std::uint8_t decimals;
  bool required;
  const char* minimum;
  const char* maximum;
  const char* value;  // nullptr: the field stays null
  std::uint16_t code;  // 0: passes
};

TEST(RecordValidationTest, RequiredMinimumAndMaximumPerType) {
  const std::vector<ValidationCase> cases = {
      {"required null string", storage::kTypeString, 10, 0, true, "", "", nullptr, 9732},
      {"required blank string is null", storage::kTypeString, 10, 0, true, "", "", "   ", 9732},
      {"required string given", storage::kTypeString, 10, 0, true, "", "", "x", 0},
      {"required null integer", storage::kTypeInteger, 0, 0, true, "", "", nullptr, 9732},
      {"integer below minimum", storage::kTypeInteger, 0, 0, false, "10", "", "5", 9730},
      {"integer at minimum", storage::kTypeInteger, 0, 0, false, "10", "", "10", 0},
      {"null integer is zero", storage::kTypeInteger, 0, 0, false, "10", "", nullptr, 9730},
      {"null integer within", storage::kTypeInteger, 0, 0, false, "-1", "1", nullptr, 0},
      {"integer above maximum", storage::kTypeInteger, 0, 0, false, "", "10", "11", 9731},
      {"string below minimum", storage::kTypeString, 10, 0, false, "B", "", "A", 9730},
      {"string compares with case", storage::kTypeString, 10, 0, false, "B", "", "b", 0},
      {"null string is empty", storage::kTypeString, 10, 0, false, "B", "", nullptr, 9730},
      {"string above maximum", storage::kTypeString, 10, 0, false, "", "M", "Z", 9731},
      {"date below minimum", storage::kTypeDate, 0, 0, false, "2000-01-01", "", "1999-12-31", 9730},
      {"date within", storage::kTypeDate, 0, 0, false, "2000-01-01", "2000-12-31", "2000-06-01", 0},
      {"time above maximum", storage::kTypeTime, 0, 0, false, "", "12:00", "1:00 PM", 9731},
      {"timestamp above maximum", storage::kTypeTimeStamp, 0, 0, false, "", "2000-01-01 12:00",
       "2000-01-01 12:00:01", 9731},
      {"float at maximum", storage::kTypeFloat, 0, 0, false, "", "1.5", "1.5", 0},
      {"float above maximum", storage::kTypeFloat, 0, 0, false, "", "1.5", "1.6", 9731},
      {"bcd above maximum", storage::kTypeBcd, 0, 2, false, "", "10.5", "10.51", 9731},
      {"null bcd is zero", storage::kTypeBcd, 0, 2, false, "1", "", nullptr, 9730},
      {"small integer below", storage::kTypeSmallInt, 0, 0, false, "-5", "", "-6", 9730},
      {"word above", storage::kTypeWord, 0, 0, false, "", "100", "101", 9731},
      {"large integer above", storage::kTypeLargeInt, 0, 0, false, "", "9000000000", "9000000001", 9731},
      {"boolean takes no range", storage::kTypeBoolean, 0, 0, false, "TRUE", "", "FALSE", 0},
  };
  for (const ValidationCase& c : cases) {
    SCOPED_TRACE(c.name);
    TTableDescription description;
    description.fields = storage::testing::MakeDescriptors(
        {{"Other", storage::kTypeInteger, 0, 0, 0}, {"Checked", c.type, 0, c.size, c.decimals}});
    description.fields[1].SetRequired(c.required);
    description.fields[1].SetMinimumText(c.minimum);
    description.fields[1].SetMaximumText(c.maximum);
    const std::vector<TFieldDescriptor> fields = CheckTableDescription(description, "People").fields;
    EXPECT_TRUE(HasValidityChecks(fields));
    std::vector<std::uint8_t> record(128, 0);
    if (c.value != nullptr) {
      TRecordImage image(record);
      StoreValueText(fields[1], c.value, Locale{}, image);
    }
    try {
      ValidateRecord(fields, Locale{}, record, "People");
      EXPECT_EQ(c.code, 0);
    } catch (const storage::EVoraEngineError& e) {
      EXPECT_EQ(e.EngineCode, c.code);
      EXPECT_EQ(e.ContextField, "Checked");
      EXPECT_EQ(e.ContextTable, "People");
    }
  }
}

TEST(RecordValidationTest, TheFirstFailingFieldInOrderWins) {
  TTableDescription description;
  description.fields = storage::testing::MakeDescriptors(
      {{"First", storage::kTypeInteger, 0, 0, 0}, {"Second", storage::kTypeString, 0, 5, 0}});
  description.fields[0].SetMaximumText("3");
  description.fields[1].SetRequired(true);
  const std::vector<TFieldDescriptor> fields = CheckTableDescription(description, "T").fields;
  std::vector<std::uint8_t> record(64, 0);
  TRecordImage image(record);
  image.SetInteger(TFieldLayout::Of(fields[0]), 4);
  try {
    ValidateRecord(fields, Locale{}, record, "T");
    ADD_FAILURE() << "no error";
  } catch (const storage::EVoraEngineError& e) {
    EXPECT_EQ(e.EngineCode, 9731u);
    EXPECT_EQ(e.ContextField, "First");
  }
  EXPECT_FALSE(HasValidityChecks(CheckTableDescription(TTableDescription{}, "T").fields));
}

}  // namespace
}  // namespace telvora::engine
