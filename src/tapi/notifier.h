#pragma once
// Delivers one application's notifications through its callback, on the
// thread that initialised it, in the order they were posted.
//
// A Notifier is a QObject created by lineInitialize*/phoneInitialize* on the
// calling thread, so it lives there; Post() may be called from any thread and
// queues an event to it (Qt delivers posted events to one receiver in order).
// The thread must run a Qt event loop for notifications to arrive, as a
// Windows thread must pump messages for TAPI's hidden window.
//
// Before the callback runs, the handle cells a reply fills (the new call of
// lineMakeCall, ...) are written, so the caller finds them filled when the
// LINE_REPLY arrives. Close() stops all delivery at once, from any thread.

#include <QObject>

#include <atomic>
#include <vector>

#include "tapi/tapi_constants.h"

namespace telvora::tapi {

struct Notification {
  DWORD device = 0;
  DWORD message = 0;
  DWORD_PTR instance = 0;
  DWORD_PTR param1 = 0, param2 = 0, param3 = 0;
  std::vector<std::pair<HCALL*, HCALL>> handle_writes;
};

class Notifier : public QObject {
 public:
  explicit Notifier(LINECALLBACK callback);

  void Post(Notification notification);
  // No callback runs after this returns (on the notifier's thread; from
  // another thread, none starts after it).
  void Close() { closed_.store(true); }

 protected:
  void customEvent(QEvent* event) override;

 private:
  LINECALLBACK callback_;
  std::atomic<bool> closed_{false};
};

}  // namespace telvora::tapi
