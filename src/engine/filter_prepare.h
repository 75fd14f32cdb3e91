#pragma once
// The two rewrites a filter expression goes through after its check and
// before its analysis.
//
// NormaliseFilterTree puts the column on the left of a root comparison
// (under any number of NOTs): 5 < x becomes x > 5.
//
// PrepareFilterTree returns a new tree in which
//   - every operand of a comparison, IN list, BETWEEN, LIKE or function
//     argument list that holds no column is evaluated once and replaced by
//     its value; a non-NULL, non-string value whose type differs from the
//     column side's is converted to that type;
//   - = and <> with a string constant on the right become string option
//     compares (kind ekOptionCompare) when the filter compares without case,
//     or when the constant's '*' characters all stand in one run at its end
//     (ab*, ab**, ab***): the run is removed and the length of what remains
//     becomes the partial length; with no-partial-compare the constant is
//     kept whole and the partial length is 0;
//   - LIKE and NOT LIKE with a pattern that holds no '_' and whose '%'
//     characters all stand in one run at its end become option compares =
//     and <>, case-sensitive, with the run removed (LIKE 'abc%').
// A constant that was only stars (or a pattern only percents) so compares
// the whole value with the empty string, which no stored value is.
//
// A constant that does not convert raises 10051 with the conversion's
// message. Runs on the thread that owns the tree.

#include <string>

#include "engine/exp_token.h"
#include "engine/locale.h"

namespace telvora::engine {

struct TFilterOptions {
  bool case_insensitive = false;    // foCaseInsensitive
  bool no_partial_compare = false;  // foNoPartialCompare
};

void NormaliseFilterTree(TExpTokenPtr& tree);

TExpTokenPtr PrepareFilterTree(const TExpToken& tree, const TFilterOptions& options, const Locale& locale,
                               const std::string& table_name);

// Whether the code is one of = <> < > <= >=, and its mirror (< for >).
bool IsComparisonCode(TExpCode code);
TExpCode MirroredComparison(TExpCode code);

}  // namespace telvora::engine
