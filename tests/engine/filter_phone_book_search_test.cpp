// The phone book's search filter, name='abc*', and its neighbours: the same
// answers from a case-sensitive index on Name, from a case-insensitive one
// and record by record, under the byte order and under Farsi.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/data_cursor.h"
#include "engine/filter.h"
#include "filter_test_table.h"
#include "storage/engine_error_codes.h"
#include "storage/field_types.h"

namespace telvora::engine {
namespace {

using testing::FilterTables;
using testing::IndexDef;

constexpr std::uint16_t kName = 1;
constexpr std::uint16_t kFarsi = 0x0429;

const std::vector<storage::testing::FieldDef>& PhoneBookFields() {
  static const std::vector<storage::testing::FieldDef> fields = {
      {"Name", storage::kTypeString, 0, 60, 0},   {"Family", storage::kTypeString, 0, 70, 0},
      {"Tel1", storage::kTypeString, 0, 12, 0},   {"Tel2", storage::kTypeString, 0, 12, 0},
      {"Mobile", storage::kTypeString, 0, 16, 0}, {"Address", storage::kTypeString, 0, 65, 0}};
  return fields;
}

// "" is a contact without a name.
const std::vector<std::string> kNames = {"abcdef", "abc", "ab", "ABC", "xabc", "ABCdef",
                                         "abc*",   "a*b", "",   "abx", "it's me"};

enum class NameIndex { kCaseSensitive, kCaseInsensitive, kNone };

struct LayoutCase {
  const char* label;
  std::uint16_t language_id;
  NameIndex index;
};

struct SearchCase {
  const char* filter;
  bool case_insensitive;
  bool no_partial;
  std::vector<std::string> names;  // kept, in any order
};

const SearchCase kSearches[] = {
    {"name='abc*'", false, false, {"abcdef", "abc", "abc*"}},
    {"NAME = 'abc*'", false, false, {"abcdef", "abc", "abc*"}},
    {"name='abc*'", true, false, {"abcdef", "abc", "ABC", "ABCdef", "abc*"}},
    {"name='abc*'", false, true, {"abc*"}},
    {"name='a*b'", false, false, {"a*b"}},
    {"name='ab**'", false, false, {"abcdef", "abc", "ab", "abc*", "abx"}},
    {"name='ab***'", false, false, {"abcdef", "abc", "ab", "abc*", "abx"}},
    {"name LIKE 'abc%'", false, false, {"abcdef", "abc", "abc*"}},
    {"name='*'", false, false, {}},
    {"name='it''s*'", false, false, {"it's me"}},
    {"Name <> 'x'", false, false, {"abcdef", "abc", "ab", "ABC", "xabc", "ABCdef", "abc*", "a*b", "", "abx", "it's me"}},
    {"Name <> ''", false, false, {"abcdef", "abc", "ab", "ABC", "xabc", "ABCdef", "abc*", "a*b", "abx", "it's me"}},
    {"Name = ''", false, false, {""}},
    {"name='zzz*'", false, false, {}},
};

class FilterPhoneBookSearchTest : public ::testing::TestWithParam<LayoutCase> {
 protected:
  void SetUp() override {
    const LayoutCase& c = GetParam();
    std::vector<IndexDef> indexes;
    if (c.index != NameIndex::kNone) {
      indexes.push_back({"Name", {kName}, false, c.index == NameIndex::kCaseInsensitive});
    }
    tables_.Create("PhoneBook", testing::MakeDescription(c.language_id, PhoneBookFields(), {"", {}}, indexes));
    TDataCursor& writer = tables_.Open("PhoneBook");
    for (const std::string& name : kNames) {
      std::vector<std::uint8_t> record = testing::MakeRecord(writer, {{kName, name}, {2, "Family"}, {3, "0211234"}});
      writer.InsertRecord(record, false);
    }
  }
  void TearDown() override {
    tables_.CloseAll();
    EXPECT_TABLE_SOUND(tables_.Table("PhoneBook"));
  }

  FilterTables tables_;
};

TEST_P(FilterPhoneBookSearchTest, KeepsTheNamesTheSearchAsksFor) {
  const LayoutCase& layout = GetParam();
  for (const std::string& order : {std::string("natural"), std::string(layout.index == NameIndex::kNone ? "" : "Name")}) {
    if (order.empty()) continue;
    TDataCursor& cursor = tables_.Open("PhoneBook", order);
    for (const SearchCase& c : kSearches) {
      SCOPED_TRACE(std::string(c.filter) + (c.case_insensitive ? " [case-insensitive]" : "") +
                   (c.no_partial ? " [no partial]" : "") + " in " + order + " order");
      TFilterSwitches switches;
      switches.options = {.case_insensitive = c.case_insensitive, .no_partial_compare = c.no_partial};
      switches.cost_estimates = true;
      switches.complement_ranges = true;
      TFilter* filter = cursor.AddFilter(c.filter, switches);
      cursor.ActivateFilter(filter);
      std::vector<std::string> kept = testing::VisibleTexts(cursor, kName);
      std::vector<std::string> expected = c.names;
      std::sort(kept.begin(), kept.end());
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(kept, expected);
      EXPECT_EQ(cursor.GetRecordCount(), static_cast<std::int32_t>(expected.size()));
      if (expected.empty()) {
        std::vector<std::uint8_t> buffer(cursor.RecordSize());
        EXPECT_EQ(cursor.GetCurrentRecord(buffer), storage::VORA_NOCURRREC);
      }
      cursor.DropFilter(filter);
    }
  }
}

TEST_P(FilterPhoneBookSearchTest, UsesAnIndexOnlyWhenItsCaseRuleFits) {
  const LayoutCase& layout = GetParam();
  TDataCursor& cursor = tables_.Open("PhoneBook");
  struct LevelCase {
    bool case_insensitive;
    NameIndex served_by;
  };
  for (const LevelCase& c : {LevelCase{false, NameIndex::kCaseSensitive}, LevelCase{true, NameIndex::kCaseInsensitive}}) {
    TFilterSwitches switches;
    switches.options.case_insensitive = c.case_insensitive;
    switches.cost_estimates = true;
    TFilter* filter = cursor.AddFilter("name='abc*'", switches);
    EXPECT_EQ(filter->OptimizationLevel(), layout.index == c.served_by ? olFull : olNone) << c.case_insensitive;
    cursor.DropFilter(filter);
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, FilterPhoneBookSearchTest,
                         ::testing::Values(LayoutCase{"ByteOrderNameIndex", 0, NameIndex::kCaseSensitive},
                                           LayoutCase{"ByteOrderCaseInsensitiveIndex", 0, NameIndex::kCaseInsensitive},
                                           LayoutCase{"ByteOrderNoIndex", 0, NameIndex::kNone},
                                           LayoutCase{"FarsiNameIndex", kFarsi, NameIndex::kCaseSensitive},
                                           LayoutCase{"FarsiNoIndex", kFarsi, NameIndex::kNone}),
                         [](const auto& param_info) { return std::string(param_info.param.label); });

}  // namespace
}  // namespace telvora::engine
