#include "tapi/notifier.h"

#include <QCoreApplication>
#include <QEvent>

namespace telvora::tapi {
namespace {

const QEvent::Type kNotificationEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class NotificationEvent : public QEvent {
 public:
  explicit NotificationEvent(Notification n) : QEvent(kNotificationEvent), notification(std::move(n)) {}
  Notification notification;
};

}  // namespace

Notifier::Notifier(LINECALLBACK callback) : callback_(callback) {}

void Notifier::Post(Notification notification) {
  QCoreApplication::postEvent(this, new NotificationEvent(std::move(notification)));
}

void Notifier::customEvent(QEvent* event) {
  if (event->type() != kNotificationEvent || closed_.load()) return;
  const Notification& n = static_cast<NotificationEvent*>(event)->notification;
  for (const auto& [cell, handle] : n.handle_writes) {
    if (cell != nullptr) *cell = handle;
  }
  if (callback_ != nullptr) callback_(n.device, n.message, n.instance, n.param1, n.param2, n.param3);
}

}  // namespace telvora::tapi
