#pragma once
// TFilter: one filter of a cursor: an expression (a prepared tree, see
// filter_prepare.h) or a callback of the cursor's owner, the record set of
// the records that pass it, and whether it takes part in the cursor's
// visible set.
//
// Invariants: an expression filter holds a tree and its analysis, a
// callback filter a callback and neither; expression filters stand before
// callback filters in the cursor's list; the set holds the passing records
// among the cursor's candidates while the filter is active in set mode.
//
// Filters are made, switched and dropped only through their cursor
// (TDataCursor::AddFilter and the others) and used by the cursor's thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "engine/exp_token.h"
#include "engine/filter_analysis.h"
#include "engine/filter_prepare.h"
#include "engine/records_bitmap.h"

namespace telvora::engine {

class TDataCursor;

// The owner's filter function: (dataset, cursor, record image, record
// number) -> keep the record.
using TFilterCallback =
    std::function<bool(void* dataset, TDataCursor& cursor, std::span<const std::uint8_t> record, std::int32_t number)>;

// What AddFilter is told besides the expression or callback.
struct TFilterSwitches {
  TFilterOptions options;
  bool cost_estimates = false;
  bool complement_ranges = false;
  bool goes_last = false;
};

class TFilter {
 public:
  TFilter(TDataCursor& cursor, const TFilterSwitches& switches);
  ~TFilter();
  TFilter(const TFilter&) = delete;
  TFilter& operator=(const TFilter&) = delete;

  TDataCursor& cursor() const { return cursor_; }
  bool Active() const { return active_; }
  bool IsCallback() const { return static_cast<bool>(callback_); }
  bool GoesLast() const { return switches_.goes_last; }
  const TFilterSwitches& Switches() const { return switches_; }
  // The prepared tree; null for a callback filter.
  const TExpToken* Tree() const { return tree_.get(); }
  // 0, 1 or 2 for the whole tree (0 for a callback filter).
  int OptimizationLevel() const { return plan_.Of(*tree_or_none()).level; }
  const TFilterPlan& Plan() const { return plan_; }
  const TRecordsBitmap& Set() const { return *set_; }

 private:
  friend class TDataCursor;
  const TExpToken* tree_or_none() const;

  TDataCursor& cursor_;
  TFilterSwitches switches_;
  TExpTokenPtr tree_;
  TFilterPlan plan_;
  TFilterCallback callback_;
  void* dataset_ = nullptr;
  std::unique_ptr<TRecordsBitmap> set_;
  bool active_ = false;
};

}  // namespace telvora::engine
