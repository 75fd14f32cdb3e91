#pragma once
// TExpressionContext: what an expression's messages and errors are raised
// with: the engine code, the table name and the context name that ends
// every message. Filters use 10051 and "filter expression".
//
// Every parse and check failure goes through RaiseExpressionError, which
// raises the engine error with the table name and the message as its detail
// text (the message cut to 255 characters). A plain value; any thread.

#include <cstdint>
#include <string>
#include <string_view>

namespace telvora::engine {

// The longest message text kept.
inline constexpr std::size_t kMaxExpressionMessageLength = 255;

struct TExpressionContext {
  std::uint16_t error_code = 0;
  std::string table_name;
  std::string context_name;
};

// The context of a table's filter expressions: 10051, "filter expression".
TExpressionContext FilterExpressionContext(const std::string& table_name);

// Raises the context's engine error with the message as detail text.
[[noreturn]] void RaiseExpressionError(const TExpressionContext& context, std::string_view message);

// For the filter code: raises 10051 ("Filter error for the table '%s' - %s")
// with the table name and a parser, checker or filter message.
[[noreturn]] void RaiseFilterError(const std::string& table_name, std::string_view message);

}  // namespace telvora::engine
