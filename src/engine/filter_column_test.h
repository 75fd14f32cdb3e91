#pragma once
// TColumnTest: a node of a prepared filter tree that an index can answer:
// a comparison (= <> < > <= >=), a string option compare, an IN list of
// constants or a BETWEEN of two constants, whose one side is a column (or
// UPPER of a string column) and whose other side is constant.
//
// RecogniseColumnTest reads such a node; any other node gives nullopt. A
// plain value pointing into the tree it was read from, which must outlive
// it; any thread.

#include <optional>
#include <span>
#include <vector>

#include "engine/exp_token.h"
#include "storage/field_descriptor.h"

namespace telvora::engine {

struct TColumnTest {
  const TExpToken* node = nullptr;
  // ecEqual .. ecLessOrEqual (option compares: ecEqual or ecNotEqual),
  // ecInList, ecNotInList, ecBetween, ecNotBetween.
  TExpCode code = ecNone;
  int field_number = 0;  // 1-based
  bool string_column = false;
  // UPPER(column): the values compared are the upper-cased ones.
  bool upper = false;
  // A string option compare: its flags (partial length 0 = whole values).
  bool option_compare = false;
  bool case_insensitive = false;
  int partial_length = 0;
  // The constants: one, the IN list's items, or BETWEEN's two bounds.
  std::vector<const TExpToken*> constants;

  // Whether the index to answer it must have case-insensitive keys (only
  // string columns care).
  bool NeedsCaseInsensitiveIndex() const { return upper || (option_compare && case_insensitive); }
  // Whether the test's answer is the complement of its key ranges.
  bool Negated() const { return code == ecNotEqual || code == ecNotInList || code == ecNotBetween; }
};

std::optional<TColumnTest> RecogniseColumnTest(const TExpToken& node,
                                               std::span<const storage::TFieldDescriptor> fields);

}  // namespace telvora::engine
