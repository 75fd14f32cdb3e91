// Records written through the cursor: where the cursor stands afterwards,
// record ids, defaults, a refused duplicate key, and the two locking
// protocols between cursors and between programs.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/table_creation_checks.h"
#include "engine/value_text_conversion.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "storage/field_types.h"
#include "storage/record_image.h"
#include "storage/sample_tables.h"
#include "storage/table_file_names.h"
#include "support/child_process.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::engine {
namespace {

using telvora::testing::Channel;
using telvora::testing::ChildProcess;

constexpr char kTable[] = "People";
constexpr std::uint16_t kId = 1;
constexpr std::uint16_t kName = 2;
constexpr std::uint16_t kValue = 4;

storage::TIndexDescriptor Index(const char* name, std::vector<std::uint16_t> fields, bool unique) {
  storage::TIndexDescriptor index;
  index.SetName(name);
  index.SetUnique(unique);
  index.SetKeyFieldCount(static_cast<std::uint8_t>(fields.size()));
  for (std::size_t i = 0; i < fields.size(); ++i) index.SetKeyFieldNumber(static_cast<int>(i), fields[i]);
  return index;
}

// Id (auto-increment, primary key), Name (unique, default "Anon"), Born
// (default today), Value.
TTableDescription People() {
  TTableDescription d;
  d.fields = storage::testing::MakeDescriptors({{"Id", storage::kTypeInteger, storage::kSubtypeAutoInc, 0, 0},
                                                {"Name", storage::kTypeString, 0, 20, 0},
                                                {"Born", storage::kTypeDate, 0, 0, 0},
                                                {"Value", storage::kTypeInteger, 0, 0, 0}});
  d.fields[1].SetDefaultText("Anon");
  d.fields[2].SetDefaultText("current_date");
  d.indexes = {Index("", {kId}, true), Index("ByName", {kName}, true)};
  return d;
}

std::uint16_t CodeOf(const std::function<void()>& op) {
  try {
    op();
  } catch (const storage::EVoraEngineError& e) {
    return static_cast<std::uint16_t>(e.EngineCode);
  }
  return 0;
}

storage::TFieldLayout Layout(TDataCursor& cursor, std::uint16_t number) {
  return storage::TFieldLayout::Of(cursor.Fields()[number - 1]);
}

// A buffer of the cursor's table with the given name and value.
std::vector<std::uint8_t> NewRecord(TDataCursor& cursor, const std::string& name, std::int32_t value) {
  std::vector<std::uint8_t> buffer(cursor.RecordSize());
  cursor.InitRecord(buffer);
  storage::TRecordImage image(buffer);
  StoreValueText(cursor.Fields()[kName - 1], name, Locale(), image);
  image.SetInteger(Layout(cursor, kValue), value);
  return buffer;
}

std::string NameIn(TDataCursor& cursor, std::vector<std::uint8_t> buffer) {
  return storage::TRecordImage(buffer).GetString(Layout(cursor, kName));
}

std::int32_t ValueIn(TDataCursor& cursor, std::vector<std::uint8_t> buffer) {
  return storage::TRecordImage(buffer).GetInteger(Layout(cursor, kValue));
}

// The current record's name, or "" without a current record.
std::string CurrentName(TDataCursor& cursor) {
  std::vector<std::uint8_t> buffer(cursor.RecordSize());
  if (cursor.GetCurrentRecord(buffer) != 0) return "";
  return NameIn(cursor, buffer);
}

// Finds the record with the name (unique index); false when there is none.
bool FindName(TDataCursor& cursor, const std::string& name, std::vector<std::uint8_t>& buffer) {
  std::vector<std::uint8_t> key(cursor.RecordSize());
  storage::TRecordImage image(key);
  StoreValueText(cursor.Fields()[kName - 1], name, Locale(), image);
  buffer.assign(cursor.RecordSize(), 0);
  return cursor.FindKey(key, false, 0, 0, false, buffer);
}

// The edit start as the table component does it: the record as last read,
// then read again with the lock.
int StartEdit(TDataCursor& cursor, std::vector<std::uint8_t>& buffer) {
  buffer.assign(cursor.RecordSize(), 0);
  const int result = cursor.GetCurrentRecord(buffer);
  return result != 0 ? result : cursor.GetCurrentRecord(buffer, true);
}

class DataCursorWritesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = &session_.OpenDirectory("Test", dir_.path().string());
    TDataCursor creator(*directory_);
    creator.SetTableName(kTable);
    creator.SetExclusive(true);
    creator.CreateTable(People(), false);
    EXPECT_FALSE(creator.IsOpen());
  }
  void TearDown() override {
    cursors_.clear();
    session_.CloseDirectory(*directory_);
  }

  TDataCursor& Open(const std::string& index = "") {
    cursors_.push_back(std::make_unique<TDataCursor>(*directory_));
    TDataCursor& cursor = *cursors_.back();
    cursor.SetTableName(kTable);
    cursor.SetOpenInNaturalOrder(index == "natural");
    cursor.OpenCursor();
    if (index == "ByName") cursor.SelectIndex(index);
    cursor.MoveNext();  // on the first record, if any
    return cursor;
  }
  void CloseAll() { cursors_.clear(); }

  std::filesystem::path TablePath() const { return dir_.path() / kTable; }

  std::vector<std::vector<char>> FileBytes() const { return telvora::testing::TableFileBytes(dir_.path(), kTable); }

  telvora::testing::TempDir dir_;
  TDataSession session_;
  TDataDirectory* directory_ = nullptr;
  std::vector<std::unique_ptr<TDataCursor>> cursors_;
};

