#pragma once
// TTelTimer: the request time-out timer. It owns its own hidden window (this
// QObject) and, while enabled, calls OnTimer every Interval() = 150 ms with
// itself as Sender. Setting Enabled to its present value does nothing;
// otherwise the timer is stopped and, when now enabled with OnTimer
// assigned, started again. When the system refuses a timer, OnRefused is
// called (the owner reports it). An exception thrown by OnTimer goes to the
// application's exception handler.
//
// Threads: GUI thread only; the owner destroys it (which stops it).

#include <QObject>

#include <functional>

#include "platform/component.h"

namespace telvora::telephony {

inline constexpr int kTelTimerIntervalMs = 150;

class TTelTimer : public QObject {
 public:
  explicit TTelTimer(platform::TComponent* Owner);
  ~TTelTimer() override;

  platform::TComponent* Owner() const { return owner_; }
  int Interval() const { return kTelTimerIntervalMs; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  // True while a system timer runs (enabled, and the system accepted it).
  bool Running() const { return timer_id_ != 0; }

  platform::TEvent<void(TTelTimer*)> OnTimer;
  std::function<void()> OnRefused;

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  void Stop();

  platform::TComponent* owner_;
  bool enabled_ = false;
  int timer_id_ = 0;
};

}  // namespace telvora::telephony
