// Cursors keep their place while the table changes under them: several
// cursors on one open table, and a second program changing the table files
// between two operations. A cursor on a record that is deleted meanwhile
// moves to the following record; records added before it raise its record
// number; a cursor on a crack stays on it.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cursor_table_writer.h"
#include "cursor_test_model.h"
#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "storage/engine_error_codes.h"
#include "storage/record_image.h"
#include "support/child_process.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::engine {
namespace {

using telvora::testing::Channel;
using telvora::testing::ChildProcess;
using testing::CursorModel;
using testing::TestOrder;
using testing::TestRecord;

constexpr int kRecords = 300;
constexpr char kTable[] = "Changing";

TestRecord RecordOf(int i) { return {i * 3 + 10, "Name" + std::to_string(1000 + (i * 13) % kRecords), "City"}; }

std::int32_t NumberIn(std::span<const std::uint8_t> image) {
  std::vector<std::uint8_t> copy(image.begin(), image.end());
  return storage::TRecordImage(copy).RecordNumber();
}

std::int32_t Current(TDataCursor& cursor) {
  std::vector<std::uint8_t> buffer(cursor.RecordSize());
  EXPECT_EQ(cursor.GetCurrentRecord(buffer), 0);
  return NumberIn(buffer);
}

// What a writer does: delete record n, or append a record (the reply is its
// record number).
enum Command : std::uint32_t { kDelete = 1, kAppend = 2 };
constexpr std::uint32_t kFailed = 0xFFFFFFFF;

// Runs one change under the write lock and flushes it, as another program
// or cursor would.
std::uint32_t Change(storage::TDataTable& table, std::uint32_t command, std::uint32_t argument) {
  table.WriteLock();
  std::uint32_t reply = 0;
  if (command == kDelete) {
    testing::DeleteRecord(table, static_cast<std::int32_t>(argument));
  } else {
    reply = static_cast<std::uint32_t>(testing::AppendRecord(table, {static_cast<std::int32_t>(argument), "Aaa", "City"}));
  }
  table.Flush();
  table.WriteUnlock();
  return reply;
}

struct ChangeCase {
  const char* label;
  TestOrder order;
  bool strict;
  bool other_program;
};

const ChangeCase kCases[] = {
    {"natural, same program", TestOrder::kNatural, false, false},
    {"by name, same program", TestOrder::kByName, false, false},
    {"primary, same program, strict", TestOrder::kPrimary, true, false},
    {"natural, other program, strict", TestOrder::kNatural, true, true},
    {"by name, other program, strict", TestOrder::kByName, true, true},
    {"primary, other program, refresh", TestOrder::kPrimary, false, true},
};

class DataCursorChangesTest : public ::testing::TestWithParam<ChangeCase> {
 protected:
  void SetUp() override {
    TDataSession session;
    TDataDirectory& directory = session.OpenDirectory("Changes", dir_.path().string());
    directory.CreateTable(kTable, testing::CursorTableDefinition(), false, false);
    storage::TDataTable& table = directory.OpenTableForCursor(kTable, {});
    table.WriteLock();
    for (int i = 0; i < kRecords; ++i) {
      const std::int32_t n = testing::AppendRecord(table, RecordOf(i));
      model_.Add(n, testing::RecordIdOf(testing::RecordImageOf(table, n)), RecordOf(i));
    }
    table.Flush();
    table.WriteUnlock();
    directory.CloseTable(table);
    session.CloseDirectory(directory);
  }

  // A writer in a child process, forked before this process opens the
  // table: it opens the table for each command.
  std::unique_ptr<ChildProcess> StartWriter() {
    const std::string path = dir_.path().string();
    return std::make_unique<ChildProcess>([path](Channel& channel) {
      while (true) {
        const auto command = channel.Receive();
        const auto argument = channel.Receive();
        if (!command || !argument) return 0;
        std::uint32_t reply = kFailed;
        try {
          TDataSession session;
          session.MutableTableSettings() = storage::testing::QuickLockSettings();
          TDataDirectory& directory = session.OpenDirectory("Writer", path);
          storage::TDataTable& table = directory.OpenTableForCursor(kTable, {});
          reply = Change(table, *command, *argument);
          directory.CloseTable(table);
          session.CloseDirectory(directory);
        } catch (...) {
          reply = kFailed;
        }
        if (!channel.Send(reply)) return 1;
      }
    });
  }

