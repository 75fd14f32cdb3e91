// A filter set or switched on right after another program wrote to the
// table. Without strict change detection the change shows only when a page
// has to come from the file; the first such page can be any the filter
// reads (an index page, or the text index's parameter chain, which every
// filter reads to cut words as the index did). Wherever it shows, the
// cursor starts the filter again on the changed table: the new record
// passes the filter and nothing reports the index corrupt.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/phone_book_table.h"
#include "engine/table_creation_checks.h"
#include "engine/value_text_conversion.h"
#include "storage/record_image.h"
#include "support/child_process.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::engine {
namespace {

using telvora::testing::Channel;
using telvora::testing::ChildProcess;

const std::string kTable(kPhoneBookTableName);

void Insert(TDataCursor& cursor, const std::string& name, const std::string& tel2) {
  std::vector<std::uint8_t> buffer(cursor.RecordSize());
  cursor.InitRecord(buffer);
  storage::TRecordImage image(buffer);
  StoreValueText(cursor.Fields()[0], name, {}, image);
  StoreValueText(cursor.Fields()[1], "Karimi", {}, image);
  StoreValueText(cursor.Fields()[3], tel2, {}, image);
  cursor.InsertRecord(buffer, false);
}

struct FilterCase {
  const char* label;
  const char* filter;
  bool added_before_the_write;
};

class FilterAfterOtherProgramWritesTest : public ::testing::TestWithParam<FilterCase> {
 protected:
  void SetUp() override {
    TDataSession session;
    TDataDirectory& directory = session.OpenDirectory("", dir_.path().string());
    CreateCheckedTable(directory, kTable, PhoneBookTableDescription(), false, false);
    {
      TDataCursor cursor(directory);
      cursor.SetTableName(kTable);
      cursor.OpenCursor();
      for (int i = 0; i < 40; ++i) Insert(cursor, "Name" + std::to_string(i), std::to_string(i));
    }
    session.CloseDirectory(directory);
  }

  telvora::testing::TempDir dir_;
};

TEST_P(FilterAfterOtherProgramWritesTest, FilterSeesTheOtherProgramsRecord) {
  const FilterCase& c = GetParam();
  // Forked before this process opens the table, so that it shares no open
  // file with it.
  const std::string folder = dir_.path().string();
  ChildProcess writer([folder](Channel& channel) {
    if (!channel.Receive()) return 0;
    try {
      TDataSession session;
      TDataDirectory& directory = session.OpenDirectory("", folder);
      {
        TDataCursor cursor(directory);
        cursor.SetTableName(kTable);
        cursor.OpenCursor();
        Insert(cursor, "Amir", "777");
      }
      session.CloseDirectory(directory);
    } catch (...) {
      return 2;
    }
    channel.Send(1);
    return 0;
  });

  TDataSession session;
  TDataDirectory& directory = session.OpenDirectory("", folder);
  {
    TDataCursor cursor(directory);
    cursor.SetTableName(kTable);
    cursor.OpenCursor();
    std::vector<std::uint8_t> buffer(cursor.RecordSize());
    cursor.MoveFirst();
    ASSERT_EQ(cursor.MoveNext(buffer), 0);  // the caches hold what a reader has seen
    TFilter* filter = c.added_before_the_write ? cursor.AddFilter(c.filter, {}) : nullptr;

    ASSERT_TRUE(writer.channel().Send(1));
    ASSERT_EQ(writer.channel().Receive(), std::optional<std::uint32_t>(1));

    if (filter == nullptr) filter = cursor.AddFilter(c.filter, {});
    cursor.ActivateFilter(filter);
    cursor.MoveFirst();
    std::vector<std::string> names;
    while (cursor.MoveNext(buffer) == 0) {
      names.push_back(storage::TRecordImage(buffer).GetString(storage::TFieldLayout::Of(cursor.Fields()[0])));
    }
    EXPECT_EQ(names, std::vector<std::string>{"Amir"});
  }
  session.CloseDirectory(directory);
  EXPECT_EQ(writer.Wait(), 0);
  EXPECT_TABLE_SOUND(dir_.path() / kTable);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, FilterAfterOtherProgramWritesTest,
    ::testing::Values(FilterCase{"IndexedFieldAddedBefore", "Name = 'Am*'", true},
                      FilterCase{"IndexedFieldAddedAfter", "Name = 'Am*'", false},
                      FilterCase{"PlainFieldAddedBefore", "Tel2 = '777'", true},
                      FilterCase{"PlainFieldAddedAfter", "Tel2 = '777'", false}),
    [](const ::testing::TestParamInfo<FilterCase>& p) { return std::string(p.param.label); });

}  // namespace
}  // namespace telvora::engine
