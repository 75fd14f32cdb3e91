#include "telephony/notify_window.h"

#include <QCoreApplication>
#include <QEvent>

#include <mutex>
#include <set>
#include <utility>

#include "telephony/exception_handler.h"

namespace telvora::telephony {
namespace {

// The live windows, so that a handle is checked before it is used: a
// companion may hold the handle of a component that is already gone.
struct Registry {
  std::mutex mu;
  std::set<HWND> windows;
};

Registry& Windows() {
  static Registry registry;
  return registry;
}

const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class MessageEvent : public QEvent {
 public:
  MessageEvent(UINT msg, WPARAM wparam, LPARAM lparam)
      : QEvent(kMessageEvent), msg_(msg), wparam_(wparam), lparam_(lparam) {}
  UINT msg_;
  WPARAM wparam_;
  LPARAM lparam_;
};

TNotifyWindow* Find(HWND window) {
  std::lock_guard lock(Windows().mu);
  return Windows().windows.count(window) != 0 ? reinterpret_cast<TNotifyWindow*>(window) : nullptr;
}

}  // namespace

TNotifyWindow::TNotifyWindow(Procedure procedure) : procedure_(std::move(procedure)) {
  std::lock_guard lock(Windows().mu);
  Windows().windows.insert(Handle());
}

TNotifyWindow::~TNotifyWindow() {
  std::lock_guard lock(Windows().mu);
  Windows().windows.erase(Handle());
}

LRESULT TNotifyWindow::Dispatch(UINT msg, WPARAM wparam, LPARAM lparam) {
  TMessage message{msg, wparam, lparam, 0};
  try {
    procedure_(message);
  } catch (...) {
    HandleApplicationException(std::current_exception());
  }
  return message.Result;
}

void TNotifyWindow::customEvent(QEvent* event) {
  if (event->type() != kMessageEvent) return;
  const auto* m = static_cast<MessageEvent*>(event);
  Dispatch(m->msg_, m->wparam_, m->lparam_);
}

LRESULT SendMessage(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  TNotifyWindow* target = Find(window);
  return target == nullptr ? 0 : target->Dispatch(msg, wparam, lparam);
}

bool PostMessage(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  std::lock_guard lock(Windows().mu);
  if (Windows().windows.count(window) == 0) return false;
  // Qt discards events still queued for an object when it is destroyed.
  QCoreApplication::postEvent(reinterpret_cast<TNotifyWindow*>(window),
                              new MessageEvent(msg, wparam, lparam));
  return true;
}

}  // namespace telvora::telephony
