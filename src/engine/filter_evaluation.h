#pragma once
// TFilterEvaluator: builds the record set of one filter from its candidate
// set S (the records the cursor could show: LiveSet, AND RangeSet with a
// range, AND for a callback filter the sets of the active filters before
// it).
//
// Every node leaves S holding exactly the records of S that pass it:
//   - a node the plan gives a level answers from the index (a column test:
//     S AND its key-range set), unless its estimates are known and reading
//     the candidates costs fewer bytes than the index range would
//     (candidates x record size < index bytes);
//   - NOT: S AND NOT (the child's answer on a copy of S);
//   - AND: the left side narrows S, then the right side narrows it further;
//   - OR: the union of both sides' answers on copies of S;
//   - TEXTSEARCH of a text-indexed column: S AND the records whose entries
//     in the text index hold every searched word (filter_text_search.h);
//   - any other node, and a column test whose constant has no key form,
//     reads the records of S and keeps those for which the node is true.
// A string option compare of a column is tested on the record image
// directly, by the same comparison the expression evaluator makes, so that
// a full read of a large table does not build value nodes per record.
//
// Reads go through the table's record cache and index pages; a read that
// finds the table changed throws ETableChanged (the caller rebuilds).
// Used by the cursor's thread.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <unordered_map>

#include "engine/exp_token.h"
#include "engine/expression_evaluator.h"
#include "engine/filter_analysis.h"
#include "engine/filter_index_ranges.h"
#include "engine/records_bitmap.h"
#include "storage/data_table.h"

namespace telvora::engine {

// A callback filter's question about one record: keep it or not.
using TRecordTest = std::function<bool(std::span<const std::uint8_t> record, std::int32_t record_number)>;

class TFilterEvaluator {
 public:
  TFilterEvaluator(storage::TDataTable& table, TFilterIndexRanges& ranges, TEvaluationContext context,
                   std::span<const storage::TFieldDescriptor> fields, bool complement_ranges);

  // S becomes the records of S that pass the tree.
  void Evaluate(const TExpToken& root, const TFilterPlan& plan, TRecordsBitmap& set);
  // S becomes the records of S that the test keeps.
  void EvaluateRecords(const TRecordTest& test, TRecordsBitmap& set);
  // Whether one record image passes the tree.
  bool Passes(const TExpToken& root, std::span<const std::uint8_t> record) const;

 private:
  void Node(const TExpToken& node, const TFilterPlan& plan, TRecordsBitmap& set);
  void ReadRecords(const TExpToken& node, TRecordsBitmap& set);
  std::unique_ptr<TRecordsBitmap> Copy(const TRecordsBitmap& set) const;
  // A string option compare of a column's value (read from a record).
  bool OptionComparePasses(const TExpToken& node, const TExpToken& value) const;

  storage::TDataTable& table_;
  TFilterIndexRanges& ranges_;
  TEvaluationContext context_;
  std::vector<storage::TFieldDescriptor> fields_;
  bool complement_ranges_;
  // Scratch value of the in-place compare, and the answers of a partial
  // compare under a locale by the beginnings of the values it was asked
  // about (for one node at a time).
  mutable TExpToken value_;
  mutable std::unordered_map<std::string, bool> prefix_answers_;
  mutable const TExpToken* prefix_answers_node_ = nullptr;
};

}  // namespace telvora::engine
