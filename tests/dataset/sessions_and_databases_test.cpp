// Sessions and databases: their refusals and messages, the default session
// and temporary databases that table components open by folder, use counts,
// settings handed to the engine, automatic session names and table
// passwords.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "contacts_table.h"
#include "dataset/vora_database.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"

namespace telvora::dataset::testing {
namespace {

struct MessageCase {
  const char* label;
  std::function<void(const std::string& folder)> op;
  const char* expected_message;
};

class SessionMessages : public ContactsTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(SessionMessages, FailWithTheirMessage) {
  const MessageCase& c = GetParam();
  std::string message;
  try {
    c.op(dir_.path().string());
  } catch (const EDatabaseError& e) {
    message = e.what();
  }
  EXPECT_EQ(message, c.expected_message);
}

// A placed database on the folder, connected.
std::unique_ptr<TVoraDatabase> PlacedDatabase(const std::string& folder, const std::string& name = "Contacts") {
  auto db = std::make_unique<TVoraDatabase>(nullptr);
  db->SetDatabaseName(name);
  db->SetDirectory(folder);
  db->Open();
  return db;
}

INSTANTIATE_TEST_SUITE_P(
    Messages, SessionMessages,
    ::testing::Values(
        MessageCase{"RemotePropertyOnActiveSession",
                    [](const std::string&) {
                      Session().SetActive(true);
                      Session().SetRemoteHost("server");
                    },
                    "Cannot perform this operation on an active session."},
        MessageCase{"RenamingAnAutoSession",
                    [](const std::string&) {
                      platform::TComponent owner(nullptr);
                      auto* s = new TVoraSession(&owner);
                      s->SetName("Mine");
                      s->SetAutoSessionName(true);
                      s->SetSessionName("Other");
                    },
                    "Cannot perform this operation on the active auto-session."},
        MessageCase{"DuplicateSessionNameInAnotherCase",
                    [](const std::string&) {
                      TVoraSession s(nullptr);
                      s.SetSessionName("default");
                    },
                    "Session name default already exists."},
        MessageCase{"UnknownSessionName", [](const std::string&) { Sessions().GetSession("Nope"); },
                    "Session name Nope is not valid."},
        MessageCase{"TableOfAnUnknownSession",
                    [](const std::string& folder) {
                      TVoraTable table(nullptr);
                      table.SetDatabaseName(folder);
                      table.SetTableName(kContacts);
                      table.SetSessionName("Nope");
                      table.Open();
                    },
                    "Session name Nope is not valid."},
        MessageCase{"ActivatingWithoutName",
                    [](const std::string&) {
                      TVoraSession s(nullptr);
                      s.SetActive(true);
                    },
                    "Session name is missing."},
        MessageCase{"AutoNamingBesideAnotherSession",
                    [](const std::string&) {
                      platform::TComponent owner(nullptr);
                      new TVoraSession(&owner);
                      auto* second = new TVoraSession(&owner);
                      second->SetAutoSessionName(true);
                    },
                    "The active auto-session can be the only active session."},
        MessageCase{"SecondAutoSessionOnAnOwner",
                    [](const std::string&) {
                      platform::TComponent owner(nullptr);
                      auto* first = new TVoraSession(&owner);
                      first->SetAutoSessionName(true);
                      new TVoraSession(&owner);
                    },
                    "This auto-session already exists."},
        MessageCase{"PlacedDatabaseWithoutName",
                    [](const std::string&) {
                      TVoraDatabase db(nullptr);
                      db.Open();
                    },
                    "Database name is missing."},
        MessageCase{"PathNameForAPlacedDatabase",
                    [](const std::string&) {
                      TVoraDatabase db(nullptr);
                      db.SetDatabaseName("C:\\Data");
                    },
                    "Database name C:/Data is not valid."},
        MessageCase{"DuplicateDatabaseName",
                    [](const std::string& folder) {
                      auto first = PlacedDatabase(folder);
                      TVoraDatabase second(nullptr);
                      second.SetDatabaseName("contacts");
                    },
                    "Database name contacts already exists."},
        MessageCase{"ChangingAConnectedDatabase",
                    [](const std::string& folder) { PlacedDatabase(folder)->SetDirectory("/tmp"); },
                    "Cannot perform this operation on an open database."},
        MessageCase{"TransactionOnAClosedDatabase",
                    [](const std::string&) {
                      TVoraDatabase db(nullptr);
                      db.SetDatabaseName("Contacts");
                      db.StartTransaction();
                    },
                    "Cannot perform this operation on a closed database."},
        MessageCase{"CommitWithoutTransaction", [](const std::string& folder) { PlacedDatabase(folder)->Commit(); },
                    "Database Contacts has no active transaction."},
        MessageCase{"RollbackWithoutTransaction",
                    [](const std::string& folder) { PlacedDatabase(folder)->Rollback(); },
                    "Database Contacts has no active transaction."},
        MessageCase{"SecondTransaction",
                    [](const std::string& folder) {
                      auto db = PlacedDatabase(folder);
                      db->StartTransaction();
                      db->StartTransaction();
                    },
                    "Database Contacts already has an active transaction."}),
    [](const ::testing::TestParamInfo<MessageCase>& p) { return std::string(p.param.label); });

class Databases : public ContactsTest {
 protected:
  void SetUp() override { CreateContacts(dir_.path(), {{"Ali", "Karimi", "111"}}); }
};

TEST_F(Databases, TablesOfOneFolderShareOneTemporaryDatabase) {
  auto first = MakeTable();
  auto second = MakeTable();
  first->Open();
  second->Open();
  TVoraDatabase* db = first->Database();
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(second->Database(), db);
  EXPECT_TRUE(db->Temporary());
  EXPECT_EQ(db->Session(), &Session());
  EXPECT_EQ(db->Directory(), dir_.path().string());
  EXPECT_EQ(db->UseCount(), 2);
  EXPECT_EQ(db->DataSetCount(), 2);
  first->Close();
  EXPECT_EQ(db->UseCount(), 1);
  second->Close();
  // KeepConnections: the database stays connected without users.
  EXPECT_EQ(db->UseCount(), 0);
  EXPECT_TRUE(db->Connected());
  EXPECT_EQ(Session().DatabaseCount(), 1);
}

TEST_F(Databases, WithoutKeepConnectionsTheLastUserFreesTheTemporaryDatabase) {
  Session().SetKeepConnections(false);
  auto table = MakeTable();
  table->Open();
  EXPECT_EQ(Session().DatabaseCount(), 1);
  table->Close();
  EXPECT_EQ(Session().DatabaseCount(), 0);
  Session().SetKeepConnections(true);
}

TEST_F(Databases, ClosingADatabaseClosesItsTables) {
  auto db = PlacedDatabase(dir_.path().string());
  TVoraTable table(nullptr);
  table.SetDatabaseName("Contacts");
  table.SetTableName(kContacts);
  table.Open();
  EXPECT_EQ(table.Database(), db.get());
  EXPECT_EQ(table.FieldByName("Name").AsString(), "Ali");
  db->Close();
  EXPECT_FALSE(table.Active());
  EXPECT_EQ(table.Database(), nullptr);
  EXPECT_EQ(db->DataSetCount(), 0);
}

TEST_F(Databases, DeactivatingTheSessionFreesTemporaryDatabasesAndClosesTables) {
  auto table = MakeTable();
  table->Open();
  Session().SetActive(false);
  EXPECT_FALSE(table->Active());
  EXPECT_EQ(Session().DatabaseCount(), 0);
  EXPECT_EQ(Sessions().CurrentEngineSession(), nullptr);
  table->Open();
  EXPECT_TRUE(Session().Active());
}

TEST_F(Databases, MemoryDatabaseHasNoDirectory) {
  TVoraDatabase& db = Session().OpenDatabase("memory", nullptr);
  EXPECT_TRUE(db.Temporary());
  EXPECT_EQ(db.Directory(), "");
  EXPECT_EQ(db.Handle()->path(), "");
  Session().CloseDatabase(db);
}

TEST_F(Databases, FieldDefinitionsOfAClosedTableReleaseTheirDatabase) {
  Session().SetKeepConnections(false);
  auto table = MakeTable();
  const auto& defs = table->FieldDefs();
  ASSERT_EQ(defs.size(), 4u);
  EXPECT_EQ(defs[3].Name, "Tel1");
  EXPECT_EQ(Session().DatabaseCount(), 0);
  EXPECT_EQ(table->Database(), nullptr);
  Session().SetKeepConnections(true);
}

TEST(SessionSettings, ReachTheEngineSessionAndIgnoreTooManyProgressSteps) {
  TVoraSession s(nullptr);
  s.SetSessionName("Settings");
  s.SetLockRetryCount(3);
  s.SetLockProtocol(TLockProtocol::lpOptimistic);
  s.SetProgressSteps(101);
  EXPECT_EQ(s.ProgressSteps(), 20);
  s.SetActive(true);
  ASSERT_NE(s.EngineSession(), nullptr);
  EXPECT_NE(s.EngineSession(), Session().EngineSession());
  EXPECT_EQ(s.EngineSession()->TableSettings().LockRetryCount, 3u);
  EXPECT_EQ(s.EngineSession()->LockProtocol(), TLockProtocol::lpOptimistic);
  EXPECT_EQ(s.EngineSession()->TableSettings().DataBufferBytes, TVoraSession::kDataBufferBytes);
  s.SetLockWaitTime(7);
  s.SetProgressSteps(50);
  EXPECT_EQ(s.EngineSession()->TableSettings().LockWaitTime, 7u);
  EXPECT_EQ(s.EngineSession()->ProgressSteps(), 50);
  // Activating another session started the default one first.
  EXPECT_TRUE(Session().Active());
  s.SetActive(false);
  EXPECT_EQ(Sessions().CurrentEngineSession(), Session().EngineSession());
  Session().SetActive(false);
}

TEST(SessionNames, AutomaticNamesReachTheOwnersComponents) {
  platform::TComponent owner(nullptr);
  auto* table = new TVoraTable(&owner);
  auto* session = new TVoraSession(&owner);
  session->SetName("Sess");
  session->SetAutoSessionName(true);
  EXPECT_EQ(session->SessionName(), "Sess_1");
  EXPECT_EQ(table->SessionName(), "Sess_1");
  auto* later = new TVoraTable(&owner);
  EXPECT_EQ(later->SessionName(), "Sess_1");
  EXPECT_EQ(Sessions().FindSession("sess_1"), session);

  platform::TComponent other_owner(nullptr);
  auto* other = new TVoraSession(&other_owner);
  other->SetName("Sess");
  other->SetAutoSessionName(true);
  EXPECT_EQ(other->SessionName(), "Sess_2");
  session->SetAutoSessionName(false);
  platform::TComponent third_owner(nullptr);
  auto* third = new TVoraSession(&third_owner);
  third->SetName("Third");
  third->SetAutoSessionName(true);
  EXPECT_EQ(third->SessionName(), "Third_1");
}

// An encrypted table: the password comes from the list, the OnPassword
// event or the password dialog; without one the open fails with 10498.
struct PasswordCase {
  const char* label;
  std::function<void(TVoraSession&)> arrange;
  const char* expected_outcome;
};

class TablePasswords : public ContactsTest, public ::testing::WithParamInterface<PasswordCase> {
 protected:
  void SetUp() override { CreateContacts(dir_.path(), {{"Ali", "Karimi", "111"}}, "Secret"); }
  void TearDown() override {
    Session().OnPassword = nullptr;
    Sessions().SetPasswordDialog(nullptr);
    Session().RemoveAllPasswords();
    ContactsTest::TearDown();
  }
};

TEST_P(TablePasswords, DecideWhetherTheTableOpens) {
  GetParam().arrange(Session());
  auto table = MakeTable();
  std::string outcome = "opened";
  try {
    table->Open();
  } catch (const storage::EVoraEngineError& e) {
    outcome = "error " + std::to_string(e.EngineCode);
  }
  EXPECT_EQ(outcome, GetParam().expected_outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, TablePasswords,
    ::testing::Values(
        PasswordCase{"NoneGiven", [](TVoraSession&) {}, "error 10498"},
        PasswordCase{"InTheList", [](TVoraSession& s) { s.AddPassword("Secret"); }, "opened"},
        PasswordCase{"ListComparesCase", [](TVoraSession& s) { s.AddPassword("secret"); }, "error 10498"},
        PasswordCase{"EventAddsIt",
                     [](TVoraSession& s) {
                       s.OnPassword = [](TVoraSession& session, bool& go_on) {
                         session.AddPassword("Secret");
                         go_on = true;
                       };
                     },
                     "opened"},
        PasswordCase{"EventGivesUp", [](TVoraSession& s) { s.OnPassword = [](TVoraSession&, bool&) {}; },
                     "error 10498"},
        PasswordCase{"DialogOk",
                     [](TVoraSession&) {
                       Sessions().SetPasswordDialog([](TVoraSession& session) {
                         session.AddPassword("Secret");
                         return true;
                       });
                     },
                     "opened"},
        PasswordCase{"DialogCancel",
                     [](TVoraSession&) { Sessions().SetPasswordDialog([](TVoraSession&) { return false; }); },
                     "error 10498"}),
    [](const ::testing::TestParamInfo<PasswordCase>& p) { return std::string(p.param.label); });

}  // namespace
}  // namespace telvora::dataset::testing
