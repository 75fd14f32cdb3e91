#pragma once
// TTEL_Ancestor: the root of the telephony library's components. It owns the
// component's hidden notification window for the component's whole life and
// publishes `Version`, which always reads "3.5 (Build 61)" (a written value
// is accepted and ignored, as form streaming writes it).
//
// The window procedure is virtual: the base handles no message; a component
// overrides it to handle its private messages and passes the others on.
//
// Threads: GUI thread only.

#include <memory>
#include <string>

#include "platform/component.h"
#include "telephony/notify_window.h"

namespace telvora::telephony {

inline constexpr char kTelVersion[] = "3.5 (Build 61)";

class TTEL_Ancestor : public platform::TComponent {
 public:
  explicit TTEL_Ancestor(platform::TComponent* AOwner);
  ~TTEL_Ancestor() override;

  std::string Version() const { return kTelVersion; }
  void SetVersion(const std::string&) {}

  // The notification window's handle, for companions that send it messages.
  HWND Handle() const { return window_->Handle(); }

 protected:
  // Default handling: nothing, result 0.
  virtual void WndProc(TMessage& Message);

 private:
  std::unique_ptr<TNotifyWindow> window_;
};

}  // namespace telvora::telephony
