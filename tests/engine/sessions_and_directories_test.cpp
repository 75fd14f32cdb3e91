#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "storage/engine_error.h"
#include "storage/field_types.h"
#include "storage/file_list.h"
#include "storage/sample_tables.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::engine {
namespace {

namespace fs = std::filesystem;
using storage::EngineErrorCodeOf;
using storage::TDataTable;

// The phone book's six string fields, without indexes.
TTableDefinition ContactsDefinition() {
  TTableDefinition d;
  d.fields = storage::testing::MakeDescriptors({{"Name", storage::kTypeString, 0, 60, 0},
                                                {"Family", storage::kTypeString, 0, 70, 0},
                                                {"Tel1", storage::kTypeString, 0, 12, 0},
                                                {"Tel2", storage::kTypeString, 0, 12, 0},
                                                {"Mobile", storage::kTypeString, 0, 16, 0},
                                                {"Address", storage::kTypeString, 0, 65, 0}});
  return d;
}

template <typename F>
std::uint32_t CodeOf(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return EngineErrorCodeOf(e);
  }
  return 0;
}

class DirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = &session_.OpenDirectory("Contacts", dir_.path().string());
    directory_->CreateTable("PhoneBook", ContactsDefinition(), false, false);
  }
  void TearDown() override { session_.CloseDirectory(*directory_); }

  testing::TempDir dir_;
  TDataSession session_;
  TDataDirectory* directory_ = nullptr;
};

TEST_F(DirectoryTest, CreatedTableIsSoundAndRefusesASecondCreate) {
  EXPECT_TRUE(directory_->TableExists("PhoneBook", false));
  EXPECT_TRUE(directory_->TableExists(" PhoneBook.dat ", false));
  EXPECT_TABLE_SOUND(dir_ / "PhoneBook");
  EXPECT_EQ(CodeOf([&] { directory_->CreateTable("PhoneBook", ContactsDefinition(), false, false); }), 13060u);
  directory_->CreateTable("PhoneBook", ContactsDefinition(), false, true);  // overwrite
  EXPECT_TABLE_SOUND(dir_ / "PhoneBook");
}

TEST_F(DirectoryTest, CursorsOfOneDirectoryShareOneTableObject) {
  TDataTable& first = directory_->OpenTableForCursor("PhoneBook", {});
  TDataTable& second = directory_->OpenTableForCursor("PHONEBOOK.dat", {});
  EXPECT_EQ(&first, &second);
  EXPECT_EQ(directory_->UsersOf(first), 2);

  directory_->CloseTable(first);
  EXPECT_TRUE(second.is_open());  // still used by the second cursor
  EXPECT_EQ(directory_->OpenTableCount(), 1);
  directory_->CloseTable(second);
  EXPECT_EQ(directory_->OpenTableCount(), 0);
  EXPECT_EQ(CodeOf([&] { directory_->CloseTable(second); }), 11010u);
}

TEST_F(DirectoryTest, ExclusiveConflictsAreRefusedWith11013) {
  const struct {
    bool first_exclusive, second_exclusive;
    std::uint32_t expected;
  } cases[] = {{false, true, 11013}, {true, false, 11013}, {true, true, 11013}, {false, false, 0}};
  for (const auto& c : cases) {
    TDataTable& t = directory_->OpenTable("PhoneBook", {.exclusive = c.first_exclusive});
    std::uint32_t code = CodeOf([&] {
      TDataTable& again = directory_->OpenTable("PhoneBook", {.exclusive = c.second_exclusive});
      directory_->CloseTable(again);
    });
    EXPECT_EQ(code, c.expected) << c.first_exclusive << c.second_exclusive;
    directory_->CloseTable(t);
  }
  // Deleting or re-creating a table in use is refused the same way.
  TDataTable& t = directory_->OpenTable("PhoneBook", {});
  EXPECT_EQ(CodeOf([&] { directory_->DeleteTable("PhoneBook", false); }), 11013u);
  EXPECT_EQ(CodeOf([&] { directory_->CreateTable("PhoneBook", ContactsDefinition(), false, true); }), 11013u);
  directory_->CloseTable(t);
  directory_->DeleteTable("PhoneBook", false);
  EXPECT_FALSE(fs::exists(dir_ / "PhoneBook.DAT"));
  EXPECT_FALSE(fs::exists(dir_ / "PhoneBook.IDX"));
}

TEST_F(DirectoryTest, ATableClosedInsideATransactionStaysOpenUntilItEnds) {
  for (bool commit : {true, false}) {
    TDataTable& t = directory_->OpenTable("PhoneBook", {});
    directory_->StartTransaction();
    EXPECT_TRUE(t.in_transaction());
    directory_->CloseTable(t);
    EXPECT_EQ(directory_->OpenTableCount(), 1);
    EXPECT_TRUE(t.is_open());
    if (commit) directory_->Commit(false);
    else directory_->Rollback();
    EXPECT_EQ(directory_->OpenTableCount(), 0) << (commit ? "commit" : "rollback");
  }
  EXPECT_TABLE_SOUND(dir_ / "PhoneBook");
}

