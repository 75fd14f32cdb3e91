#pragma once
// The soak test's model: what the shared table must hold after the workers'
// acknowledged writes (soak_worker.h), and every way the journals or the
// table contradict it.
//
// A record exists iff its append was acknowledged and no delete was. Its
// counter equals the number of acknowledged increments, and those set it to
// 1, 2, ..., n, each value once: two posts that both set the same value read
// the same old value, so one overwrote the other (a lost update). A deleted
// record's increments are exactly 1..c, c being the counter its deleter
// read: a higher one was posted over a deleted record. The other fields
// come from the append and from the increment that set the final counter.

#include <cstdint>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace telvora::tools::soak {

// A record as stored (null fields as "").
struct StoredRecord {
  std::string name, family, tel1, tel2, mobile, address;
};

class SoakModel {
 public:
  void AddJournal(const std::string& worker, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
      std::istringstream in(line);
      std::string kind, name;
      in >> kind >> name;
      Entry& entry = entries_[name];
      bool ok = !name.empty();
      if (kind == "A") {
        ++entry.appends;
        ok = ok && static_cast<bool>(in >> entry.family >> entry.tel1);
      } else if (kind == "I") {
        std::int64_t counter = 0;
        Increment increment;
        ok = ok && static_cast<bool>(in >> counter >> increment.tel2 >> increment.mobile);
        if (ok && !entry.increments.emplace(counter, increment).second) {
          faults_.push_back(name + ": counter " + std::to_string(counter) +
                            " acknowledged twice (a lost update), the second time by " + worker);
        }
      } else if (kind == "D") {
        std::int64_t counter = 0;
        ok = ok && static_cast<bool>(in >> counter);
        entry.deletes.push_back(counter);
      } else {
        ok = false;
      }
      if (!ok) faults_.push_back(worker + ": journal line '" + line + "' unreadable");
      ++acknowledged_;
    }
  }

  long Acknowledged() const { return acknowledged_; }

  // Records the model says exist.
  std::size_t LiveRecords() const {
    std::size_t live = 0;
    for (const auto& [name, entry] : entries_) live += entry.appends > 0 && entry.deletes.empty() ? 1 : 0;
    return live;
  }

  // Every contradiction between the journals and the stored records.
  std::vector<std::string> Faults(const std::vector<StoredRecord>& stored) const {
    std::vector<std::string> faults = faults_;
    std::map<std::string, const StoredRecord*> by_name;
    for (const StoredRecord& record : stored) {
      if (!by_name.emplace(record.name, &record).second) faults.push_back(record.name + ": stored twice");
    }
    for (const auto& [name, entry] : entries_) {
      const auto found = by_name.find(name);
      const StoredRecord* record = found == by_name.end() ? nullptr : found->second;
      if (entry.appends != 1) {
        faults.push_back(name + ": append acknowledged " + std::to_string(entry.appends) + " times");
        continue;
      }
      if (entry.deletes.size() > 1) faults.push_back(name + ": delete acknowledged more than once");
      const auto n = static_cast<std::int64_t>(entry.increments.size());
      const std::int64_t highest = entry.increments.empty() ? 0 : entry.increments.rbegin()->first;
      const bool one_to_n = entry.increments.empty() || (entry.increments.begin()->first == 1 && highest == n);
      if (!entry.deletes.empty()) {
        const std::int64_t at_delete = entry.deletes.front();
        if (!one_to_n || highest != at_delete) {
          faults.push_back(name + ": deleted at counter " + std::to_string(at_delete) + " but increments up to " +
                           std::to_string(highest) + " (" + std::to_string(n) + " of them) were acknowledged");
        }
        if (record != nullptr) faults.push_back(name + ": deleted but still stored");
        continue;
      }
      if (!one_to_n) {
        faults.push_back(name + ": " + std::to_string(n) + " increments acknowledged, the highest setting " +
                         std::to_string(highest));
      }
      if (record == nullptr) {
        faults.push_back(name + ": acknowledged but missing");
        continue;
      }
      const Increment last = entry.increments.empty() ? Increment{} : entry.increments.rbegin()->second;
      const StoredRecord expected{name, entry.family, entry.tel1, last.tel2, last.mobile, std::to_string(n)};
      if (record->family != expected.family || record->tel1 != expected.tel1 || record->tel2 != expected.tel2 ||
          record->mobile != expected.mobile || record->address != expected.address) {
        faults.push_back(name + ": stored " + Text(*record) + ", acknowledged " + Text(expected));
      }
    }
    for (const StoredRecord& record : stored) {
      if (entries_.count(record.name) == 0) faults.push_back(record.name + ": stored but never acknowledged");
    }
    return faults;
  }

 private:
  struct Increment {
    std::string tel2, mobile;
  };
  struct Entry {
    int appends = 0;
    std::string family, tel1;
    std::map<std::int64_t, Increment> increments;
    std::vector<std::int64_t> deletes;
  };

  static std::string Text(const StoredRecord& r) {
    return r.family + "/" + r.tel1 + "/" + r.tel2 + "/" + r.mobile + "/counter " + r.address;
  }

  std::map<std::string, Entry> entries_;
  std::vector<std::string> faults_;
  long acknowledged_ = 0;
};

}  // namespace telvora::tools::soak
