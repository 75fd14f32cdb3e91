#pragma once
// CheckExpression: the semantic check of a parsed tree. It resolves column
// names through a column lookup, turns quoted strings that name a field into
// column references where they stand as operands, rewrites a boolean column
// that stands alone as a condition into column = TRUE, converts string
// constants compared with dates, times and timestamps, applies every type
// rule, and sets each node's type, subtype, size and scale.
//
// The check stops at the first error and raises the context's engine error
// with its message. The tree is changed in place (the root may be replaced).
// Runs on the thread that owns the tree.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/exp_token.h"
#include "engine/expression_context.h"
#include "storage/field_descriptor.h"

namespace telvora::engine {

// What the check learns about a column.
struct TExpColumnInfo {
  int field_number = 0;  // 1-based
  std::string name;
  std::uint8_t type = 0;
  std::uint8_t subtype = 0;
  int declared_size = 0;  // strings, bytes
  int scale = 0;          // BCD decimals
};

// Finds a column by name (without regard to case; the first match).
using TColumnLookup = std::function<std::optional<TExpColumnInfo>(std::string_view name)>;

// The lookup over a table's field descriptors (copied).
TColumnLookup FieldColumnLookup(std::span<const storage::TFieldDescriptor> fields);

void CheckExpression(TExpTokenPtr& tree, const TColumnLookup& lookup, const TExpressionContext& context);

}  // namespace telvora::engine