TEST_F(DirectoryTest, ALostIndexFileIsRecreatedOnOpen) {
  fs::remove(dir_ / "PhoneBook.IDX");
  TDataTable& t = directory_->OpenTableForCursor("PhoneBook", {});
  // The first cursor has rebuilt what it could (the record-id index) and
  // cleared the flag; the primary index stays unavailable.
  EXPECT_FALSE(t.index_rebuilt());
  EXPECT_TRUE(t.index_file().Header().PrimaryIndexUnavailable());
  directory_->CloseTable(t);
  EXPECT_TRUE(fs::exists(dir_ / "PhoneBook.IDX"));
  EXPECT_TABLE_SOUND(dir_ / "PhoneBook");
}

TEST_F(DirectoryTest, InMemoryTablesLiveInTheMemoryDatabaseAfterTheirLastClose) {
  TDataDirectory& memory = session_.OpenDirectory("Memory", "");
  EXPECT_EQ(memory.path(), "");
  memory.CreateTable("Scratch", ContactsDefinition(), true, false);
  TDataTable& t = memory.OpenTableForCursor("Scratch", {.in_memory = true});
  memory.CloseTable(t);
  EXPECT_TRUE(memory.TableExists("Scratch", true));
  EXPECT_FALSE(memory.TableExists("Scratch", false));
  memory.DeleteTable("Scratch", true);
  EXPECT_FALSE(memory.TableExists("Scratch", true));
  session_.CloseDirectory(memory);
}

TEST(SessionTest, DirectoriesAreSharedByPathAndFreedWithTheirLastUser) {
  testing::TempDir dir;
  TDataSession session;
  TDataDirectory& a = session.OpenDirectory("A", dir.path().string());
  TDataDirectory& b = session.OpenDirectory("B", "  " + dir.path().string() + "/  ");
  EXPECT_EQ(&a, &b);
  EXPECT_EQ(a.reference_count(), 2);
  EXPECT_EQ(a.path(), dir.path().string() + "/");

  // Another spelling of the same folder that differs in case names another
  // folder on this file system, so it gets a directory of its own.
  fs::create_directories(dir / "data");
  fs::create_directories(dir / "DATA");
  TDataDirectory& lower = session.OpenDirectory("L", (dir / "data").string());
  TDataDirectory& upper = session.OpenDirectory("U", (dir / "DATA").string());
  EXPECT_NE(&lower, &upper);

  // An empty path is the session's default folder; "Memory" keeps it empty.
  TDataDirectory& def = session.OpenDirectory("X", "");
  EXPECT_EQ(def.path(), session.DefaultDirectory());
  EXPECT_EQ(session.DirectoryCount(), 4);

  session.CloseDirectory(a);
  EXPECT_EQ(session.DirectoryCount(), 4);
  session.CloseDirectory(b);
  EXPECT_EQ(session.DirectoryCount(), 3);
}

TEST(SessionTest, PasswordsCompareWithCaseAndIgnoreEmptyAndRepeats) {
  TDataSession session;
  session.AddPassword("");
  session.AddPassword("Secret");
  session.AddPassword("Secret");
  EXPECT_TRUE(session.HasPassword("Secret"));
  EXPECT_FALSE(session.HasPassword("secret"));
  session.RemovePassword("Secret");
  EXPECT_FALSE(session.HasPassword("Secret"));
  session.AddPassword(std::string(300, 'p'));
  EXPECT_TRUE(session.HasPassword(std::string(255, 'p')));
}

TEST(SessionTest, EncryptedTablesOpenOnlyWithTheirPassword) {
  testing::TempDir dir;
  TDataSession session;
  TDataDirectory& directory = session.OpenDirectory("Locked", dir.path().string());
  TTableDefinition def = ContactsDefinition();
  def.creation.encrypted = true;
  def.creation.password = "Pass1";
  directory.CreateTable("Locked", def, false, false);
  EXPECT_TABLE_SOUND(dir / "Locked");

  // Without a callback the open fails with 10498 and leaves nothing open.
  EXPECT_EQ(CodeOf([&] { directory.OpenTableForCursor("Locked", {}); }), 10498u);
  EXPECT_EQ(directory.OpenTableCount(), 0);

  // The callback is asked until it gives the right password (with case).
  int asked = 0;
  session.SetPasswordCallback([&](const std::string& table, std::string& password) {
    EXPECT_EQ(table, "Locked");
    password = ++asked == 1 ? "pass1" : "Pass1";
    return true;
  });
  TDataTable& t = directory.OpenTableForCursor("Locked", {});
  EXPECT_EQ(asked, 2);
  directory.CloseTable(t);

  // Now it is in the session's list: no question asked.
  TDataTable& again = directory.OpenTableForCursor("Locked", {});
  EXPECT_EQ(asked, 2);
  directory.CloseTable(again);
  session.CloseDirectory(directory);
}

TEST(SessionTest, TemporaryTableNamesAreFreeNames) {
  testing::TempDir dir;
  TDataSession session;
  session.SetPrivateDir(dir.path().string());
  TDataDirectory& directory = session.OpenDirectory("Temp", dir.path().string());
  const std::string first = directory.MakeTemporaryTableName();
  EXPECT_EQ(first.substr(first.size() - 4), ".DAT");
  EXPECT_LE(first.size(), 5u + 1u + 4u);
  directory.CreateTable(first, ContactsDefinition(), false, false);
  const std::string second = directory.MakeTemporaryTableName();
  EXPECT_NE(first, second);
  session.CloseDirectory(directory);
}

}  // namespace
}  // namespace telvora::engine
