#include "telephony/tel_timer.h"

#include <QTimerEvent>

#include "telephony/exception_handler.h"

namespace telvora::telephony {

TTelTimer::TTelTimer(platform::TComponent* Owner) : owner_(Owner) {}

TTelTimer::~TTelTimer() { Stop(); }

void TTelTimer::Stop() {
  if (timer_id_ != 0) killTimer(timer_id_);
  timer_id_ = 0;
}

void TTelTimer::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  Stop();
  if (enabled_ && Interval() != 0 && OnTimer.Assigned()) {
    timer_id_ = startTimer(Interval());
    if (timer_id_ == 0 && OnRefused) OnRefused();
  }
}

void TTelTimer::timerEvent(QTimerEvent* event) {
  if (event->timerId() != timer_id_) return;
  try {
    OnTimer(this);
  } catch (...) {
    HandleApplicationException(std::current_exception());
  }
}

}  // namespace telvora::telephony
