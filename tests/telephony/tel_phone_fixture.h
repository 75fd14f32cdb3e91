#pragma once
// Shared by the telephony component's tests: a Qt event loop without
// widgets, lab devices installed as the telephony service's devices, a
// TelPhone and a record of the events it raised.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tapi/lab_line.h"
#include "tapi/lab_phone.h"
#include "tapi/tapi.h"
#include "telephony/tel_phone.h"

namespace telvora::telephony::test {

inline void EnsureQtApp() {
  if (QCoreApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "telephony_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  (void)app;
}

// Runs the event loop until done() or the time is up.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

inline void Pump(std::chrono::milliseconds how_long) {
  WaitUntil([] { return false; }, how_long);
}

// One raised event: "line" (state, p1) or "call" (state, p1, p2, call) or
// "before" (call).
struct Event {
  std::string kind;
  int state = 0;
  int p1 = 0;
  int p2 = 0;
  int call = 0;
  bool operator==(const Event&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Event& e) {
  return os << "{" << e.kind << " " << e.state << " " << e.p1 << " " << e.p2 << " " << e.call << "}";
}

inline Event Line(TLineState state, int p1) { return {"line", state, p1, 0, 0}; }
inline Event Call(TCallState state, int p1, int p2, int call) { return {"call", state, p1, p2, call}; }

class TelPhoneFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureQtApp(); }

  void SetUp() override {
    InstallLabDevices(2);
    phone_ = std::make_unique<TelPhone>(nullptr);
    Record(*phone_);
  }

  void TearDown() override {
    phone_.reset();
    tapi::SetDeviceFactory({});
  }

  // Lab lines 0..count-1 (line 0 with the lab phone), each with the caps the
  // hook gives it. Takes effect when the service next starts.
  void InstallLabDevices(int count, std::function<void(int, tapi::LineDeviceCaps&)> adjust = {}) {
    tapi::SetDeviceFactory([this, count, adjust] {
      tapi::DeviceSet set;
      labs_.clear();
      lab_phone_ = nullptr;
      for (int i = 0; i < count; ++i) {
        tapi::LineDeviceCaps caps = tapi::LabLine::DefaultCaps(i, i == 0);
        if (adjust) adjust(i, caps);
        auto line = std::make_unique<tapi::LabLine>(caps);
        labs_.push_back(line.get());
        set.lines.push_back(std::move(line));
      }
      if (count > 0) {
        tapi::PhoneDeviceCaps phone_caps = tapi::LabPhone::DefaultCaps(0);
        if (adjust_phone_) adjust_phone_(phone_caps);
        auto phone = std::make_unique<tapi::LabPhone>(phone_caps);
        lab_phone_ = phone.get();
        set.phones.push_back(std::move(phone));
      }
      return set;
    });
  }

  void Record(TelPhone& phone) {
    phone.OnLineState = [this](TSender, TLineState s, int p) { events_.push_back(Line(s, p)); };
    phone.OnCallState = [this](TSender, TCallState s, int p1, int p2, int call) {
      events_.push_back(Call(s, p1, p2, call));
    };
    phone.OnBeforeDisconnect = [this](TSender, int call) { events_.push_back({"before", 0, 0, 0, call}); };
  }

  std::vector<Event> CallEvents() const {
    std::vector<Event> out;
    for (const Event& e : events_) {
      if (e.kind == "call") out.push_back(e);
    }
    return out;
  }

  bool HasEvent(const Event& e) const {
    for (const Event& x : events_) {
      if (x == e) return true;
    }
    return false;
  }

  // Waits for a call event of that state; its handle, or 0.
  int WaitForCallState(TCallState state, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
    int call = 0;
    WaitUntil(
        [&] {
          for (const Event& e : events_) {
            if (e.kind == "call" && e.state == state) {
              call = e.call;
              return true;
            }
          }
          return false;
        },
        timeout);
    return call;
  }

  // Activates line 0 in `mode` and dials; the connected call's handle.
  int ConnectedCall(TMediaMode mode = mmData, int call_param = 0) {
    phone_->SetMediaMode(mode);
    EXPECT_EQ(phone_->LineActive(0, true), 0);
    EXPECT_EQ(phone_->DialNumber("5551234", call_param), 0);
    return WaitForCallState(mode == mmFax ? csWaitingForFaxCommand : csConnected);
  }

  std::unique_ptr<TelPhone> phone_;
  std::vector<tapi::LabLine*> labs_;
  tapi::LabPhone* lab_phone_ = nullptr;
  // Adjusts the lab phone's capabilities when the service next starts.
  std::function<void(tapi::PhoneDeviceCaps&)> adjust_phone_;
  std::vector<Event> events_;
};

}  // namespace telvora::telephony::test
