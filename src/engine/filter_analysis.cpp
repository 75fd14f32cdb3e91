#include "engine/filter_analysis.h"

#include <algorithm>

#include "engine/filter_column_test.h"

namespace telvora::engine {

namespace {

class TAnalyser {
 public:
  TAnalyser(TFilterIndexRanges& ranges, std::span<const storage::TFieldDescriptor> fields, bool cost_estimates,
            TFilterPlan& plan)
      : ranges_(ranges), fields_(fields), cost_estimates_(cost_estimates), plan_(plan) {}

  TNodePlan Analyse(TExpToken& node) {
    TNodePlan result;
    if (node.kind == ekBinary && (node.code == ecAnd || node.code == ecOr) && node.left && node.right) {
      TNodePlan left = Analyse(*node.left);
      TNodePlan right = Analyse(*node.right);
      if (node.code == ecAnd) {
        if (right.level > left.level) {
          std::swap(node.left, node.right);
          std::swap(left, right);
        }
        result.level = left.level == olFull && right.level == olFull ? olFull
                       : left.level != olNone                        ? olPartial
                                                                     : olNone;
        result.estimate = std::min(left.estimate, right.estimate);
      } else {
        result.level = left.level == olFull && right.level == olFull ? olFull : olNone;
        result.estimate = std::max(left.estimate, right.estimate);
      }
      result.estimated = left.estimated && right.estimated;
      result.index_bytes = left.index_bytes + right.index_bytes;
    } else if (node.kind == ekUnary && node.left) {
      result = Analyse(*node.left);
      result.slot = -1;
    } else if (const std::optional<TColumnTest> test = RecogniseColumnTest(node, fields_)) {
      result = ColumnTest(*test);
    }
    plan_.nodes[&node] = result;
    return result;
  }

 private:
  TNodePlan ColumnTest(const TColumnTest& test) {
    TNodePlan result;
    const std::optional<int> slot = ranges_.FindIndex(test);
    if (!slot) return result;
    if (cost_estimates_) {
      const std::optional<std::int64_t> estimate = ranges_.Estimate(test, *slot);
      if (!estimate) return result;
      result.estimated = true;
      result.estimate = *estimate;
      const std::size_t key_length = ranges_.KeyLength(*slot);
      result.index_bytes = *estimate * static_cast<std::int64_t>(key_length);
    }
    result.level = olFull;
    result.slot = *slot;
    return result;
  }

  TFilterIndexRanges& ranges_;
  std::span<const storage::TFieldDescriptor> fields_;
  bool cost_estimates_;
  TFilterPlan& plan_;
};

}  // namespace

TNodePlan TFilterPlan::Of(const TExpToken& node) const {
  const auto found = nodes.find(&node);
  return found == nodes.end() ? TNodePlan{} : found->second;
}

TFilterPlan AnalyseFilterTree(TExpToken& root, TFilterIndexRanges& ranges,
                              std::span<const storage::TFieldDescriptor> fields, bool cost_estimates) {
  TFilterPlan plan;
  TAnalyser(ranges, fields, cost_estimates, plan).Analyse(root);
  return plan;
}

}  // namespace telvora::engine
