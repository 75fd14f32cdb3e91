// A program writing to a shared table through a cursor is killed (SIGKILL)
// at random moments, many times in a row. After each kill another program
// (this test) opens the table: it is sound, or repair makes it sound, and
// every write the killed program had acknowledged is in it. The one write
// under way at the kill may or may not be there, but nothing else may
// differ. TELVORA_CRASH_KILLS sets the number of kills (30 by default).

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/table_creation_checks.h"
#include "storage/field_specs.h"
#include "storage/engine_error.h"
#include "storage/field_types.h"
#include "storage/record_image.h"
#include "storage/sample_tables.h"
#include "support/child_process.h"
#include "support/env_number.h"
#include "support/table_check.h"
#include "support/temp_dir.h"
#include "tools/db_tool.h"
#include "tools/db_verify_command.h"
#include "tools/table_verify.h"

namespace telvora::tools {
namespace {

namespace fs = std::filesystem;
using telvora::testing::Channel;
using telvora::testing::ChildProcess;

constexpr char kTable[] = "Shared";
constexpr int kDefaultKills = 30;
// The writer keeps the table around this size, so that every kind of write
// keeps happening and verification stays quick.
constexpr std::size_t kTargetRecords = 150;
// After the writer has opened the table it runs for up to this long.
constexpr int kMostRunMs = 25;

// What the writer tells the test, each a 32-bit value.
enum Message : std::uint32_t { kReady = 1, kIntent = 2, kAck = 3 };
enum WriteKind : std::uint32_t { kInsert = 1, kEdit = 2, kDelete = 3 };

struct Row {
  std::string name;
  std::int32_t value = 0;
  bool operator==(const Row&) const = default;
};
using Rows = std::map<std::int32_t, Row>;

// Names repeat, so that the secondary index holds equal keys.
std::string NameFor(std::int32_t value) { return "N" + std::to_string(value % 37); }

storage::TIndexDescriptor Index(const char* name, std::uint16_t field, bool unique) {
  return storage::SingleFieldIndex(name, field, unique);
}

// Id (primary key), Name (non-unique index ByName), Value.
engine::TTableDescription SharedTable() {
  engine::TTableDescription d;
  d.fields = storage::testing::MakeDescriptors({{"Id", storage::kTypeInteger, 0, 0, 0},
                                                {"Name", storage::kTypeString, 0, 20, 0},
                                                {"Value", storage::kTypeInteger, 0, 0, 0}});
  d.indexes = {Index("", 1, true), Index("ByName", 2, false)};
  return d;
}

storage::TFieldLayout Layout(engine::TDataCursor& cursor, int number) {
  return storage::TFieldLayout::Of(cursor.Fields()[static_cast<std::size_t>(number - 1)]);
}

Rows ReadRows(engine::TDataCursor& cursor) {
  Rows rows;
  std::vector<std::uint8_t> buffer(cursor.RecordSize());
  cursor.MoveFirst();
  while (cursor.MoveNext(buffer) == engine::TDataCursor::kOk) {
    storage::TRecordImage image(buffer);
    rows[image.GetInteger(Layout(cursor, 1))] = {image.GetString(Layout(cursor, 2)), image.GetInteger(Layout(cursor, 3))};
  }
  return rows;
}

// Positions the cursor on the record with the id and reads it into buffer.
bool FindId(engine::TDataCursor& cursor, std::int32_t id, std::vector<std::uint8_t>& buffer) {
  std::vector<std::uint8_t> key(cursor.RecordSize(), 0);
  storage::TRecordImage(key).SetInteger(Layout(cursor, 1), id);
  buffer.assign(cursor.RecordSize(), 0);
  return cursor.FindKey(key, false, 0, 0, false, buffer);
}

void Fill(engine::TDataCursor& cursor, std::vector<std::uint8_t>& buffer, std::int32_t id, std::int32_t value) {
  storage::TRecordImage image(buffer);
  image.SetInteger(Layout(cursor, 1), id);
  image.SetString(Layout(cursor, 2), NameFor(value), {});
  image.SetInteger(Layout(cursor, 3), value);
}

// The killed program: random inserts, edits and deletes until it is killed,
// each announced before it starts and acknowledged once the cursor returned.
int RunWriter(Channel& channel, const fs::path& folder, std::uint32_t seed) {
  try {
    engine::TDataSession session;
    engine::TDataDirectory& directory = session.OpenDirectory("", folder.string());
    engine::TDataCursor cursor(directory);
    cursor.SetTableName(kTable);
    cursor.OpenCursor();
    std::vector<std::int32_t> ids;
    for (const auto& [id, row] : ReadRows(cursor)) ids.push_back(id);
    std::int32_t next_id = ids.empty() ? 1 : ids.back() + 1;
    std::mt19937 random(seed);
    if (!channel.Send(kReady)) return 0;
    std::vector<std::uint8_t> buffer(cursor.RecordSize());
    for (;;) {
      const int dice = static_cast<int>(random() % 10);
      const bool grow = ids.size() < kTargetRecords;
      WriteKind kind = dice < (grow ? 6 : 3) ? kInsert : dice < 7 ? kEdit : kDelete;
      if (ids.empty()) kind = kInsert;
      const std::size_t at = ids.empty() ? 0 : random() % ids.size();
      const std::int32_t id = kind == kInsert ? next_id++ : ids[at];
      const auto value = static_cast<std::int32_t>(random() % 100000);
      if (!channel.Send(kIntent) || !channel.Send(kind) || !channel.Send(static_cast<std::uint32_t>(id)) ||
          !channel.Send(static_cast<std::uint32_t>(value))) {
        return 0;
      }
      if (kind == kInsert) {
        cursor.InitRecord(buffer);
        Fill(cursor, buffer, id, value);
        cursor.InsertRecord(buffer, false);
        ids.push_back(id);
      } else {
        if (!FindId(cursor, id, buffer)) return 4;
        if (kind == kEdit) {
          if (cursor.GetCurrentRecord(buffer, true) != engine::TDataCursor::kOk) return 5;
          Fill(cursor, buffer, id, value);
          cursor.ModifyRecord(buffer, true, false);
        } else {
          cursor.DeleteRecord(buffer, false);
          ids.erase(ids.begin() + static_cast<std::ptrdiff_t>(at));
        }
      }
      if (!channel.Send(kAck)) return 0;
    }
  } catch (const storage::EVoraEngineError& e) {
    std::cerr << "writer: " << e.what() << "\n";
    return 3;
  }
}

struct Intent {
  WriteKind kind;
  std::int32_t id;
  std::int32_t value;
};

Rows Applied(Rows rows, const Intent& w) {
  if (w.kind == kDelete) {
    rows.erase(w.id);
  } else {
    rows[w.id] = {NameFor(w.value), w.value};
  }
  return rows;
}

// Records that differ between the two sets (missing, extra or changed).
int Differences(const Rows& a, const Rows& b) {
  int count = 0;
  for (const auto& [id, row] : a) {
    const auto found = b.find(id);
    if (found == b.end() || !(found->second == row)) ++count;
  }
  for (const auto& [id, row] : b) count += a.count(id) == 0 ? 1 : 0;
  return count;
}

TEST(AcknowledgedWritesSurviveKillTest, EveryKillLeavesASoundOrRepairableTableWithNoAcknowledgedWriteLost) {
  telvora::testing::TempDir dir;
  const TableArgument table{dir.path().string(), kTable};
  {
    engine::TDataSession session;
    engine::TDataDirectory& directory = session.OpenDirectory("", dir.path().string());
    engine::TDataCursor creator(directory);
    creator.SetTableName(kTable);
    creator.SetExclusive(true);
    creator.CreateTable(SharedTable(), false);
    session.CloseDirectory(directory);
  }

  const int kills_wanted = telvora::testing::PositiveEnvNumber("TELVORA_CRASH_KILLS", kDefaultKills);
  std::mt19937 random(20261210);
  Rows model;
  int kills = 0;
  int repaired = 0;
  int lost = 0;
  long acknowledged = 0;
  for (int round = 0; round < kills_wanted; ++round) {
    std::optional<Intent> under_way;
    {
      const std::uint32_t seed = random();
      ChildProcess writer([&](Channel& channel) { return RunWriter(channel, dir.path(), seed); });
      ASSERT_EQ(writer.channel().Receive(), std::optional<std::uint32_t>(kReady)) << "round " << round;
      std::this_thread::sleep_for(std::chrono::microseconds(random() % (kMostRunMs * 1000)));
      ASSERT_EQ(::kill(writer.pid(), SIGKILL), 0);
      // Everything the writer sent before it died, in order.
      while (const std::optional<std::uint32_t> message = writer.channel().Receive()) {
        if (*message == kIntent) {
          const auto kind = writer.channel().Receive();
          const auto id = writer.channel().Receive();
          const auto value = writer.channel().Receive();
          if (!kind || !id || !value) break;  // killed while announcing: nothing started
          under_way = Intent{static_cast<WriteKind>(*kind), static_cast<std::int32_t>(*id),
                             static_cast<std::int32_t>(*value)};
        } else {
          ASSERT_EQ(*message, kAck);
          ASSERT_TRUE(under_way.has_value());
          model = Applied(model, *under_way);
          under_way.reset();
          ++acknowledged;
        }
      }
      ASSERT_EQ(writer.Wait(), -1) << "the writer ended on its own before it was killed (round " << round << ")";
      ++kills;
    }

    const std::vector<TableProblem> problems = VerifyTableAt(table, "");
    if (!problems.empty()) {
      ++repaired;
      std::cout << "round " << round << ": " << problems.size() << " problem(s), first: " << problems.front().Text()
                << "\n";
      // As a user would: the repair command, which also mends a data file
      // the engine refuses to open.
      std::ostringstream repair_out, repair_err;
      const int status = RunDbTool({"repair", (dir.path() / kTable).string()}, repair_out, repair_err);
      ASSERT_EQ(status, kExitSuccess) << "round " << round << ": not sound after repair (found before: "
                                      << problems.front().Text() << ")\n"
                                      << repair_out.str() << repair_err.str();
    }

    Rows found;
    {
      engine::TDataSession session;
      engine::TDataDirectory& directory = session.OpenDirectory("", dir.path().string());
      {
        engine::TDataCursor reader(directory);
        reader.SetTableName(kTable);
        reader.OpenCursor();
        found = ReadRows(reader);
      }
      session.CloseDirectory(directory);
    }
    const bool as_acknowledged = found == model;
    const bool with_write_under_way = under_way.has_value() && found == Applied(model, *under_way);
    if (!as_acknowledged && !with_write_under_way) {
      const int missing = Differences(model, found);
      lost += missing;
      ADD_FAILURE() << "round " << round << ": " << missing << " records differ from the acknowledged writes"
                    << (problems.empty() ? "" : " (the table needed repair: " + problems.front().Text() + ")");
    }
    // The write under way at the kill is settled by what the table holds.
    model = found;
  }
  std::cout << "kills: " << kills << ", opens that needed repair: " << repaired
            << ", acknowledged writes: " << acknowledged << ", writes lost: " << lost
            << ", records at the end: " << model.size() << "\n";
  EXPECT_EQ(lost, 0);
  EXPECT_TABLE_SOUND(dir.path() / kTable);
}

}  // namespace
}  // namespace telvora::tools
