#include "engine/filter_column_test.h"

#include "engine/expression_types.h"
#include "engine/filter_prepare.h"
#include "storage/field_types.h"

namespace telvora::engine {

namespace {

// The column a test's column side stands for: a column, or UPPER of one.
bool ReadColumnSide(const TExpToken* side, std::span<const storage::TFieldDescriptor> fields, TColumnTest& test) {
  if (side == nullptr) return false;
  if (side->kind == ekFunction && side->code == ecUpper && side->arguments.size() == 1) {
    test.upper = true;
    side = side->arguments[0].get();
    if (side == nullptr) return false;
  }
  if (side->kind != ekColumn) return false;
  const int number = side->field_number;
  if (number < 1 || static_cast<std::size_t>(number) > fields.size()) return false;
  const storage::TFieldDescriptor& field = fields[static_cast<std::size_t>(number - 1)];
  test.field_number = number;
  test.string_column = field.Type() == storage::kTypeString;
  // A memo or BLOB has no key; UPPER only makes sense of a string.
  if (field.Type() == storage::kTypeBlob) return false;
  if (test.upper && !test.string_column) return false;
  return true;
}

bool IsConstant(const TExpToken* node) { return node != nullptr && node->kind == ekConstant; }

}  // namespace

std::optional<TColumnTest> RecogniseColumnTest(const TExpToken& node,
                                               std::span<const storage::TFieldDescriptor> fields) {
  TColumnTest test;
  test.node = &node;
  test.code = node.code;
  if ((node.kind == ekBinary && IsComparisonCode(node.code)) || node.kind == ekOptionCompare) {
    if (!IsConstant(node.right.get()) || !ReadColumnSide(node.left.get(), fields, test)) return std::nullopt;
    if (node.kind == ekOptionCompare) {
      if (node.code != ecEqual && node.code != ecNotEqual) return std::nullopt;
      test.option_compare = true;
      test.case_insensitive = node.case_insensitive;
      test.partial_length = node.partial_length;
    }
    test.constants.push_back(node.right.get());
    return test;
  }
  if (node.kind != ekPredicate || node.arguments.empty()) return std::nullopt;
  const bool in_list = node.code == ecInList || node.code == ecNotInList;
  const bool between = node.code == ecBetween || node.code == ecNotBetween;
  if (!in_list && !between) return std::nullopt;
  if (between && node.arguments.size() != 3) return std::nullopt;
  if (in_list && node.arguments.size() < 2) return std::nullopt;
  if (!ReadColumnSide(node.arguments[0].get(), fields, test)) return std::nullopt;
  for (std::size_t i = 1; i < node.arguments.size(); ++i) {
    if (!IsConstant(node.arguments[i].get())) return std::nullopt;
    test.constants.push_back(node.arguments[i].get());
  }
  return test;
}

}  // namespace telvora::engine
