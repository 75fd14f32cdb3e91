#include "telephony/screen_cursor.h"

#include <utility>

namespace telvora::telephony {
namespace {

TScreenCursorHandler& Handler() {
  static TScreenCursorHandler handler;
  return handler;
}

}  // namespace

void SetScreenCursorHandler(TScreenCursorHandler handler) { Handler() = std::move(handler); }

TBusyCursor::TBusyCursor() {
  if (Handler()) Handler()(true);
}

TBusyCursor::~TBusyCursor() {
  if (Handler()) Handler()(false);
}

}  // namespace telvora::telephony
