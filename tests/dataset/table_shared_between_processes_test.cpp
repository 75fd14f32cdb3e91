// Two table components on one table in two programs: a posted edit of one
// shows in the other after a refresh, a record the other program holds
// for editing fails the edit start with 10258 through OnEditError, whose
// answer decides between failing and trying again, and an edit start that
// waited for the other program's lock finds the record that program posted
// meanwhile changed (8708) instead of editing what it read before.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "contacts_table.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "support/child_process.h"

namespace telvora::dataset::testing {
namespace {

using telvora::testing::Channel;
using telvora::testing::ChildProcess;

constexpr std::uint32_t kGo = 1;
constexpr std::uint32_t kDone = 2;

class SharedTable : public ContactsTest {
 protected:
  void SetUp() override { CreateContacts(dir_.path(), {{"Ali", "Karimi", "111"}, {"Bahar", "Amini", "222"}}); }
  void TearDown() override {
    ContactsTest::TearDown();
    EXPECT_TABLE_SOUND(TablePath());
  }
};

TEST_F(SharedTable, PostedEditShowsAfterRefresh) {
  // The child is forked before this process opens anything, so that it
  // shares no open file (nor its locks) with the parent.
  ChildProcess child([this](Channel& channel) {
    auto table = MakeTable();
    if (channel.Receive() != kGo) return 1;
    table->Open();
    table->Edit();
    table->FieldByName("Tel1").SetAsString("999");
    table->Post();
    channel.Send(kDone);
    channel.Receive();  // until the parent lets go
    return 0;
  });
  auto table = MakeTable();
  table->Open();
  EXPECT_EQ(table->FieldByName("Tel1").AsString(), "111");
  child.channel().Send(kGo);
  ASSERT_EQ(child.channel().Receive(), kDone);
  EXPECT_EQ(table->FieldByName("Tel1").AsString(), "111");
  table->Refresh();
  EXPECT_EQ(table->FieldByName("Tel1").AsString(), "999");
  EXPECT_EQ(table->FieldByName("Name").AsString(), "Ali");
  EXPECT_EQ(child.Wait(), 0);
}

struct LockConflictCase {
  const char* label;
  TDataAction action;
  const char* expected_outcome;
  TDataSetState expected_state;
  int expected_calls;
};

class EditLockConflict : public SharedTable, public ::testing::WithParamInterface<LockConflictCase> {};

TEST_P(EditLockConflict, SurfacesThroughOnEditError) {
  const LockConflictCase& c = GetParam();
  ChildProcess child([this](Channel& channel) {
    auto table = MakeTable();
    table->Open();
    table->Edit();  // holds the first record's lock
    channel.Send(kGo);
    if (channel.Receive() != kGo) return 0;
    table->Cancel();  // releases it
    channel.Send(kDone);
    channel.Receive();  // until the parent lets go
    return 0;
  });
  ASSERT_EQ(child.channel().Receive(), kGo);
  Session().SetLockRetryCount(1);
  Session().SetLockWaitTime(10);
  auto table = MakeTable();
  table->Open();
  int calls = 0;
  table->OnEditError = [&](TVoraDataSet&, const EDatabaseError& e, TDataAction& action) {
    ++calls;
    action = storage::EngineErrorCodeOf(e) == storage::VORA_RECLOCKFAILED && calls == 1 ? c.action
                                                                                          : TDataAction::daFail;
    if (action == TDataAction::daRetry) {
      // The other program lets the record go before the second attempt.
      child.channel().Send(kGo);
      if (child.channel().Receive() != kDone) action = TDataAction::daFail;
    }
  };
  std::string outcome = "editing";
  try {
    table->Edit();
  } catch (const storage::EVoraEngineError& e) {
    outcome = "error " + std::to_string(e.EngineCode);
  }
  EXPECT_EQ(outcome, c.expected_outcome);
  EXPECT_EQ(table->State(), c.expected_state);
  EXPECT_EQ(calls, c.expected_calls);
  table->Cancel();
  table.reset();
  EXPECT_EQ(child.Wait(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, EditLockConflict,
    ::testing::Values(LockConflictCase{"Fail", TDataAction::daFail, "error 10258", TDataSetState::Browsing, 1},
                      LockConflictCase{"RetryAfterRelease", TDataAction::daRetry, "editing", TDataSetState::Editing, 1}),
    [](const ::testing::TestParamInfo<LockConflictCase>& p) { return std::string(p.param.label); });

// With either change detection: under the strict one the edit start's
// operation holds the shared lock and trusts its caches, so the record lock
// it waited for must not let it compare the record against caches that
// missed the other program's post.
class EditAfterWaitingForLock : public SharedTable, public ::testing::WithParamInterface<bool> {};

TEST_P(EditAfterWaitingForLock, FindsTheRecordTheOtherProgramPostedChanged) {
  ChildProcess child([this](Channel& channel) {
    auto table = MakeTable();
    table->Open();
    table->Edit();  // holds the first record's lock
    channel.Send(kGo);
    // The parent is in its edit start meanwhile, trying the lock again and
    // again.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    table->FieldByName("Tel1").SetAsString("999");
    table->Post();
    channel.Send(kDone);
    channel.Receive();  // until the parent lets go
    return 0;
  });
  Session().SetStrictChangeDetection(GetParam());
  Session().SetLockRetryCount(150);
  Session().SetLockWaitTime(20);
  auto table = MakeTable();
  table->Open();
  ASSERT_EQ(table->FieldByName("Tel1").AsString(), "111");
  ASSERT_EQ(child.channel().Receive(), kGo);
  std::string outcome = "editing";
  try {
    table->Edit();
  } catch (const storage::EVoraEngineError& e) {
    outcome = "error " + std::to_string(e.EngineCode);
  }
  EXPECT_EQ(outcome, "error 8708");
  EXPECT_EQ(table->State(), TDataSetState::Browsing);
  table->Cancel();
  ASSERT_EQ(child.channel().Receive(), kDone);
  table->Refresh();
  table->Edit();
  EXPECT_EQ(table->FieldByName("Tel1").AsString(), "999");
  table->Cancel();
  table.reset();
  EXPECT_EQ(child.Wait(), 0);
}

INSTANTIATE_TEST_SUITE_P(ChangeDetection, EditAfterWaitingForLock, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Strict" : "OnRead"; });

}  // namespace
}  // namespace telvora::dataset::testing