TEST_F(DataCursorWritesTest, NewRecordsStartFromTheFieldDefaults) {
  TDataCursor& cursor = Open();
  std::vector<std::uint8_t> buffer(cursor.RecordSize(), 0xEE);
  cursor.InitRecord(buffer);
  storage::TRecordImage image(buffer);
  EXPECT_EQ(image.RecordNumber(), 0);
  EXPECT_EQ(image.RecordId(), 0);
  EXPECT_EQ(image.GetString(Layout(cursor, kName)), "Anon");
  EXPECT_FALSE(image.IsNull(Layout(cursor, 3)));
  EXPECT_TRUE(image.IsNull(Layout(cursor, kValue)));
}

struct OrderCase {
  const char* index;
  // Names in the cursor's order after inserting Carl, Anna, Bert (ids 1-3).
  std::vector<std::string> order;
};

TEST_F(DataCursorWritesTest, WritesLeaveTheCursorOnTheirRecord) {
  const OrderCase cases[] = {{"natural", {"Carl", "Anna", "Bert"}},
                             {"", {"Carl", "Anna", "Bert"}},
                             {"ByName", {"Anna", "Bert", "Carl"}}};
  std::int32_t ids_given = 0;
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(c.index);
    TDataCursor& cursor = Open(c.index);
    for (const char* name : {"Carl", "Anna", "Bert"}) {
      std::vector<std::uint8_t> buffer = NewRecord(cursor, name, 1);
      cursor.InsertRecord(buffer, true);
      EXPECT_EQ(storage::TRecordImage(buffer).RecordId(), ++ids_given);
      EXPECT_EQ(CurrentName(cursor), name);
    }
    EXPECT_EQ(cursor.GetRecordCount(), 3);

    // An edit of the middle record keeps the cursor on it.
    // MoveFirst stands before the first record.
    cursor.MoveFirst();
    cursor.MoveNext();
    cursor.MoveNext();
    std::vector<std::uint8_t> buffer(cursor.RecordSize());
    ASSERT_EQ(StartEdit(cursor, buffer), 0);
    const std::string old_name = NameIn(cursor, buffer);
    storage::TRecordImage(buffer).SetInteger(Layout(cursor, kValue), 7);
    cursor.ModifyRecord(buffer, true, true);
    EXPECT_EQ(cursor.LockedRecord(), 0);
    ASSERT_EQ(cursor.GetCurrentRecord(buffer), 0);
    EXPECT_EQ(NameIn(cursor, buffer), old_name);
    EXPECT_EQ(ValueIn(cursor, buffer), 7);

    // A delete moves on to the following record; deleting the last one
    // leaves no current record.
    cursor.DeleteRecord(buffer, true);
    EXPECT_EQ(CurrentName(cursor), c.order[2]);
    EXPECT_EQ(cursor.GetRecordCount(), 2);
    ASSERT_EQ(cursor.GetCurrentRecord(buffer), 0);
    cursor.DeleteRecord(buffer, true);
    EXPECT_EQ(CurrentName(cursor), "");
    EXPECT_EQ(cursor.GetRecordCount(), 1);

    // Ids go on from the highest ever given, deleted ones included.
    std::vector<std::uint8_t> next = NewRecord(cursor, "Dora", 1);
    cursor.InsertRecord(next, true);
    ASSERT_EQ(cursor.GetCurrentRecord(buffer), 0);
    EXPECT_EQ(storage::TRecordImage(buffer).RecordId(), ++ids_given);

    // Empty the table for the next order.
    cursor.MoveFirst();
    cursor.MoveNext();
    while (cursor.GetCurrentRecord(buffer) == 0) cursor.DeleteRecord(buffer, true);
    EXPECT_EQ(cursor.GetRecordCount(), 0);
    CloseAll();
    EXPECT_TABLE_SOUND(TablePath());
  }
}

