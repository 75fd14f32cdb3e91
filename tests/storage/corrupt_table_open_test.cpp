// Damaged tables: each mutation of a sound table's files gives its error
// code from opening the files and checking the headers, never a crash, and
// leaves nothing open (the process's file list holds none of the table's
// files afterwards). The independent checker rejects each mutation as well.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "file_handler_support.h"
#include "open_table_support.h"
#include "storage_error_code.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::storage {
namespace {

namespace fs = std::filesystem;
using testing::ErrorCodeOf;

struct Files {
  std::string data, index, blob;
};

void PutLe(std::string& bytes, std::size_t at, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// Offsets of the sound table below: two fields (Small, Notes memo), record
// size 9 + 3 + 9 = 21, two records.
constexpr std::size_t kFieldCount = 2;
constexpr std::size_t kSlotsStart = 127 + 768 * kFieldCount;

struct Mutation {
  const char* what;
  std::function<void(Files&)> apply;
  std::uint16_t code;
  // False where only this machine's locale test makes the table unusable.
  bool checker_rejects = true;
};

const Mutation kMutations[] = {
    {"wrong version", [](Files& f) { f.data[8] = 4; }, VORA_OLDVERSION},
    {"field count 1025", [](Files& f) { PutLe(f.data, 23, 1025, 2); }, VORA_HEADERCORRUPT},
    {"data file one byte too long", [](Files& f) { f.data.push_back('\0'); }, VORA_HEADERCORRUPT},
    {"data file one record short", [](Files& f) { f.data.resize(f.data.size() - 21); }, VORA_HEADERCORRUPT},
    {"bad descriptor offset", [](Files& f) { PutLe(f.data, 127 + 768 + 90, 13, 2); }, VORA_HEADERCORRUPT},
    {"bad record size", [](Files& f) { PutLe(f.data, 21, 22, 2); }, VORA_HEADERCORRUPT},
    {"deleted-chain head out of range", [](Files& f) { PutLe(f.data, 9, 3, 4); }, VORA_HEADERCORRUPT},
    {"negative deleted-chain head", [](Files& f) { PutLe(f.data, 9, 0xFFFFFFFF, 4); }, VORA_HEADERCORRUPT},
    {"truncated data header", [](Files& f) { f.data.resize(100); }, VORA_READERR},
    {"truncated descriptors", [](Files& f) { f.data.resize(127 + 768 + 10); }, VORA_READERR},
    {"locale not installed", [](Files& f) { PutLe(f.data, 103, 0x0429, 2); }, VORA_CANNOTLOADLDDRV, false},
    {"index version", [](Files& f) { f.index[8] = 6; }, VORA_OLDVERSION},
    {"secondary index count 33", [](Files& f) { f.index[13] = 33; }, VORA_HEADERCORRUPT},
    {"primary index named", [](Files& f) { f.index[14] = 1; f.index[15] = 'X'; }, VORA_HEADERCORRUPT},
    {"truncated index header", [](Files& f) { f.index.resize(4000); }, VORA_READERR},
    {"BLOB version", [](Files& f) { f.blob[8] = 0; }, VORA_OLDVERSION},
    {"BLOB free head without blocks", [](Files& f) { PutLe(f.blob, 9, 5, 4); }, VORA_HEADERCORRUPT},
    {"truncated BLOB header", [](Files& f) { f.blob.resize(511); }, VORA_READERR},
};

class CorruptTableOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::CreateTable(dir_.path(), "Sound", {{"Small", kTypeSmallInt, 0, 0, 0}, {"Notes", kTypeBlob, kSubtypeMemo, 0, 0}});
    auto table = testing::OpenTable(dir_.path(), "Sound", true);
    testing::InsertRecord(*table);
    testing::InsertRecord(*table);
    testing::WriteRecordIdIndex(*table);
    table->CloseFiles();
    sound_ = ReadFiles(dir_.path(), "Sound");
    ASSERT_EQ(sound_.data.size(), kSlotsStart + 2 * 21);
  }

  static Files ReadFiles(const fs::path& dir, const std::string& name) {
    return {test::ReadFileBytes((dir / (name + ".DAT")).string()), test::ReadFileBytes((dir / (name + ".IDX")).string()),
            test::ReadFileBytes((dir / (name + ".BLB")).string())};
  }