  telvora::testing::TempDir dir_;
  CursorModel model_;
};

TEST_P(DataCursorChangesTest, CursorsKeepTheirPlaceWhileTheTableChanges) {
  const ChangeCase& c = GetParam();
  std::unique_ptr<ChildProcess> writer = c.other_program ? StartWriter() : nullptr;

  TDataSession session;
  session.MutableTableSettings() = storage::testing::QuickLockSettings();
  session.MutableTableSettings().StrictChangeDetection = c.strict;
  TDataDirectory& directory = session.OpenDirectory("Changes", dir_.path().string());
  auto open = [&] {
    auto cursor = std::make_unique<TDataCursor>(directory);
    cursor->SetTableName(kTable);
    cursor->SetOpenInNaturalOrder(c.order == TestOrder::kNatural);
    cursor->OpenCursor();
    if (c.order == TestOrder::kByName) cursor->SelectIndex("byname");
    return cursor;
  };
  auto cursor = open();
  auto at_end = open();
  auto at_start = open();
  auto change = [&](std::uint32_t command, std::uint32_t argument) {
    std::uint32_t reply = kFailed;
    if (writer) {
      EXPECT_TRUE(writer->channel().Send(command));
      EXPECT_TRUE(writer->channel().Send(argument));
      reply = writer->channel().Receive().value_or(kFailed);
    } else {
      reply = Change(cursor->table(), command, argument);
    }
    EXPECT_NE(reply, kFailed);
    // Without strict change detection a program's changes show after a
    // refresh (or when a read has to go to the file).
    if (writer && !c.strict) {
      for (TDataCursor* each : {cursor.get(), at_end.get(), at_start.get()}) each->RefreshCursor();
    }
    return reply;
  };

  std::vector<std::int32_t> order = model_.Order(c.order);
  ASSERT_TRUE(cursor->SetRecordNumber(100));
  const std::int32_t doomed = order[99];
  ASSERT_EQ(Current(*cursor), doomed);
  at_end->MoveLast();
  at_start->MoveFirst();

  change(kDelete, static_cast<std::uint32_t>(doomed));
  model_.Delete(doomed);
  order = model_.Order(c.order);
  EXPECT_EQ(Current(*cursor), order[99]);  // the record that followed
  EXPECT_EQ(cursor->GetRecordNumber(), 100);
  EXPECT_EQ(cursor->GetRecordCount(), kRecords - 1);
  std::vector<std::uint8_t> buffer(cursor->RecordSize());
  EXPECT_EQ(cursor->MoveNext(buffer), 0);
  EXPECT_EQ(NumberIn(buffer), order[100]);

  // A record that sorts first in every order but natural (where it takes
  // the deleted slot back or comes last).
  const std::uint32_t added = change(kAppend, 1);
  const auto n = static_cast<std::int32_t>(added);
  model_.Add(n, testing::RecordIdOf(testing::RecordImageOf(cursor->table(), n)), {1, "Aaa", "City"});
  order = model_.Order(c.order);
  const std::int32_t on = order[static_cast<std::size_t>(
      std::find(order.begin(), order.end(), NumberIn(buffer)) - order.begin())];
  EXPECT_EQ(Current(*cursor), on);
  EXPECT_EQ(cursor->GetRecordNumber(),
            static_cast<std::int32_t>(std::find(order.begin(), order.end(), on) - order.begin()) + 1);
  EXPECT_EQ(cursor->GetRecordCount(), kRecords);

  // The cracks stay cracks.
  EXPECT_TRUE(at_end->AtEOF());
  EXPECT_EQ(at_end->MovePrior(buffer), 0);
  EXPECT_EQ(NumberIn(buffer), order.back());
  EXPECT_TRUE(at_start->AtBOF());
  EXPECT_EQ(at_start->MoveNext(buffer), 0);
  EXPECT_EQ(NumberIn(buffer), order.front());

  // The last record deleted under a cursor on it: the new last one.
  ASSERT_TRUE(at_end->SetRecordNumber(kRecords));
  ASSERT_EQ(Current(*at_end), order.back());
  change(kDelete, static_cast<std::uint32_t>(order.back()));
  model_.Delete(order.back());
  order = model_.Order(c.order);
  EXPECT_EQ(Current(*at_end), order.back());
  EXPECT_EQ(at_end->MoveNext(buffer), storage::VORA_EOF);

  cursor.reset();
  at_end.reset();
  at_start.reset();
  session.CloseDirectory(directory);
  if (writer) {
    EXPECT_EQ(writer->Wait(), 0);
  }
  EXPECT_TABLE_SOUND(dir_.path() / kTable);
}

INSTANTIATE_TEST_SUITE_P(Cases, DataCursorChangesTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ChangeCase>& param) {
                           std::string name;
                           for (const char* p = param.param.label; *p != '\0'; ++p) {
                             if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                           }
                           return name;
                         });

}  // namespace
}  // namespace telvora::engine