TEST_F(DataCursorWritesTest, DuplicateKeyChangesNoFile) {
  TDataCursor& cursor = Open();
  std::vector<std::uint8_t> first = NewRecord(cursor, "Anna", 1);
  cursor.InsertRecord(first, true);
  const auto before = FileBytes();
  std::vector<std::uint8_t> again = NewRecord(cursor, "Anna", 2);
  EXPECT_EQ(CodeOf([&] { cursor.InsertRecord(again, true); }), storage::VORA_KEYVIOL);
  EXPECT_EQ(cursor.LockedRecord(), 0);
  EXPECT_EQ(cursor.GetRecordCount(), 1);
  CloseAll();
  EXPECT_EQ(FileBytes(), before);
  EXPECT_TABLE_SOUND(TablePath());
}

// An exclusive table writes its changes when its caches make room and when
// it is closed, not after each operation: every change must still be in the
// files once the last cursor has closed it. 300 records overflow the record
// and index page caches several times over.
TEST_F(DataCursorWritesTest, AnExclusiveTableKeepsEveryChangeWhenClosed) {
  constexpr int kRecords = 300;
  {
    TDataCursor cursor(*directory_);
    cursor.SetTableName(kTable);
    cursor.SetExclusive(true);
    cursor.OpenCursor();
    cursor.SelectIndex("ByName");
    for (int i = 0; i < kRecords; ++i) {
      std::vector<std::uint8_t> record = NewRecord(cursor, "N" + std::to_string(i), i);
      cursor.InsertRecord(record, false);
    }
    std::vector<std::uint8_t> buffer;
    for (int i = 0; i < kRecords; i += 3) {  // every third record gets value -i
      ASSERT_TRUE(FindName(cursor, "N" + std::to_string(i), buffer));
      ASSERT_EQ(cursor.GetCurrentRecord(buffer, true), 0);
      storage::TRecordImage(buffer).SetInteger(Layout(cursor, kValue), -i);
      cursor.ModifyRecord(buffer, true, false);
    }
    for (int i = 1; i < kRecords; i += 3) {  // and the one after it goes
      ASSERT_TRUE(FindName(cursor, "N" + std::to_string(i), buffer));
      cursor.DeleteRecord(buffer, false);
    }
  }
  TDataSession reader_session;
  TDataDirectory& reader_directory = reader_session.OpenDirectory("Reader", dir_.path().string());
  {
    TDataCursor reader(reader_directory);
    reader.SetTableName(kTable);
    reader.OpenCursor();
    reader.SelectIndex("ByName");
    EXPECT_EQ(reader.GetRecordCount(), kRecords - kRecords / 3);
    std::vector<std::uint8_t> buffer;
    for (int i = 0; i < kRecords; ++i) {
      SCOPED_TRACE(i);
      const bool found = FindName(reader, "N" + std::to_string(i), buffer);
      ASSERT_EQ(found, i % 3 != 1);
      if (found) {
        EXPECT_EQ(ValueIn(reader, buffer), i % 3 == 0 ? -i : i);
      }
    }
  }
  reader_session.CloseDirectory(reader_directory);
  EXPECT_TABLE_SOUND(TablePath());
}

