#pragma once
// TExpressionParser: turns an expression text into a tree of TExpToken
// nodes.
//
// Grammar, lowest precedence first:
//   or-expression   and-expression { OR and-expression }
//   and-expression  not-expression { AND not-expression }
//   not-expression  NOT comparison | comparison
//   comparison      sum [ (= <> < <= > >=) sum | predicate ]
//   predicate       [NOT] LIKE sum | [NOT] BETWEEN sum AND sum |
//                   [NOT] IN ( sum {, sum} ) | [NOT] IN ( SELECT ... ) |
//                   IS [NOT] NULL
//   sum             product { (+ | - | ||) product }
//   product         unary { (* | /) unary }
//   unary           - primary | + primary | primary
//   primary         function, constant, column, ( or-expression ), ...
// Parsing reads one or-expression and stops: text after it is not looked
// at. The allowed-construct flags decide which SQL-only constructs are
// accepted; filters allow the extended predicates only.
//
// A parser is owned by one cursor and used by one thread at a time; it is
// reset for every text. A failure raises the context's engine error and
// leaves no tree behind.

#include <cstdint>
#include <string_view>

#include "engine/exp_token.h"
#include "engine/expression_context.h"

namespace telvora::engine {

// Allowed-construct flags.
inline constexpr std::uint32_t kAllowAggregates = 1;
inline constexpr std::uint32_t kAllowAllColumns = 2;
inline constexpr std::uint32_t kAllowExtendedPredicates = 4;
inline constexpr std::uint32_t kAllowParameters = 8;
inline constexpr std::uint32_t kAllowSubSelects = 16;
// What a filter allows.
inline constexpr std::uint32_t kFilterExpressionFlags = kAllowExtendedPredicates;

class TExpressionTokenizer;

class TExpressionParser {
 public:
  explicit TExpressionParser(TExpressionContext context) : context_(std::move(context)) {}

  TExpTokenPtr ParseExpression(std::string_view text, std::uint32_t flags);

  const TExpressionContext& Context() const { return context_; }

 private:
  class TRun;
  TExpressionContext context_;
};

}  // namespace telvora::engine
