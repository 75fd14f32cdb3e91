// An expression text as a user types it into a filter, parsed with the
// allowed-construct flags of the first byte and checked against the phone
// book's six fields and one field of each other type.

#include <string_view>
#include <vector>

#include "engine/expression_checker.h"
#include "engine/expression_context.h"
#include "engine/expression_parser.h"
#include "fuzz_targets.h"
#include "storage/engine_error.h"
#include "storage/field_descriptor.h"
#include "storage/field_specs.h"
#include "storage/field_types.h"
#include "storage/record_image.h"

namespace telvora::fuzz {
namespace {

constexpr std::uint32_t kAllFlags = engine::kAllowAggregates | engine::kAllowAllColumns |
                                    engine::kAllowExtendedPredicates | engine::kAllowParameters |
                                    engine::kAllowSubSelects;

const std::vector<storage::TFieldDescriptor>& Fields() {
  static const std::vector<storage::TFieldDescriptor> fields = [] {
    const storage::TFieldSpec specs[] = {
        {"Name", storage::kTypeString, 0, 60, 0},     {"Family", storage::kTypeString, 0, 70, 0},
        {"Tel1", storage::kTypeString, 0, 12, 0},     {"Tel2", storage::kTypeString, 0, 12, 0},
        {"Mobile", storage::kTypeString, 0, 16, 0},   {"Address", storage::kTypeString, 0, 65, 0},
        {"Active", storage::kTypeBoolean, 0, 0, 0},   {"Age", storage::kTypeSmallInt, 0, 0, 0},
        {"Num", storage::kTypeInteger, 0, 0, 0},      {"Price", storage::kTypeFloat, 0, 0, 0},
        {"Amount", storage::kTypeBcd, 0, 0, 2},       {"Born", storage::kTypeDate, 0, 0, 0},
        {"At", storage::kTypeTime, 0, 0, 0},          {"Stamp", storage::kTypeTimeStamp, 0, 0, 0},
        {"Big", storage::kTypeLargeInt, 0, 0, 0},     {"W", storage::kTypeWord, 0, 0, 0},
        {"Raw", storage::kTypeBytes, 0, 4, 0},        {"Notes", storage::kTypeBlob, storage::kSubtypeMemo, 0, 0},
    };
    return storage::DescribeLaidOutFields(specs);
  }();
  return fields;
}

}  // namespace

int FuzzExpression(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint32_t flags = data[0] & kAllFlags;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  static const engine::TColumnLookup lookup = engine::FieldColumnLookup(Fields());
  const engine::TExpressionContext context = engine::FilterExpressionContext("PhoneBook");
  engine::TExpressionParser parser(context);
  try {
    engine::TExpTokenPtr tree = parser.ParseExpression(text, flags);
    if (!tree) FuzzCheckFailed("expression", "a parse that succeeded left no tree");
    engine::CheckExpression(tree, lookup, context);
    if (!tree) FuzzCheckFailed("expression", "a check that succeeded left no tree");
  } catch (const storage::EVoraEngineError&) {
  }
  return 0;
}

}  // namespace telvora::fuzz