// A second program: opens the table and runs body on a cursor on its first
// record; replies 1 once done with the body, and ends when the parent closes.
int OtherProgram(const std::string& folder, TLockProtocol protocol, Channel& channel,
                 const std::function<bool(TDataCursor&)>& body) {
  TDataSession session;
  session.SetLockProtocol(protocol);
  TDataDirectory& directory = session.OpenDirectory("Other", folder);
  TDataCursor cursor(directory);
  cursor.SetTableName(kTable);
  cursor.OpenCursor();
  cursor.MoveNext();
  bool ok = false;
  try {
    ok = body(cursor);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "other program: %s\n", e.what());
  }
  channel.Send(ok ? 1 : 0);
  channel.Receive();
  return ok ? 0 : 1;
}

TEST_F(DataCursorWritesTest, PessimisticEditorsWaitThenFail) {
  session_.MutableTableSettings().LockRetryCount = 2;
  session_.MutableTableSettings().LockWaitTime = 10;
  {
    TDataCursor& cursor = Open();
    std::vector<std::uint8_t> buffer = NewRecord(cursor, "Anna", 1);
    cursor.InsertRecord(buffer, true);
  }
  CloseAll();
  ChildProcess other([&](Channel& channel) {
    return OtherProgram(dir_.path().string(), TLockProtocol::lpPessimistic, channel, [](TDataCursor& c) {
      std::vector<std::uint8_t> buffer;
      return StartEdit(c, buffer) == 0 && c.LockedRecord() != 0;
    });
  });
  ASSERT_EQ(other.channel().Receive(), 1u);

  TDataCursor& cursor = Open();
  std::vector<std::uint8_t> buffer(cursor.RecordSize());
  ASSERT_EQ(cursor.GetCurrentRecord(buffer), 0);
  EXPECT_EQ(CodeOf([&] { StartEdit(cursor, buffer); }), storage::VORA_RECLOCKFAILED);
  EXPECT_EQ(cursor.LockedRecord(), 0);
  EXPECT_EQ(CodeOf([&] { cursor.DeleteRecord(buffer, true); }), storage::VORA_RECLOCKFAILED);
  EXPECT_EQ(other.Wait(), 0);

  // Now free: this cursor locks it, and a second cursor of this program is
  // refused at once.
  ASSERT_EQ(StartEdit(cursor, buffer), 0);
  TDataCursor& second = Open();
  std::vector<std::uint8_t> seen;
  EXPECT_EQ(CodeOf([&] { StartEdit(second, seen); }), storage::VORA_RECLOCKFAILED);
  cursor.CancelEdit();
  EXPECT_EQ(cursor.LockedRecord(), 0);
  EXPECT_EQ(StartEdit(second, seen), 0);
  CloseAll();
  EXPECT_TABLE_SOUND(TablePath());
}

TEST_F(DataCursorWritesTest, OptimisticPostOfAChangedRecordFailsUntilReRead) {
  session_.SetLockProtocol(TLockProtocol::lpOptimistic);
  TDataCursor& cursor = Open();
  std::vector<std::uint8_t> buffer = NewRecord(cursor, "Anna", 1);
  cursor.InsertRecord(buffer, true);
  ASSERT_EQ(StartEdit(cursor, buffer), 0);
  EXPECT_EQ(cursor.LockedRecord(), 0);

  ChildProcess other([&](Channel& channel) {
    return OtherProgram(dir_.path().string(), TLockProtocol::lpOptimistic, channel, [](TDataCursor& c) {
      std::vector<std::uint8_t> b;
      if (StartEdit(c, b) != 0) return false;
      storage::TRecordImage(b).SetInteger(storage::TFieldLayout::Of(c.Fields()[kValue - 1]), 2);
      c.ModifyRecord(b, false, true);
      return true;
    });
  });
  ASSERT_EQ(other.channel().Receive(), 1u);
  EXPECT_EQ(other.Wait(), 0);

  storage::TRecordImage(buffer).SetInteger(Layout(cursor, kValue), 3);
  EXPECT_EQ(CodeOf([&] { cursor.ModifyRecord(buffer, false, true); }), storage::VORA_KEYORRECDELETED);
  EXPECT_EQ(CodeOf([&] { cursor.ModifyRecord(buffer, false, true); }), storage::VORA_KEYORRECDELETED);
  cursor.CancelEdit();
  ASSERT_EQ(StartEdit(cursor, buffer), 0);
  EXPECT_EQ(ValueIn(cursor, buffer), 2);
  storage::TRecordImage(buffer).SetInteger(Layout(cursor, kValue), 3);
  cursor.ModifyRecord(buffer, false, true);
  ASSERT_EQ(cursor.GetCurrentRecord(buffer), 0);
  EXPECT_EQ(ValueIn(cursor, buffer), 3);
  CloseAll();
  EXPECT_TABLE_SOUND(TablePath());
}

