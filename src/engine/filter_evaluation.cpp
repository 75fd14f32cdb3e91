#include "engine/filter_evaluation.h"

#include <algorithm>

#include "engine/filter_column_test.h"
#include "engine/filter_text_search.h"
#include "engine/index_reader.h"
#include "engine/locale_collation.h"
#include "storage/field_types.h"
#include "storage/record_image.h"

namespace telvora::engine {

namespace {

// Returns a set to the pool when it goes.
struct TPooledSet {
  std::unique_ptr<TRecordsBitmap> set;
  ~TPooledSet() { TRecordsBitmapStack::Instance().Release(std::move(set)); }
};

}  // namespace

TFilterEvaluator::TFilterEvaluator(storage::TDataTable& table, TFilterIndexRanges& ranges,
                                   TEvaluationContext context, std::span<const storage::TFieldDescriptor> fields,
                                   bool complement_ranges)
    : table_(table),
      ranges_(ranges),
      context_(std::move(context)),
      fields_(fields.begin(), fields.end()),
      complement_ranges_(complement_ranges) {}

std::unique_ptr<TRecordsBitmap> TFilterEvaluator::Copy(const TRecordsBitmap& set) const {
  std::unique_ptr<TRecordsBitmap> copy = TRecordsBitmapStack::Instance().Take();
  copy->CopyFrom(set);
  return copy;
}

void TFilterEvaluator::Evaluate(const TExpToken& root, const TFilterPlan& plan, TRecordsBitmap& set) {
  Node(root, plan, set);
}

void TFilterEvaluator::Node(const TExpToken& node, const TFilterPlan& plan, TRecordsBitmap& set) {
  const TNodePlan here = plan.Of(node);
  const bool by_index =
      here.level != olNone &&
      !(here.estimated && static_cast<std::int64_t>(set.Count()) * table_.data_file().RecordSize() < here.index_bytes);
  if (!by_index) {
    ReadRecords(node, set);
    return;
  }
  if (node.kind == ekBinary && node.code == ecAnd) {
    Node(*node.left, plan, set);
    Node(*node.right, plan, set);
    return;
  }
  if (node.kind == ekBinary && node.code == ecOr) {
    TPooledSet left{Copy(set)};
    Node(*node.left, plan, *left.set);
    Node(*node.right, plan, set);
    set.Or(*left.set);
    return;
  }
  if (node.kind == ekUnary && node.code == ecNot) {
    TPooledSet child{Copy(set)};
    Node(*node.left, plan, *child.set);
    child.set->Not();
    set.And(*child.set);
    return;
  }
  if (const std::optional<TTextSearchTest> search = RecogniseTextSearch(node, ranges_.TextFields())) {
    TTextIndexSearch(table_, context_.locale, table_.table_name()).Narrow(*search, set);
    return;
  }
  const std::optional<TColumnTest> test = RecogniseColumnTest(node, fields_);
  std::optional<TIndexPlaces> places;
  if (test && here.slot >= 0) places = ranges_.Places(*test, here.slot);
  if (!places) {
    ReadRecords(node, set);
    return;
  }
  TPooledSet found{TRecordsBitmapStack::Instance().Take()};
  if (!places->superset) {
    ranges_.FillSet(*places, complement_ranges_, set.Size(), *found.set);
    set.And(*found.set);
    return;
  }
  // The entries that may match, decided from their keys (for <>: the
  // records whose = holds, which then leave S).
  ranges_.FillMatchingSet(*test, *places, set.Size(), *found.set);
  const bool negated = places->negated;
  if (negated) {
    found.set->Not();
    set.And(*found.set);
  } else {
    set.And(*found.set);
  }
}

bool TFilterEvaluator::Passes(const TExpToken& node, std::span<const std::uint8_t> record) const {
  // The phone book's search, name = 'abc*', on every record of a table
  // without an index: compared in place.
  if (node.kind == ekOptionCompare && node.left && node.left->kind == ekColumn && node.right &&
      node.right->kind == ekConstant) {
    const int number = node.left->field_number;
    if (number >= 1 && static_cast<std::size_t>(number) <= fields_.size() &&
        fields_[static_cast<std::size_t>(number - 1)].Type() == storage::kTypeString) {
      const storage::TFieldLayout field = storage::TFieldLayout::Of(fields_[static_cast<std::size_t>(number - 1)]);
      const storage::TRecordImage image(
          std::span<std::uint8_t>(const_cast<std::uint8_t*>(record.data()), record.size()));
      TExpToken& value = value_;
      value.is_null = image.IsNull(field);
      if (!value.is_null) {
        value.string_value = image.GetString(field);
        value.is_null = value.string_value.empty();
      }
      return OptionComparePasses(node, value);
    }
  }
  return IsTrue(*EvaluateExpression(node, record, context_));
}

bool TFilterEvaluator::OptionComparePasses(const TExpToken& node, const TExpToken& value) const {
  const auto passes = [&] {
    const bool equal =
        OptionCompareEqual(context_.locale, value, *node.right, node.partial_length, node.case_insensitive);
    return node.code == ecNotEqual ? !equal : equal;
  };
  const std::size_t p = static_cast<std::size_t>(std::max(node.partial_length, 0));
  if (context_.locale.byte_order() || p == 0 || value.is_null || value.string_value.size() < p) return passes();
  // Under a locale each compare is a call into the collator. Its answer
  // depends only on the value's first p characters, which many names
  // share: each beginning is compared once per node.
  if (&node != prefix_answers_node_) {
    prefix_answers_.clear();
    prefix_answers_node_ = &node;
  }
  const std::string beginning = value.string_value.substr(0, p);
  const auto known = prefix_answers_.find(beginning);
  if (known != prefix_answers_.end()) return known->second;
  const bool answer = passes();
  prefix_answers_.emplace(beginning, answer);
  return answer;
}

void TFilterEvaluator::ReadRecords(const TExpToken& node, TRecordsBitmap& set) {
  EvaluateRecords([&](std::span<const std::uint8_t> record, std::int32_t) { return Passes(node, record); }, set);
}

void TFilterEvaluator::EvaluateRecords(const TRecordTest& test, TRecordsBitmap& set) {
  storage::TDataFile& data = table_.data_file();
  for (std::int32_t n = set.NextSet(0); n != 0; n = set.NextSet(n)) {
    // Reads run forward through the slots: the file is read ahead.
    storage::TRecord* record = data.GetRecord(n, storage::ReadDirection::kForward, true);
    if (record == nullptr) throw ETableChanged{};
    bool keep = false;
    try {
      keep = test(record->Image(), n);
    } catch (...) {
      data.ReleaseRecord(record);
      throw;
    }
    data.ReleaseRecord(record);
    if (!keep) set.Clear(n);
  }
}

}  // namespace telvora::engine
