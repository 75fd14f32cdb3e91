// A new record's buffer: zeros, then each field's default converted to its
// type, keywords in any case, bad texts refused with the conversion message.

#include "engine/record_defaults.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "engine/table_creation_checks.h"
#include "engine/value_text_conversion.h"
#include "storage/bcd_value.h"
#include "storage/date_time_values.h"
#include "storage/field_types.h"
#include "storage/record_image.h"
#include "storage/sample_tables.h"

namespace telvora::engine {
namespace {

using storage::TFieldDescriptor;
using storage::TFieldLayout;
using storage::TRecordImage;

// The laid-out descriptors of a one-field table.
std::vector<TFieldDescriptor> OneField(std::uint8_t type, std::uint8_t subtype, std::uint8_t size,
                                       std::uint8_t decimals, const std::string& default_text,
                                       storage::CharacterCase character_case = storage::CharacterCase::Unchanged) {
  TTableDescription description;
  description.fields = storage::testing::MakeDescriptors({{"Value", type, subtype, size, decimals}});
  description.fields[0].SetCase(character_case);
  std::vector<TFieldDescriptor> fields = CheckTableDescription(description, "T").fields;
  // Set after the checks, so that texts the checks would refuse get here.
  fields[0].SetDefaultText(default_text);
  return fields;
}

std::int32_t Today() {
  return static_cast<std::int32_t>(std::floor(storage::CurrentLocalDateTime())) + storage::kDayNumberOf18991230;
}

struct DefaultCase {
  const char* name;
  std::uint8_t type;
  std::uint8_t subtype;
  std::uint8_t size;
  std::uint8_t decimals;
  const char* text;
  std::function<void(const TRecordImage&, const TFieldLayout&)> check;
};

TEST(RecordDefaultsTest, EachTypeTakesItsDefaultWithTheNullFlagSet) {
  const std::vector<DefaultCase> cases = {
      {"string", storage::kTypeString, 0, 10, 0, "Tehran  ",
       [](const TRecordImage& r, const TFieldLayout& f) { EXPECT_EQ(r.GetString(f), "Tehran"); }},
      {"date", storage::kTypeDate, 0, 0, 0, "2024-02-29",
       [](const TRecordImage& r, const TFieldLayout& f) {
         EXPECT_EQ(r.GetDate(f), storage::DayNumberFromDate(2024, 2, 29));
       }},
      {"current date upper", storage::kTypeDate, 0, 0, 0, "CURRENT_DATE",
       [](const TRecordImage& r, const TFieldLayout& f) { EXPECT_NEAR(r.GetDate(f), Today(), 1); }},
      {"current date lower", storage::kTypeDate, 0, 0, 0, "current_date",
       [](const TRecordImage& r, const TFieldLayout& f) { EXPECT_NEAR(r.GetDate(f), Today(), 1); }},
      {"boolean true", storage::kTypeBoolean, 0, 0, 0, "true",
       [](const TRecordImage& r, const TFieldLayout& f) { EXPECT_TRUE(r.GetBoolean(f)); }},
      {"boolean false", storage::kTypeBoolean, 0, 0, 0, "False",
       [](const TRecordImage& r, const TFieldLayout& f) { EXPECT_FALSE(r.GetBoolean(f)); }},
      {"small integer", storage::kTypeSmallInt, 0, 0, 0, "-12",
       [](const TRecordImage& r, const TFieldLayout& f) { EXPECT_EQ(r.GetSmallInt(f), -12); }},
      {"integer", storage::kTypeInteger, 0, 0, 0, "123456",
       [](const TRecordImage& r, const TFieldLayout& f) { EXPECT_EQ(r.GetInteger(f), 123456); }},
      {"word", storage::kTypeWord, 0, 0, 0, "65535",
       [](const TRecordImage& r, const TFieldLayout& f) { EXPECT_EQ(r.GetWord(f), 65535); }},
      {"large integer", storage::kTypeLargeInt, 0, 0, 0, "-9000000000",
       [](const TRecordImage& r, const TFieldLayout& f) { EXPECT_EQ(r.GetLargeInt(f), -9000000000LL); }},
      {"float", storage::kTypeFloat, 0, 0, 0, "2.5",
       [](const TRecordImage& r, const TFieldLayout& f) { EXPECT_EQ(r.GetFloat(f), 2.5); }},
      {"bcd with two decimals", storage::kTypeBcd, 0, 0, 2, "12.345",
       [](const TRecordImage& r, const TFieldLayout& f) {
         EXPECT_EQ(storage::TextFromBcd(r.GetBcd(f)), std::optional<std::string>("12.35"));
       }},
      {"time pm", storage::kTypeTime, 0, 0, 0, "1:30 PM",
       [](const TRecordImage& r, const TFieldLayout& f) {
         EXPECT_EQ(r.GetTime(f), storage::MillisecondsFromTime(13, 30, 0, 0));
       }},
      {"current time lower", storage::kTypeTime, 0, 0, 0, "current_time",
       [](const TRecordImage& r, const TFieldLayout& f) {
         EXPECT_GE(r.GetTime(f), 0);
         EXPECT_LT(r.GetTime(f), storage::kMillisecondsPerDay);
       }},
      {"timestamp", storage::kTypeTimeStamp, 0, 0, 0, "2020-01-02 03:04:05",
       [](const TRecordImage& r, const TFieldLayout& f) {
         EXPECT_EQ(r.GetTimeStamp(f), storage::TimeStampFromDayAndMilliseconds(
                                          storage::DayNumberFromDate(2020, 1, 2),
                                          storage::MillisecondsFromTime(3, 4, 5, 0)));
       }},
      {"timestamp current date", storage::kTypeTimeStamp, 0, 0, 0, "Current_Date",
       [](const TRecordImage& r, const TFieldLayout& f) {
         const double day = r.GetTimeStamp(f) / storage::kMillisecondsPerDay;
         EXPECT_EQ(day, std::floor(day));
         EXPECT_NEAR(day, Today(), 1);
       }},
      {"current timestamp", storage::kTypeTimeStamp, 0, 0, 0, "current_timestamp",
       [](const TRecordImage& r, const TFieldLayout& f) {
         EXPECT_NEAR(r.GetTimeStamp(f) / storage::kMillisecondsPerDay, Today(), 1);
       }},
  };
  for (const DefaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<TFieldDescriptor> fields = OneField(c.type, c.subtype, c.size, c.decimals, c.text);
    const TFieldLayout layout = TFieldLayout::Of(fields[0]);
    std::vector<std::uint8_t> buffer(layout.offset + layout.stored_length + 1u, 0xEE);
    InitRecord(fields, Locale{}, buffer);
    const TRecordImage image(buffer);
    EXPECT_FALSE(image.IsNull(layout));
    EXPECT_EQ(image.RecordNumber(), 0);
    EXPECT_EQ(image.RecordId(), 0);
    c.check(image, layout);
  }
}

TEST(RecordDefaultsTest, FieldsWithoutDefaultsAreNullAndCaseApplies) {
  TTableDescription description;
  description.fields = storage::testing::MakeDescriptors(
      {{"Plain", storage::kTypeInteger, 0, 0, 0}, {"Upper", storage::kTypeString, 0, 8, 0}});
  description.fields[1].SetCase(storage::CharacterCase::Upper);
  description.fields[1].SetDefaultText("shiraz");
  const std::vector<TFieldDescriptor> fields = CheckTableDescription(description, "T").fields;
  std::vector<std::uint8_t> buffer(64, 0x5A);
  InitRecord(fields, Locale{}, buffer);
  const TRecordImage image(buffer);
  EXPECT_TRUE(image.IsNull(TFieldLayout::Of(fields[0])));
  EXPECT_EQ(image.GetInteger(TFieldLayout::Of(fields[0])), 0);
  EXPECT_EQ(image.GetString(TFieldLayout::Of(fields[1])), "SHIRAZ");
}

TEST(RecordDefaultsTest, ABadTextFailsWithTheConversionMessage) {
  struct BadCase {
    std::uint8_t type;
    const char* text;
    const char* message;
  };
  const std::vector<BadCase> cases = {
      {storage::kTypeDate, "2024-13-01", "'2024-13-01' is not a valid date"},
      {storage::kTypeTime, "25:00", "'25:00' is not a valid time"},
      {storage::kTypeTimeStamp, "2020-01-01 x", "'2020-01-01 x' is not a valid date and time"},
      {storage::kTypeBoolean, "maybe", "'maybe' is not a valid boolean"},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.text);
    const std::vector<TFieldDescriptor> fields = OneField(c.type, 0, 0, 0, c.text);
    std::vector<std::uint8_t> buffer(64);
    try {
      InitRecord(fields, Locale{}, buffer);
      ADD_FAILURE() << "no error";
    } catch (const EValueConversionError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  std::vector<std::uint8_t> buffer(64);
  EXPECT_THROW(InitRecord(OneField(storage::kTypeSmallInt, 0, 0, 0, "40000"), Locale{}, buffer),
               EValueConversionError);
}

}  // namespace
}  // namespace telvora::engine
