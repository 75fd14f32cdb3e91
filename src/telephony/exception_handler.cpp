#include "telephony/exception_handler.h"

#include <QtGlobal>

#include <utility>

namespace telvora::telephony {
namespace {

TExceptionHandler& Handler() {
  static TExceptionHandler handler;
  return handler;
}

}  // namespace

void SetApplicationExceptionHandler(TExceptionHandler handler) { Handler() = std::move(handler); }

void HandleApplicationException(std::exception_ptr exception) {
  if (Handler()) {
    Handler()(exception);
    return;
  }
  try {
    std::rethrow_exception(exception);
  } catch (const std::exception& e) {
    qWarning("Unhandled exception: %s", e.what());
  } catch (...) {
    qWarning("Unhandled exception");
  }
}

}  // namespace telvora::telephony
