#pragma once
// AnalyseFilterTree: how each node of a prepared filter tree can be
// answered. Per node, bottom-up:
//   level 2 (full): a column test an index serves (filter_index_ranges.h);
//     NOT and a unary sign take their child's level; AND of two level-2
//     sides and OR of two level-2 sides are level 2;
//   level 1 (partial): an AND of which one side has an index and the other
//     has not; the better side is moved to the left, so that its set
//     narrows the records the other side reads;
//   level 0: everything else (LIKE that stayed a pattern, TEXTSEARCH,
//     functions, sub-selects), and an OR with a side below 2.
// With cost estimates on, a column test's estimate is the number of index
// entries in its key ranges (IN: its smallest item; BETWEEN: the smaller of
// its one-sided ranges) and its index bytes the estimate times the key
// length; AND takes the smaller estimate, OR the larger, both the sum of
// the bytes. A column test whose constant has no key form is level 0 then;
// without estimates that is found only when the set is built, which then
// reads the records instead.
//
// The tree may be changed (AND sides swapped); the plan refers to its
// nodes by address. Runs on the cursor's thread.

#include <cstdint>
#include <unordered_map>

#include "engine/exp_token.h"
#include "engine/filter_index_ranges.h"

namespace telvora::engine {

enum TOptimizationLevel : int { olNone = 0, olPartial = 1, olFull = 2 };

struct TNodePlan {
  int level = olNone;
  bool estimated = false;
  std::int64_t estimate = 0;
  std::int64_t index_bytes = 0;
  int slot = -1;  // the index of a column test
};

struct TFilterPlan {
  std::unordered_map<const TExpToken*, TNodePlan> nodes;

  // The node's plan (level 0 for a node never analysed).
  TNodePlan Of(const TExpToken& node) const;
};

TFilterPlan AnalyseFilterTree(TExpToken& root, TFilterIndexRanges& ranges,
                              std::span<const storage::TFieldDescriptor> fields, bool cost_estimates);

}  // namespace telvora::engine