TEST_F(DataCursorWritesTest, OtherCursorsSeeWritesAtTheirNextOperation) {
  // Another program's writes are noticed at the start of an operation only
  // with strict change detection (otherwise when a read misses the caches).
  session_.MutableTableSettings().StrictChangeDetection = true;
  TDataCursor& writer = Open("ByName");
  TDataCursor& reader = Open();
  std::vector<std::uint8_t> buffer = NewRecord(writer, "Anna", 1);
  writer.InsertRecord(buffer, true);
  EXPECT_EQ(reader.GetRecordCount(), 1);
  reader.MoveFirst();
  reader.MoveNext();
  EXPECT_EQ(CurrentName(reader), "Anna");

  // Another program sees the record, and its edit and delete reach here.
  ChildProcess other([&](Channel& channel) {
    return OtherProgram(dir_.path().string(), TLockProtocol::lpPessimistic, channel, [](TDataCursor& c) {
      std::vector<std::uint8_t> b;
      c.SelectIndex("ByName");
      if (c.GetRecordCount() != 1 || !FindName(c, "Anna", b)) return false;
      if (StartEdit(c, b) != 0) return false;
      storage::TRecordImage(b).SetInteger(storage::TFieldLayout::Of(c.Fields()[kValue - 1]), 9);
      c.ModifyRecord(b, true, true);
      std::vector<std::uint8_t> n = NewRecord(c, "Bert", 5);
      c.InsertRecord(n, true);
      if (!FindName(c, "Anna", b)) return false;
      c.DeleteRecord(b, true);
      return true;
    });
  });
  ASSERT_EQ(other.channel().Receive(), 1u);
  EXPECT_EQ(other.Wait(), 0);
  EXPECT_EQ(reader.GetRecordCount(), 1);
  EXPECT_EQ(CurrentName(reader), "Bert");
  EXPECT_FALSE(FindName(writer, "Anna", buffer));
  ASSERT_TRUE(FindName(writer, "Bert", buffer));
  EXPECT_EQ(ValueIn(writer, buffer), 5);
  CloseAll();
  EXPECT_TABLE_SOUND(TablePath());
}

}  // namespace
// One of the stress test's programs: random inserts, edits and deletes of
// its own records until the deadline or the operation budget runs out.
// Sends its insert count, its delete count, then (number, value) per record
// it still has, and 0xFFFFFFFF at the end.
int StressProgram(const std::string& folder, TLockProtocol protocol, std::uint32_t program, Channel& channel) {
  TDataSession session;
  session.SetLockProtocol(protocol);
  session.MutableTableSettings().LockRetryCount = 50;
  session.MutableTableSettings().LockWaitTime = 5;
  TDataDirectory& directory = session.OpenDirectory("Stress", folder);
  TDataCursor cursor(directory);
  cursor.SetTableName(kTable);
  cursor.OpenCursor();
  cursor.SelectIndex("ByName");
  std::mt19937 random(program * 7919u + 1u);
  std::map<std::uint32_t, std::int32_t> mine;  // record number in the name -> value
  std::uint32_t inserts = 0;
  std::uint32_t deletes = 0;
  std::uint32_t next = 1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  const auto name_of = [&](std::uint32_t k) { return "P" + std::to_string(program) + "-" + std::to_string(k); };
  for (int op = 0; op < 300 && std::chrono::steady_clock::now() < deadline; ++op) {
    const int kind = mine.empty() ? 0 : static_cast<int>(random() % 3);
    const std::int32_t value = static_cast<std::int32_t>(random() % 100000);
    try {
      if (kind == 0) {
        std::vector<std::uint8_t> buffer = NewRecord(cursor, name_of(next), value);
        cursor.InsertRecord(buffer, true);
        mine[next++] = value;
        ++inserts;
        continue;
      }
      auto it = mine.begin();
      std::advance(it, static_cast<long>(random() % mine.size()));
      std::vector<std::uint8_t> buffer;
      if (!FindName(cursor, name_of(it->first), buffer)) return 2;
      if (kind == 1) {
        if (StartEdit(cursor, buffer) != 0) return 3;
        storage::TRecordImage(buffer).SetInteger(Layout(cursor, kValue), value);
        try {
          cursor.ModifyRecord(buffer, true, false);
        } catch (...) {
          cursor.CancelEdit();
          throw;
        }
        it->second = value;
      } else {
        cursor.DeleteRecord(buffer, true);
        mine.erase(it);
        ++deletes;
      }
    } catch (const storage::EVoraEngineError& e) {
      // Another program's lock outlasting the retries is allowed; nothing
      // else is.
      if (e.EngineCode != storage::VORA_RECLOCKFAILED && e.EngineCode != storage::VORA_LOCKTIMEOUT) return 4;
    }
  }
  channel.Send(inserts);
  channel.Send(deletes);
  for (const auto& [k, value] : mine) {
    channel.Send(k);
    channel.Send(static_cast<std::uint32_t>(value));
  }
  channel.Send(0xFFFFFFFFu);
  channel.Receive();
  return 0;
}

