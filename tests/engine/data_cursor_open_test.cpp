// Opening a cursor: the directory's refusal passes on with its code, a
// cursor on an encrypted table needs the table's password in the session
// (asking the session's handler while it is missing, 10498 when it gives
// up), and a failed open leaves the cursor closed and the table released.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "cursor_table_writer.h"
#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "support/table_check.h"
#include "support/temp_dir.h"

namespace telvora::engine {
namespace {

int CodeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const storage::EVoraEngineError& e) {
    return static_cast<int>(e.EngineCode);
  }
  return 0;
}

TEST(DataCursorOpenTest, AMissingTableIsTheDirectorysError) {
  telvora::testing::TempDir dir;
  TDataSession session;
  TDataDirectory& directory = session.OpenDirectory("Open", dir.path().string());
  {
    TDataCursor cursor(directory);
    cursor.SetTableName("Nowhere");
    EXPECT_EQ(CodeOf([&] { cursor.OpenCursor(); }), storage::VORA_OSENOENT);
    EXPECT_FALSE(cursor.IsOpen());
    EXPECT_EQ(directory.OpenTableCount(), 0);
  }
  session.CloseDirectory(directory);
}

TEST(DataCursorOpenTest, EveryCursorOfAnEncryptedTableNeedsItsPassword) {
  telvora::testing::TempDir dir;
  TDataSession session;
  TDataDirectory& directory = session.OpenDirectory("Open", dir.path().string());
  TTableDefinition definition = testing::CursorTableDefinition();
  definition.creation.encrypted = true;
  definition.creation.password = "Sesame";
  directory.CreateTable("Locked", definition, false, false);
  {
    int asked = 0;
    std::string answer = "sesame";
    session.SetPasswordCallback([&](const std::string& table, std::string& password) {
      EXPECT_EQ(table, "Locked");
      ++asked;
      if (answer.empty()) return false;
      password = answer;
      answer = answer == "sesame" ? "Sesame" : "";
      return true;
    });
    TDataCursor first(directory);
    first.SetTableName("Locked");
    first.OpenCursor();
    EXPECT_EQ(asked, 2);  // the wrong case first, then the password
    EXPECT_EQ(first.GetRecordCount(), 0);

    // The table is open already; the second cursor still checks the
    // session, which no longer has the password, and the handler gives up.
    session.RemoveAllPasswords();
    TDataCursor second(directory);
    second.SetTableName("Locked");
    EXPECT_EQ(CodeOf([&] { second.OpenCursor(); }), storage::VORA_NOTSUFFTABLERIGHTS);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(directory.UsersOf(first.table()), 1);
  }
  EXPECT_EQ(directory.OpenTableCount(), 0);
  session.CloseDirectory(directory);
  EXPECT_TABLE_SOUND(dir.path() / "Locked");
}

}  // namespace
}  // namespace telvora::engine