  static void WriteFiles(const fs::path& dir, const std::string& name, const Files& files) {
    test::WriteFileBytes((dir / (name + ".DAT")).string(), files.data);
    test::WriteFileBytes((dir / (name + ".IDX")).string(), files.index);
    test::WriteFileBytes((dir / (name + ".BLB")).string(), files.blob);
  }

  // Opens and checks as the first user does; a failed check closes again.
  static int OpenAndCheck(const fs::path& dir, const std::string& name) {
    TDataTable table;
    table.set_directory(dir.string());
    table.set_table_name(name);
    const int code = ErrorCodeOf([&] {
      table.OpenFiles();
      try {
        table.SharedLock();
        // Only language 0 is "installed" here.
        table.CheckHeaders([](std::uint16_t language, std::uint16_t) { return language == 0; });
        table.SharedUnlock();
      } catch (...) {
        table.CloseFiles(true);
        throw;
      }
    });
    EXPECT_FALSE(table.is_open());
    return code;
  }

  static bool AnyFileListed(const fs::path& dir, const std::string& name) {
    for (const char* extension : {".DAT", ".IDX", ".BLB"}) {
      if (TFileList::Instance().Contains((dir / (name + extension)).string(), false)) return true;
    }
    return false;
  }

  telvora::testing::TempDir dir_;
  Files sound_;
};

TEST_F(CorruptTableOpenTest, TheSoundTableOpensAndChecks) {
  EXPECT_TABLE_SOUND(dir_ / "Sound");
  auto table = testing::OpenTable(dir_.path(), "Sound");
  EXPECT_EQ(ErrorCodeOf([&] { table->CheckHeaders([](std::uint16_t, std::uint16_t) { return false; }); }), 0);
  table->CloseFiles();
}

TEST_F(CorruptTableOpenTest, EachMutationGivesItsCodeAndLeavesNothingOpen) {
  for (const Mutation& m : kMutations) {
    SCOPED_TRACE(m.what);
    telvora::testing::TempDir dir;
    Files files = sound_;
    m.apply(files);
    WriteFiles(dir.path(), "Bad", files);
    EXPECT_EQ(OpenAndCheck(dir.path(), "Bad"), m.code);
    EXPECT_FALSE(AnyFileListed(dir.path(), "Bad"));
    if (m.checker_rejects) {
      EXPECT_EQ(telvora::testing::RunTableCheck(dir / "Bad").exit_code, 1);
    }
  }
}

TEST_F(CorruptTableOpenTest, AMissingBlobFileIsReported) {
  fs::remove(dir_ / "Sound.BLB");
  EXPECT_EQ(OpenAndCheck(dir_.path(), "Sound"), VORA_OSENOENT);
  EXPECT_FALSE(AnyFileListed(dir_.path(), "Sound"));
}

TEST_F(CorruptTableOpenTest, AMissingIndexFileIsReplacedByAnEmptyOne) {
  fs::remove(dir_ / "Sound.IDX");
  auto table = testing::OpenTable(dir_.path(), "Sound");
  EXPECT_TRUE(table->index_rebuilt());
  EXPECT_TRUE(table->index_file().PrimaryIndexUnavailable());
  EXPECT_EQ(table->index_file().Header().SecondaryIndexCount(), 0);
  EXPECT_EQ(table->index_file().Header().Descriptor(kRecordIdIndexSlot).Name(), kRecordIdIndexName);
  EXPECT_EQ(ErrorCodeOf([&] { table->CheckHeaders([](std::uint16_t, std::uint16_t) { return false; }); }), 0);
  EXPECT_EQ(fs::file_size(dir_ / "Sound.IDX"), 4096u);
  // What the first cursor then does: count the active records and index
  // every slot again.
  table->WriteLock();
  table->index_file().MutableHeader().SetActiveRecordCount(2);
  testing::WriteRecordIdIndex(*table);
  table->Flush({.force_data_header = true, .force_index_header = true});
  table->WriteUnlock();
  table->CloseFiles();
  EXPECT_TABLE_SOUND(dir_ / "Sound");
}

}  // namespace
}  // namespace telvora::storage