TEST_F(DataCursorWritesTest, FourProgramsWritingAtOnceLeaveASoundTable) {
  for (const TLockProtocol protocol : {TLockProtocol::lpPessimistic, TLockProtocol::lpOptimistic}) {
    SCOPED_TRACE(static_cast<int>(protocol));
    constexpr std::uint32_t kPrograms = 4;
    std::vector<std::unique_ptr<ChildProcess>> programs;
    for (std::uint32_t p = 0; p < kPrograms; ++p) {
      programs.push_back(std::make_unique<ChildProcess>([&, p](Channel& channel) {
        return StressProgram(dir_.path().string(), protocol, p, channel);
      }));
    }
    std::int64_t active = 0;
    std::vector<std::pair<std::string, std::int32_t>> expected;
    for (std::uint32_t p = 0; p < kPrograms; ++p) {
      Channel& channel = programs[p]->channel();
      const auto inserts = channel.Receive();
      const auto deletes = channel.Receive();
      ASSERT_TRUE(inserts && deletes) << "program " << p << " ended with " << programs[p]->Wait();
      active += static_cast<std::int64_t>(*inserts) - static_cast<std::int64_t>(*deletes);
      for (;;) {
        const auto k = channel.Receive();
        ASSERT_TRUE(k);
        if (*k == 0xFFFFFFFFu) break;
        const auto value = channel.Receive();
        ASSERT_TRUE(value);
        expected.emplace_back("P" + std::to_string(p) + "-" + std::to_string(*k), static_cast<std::int32_t>(*value));
      }
    }
    for (auto& program : programs) EXPECT_EQ(program->Wait(), 0);
    EXPECT_TABLE_SOUND(TablePath());
    TDataCursor& cursor = Open("ByName");
    EXPECT_EQ(cursor.GetRecordCount(), active);
    EXPECT_EQ(static_cast<std::int64_t>(expected.size()), active);
    for (const auto& [name, value] : expected) {
      std::vector<std::uint8_t> buffer;
      ASSERT_TRUE(FindName(cursor, name, buffer)) << name;
      EXPECT_EQ(ValueIn(cursor, buffer), value) << name;
    }
    // Empty the table for the other protocol.
    cursor.MoveFirst();
    cursor.MoveNext();
    std::vector<std::uint8_t> buffer(cursor.RecordSize());
    while (cursor.GetCurrentRecord(buffer) == 0) cursor.DeleteRecord(buffer, true);
    CloseAll();
  }
}


}  // namespace telvora::engine
