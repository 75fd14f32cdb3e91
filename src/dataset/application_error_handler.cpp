#include "dataset/application_error_handler.h"

#include <utility>

namespace telvora::dataset {
namespace {

TApplicationErrorHandler& Handler() {
  static TApplicationErrorHandler handler;
  return handler;
}

}  // namespace

TApplicationErrorHandler SetApplicationErrorHandler(TApplicationErrorHandler handler) {
  return std::exchange(Handler(), std::move(handler));
}

void HandleApplicationException(const std::exception& error) noexcept {
  const TApplicationErrorHandler& handler = Handler();
  if (!handler) return;
  try {
    handler(error);
  } catch (...) {
  }
}

}  // namespace telvora::dataset
