#pragma once
// Shared by the telephony service's tests: a Qt event loop for the
// notifications, a recorder for the callback, and a fixture with lab
// devices installed.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "tapi/lab_line.h"
#include "tapi/lab_phone.h"
#include "tapi/tapi.h"

namespace telvora::tapi::test {

inline QCoreApplication& QtApp() {
  static int argc = 1;
  static char name[] = "tapi_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app =
      QCoreApplication::instance() != nullptr ? nullptr : new QCoreApplication(argc, argv);
  return app != nullptr ? *app : *QCoreApplication::instance();
}

struct Received {
  DWORD device, message;
  DWORD_PTR instance, p1, p2, p3;
  QThread* thread;
};

// Everything the callback was given, in order.
class Recorder {
 public:
  static Recorder& Get() {
    static Recorder recorder;
    return recorder;
  }
  static void Callback(DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2,
                       DWORD_PTR p3) {
    Recorder& r = Get();
    std::lock_guard lock(r.mu_);
    r.all_.push_back({device, message, instance, p1, p2, p3, QThread::currentThread()});
    if (r.hook_) r.hook_(r.all_.back());
  }
  void Clear() {
    std::lock_guard lock(mu_);
    all_.clear();
    hook_ = nullptr;
  }
  void SetHook(std::function<void(const Received&)> hook) {
    std::lock_guard lock(mu_);
    hook_ = std::move(hook);
  }
  std::vector<Received> All() const {
    std::lock_guard lock(mu_);
    return all_;
  }
  std::vector<Received> Of(DWORD message) const {
    std::vector<Received> out;
    for (const Received& r : All()) {
      if (r.message == message) out.push_back(r);
    }
    return out;
  }
  // The states LINE_CALLSTATE reported for a call, in order.
  std::vector<DWORD> StatesOf(HCALL call) const {
    std::vector<DWORD> out;
    for (const Received& r : Of(LINE_CALLSTATE)) {
      if (r.device == call) out.push_back(static_cast<DWORD>(r.p1));
    }
    return out;
  }
  // The reply to a request, if it came.
  const Received* ReplyTo(LONG request, DWORD message = LINE_REPLY) {
    std::lock_guard lock(mu_);
    for (const Received& r : all_) {
      if (r.message == message && r.p1 == static_cast<DWORD_PTR>(request)) return &r;
    }
    return nullptr;
  }

 private:
  mutable std::recursive_mutex mu_;
  std::vector<Received> all_;
  std::function<void(const Received&)> hook_;
};

// Runs the event loop until done() or the time is up.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
  QtApp();
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Lets posted notifications arrive for a moment.
inline void Pump(std::chrono::milliseconds how_long = std::chrono::milliseconds(50)) {
  WaitUntil([] { return false; }, how_long);
}

inline LONG ReplyResult(const Received* r) { return r == nullptr ? 1 : static_cast<LONG>(static_cast<DWORD>(r->p2)); }

// Lab lines (line 0 with lab phone 0) installed as the service's devices,
// one line application initialised.
class LabFixture : public ::testing::Test {
 protected:
  static constexpr int kLines = 2;

  void SetUp() override {
    QtApp();
    Recorder::Get().Clear();
    SetDeviceFactory([this] {
      DeviceSet set;
      for (int i = 0; i < kLines; ++i) {
        auto line = std::make_unique<LabLine>(LabLine::DefaultCaps(i, i == 0));
        labs_[i] = line.get();
        set.lines.push_back(std::move(line));
      }
      auto phone = std::make_unique<LabPhone>(LabPhone::DefaultCaps(0));
      phone_ = phone.get();
      set.phones.push_back(std::move(phone));
      return set;
    });
    LINEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof params;
    params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
    DWORD version = kApiVersion22;
    ASSERT_EQ(lineInitializeExW(&app_, nullptr, &Recorder::Callback, nullptr, &num_devs_, &version,
                                &params),
              0);
  }

  void TearDown() override {
    if (app_ != 0) lineShutdown(app_);
    SetDeviceFactory({});
    Recorder::Get().Clear();
  }

  // Opens line `device` as owner for every media mode the lab has.
  HLINE OpenLine(DWORD device = 0, DWORD_PTR instance = 0x1234) {
    HLINE line = 0;
    EXPECT_EQ(lineOpen(app_, device, &line, kApiVersion22, 0, instance,
                       LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR,
                       LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM, nullptr),
              0);
    return line;
  }

  // Places a call and waits until it is connected.
  HCALL ConnectedCall(HLINE line, const char* number = "5551234") {
    HCALL call = 0;
    const LONG request = lineMakeCall(line, &call, number, 0, nullptr);
    EXPECT_GT(request, 0);
    EXPECT_TRUE(WaitUntil([&] {
      const auto states = Recorder::Get().StatesOf(call);
      return call != 0 && !states.empty() && states.back() == LINECALLSTATE_CONNECTED;
    }));
    return call;
  }

  HLINEAPP app_ = 0;
  DWORD num_devs_ = 0;
  LabLine* labs_[kLines] = {};
  LabPhone* phone_ = nullptr;
};

}  // namespace telvora::tapi::test
