#include "engine/filter_prepare.h"

#include <utility>

#include "engine/expression_context.h"
#include "engine/expression_conversion.h"
#include "engine/expression_evaluator.h"
#include "engine/expression_types.h"

namespace telvora::engine {

namespace {

constexpr char kStar = '*';
constexpr char kPercent = '%';
constexpr char kUnderscore = '_';

// Whether every `mark` of the text stands in one run that ends the text (and
// there is at least one).
bool OnlyTrailingRun(const std::string& text, char mark) {
  const std::size_t first = text.find(mark);
  if (first == std::string::npos) return false;
  return text.find_first_not_of(mark, first) == std::string::npos;
}

std::string WithoutTrailing(const std::string& text, char mark) {
  const std::size_t end = text.find_last_not_of(mark);
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

bool IsStringConstant(const TExpToken& node) {
  return node.kind == ekConstant && IsStringType(node.type, node.subtype);
}

class TPreparer {
 public:
  TPreparer(const TFilterOptions& options, const Locale& locale, const std::string& table_name)
      : options_(options), table_name_(table_name) {
    context_.locale = locale;
  }

  void Prepare(TExpTokenPtr& node) {
    if (!node) return;
    Prepare(node->left);
    Prepare(node->right);
    for (TExpTokenPtr& argument : node->arguments) Prepare(argument);
    FoldOperands(*node);
    if (node->kind == ekBinary && (node->code == ecEqual || node->code == ecNotEqual)) {
      MakeStarCompare(*node);
    } else if (node->kind == ekPredicate && (node->code == ecLike || node->code == ecNotLike)) {
      MakeLikeCompare(node);
    }
  }

 private:
  // The operands that hold no column become constants of the column side's
  // type.
  void FoldOperands(TExpToken& node) {
    if (node.kind == ekBinary && IsComparisonCode(node.code)) {
      const TExpToken& column_side = *node.left;
      Fold(node.left, column_side);
      Fold(node.right, *node.left);
    } else if (node.kind == ekPredicate) {
      if (node.code == ecInSelect || node.code == ecNotInSelect || node.arguments.empty()) return;
      for (std::size_t i = 1; i < node.arguments.size(); ++i) Fold(node.arguments[i], *node.arguments[0]);
      Fold(node.arguments[0], *node.arguments[0]);
    } else if (node.kind == ekFunction) {
      for (TExpTokenPtr& argument : node.arguments) Fold(argument, *argument);
    }
  }

  void Fold(TExpTokenPtr& operand, const TExpToken& column_side) {
    if (!operand || operand->kind == ekConstant || ContainsColumn(*operand)) return;
    const std::uint8_t type = column_side.type;
    const std::uint8_t subtype = column_side.subtype;
    const int size = column_side.size;
    const int scale = column_side.scale;
    TExpTokenPtr value;
    try {
      value = EvaluateExpression(*operand, {}, context_);
      value->kind = ekConstant;
      value->text = operand->text;
      value->quoted = operand->quoted;
      if (!value->is_null && !IsStringType(value->type, value->subtype) && value->type != type &&
          type != storage::kTypeNone) {
        ConvertValue(*value, type, subtype, size, scale);
      }
    } catch (const EExpressionConversionError& e) {
      RaiseFilterError(table_name_, e.what());
    }
    operand = std::move(value);
  }

  void MakeStarCompare(TExpToken& node) {
    if (!node.left || !node.right || !IsStringConstant(*node.right)) return;
    if (!IsStringType(node.left->type, node.left->subtype)) return;
    TExpToken& constant = *node.right;
    const bool trailing = OnlyTrailingRun(constant.string_value, kStar);
    if (!options_.case_insensitive && !trailing) return;
    node.kind = ekOptionCompare;
    node.case_insensitive = options_.case_insensitive;
    node.partial_length = 0;
    if (options_.no_partial_compare || constant.is_null) return;
    const std::string stripped = WithoutTrailing(constant.string_value, kStar);
    if (stripped.size() != constant.string_value.size()) node.partial_length = static_cast<int>(stripped.size());
    constant.string_value = stripped;
  }

  void MakeLikeCompare(TExpTokenPtr& node) {
    if (node->arguments.size() != 2) return;
    const TExpToken& pattern = *node->arguments[1];
    if (!IsStringConstant(pattern) || pattern.is_null) return;
    if (!IsStringType(node->arguments[0]->type, node->arguments[0]->subtype)) return;
    const std::string& text = pattern.string_value;
    if (text.find(kUnderscore) != std::string::npos || !OnlyTrailingRun(text, kPercent)) return;
    TExpTokenPtr compare = TExpTokenStack::Take();
    compare->kind = ekOptionCompare;
    compare->code = node->code == ecLike ? ecEqual : ecNotEqual;
    compare->text = node->text;
    compare->type = node->type;
    compare->subtype = node->subtype;
    compare->size = node->size;
    compare->left = std::move(node->arguments[0]);
    compare->right = std::move(node->arguments[1]);
    compare->right->string_value = WithoutTrailing(text, kPercent);
    compare->partial_length = static_cast<int>(compare->right->string_value.size());
    compare->case_insensitive = false;
    node = std::move(compare);
  }

  TFilterOptions options_;
  const std::string& table_name_;
  TEvaluationContext context_;
};

}  // namespace

bool IsComparisonCode(TExpCode code) { return code >= ecEqual && code <= ecLessOrEqual; }

TExpCode MirroredComparison(TExpCode code) {
  switch (code) {
    case ecLess: return ecGreater;
    case ecGreater: return ecLess;
    case ecLessOrEqual: return ecGreaterOrEqual;
    case ecGreaterOrEqual: return ecLessOrEqual;
    default: return code;
  }
}

void NormaliseFilterTree(TExpTokenPtr& tree) {
  TExpToken* node = tree.get();
  while (node != nullptr && node->kind == ekUnary && node->code == ecNot) node = node->left.get();
  if (node == nullptr || node->kind != ekBinary || !IsComparisonCode(node->code)) return;
  if (!node->left || !node->right) return;
  if (ContainsColumn(*node->right) && !ContainsColumn(*node->left)) {
    std::swap(node->left, node->right);
    node->code = MirroredComparison(node->code);
  }
}

TExpTokenPtr PrepareFilterTree(const TExpToken& tree, const TFilterOptions& options, const Locale& locale,
                               const std::string& table_name) {
  TExpTokenPtr prepared = CloneExpression(tree);
  TPreparer(options, locale, table_name).Prepare(prepared);
  return prepared;
}

}  // namespace telvora::engine
