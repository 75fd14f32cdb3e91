// telvora-db dump --filter: the records the table component's Filter keeps,
// with its two options, the same whether an index answers the filter (the
// phone book's own table, Farsi, indexed on Name) or every record is read
// (a byte-order table without indexes), in any order; and the errors a
// filter can raise.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/table_check.h"
#include "support/temp_dir.h"
#include "tools/db_tool_runner.h"

namespace telvora::tools {
namespace {

using nlohmann::json;
using testing::JsonLines;
using testing::RunTool;
using testing::WriteFile;
using Names = std::vector<std::string>;

// null is a contact without a name.
const json kNames = {"abcdef", "abc", "ab", "ABC", "ABCdef", "abc*", nullptr, "xabc", "رضا", "رضوان", "حسن", "it's"};

// Name without the phone book's indexes.
const json& PlainSchema() {
  static const json schema = {{"language", 0},
                              {"fields",
                               {{{"name", "Name"}, {"type", "string"}, {"size", 60}},
                                {{"name", "Family"}, {"type", "string"}, {"size", 70}}}},
                              {"primaryIndex", nullptr}};
  return schema;
}

enum class Layout { kPhoneBook, kPlain };

class DbDumpFilterTest : public ::testing::TestWithParam<Layout> {
 protected:
  void SetUp() override {
    if (GetParam() == Layout::kPhoneBook) {
      const testing::Outcome r = RunTool({"create-phonebook", dir_.path().string()});
      ASSERT_EQ(r.status, 0) << r.err;
    } else {
      const testing::Outcome r =
          RunTool({"create", Table(), "--schema", WriteFile(dir_.path() / "schema.json", PlainSchema().dump())});
      ASSERT_EQ(r.status, 0) << r.err;
    }
    std::string lines;
    for (const json& name : kNames) lines += json{{"Name", name}, {"Family", "F"}}.dump() + "\n";
    const testing::Outcome r = RunTool({"insert", Table(), WriteFile(dir_.path() / "contacts.jsonl", lines)});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  void TearDown() override { EXPECT_TABLE_SOUND(dir_.path() / "PhoneBook"); }

  std::string Table() const { return (dir_.path() / "PhoneBook").string(); }

  // The names dumped with the options, sorted ("<null>" for a null name).
  Names Dumped(const std::vector<std::string>& options) {
    std::vector<std::string> args = {"dump", Table()};
    args.insert(args.end(), options.begin(), options.end());
    const testing::Outcome r = RunTool(args);
    EXPECT_EQ(r.status, 0) << r.err;
    Names names;
    for (const json& line : JsonLines(r.out)) {
      const json& name = line.at("fields").at("Name");
      names.push_back(name.is_null() ? "<null>" : name.get<std::string>());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  telvora::testing::TempDir dir_;
};

TEST_P(DbDumpFilterTest, KeepsTheRecordsTheFilterAsksFor) {
  struct Case {
    std::vector<std::string> options;
    Names names;
  };
  const Case cases[] = {
      {{"--filter", "Name = 'abc*'"}, {"abc", "abc*", "abcdef"}},
      {{"--filter", "name='abc*'", "--case-insensitive"}, {"ABC", "ABCdef", "abc", "abc*", "abcdef"}},
      {{"--filter", "Name = 'abc*'", "--no-partial"}, {"abc*"}},
      {{"--filter", "Name = 'abc*'", "--case-insensitive", "--no-partial"}, {"abc*"}},
      {{"--filter", "Name = 'رض*'"}, {"رضا", "رضوان"}},
      {{"--filter", "Name = 'it''s*'"}, {"it's"}},
      {{"--filter", "Name <> 'abc' AND Name <> 'ab*'"}, {"<null>", "ABC", "ABCdef", "it's", "xabc", "رضا", "رضوان", "حسن"}},
      {{"--filter", "Name IS NULL OR Name = 'ABC'"}, {"<null>", "ABC"}},
      {{"--filter", "Family = 'G*'"}, {}},
  };
  for (const Case& c : cases) {
    for (const bool by_name : {false, true}) {
      std::vector<std::string> options = c.options;
      if (by_name && GetParam() == Layout::kPhoneBook) {
        options.insert(options.end(), {"--index", "ByName"});
      }
      std::string trace;
      for (const std::string& o : options) trace += o + " ";
      SCOPED_TRACE(trace);
      Names expected = c.names;
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(Dumped(options), expected);
    }
  }
  // An empty filter text sets no filter.
  EXPECT_EQ(Dumped({"--filter", ""}).size(), kNames.size());
}

TEST_P(DbDumpFilterTest, AFilterThatCannotBeSetIsAnErrorAndPrintsNothing) {
  struct Case {
    std::vector<std::string> options;
    std::string message;  // the start of the one error line
  };
  const Case cases[] = {
      {{"--filter", "Nobody = 1"},
       "telvora-db: Vora Engine Error # 10051 Filter error for the table 'PhoneBook' - Invalid column name 'Nobody'"},
      {{"--filter", "Name"},
       "telvora-db: Vora Engine Error # 10051 Filter error for the table 'PhoneBook' - filter expression must be a "
       "boolean expression"},
      {{"--filter", "Name = 'ab"}, "telvora-db: Vora Engine Error # 10051 Filter error for the table 'PhoneBook' - "},
      {{"--filter", "Name = '中*'"}, "telvora-db: --filter holds a character the table's code page cannot store"},
      {{"--case-insensitive"}, "telvora-db: --case-insensitive and --no-partial are options of --filter"},
      {{"--filter"}, "telvora-db: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options.back());
    std::vector<std::string> args = {"dump", Table()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const testing::Outcome r = RunTool(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.substr(0, c.message.size()), c.message);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, DbDumpFilterTest, ::testing::Values(Layout::kPhoneBook, Layout::kPlain),
                         [](const auto& param_info) { return param_info.param == Layout::kPhoneBook ? "PhoneBook" : "Plain"; });

}  // namespace
}  // namespace telvora::tools
