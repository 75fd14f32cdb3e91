#pragma once
// One program of the soak test: a table component on the shared phone book
// table, under one lock protocol, doing random appends, increments, deletes,
// browsing, filters, searches and index changes until its time is up.
//
// Every record it appends is named "w<worker>-<seq>", so names are unique
// across the programs, and carries a counter in Address ("0" at first). An
// increment reads the counter in Edit and posts counter + 1, with Tel2 set
// to the worker's tag and a fresh Mobile; one in ten is cancelled instead,
// and one delete in three starts as an edit. Each write whose Post or
// Delete returned goes to the worker's journal as one line:
//   A name family tel1        appended (Address "0", Tel2 and Mobile empty)
//   I name counter tel2 mobile the post that set the counter to this value
//   D name counter             deleted while its counter read this value
// A record in use by another program (10258) or changed or deleted by one
// (8708) is an expected outcome, counted and not journalled. Anything else
// is a fault: the worker prints it and ends with kWorkerFault. Every record
// it reads must look like one the workers write.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "dataset/vora_session.h"
#include "dataset/vora_session_list.h"
#include "dataset/vora_table.h"
#include "engine/phone_book_table.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "support/ack_journal.h"
#include "support/child_process.h"

namespace telvora::tools::soak {

enum Op : std::size_t { kAppend, kIncrement, kDelete, kBrowse, kFilter, kLocate, kIndexChange, kOpCount };
inline constexpr const char* kOpNames[kOpCount] = {"appends",  "increments", "deletes",      "browses",
                                                   "filters", "locates",    "index changes"};

// What a worker sends back when its time is up, in this order.
struct WorkerCounts {
  std::uint32_t ops[kOpCount] = {};
  std::uint32_t in_use = 0;   // 10258
  std::uint32_t changed = 0;  // 8708
  std::uint32_t acknowledged = 0;
};

inline constexpr int kWorkerFault = 10;
inline constexpr std::uint32_t kGo = 1;
inline constexpr std::string_view kFamilies[] = {"Karimi", "Amini", "Rahimi", "Tehrani", "Sadeghi"};
inline constexpr std::string_view kIndexes[] = {"", "ByName", "ByFamily", "ByMobile", "ByAddress"};
// Small, so that conflicts end quickly and the programs keep moving.
inline constexpr std::uint8_t kLockRetryCount = 2;
inline constexpr std::uint16_t kLockWaitTime = 5;
// The table is kept near this size: large enough for index pages to split
// and merge, small enough that records are often shared.
inline constexpr int kTargetRecords = 200;
inline constexpr int kHotRecords = 8;

struct WorkerPlan {
  int id = 0;
  bool optimistic = false;
  // Every read takes the shared lock and looks for changes, instead of only
  // the reads that have to go to the file.
  bool strict_change_detection = false;
  std::uint32_t seed = 0;
  int seconds = 0;
  std::filesystem::path folder;
  std::filesystem::path journal;
};

inline std::string WorkerTag(int id) { return "w" + std::to_string(id); }

inline bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Why a record as read is none the workers could have written ("" when it
// could be).
inline std::string MalformedReason(const std::string& name, const std::string& family, const std::string& tel1,
                                   const std::string& tel2, const std::string& mobile, const std::string& address) {
  const std::size_t dash = name.find('-');
  if (name.size() < 4 || name[0] != 'w' || dash == std::string::npos ||
      !AllDigits(std::string_view(name).substr(1, dash - 1)) || !AllDigits(std::string_view(name).substr(dash + 1))) {
    return "name '" + name + "'";
  }
  bool known_family = false;
  for (std::string_view f : kFamilies) known_family = known_family || f == family;
  if (!known_family) return "family '" + family + "' of " + name;
  if (!AllDigits(tel1)) return "tel1 '" + tel1 + "' of " + name;
  if (!AllDigits(address)) return "counter '" + address + "' of " + name;
  if (!tel2.empty() && (tel2[0] != 'w' || !AllDigits(std::string_view(tel2).substr(1)))) {
    return "tel2 '" + tel2 + "' of " + name;
  }
  if (!mobile.empty() && !AllDigits(mobile)) return "mobile '" + mobile + "' of " + name;
  return "";
}

class SoakWorker {
 public:
  explicit SoakWorker(const WorkerPlan& plan) : plan_(plan), random_(plan.seed), journal_(plan.journal) {
    dataset::TVoraSession& session = dataset::Session();
    session.SetLockProtocol(plan.optimistic ? dataset::TLockProtocol::lpOptimistic
                                            : dataset::TLockProtocol::lpPessimistic);
    session.SetLockRetryCount(kLockRetryCount);
    session.SetLockWaitTime(kLockWaitTime);
    session.SetStrictChangeDetection(plan.strict_change_detection);
    table_.SetDatabaseName(plan.folder.string());
    table_.SetTableName(std::string(engine::kPhoneBookTableName));
  }

  // Opens the table, waits for the go, runs until the time is up and sends
  // the counts. Returns the program's exit status.
  int Run(telvora::testing::Channel& channel) {
    try {
      table_.Open();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: open: %s\n", WorkerTag(plan_.id).c_str(), e.what());
      return kWorkerFault;
    }
    if (channel.Receive() != kGo) return 1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(plan_.seconds);
    int status = 0;
    while (status == 0 && std::chrono::steady_clock::now() < end) status = Step();
    for (std::uint32_t n : counts_.ops) channel.Send(n);
    channel.Send(counts_.in_use);
    channel.Send(counts_.changed);
    channel.Send(counts_.acknowledged);
    return status;
  }

 private:
  // One random operation; 0, or kWorkerFault after printing the fault.
  int Step() {
    const int live = LiveRecords();
    const int dice = static_cast<int>(random_() % 100);
    const int appends = live < kTargetRecords ? 30 : 5;
    const int deletes = live < kTargetRecords / 2 ? 3 : 12;
    Op op = kIndexChange;
    int bound = appends;
    if (dice < bound) {
      op = kAppend;
    } else if (dice < (bound += 35)) {
      op = kIncrement;
    } else if (dice < (bound += deletes)) {
      op = kDelete;
    } else if (dice < (bound += 8)) {
      op = kBrowse;
    } else if (dice < (bound += 6)) {
      op = kFilter;
    } else if (dice < (bound += 6)) {
      op = kLocate;
    }
    ++counts_.ops[op];
    try {
      // Without a refresh the dataset works from what it read before, as a
      // user's window does: edits and deletes of records others changed or
      // deleted meanwhile must then be refused.
      if (random_() % 2 == 0) table_.Refresh();
      switch (op) {
        case kAppend: Append(); break;
        case kIncrement: Increment(); break;
        case kDelete: Delete(); break;
        case kBrowse: Browse(); break;
        case kFilter: FilterCheck(); break;
        case kLocate: LocateOwn(); break;
        default: table_.SetIndexName(std::string(kIndexes[random_() % std::size(kIndexes)])); break;
      }
    } catch (const storage::EVoraEngineError& e) {
      if (e.EngineCode == storage::VORA_RECLOCKFAILED) {
        ++counts_.in_use;
      } else if (e.EngineCode == storage::VORA_KEYORRECDELETED) {
        ++counts_.changed;
      } else {
        return Fault(op, e.what());
      }
      try {
        table_.Cancel();
        table_.Refresh();
      } catch (const std::exception& again) {
        return Fault(op, std::string("after a conflict: ") + again.what());
      }
    } catch (const Malformed& e) {
      return Fault(op, "read " + e.reason);
    } catch (const std::exception& e) {
      return Fault(op, e.what());
    }
    return 0;
  }

  struct Malformed {
    std::string reason;
  };

  int Fault(Op op, const std::string& what) {
    std::fprintf(stderr, "%s (%s%s) %s: %s\n", WorkerTag(plan_.id).c_str(),
                 plan_.optimistic ? "optimistic" : "pessimistic", plan_.strict_change_detection ? ", strict" : "",
                 kOpNames[op], what.c_str());
    return kWorkerFault;
  }

  int LiveRecords() {
    try {
      return table_.RecordCount();
    } catch (const std::exception&) {
      return kTargetRecords;  // the operation that follows reports it
    }
  }

  std::string Text(const char* field) { return table_.FieldByName(field).AsString(); }

  // The current record, checked; its counter.
  std::int64_t CheckCurrent() {
    const std::string reason =
        MalformedReason(Text("Name"), Text("Family"), Text("Tel1"), Text("Tel2"), Text("Mobile"), Text("Address"));
    if (!reason.empty()) throw Malformed{reason};
    return std::stoll(Text("Address"));
  }

  std::string Digits(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += static_cast<char>('0' + random_() % 10);
    return text;
  }

  // Stands on a record: one of the first few in the current order (which
  // every worker goes for, so that they meet), any one by position, or one
  // this worker appended, found by name; false when there is none.
  bool GoToSomeRecord() {
    const std::uint32_t way = random_() % 3;
    if (way == 0 && !own_names_.empty()) {
      return table_.Locate("Name", dataset::TVariant{own_names_[random_() % own_names_.size()]}, {});
    }
    const int count = table_.RecordCount();
    if (count == 0) return false;
    const int reach = way == 1 ? std::min(count, kHotRecords) : count;
    table_.First();
    table_.MoveBy(static_cast<int>(random_() % static_cast<std::uint32_t>(reach)));
    return !table_.IsEmpty();
  }

  // A pessimistic editor sometimes holds its lock a moment, as a user
  // typing would, so that the others meet it.
  void MaybeThink() {
    if (random_() % 4 == 0) std::this_thread::sleep_for(std::chrono::microseconds(random_() % 3000));
  }

  void Append() {
    const std::string name = WorkerTag(plan_.id) + "-" + std::to_string(next_seq_++);
    const std::string family(kFamilies[random_() % std::size(kFamilies)]);
    const std::string tel1 = Digits(7);
    table_.Append();
    table_.FieldByName("Name").SetAsString(name);
    table_.FieldByName("Family").SetAsString(family);
    table_.FieldByName("Tel1").SetAsString(tel1);
    table_.FieldByName("Address").SetAsString("0");
    MaybeThink();
    table_.Post();
    Acknowledge("A " + name + " " + family + " " + tel1);
    own_names_.push_back(name);
  }

  void Increment() {
    if (!GoToSomeRecord()) return;
    table_.Edit();
    const std::int64_t counter = CheckCurrent();
    const std::string name = Text("Name");
    const std::string mobile = Digits(1 + static_cast<int>(random_() % 11));
    table_.FieldByName("Address").SetAsString(std::to_string(counter + 1));
    table_.FieldByName("Tel2").SetAsString(WorkerTag(plan_.id));
    table_.FieldByName("Mobile").SetAsString(mobile);
    MaybeThink();
    if (random_() % 10 == 0) {
      // A change given up leaves the record as it was, and unlocked.
      table_.Cancel();
      return;
    }
    table_.Post();
    Acknowledge("I " + name + " " + std::to_string(counter + 1) + " " + WorkerTag(plan_.id) + " " + mobile);
  }

  // From browsing, or from an edit begun and then thought better of (the
  // record as the edit read it is the one deleted).
  void Delete() {
    if (!GoToSomeRecord()) return;
    const bool editing = random_() % 3 == 0;
    if (editing) table_.Edit();
    const std::int64_t counter = CheckCurrent();
    const std::string name = Text("Name");
    if (editing) {
      table_.FieldByName("Address").SetAsString(std::to_string(counter + 1));
      MaybeThink();
    }
    table_.Delete();
    Acknowledge("D " + name + " " + std::to_string(counter));
  }

  void Browse() {
    const bool forward = random_() % 2 == 0;
    if (forward) {
      table_.First();
    } else {
      table_.Last();
    }
    for (int i = 0; i < 30 && !(forward ? table_.Eof() : table_.Bof()); ++i) {
      CheckCurrent();
      if (forward) {
        table_.Next();
      } else {
        table_.Prior();
      }
    }
  }

  // Every record a filter lets through matches it.
  void FilterCheck() {
    const bool by_name = random_() % 2 == 0;
    const std::string value = by_name ? WorkerTag(static_cast<int>(random_() % 4)) + "-"
                                      : std::string(kFamilies[random_() % std::size(kFamilies)]);
    table_.SetFilter(by_name ? "Name = '" + value + "*'" : "Family = '" + value + "'");
    table_.SetFiltered(true);
    try {
      for (table_.First(); !table_.Eof(); table_.Next()) {
        CheckCurrent();
        const std::string seen = Text(by_name ? "Name" : "Family");
        if (by_name ? seen.rfind(value, 0) != 0 : seen != value) {
          throw Malformed{"'" + seen + "' through the filter " + table_.Filter()};
        }
      }
    } catch (...) {
      table_.SetFiltered(false);
      throw;
    }
    table_.SetFiltered(false);
  }

  void LocateOwn() {
    if (own_names_.empty()) return;
    const std::string name = own_names_[random_() % own_names_.size()];
    if (!table_.Locate("Name", dataset::TVariant{name}, {})) return;  // deleted by someone
    CheckCurrent();
    if (Text("Name") != name) throw Malformed{"'" + Text("Name") + "' found for " + name};
  }

  void Acknowledge(const std::string& line) {
    journal_.Append(line);
    ++counts_.acknowledged;
  }

  WorkerPlan plan_;
  std::mt19937 random_;
  telvora::testing::AckJournal journal_;
  dataset::TVoraTable table_{nullptr};
  WorkerCounts counts_;
  int next_seq_ = 1;
  std::vector<std::string> own_names_;
};

}  // namespace telvora::tools::soak
