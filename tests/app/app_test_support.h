#pragma once
// Shared by the windows' tests: the one application object of the test
// program (the phone book's own, offscreen), waiting on the event loop, and
// ModalScript, which drives modal dialogs and message boxes from queued
// actions with a watchdog that fails the test instead of hanging it.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/application.h"
#include "app/cp1256_text.h"
#include "app/current_contact_numbers.h"

namespace telvora::app::test {

// Closes the modal windows on top, the last opened first.
inline void CloseModalWindows() {
  for (int i = 0; i < 10; ++i) {
    QWidget* open = QApplication::activeModalWidget();
    if (open == nullptr) return;
    open->close();
  }
}

// The last line of defence: a modal window that nothing closes within
// kStrayModalTimeout fails the running test and is closed.
class StrayModalWatchdog {
 public:
  static constexpr std::chrono::milliseconds kStrayModalTimeout{8000};

  StrayModalWatchdog() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Check(); });
    timer_.start(100);
  }

 private:
  void Check() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != seen_) {
      seen_ = modal;
      since_ = std::chrono::steady_clock::now();
      return;
    }
    if (modal != nullptr && std::chrono::steady_clock::now() - since_ > kStrayModalTimeout) {
      ADD_FAILURE() << "a modal window stayed open: " << modal->objectName().toStdString() << " "
                    << modal->windowTitle().toStdString();
      CloseModalWindows();
    }
  }

  QTimer timer_;
  QPointer<QWidget> seen_;
  std::chrono::steady_clock::time_point since_;
};

inline TApplication& App() {
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  static TApplication* app = new TApplication(argc, argv);
  static StrayModalWatchdog* watchdog = new StrayModalWatchdog();
  (void)watchdog;
  return *app;
}

// Runs the event loop until done() or the time is up.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Shows `window` and makes it the active window, so that focus checks mean
// something (offscreen, no window is active after a modal dialog closed).
inline bool ShowActive(QWidget* window) {
  window->show();
  QApplication::setActiveWindow(window);
  window->activateWindow();
  return QTest::qWaitForWindowActive(window, 2000);
}

// The current contact's numbers, set by the test. A field not set is null.
class ContactNumbers : public TCurrentContactNumbers {
 public:
  std::optional<std::string> FieldValue(std::string_view field_name) const override {
    const auto found = fields_.find(std::string(field_name));
    return found == fields_.end() ? std::nullopt : found->second;
  }
  void Set(std::optional<std::string> tel1, std::optional<std::string> tel2, std::optional<std::string> mobile) {
    fields_ = {{kTel1FieldName, tel1}, {kTel2FieldName, tel2}, {kMobileFieldName, mobile}};
  }

 private:
  std::map<std::string, std::optional<std::string>> fields_;
};

// Steps run in order, each on the first modal widget that satisfies its
// test, from a timer of the running (nested) event loop. When a step does
// not come within the watchdog's time the test fails and every modal widget
// is closed, so that the exec() that waits for it returns.
class ModalScript {
 public:
  using Test = std::function<bool(QWidget*)>;
  using Action = std::function<void(QWidget*)>;

  explicit ModalScript(std::chrono::milliseconds watchdog = std::chrono::milliseconds(5000)) : watchdog_(watchdog) {
    QObject::connect(&poll_, &QTimer::timeout, [this] { Poll(); });
    poll_.start(5);
  }
  ~ModalScript() { EXPECT_TRUE(Done()) << "modal steps left: " << steps_.size() << " (" << Pending() << ")"; }

  ModalScript& Then(std::string what, Test test, Action action) {
    steps_.push_back({std::move(what), std::move(test), std::move(action)});
    Arm();
    return *this;
  }

  // A message box: its text is recorded, then `button` closes it.
  ModalScript& MessageBox(QMessageBox::StandardButton button = QMessageBox::Ok) {
    return Then(
        "message box", [](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
        [this, button](QWidget* w) {
          auto* box = qobject_cast<QMessageBox*>(w);
          messages_.push_back(box->text());
          box->button(button)->click();
        });
  }

  // The given dialog, modal on top.
  ModalScript& Dialog(QWidget* dialog, Action action) {
    QPointer<QWidget> target = dialog;
    return Then(dialog->objectName().toStdString(), [target](QWidget* w) { return w == target; }, std::move(action));
  }

  bool Done() const { return steps_.empty(); }
  bool TimedOut() const { return timed_out_; }
  const std::vector<QString>& Messages() const { return messages_; }
  std::string Pending() const { return steps_.empty() ? std::string() : steps_.front().what; }

 private:
  struct Step {
    std::string what;
    Test test;
    Action action;
  };

  void Arm() { deadline_ = std::chrono::steady_clock::now() + watchdog_; }

  void Poll() {
    if (steps_.empty() || running_) return;
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal->isVisible() && steps_.front().test(modal)) {
      Step step = std::move(steps_.front());
      steps_.pop_front();
      Arm();
      running_ = true;
      step.action(modal);
      running_ = false;
      return;
    }
    if (std::chrono::steady_clock::now() > deadline_) {
      ADD_FAILURE() << "no modal window came for the step: " << steps_.front().what;
      timed_out_ = true;
      steps_.clear();
      CloseModalWindows();
    }
  }

  std::chrono::milliseconds watchdog_;
  std::chrono::steady_clock::time_point deadline_;
  std::deque<Step> steps_;
  std::vector<QString> messages_;
  QTimer poll_;
  bool running_ = false;
  bool timed_out_ = false;
};

// Closes every message box that comes while it lives, recording its text;
// for steps where a box may or may not come.
class MessageBoxCloser {
 public:
  MessageBoxCloser() {
    QObject::connect(&poll_, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        messages_.push_back(box->text());
        box->button(QMessageBox::Ok)->click();
      }
    });
    poll_.start(5);
  }
  const std::vector<QString>& Messages() const { return messages_; }

 private:
  QTimer poll_;
  std::vector<QString> messages_;
};

}  // namespace telvora::app::test
