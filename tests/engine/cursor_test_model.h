#pragma once
// The in-memory model the cursor tests compare against: the records of a
// test table (see cursor_table_writer.h) and the order each index gives
// them, computed with plain sorting.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "cursor_table_writer.h"

namespace telvora::engine::testing {

enum class TestOrder { kNatural, kPrimary, kByName, kByCityName };

struct ModelRecord {
  std::int32_t n = 0;
  std::int32_t record_id = 0;
  TestRecord fields;
  bool live = true;
};

class CursorModel {
 public:
  void Add(std::int32_t n, std::int32_t record_id, const TestRecord& r) {
    for (ModelRecord& m : records_) {
      if (m.n == n) {  // a reused slot
        m = {n, record_id, r, true};
        return;
      }
    }
    records_.push_back({n, record_id, r, true});
  }
  void Delete(std::int32_t n) {
    for (ModelRecord& m : records_) {
      if (m.n == n) m.live = false;
    }
  }
  const ModelRecord& Get(std::int32_t n) const {
    for (const ModelRecord& m : records_) {
      if (m.n == n) return m;
    }
    return records_.front();
  }

  // Live record numbers in the order, optionally only those whose first
  // key field lies in [low, high] (names for the name indexes, ids for the
  // primary).
  std::vector<std::int32_t> Order(TestOrder order, const std::optional<std::pair<std::string, std::string>>& names = {},
                                  const std::optional<std::pair<std::int32_t, std::int32_t>>& ids = {}) const {
    std::vector<const ModelRecord*> live;
    for (const ModelRecord& m : records_) {
      if (!m.live) continue;
      if (names && (m.fields.name < names->first || m.fields.name > names->second)) continue;
      if (ids && (m.fields.id < ids->first || m.fields.id > ids->second)) continue;
      live.push_back(&m);
    }
    std::sort(live.begin(), live.end(), [order](const ModelRecord* a, const ModelRecord* b) {
      switch (order) {
        case TestOrder::kNatural: return a->n < b->n;
        case TestOrder::kPrimary: return a->fields.id < b->fields.id;
        case TestOrder::kByName:
          return std::tie(a->fields.name, a->record_id) < std::tie(b->fields.name, b->record_id);
        case TestOrder::kByCityName:
          return std::tie(a->fields.city, a->fields.name, a->record_id) <
                 std::tie(b->fields.city, b->fields.name, b->record_id);
      }
      return false;
    });
    std::vector<std::int32_t> numbers;
    for (const ModelRecord* m : live) numbers.push_back(m->n);
    return numbers;
  }

 private:
  std::vector<ModelRecord> records_;
};

}  // namespace telvora::engine::testing
