// TTelTimer: runs only while enabled with a callback, ticks with itself as
// sender, and hands a callback's exception to the application's handler.

#include <stdexcept>

#include "tel_phone_fixture.h"
#include "telephony/exception_handler.h"
#include "telephony/tel_timer.h"

namespace telvora::telephony::test {
namespace {

using std::chrono::milliseconds;

TEST(TelTimerTest, RunsWhileEnabledAndCallsBackWithItself) {
  EnsureQtApp();
  TTelTimer timer(nullptr);
  EXPECT_EQ(timer.Interval(), 150);
  EXPECT_FALSE(timer.Enabled());
  // Enabled without a callback: nothing to run.
  timer.SetEnabled(true);
  EXPECT_FALSE(timer.Running());
  timer.SetEnabled(false);

  int ticks = 0;
  TTelTimer* sender = nullptr;
  timer.OnTimer = [&](TTelTimer* s) {
    ++ticks;
    sender = s;
  };
  timer.SetEnabled(true);
  EXPECT_TRUE(timer.Running());
  ASSERT_TRUE(WaitUntil([&] { return ticks >= 2; }, milliseconds(2000)));
  EXPECT_EQ(sender, &timer);
  timer.SetEnabled(false);
  EXPECT_FALSE(timer.Running());
  const int stopped_at = ticks;
  Pump(milliseconds(350));
  EXPECT_EQ(ticks, stopped_at);
}

TEST(TelTimerTest, ExceptionFromTheCallbackGoesToTheApplicationsHandler) {
  EnsureQtApp();
  int handled = 0;
  SetApplicationExceptionHandler([&](std::exception_ptr) { ++handled; });
  TTelTimer timer(nullptr);
  timer.OnTimer = [](TTelTimer*) { throw std::runtime_error("tick failed"); };
  timer.SetEnabled(true);
  const bool got = WaitUntil([&] { return handled >= 2; }, milliseconds(2000));
  SetApplicationExceptionHandler({});
  EXPECT_TRUE(got);
  EXPECT_TRUE(timer.Running());
}

}  // namespace
}  // namespace telvora::telephony::test
