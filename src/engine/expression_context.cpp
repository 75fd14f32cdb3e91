#include "engine/expression_context.h"

#include "engine/expression_messages.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"

namespace telvora::engine {

TExpressionContext FilterExpressionContext(const std::string& table_name) {
  return TExpressionContext{storage::VORA_INVALIDFILTER, table_name, std::string(messages::kFilterContextName)};
}

void RaiseExpressionError(const TExpressionContext& context, std::string_view message) {
  std::string detail(message.substr(0, kMaxExpressionMessageLength));
  storage::RaiseEngineError(context.error_code, storage::ErrorContextTexts{.table = context.table_name, .detail = detail});
}

void RaiseFilterError(const std::string& table_name, std::string_view message) {
  RaiseExpressionError(FilterExpressionContext(table_name), message);
}

}  // namespace telvora::engine
