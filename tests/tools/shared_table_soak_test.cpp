// Soak: several programs share the phone book table through the table
// component for a bounded time, half of them under the pessimistic lock
// protocol and half under the optimistic one (workers 2 and 3 of every four
// with strict change detection), appending, incrementing a counter in any
// record, deleting, browsing, filtering and searching (soak_worker.h).
// Every few seconds the table verifies as it stands; afterwards it
// verifies, the independent checker finds it sound, and it holds exactly
// what the acknowledged writes say (soak_model.h). TELVORA_SOAK_SECONDS sets
// the time (60 by default), TELVORA_SOAK_WORKERS the number of programs (4).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "db_tool_runner.h"
#include "soak_model.h"
#include "soak_worker.h"
#include "support/ack_journal.h"
#include "support/child_process.h"
#include "support/env_number.h"
#include "support/table_check.h"
#include "support/temp_dir.h"
#include "tools/db_verify_command.h"

namespace telvora::tools {
namespace {

namespace fs = std::filesystem;
using soak::SoakModel;
using soak::StoredRecord;
using telvora::testing::AckJournal;
using telvora::testing::Channel;
using telvora::testing::ChildProcess;
using testing::JsonLines;
using testing::RunTool;

constexpr std::chrono::seconds kLiveCheckPause{3};

std::vector<StoredRecord> DumpedRecords(const fs::path& table) {
  const testing::Outcome dump = RunTool({"dump", table.string()});
  EXPECT_EQ(dump.status, kExitSuccess) << dump.err;
  std::vector<StoredRecord> records;
  for (const nlohmann::json& line : JsonLines(dump.out)) {
    const nlohmann::json& f = line.at("fields");
    auto text = [&](const char* name) { return f.at(name).is_null() ? std::string() : f.at(name).get<std::string>(); };
    records.push_back({text("Name"), text("Family"), text("Tel1"), text("Tel2"), text("Mobile"), text("Address")});
  }
  return records;
}

struct ModelCase {
  const char* label;
  std::vector<std::vector<std::string>> journals;
  std::vector<StoredRecord> stored;
  const char* fault;  // part of the first fault, or "" for none
};

// The model catches each kind of fault the soak is after, and only those.
TEST(SoakModelTest, FindsEachContradictionBetweenJournalsAndTable) {
  const StoredRecord a2{"w0-1", "Amini", "123", "w1", "55", "2"};
  const StoredRecord b0{"w1-1", "Karimi", "9", "", "", "0"};
  const std::vector<ModelCase> cases = {
      {"consistent", {{"A w0-1 Amini 123", "I w0-1 1 w0 7"}, {"A w1-1 Karimi 9", "I w0-1 2 w1 55"}}, {a2, b0}, ""},
      {"deleted after its increments",
       {{"A w0-1 Amini 123", "I w0-1 1 w0 7", "D w0-1 1"}, {"A w1-1 Karimi 9"}},
       {b0},
       ""},
      {"lost update", {{"A w0-1 Amini 123", "I w0-1 1 w0 7"}, {"I w0-1 1 w1 55"}}, {a2}, "acknowledged twice"},
      {"increment after delete", {{"A w0-1 Amini 123", "D w0-1 0"}, {"I w0-1 1 w1 55"}}, {}, "deleted at counter 0"},
      {"deleted twice", {{"A w1-1 Karimi 9", "D w1-1 0"}, {"D w1-1 0"}}, {}, "more than once"},
      {"deleted but stored", {{"A w1-1 Karimi 9", "D w1-1 0"}}, {b0}, "still stored"},
      {"acknowledged append missing", {{"A w1-1 Karimi 9"}}, {}, "missing"},
      {"unacknowledged write stored", {{"A w1-1 Karimi 9"}}, {b0, a2}, "never acknowledged"},
      {"counter behind", {{"A w0-1 Amini 123", "I w0-1 1 w0 7", "I w0-1 2 w1 55"}}, {{a2.name, "Amini", "123", "w1", "55", "1"}},
       "stored"},
      {"last writer's fields lost", {{"A w0-1 Amini 123", "I w0-1 1 w0 7", "I w0-1 2 w1 55"}},
       {{a2.name, "Amini", "123", "w0", "7", "2"}}, "stored"},
      {"gap in the increments", {{"A w0-1 Amini 123", "I w0-1 2 w1 55"}}, {a2}, "the highest setting 2"},
  };
  for (const ModelCase& c : cases) {
    SoakModel model;
    for (std::size_t i = 0; i < c.journals.size(); ++i) model.AddJournal("w" + std::to_string(i), c.journals[i]);
    const std::vector<std::string> faults = model.Faults(c.stored);
    if (std::string(c.fault).empty()) {
      EXPECT_TRUE(faults.empty()) << c.label << ": " << faults.front();
    } else {
      ASSERT_FALSE(faults.empty()) << c.label;
      EXPECT_NE(faults.front().find(c.fault), std::string::npos) << c.label << ": " << faults.front();
    }
  }
}

TEST(SharedTableSoakTest, ProgramsSharingThePhoneBookLeaveItSoundAndAsAcknowledged) {
  telvora::testing::TempDir dir;
  const fs::path folder = dir.path() / "db";
  fs::create_directories(folder);
  const testing::Outcome created = RunTool({"create-phonebook", folder.string()});
  ASSERT_EQ(created.status, kExitSuccess) << created.err;
  const fs::path table = folder / std::string(engine::kPhoneBookTableName);

  const int seconds = telvora::testing::PositiveEnvNumber("TELVORA_SOAK_SECONDS", 60);
  const int worker_count = telvora::testing::PositiveEnvNumber("TELVORA_SOAK_WORKERS", 4);
  std::mt19937 random(20261211);
  std::vector<soak::WorkerPlan> plans;
  for (int id = 0; id < worker_count; ++id) {
    plans.push_back({id, id % 2 == 1, id % 4 >= 2, static_cast<std::uint32_t>(random()), seconds, folder,
                     dir.path() / ("journal-" + soak::WorkerTag(id))});
  }
  // Every worker is forked before this process opens the table, so that
  // none shares an open file (or its locks) with another.
  std::vector<std::unique_ptr<ChildProcess>> workers;
  for (const soak::WorkerPlan& plan : plans) {
    workers.push_back(std::make_unique<ChildProcess>([plan](Channel& channel) {
      try {
        return soak::SoakWorker(plan).Run(channel);
      } catch (const std::exception& e) {
        std::cerr << soak::WorkerTag(plan.id) << ": " << e.what() << "\n";
        return soak::kWorkerFault;
      }
    }));
  }
  for (auto& worker : workers) worker->channel().Send(soak::kGo);

  // While they work, the table is checked now and then as it stands: every
  // write is whole under the write lock, so a reader holding the shared
  // lock must never see a half-made change.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int live_checks = 0;
  int live_problems = 0;
  while (std::chrono::steady_clock::now() + kLiveCheckPause < end) {
    std::this_thread::sleep_for(kLiveCheckPause);
    const std::vector<TableProblem> problems =
        VerifyTableAt(TableArgument{folder.string(), std::string(engine::kPhoneBookTableName)}, "");
    ++live_checks;
    live_problems += static_cast<int>(problems.size());
    for (std::size_t i = 0; i < problems.size() && i < 5; ++i) {
      ADD_FAILURE() << "check " << live_checks << " while the workers write: " << problems[i].Text();
    }
  }

  soak::WorkerCounts total;
  for (std::size_t i = 0; i < workers.size(); ++i) {
    Channel& channel = workers[i]->channel();
    std::vector<std::uint32_t> values;
    while (values.size() < soak::kOpCount + 3) {
      const std::optional<std::uint32_t> value = channel.Receive();
      if (!value) break;
      values.push_back(*value);
    }
    EXPECT_EQ(workers[i]->Wait(), 0) << soak::WorkerTag(plans[i].id) << " failed (its message is above)";
    if (values.size() < soak::kOpCount + 3) continue;
    for (std::size_t op = 0; op < soak::kOpCount; ++op) total.ops[op] += values[op];
    total.in_use += values[soak::kOpCount];
    total.changed += values[soak::kOpCount + 1];
    total.acknowledged += values[soak::kOpCount + 2];
  }

  const testing::Outcome verified = RunTool({"verify", table.string()});
  EXPECT_EQ(verified.status, kExitSuccess) << verified.out << verified.err;
  EXPECT_TABLE_SOUND(table);

  SoakModel model;
  for (const soak::WorkerPlan& plan : plans) model.AddJournal(soak::WorkerTag(plan.id), AckJournal::Lines(plan.journal));
  EXPECT_EQ(model.Acknowledged(), static_cast<long>(total.acknowledged));
  const std::vector<StoredRecord> stored = DumpedRecords(table);
  const std::vector<std::string> faults = model.Faults(stored);
  for (std::size_t i = 0; i < faults.size() && i < 20; ++i) ADD_FAILURE() << faults[i];
  EXPECT_EQ(faults.size(), 0u);

  std::ostringstream summary;
  const auto optimistic = std::count_if(plans.begin(), plans.end(), [](const auto& p) { return p.optimistic; });
  const auto strict =
      std::count_if(plans.begin(), plans.end(), [](const auto& p) { return p.strict_change_detection; });
  summary << "soak: " << plans.size() << " processes (" << plans.size() - optimistic << " pessimistic, " << optimistic
          << " optimistic, " << strict << " of them with strict change detection), " << seconds << " s;";
  std::uint32_t operations = 0;
  for (std::size_t op = 0; op < soak::kOpCount; ++op) {
    summary << " " << soak::kOpNames[op] << " " << total.ops[op] << ",";
    operations += total.ops[op];
  }
  summary << " operations " << operations << "; conflicts: in use " << total.in_use << ", changed or deleted "
          << total.changed << "; acknowledged writes " << total.acknowledged << "; final records " << stored.size()
          << " (model " << model.LiveRecords() << "); faults " << faults.size() << "; checks while writing "
          << live_checks << ", problems " << live_problems;
  std::cout << summary.str() << "\n";
}

}  // namespace
}  // namespace telvora::tools
