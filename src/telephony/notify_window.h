#pragma once
// A hidden window: a QObject on the GUI thread that receives private
// messages. A synchronous send (SendMessage) is a direct call of the
// window's procedure; a post (PostMessage) is a queued event handled when the
// message loop next runs. An exception thrown by the procedure is handed to
// the application's exception handler and does not leave the window.
//
// A window is known by its handle (its address as a number) while it exists;
// messages sent or posted to a handle that no longer names a window are
// dropped (a send returns 0).
//
// Threads: created, used and destroyed on the GUI thread; PostMessage may be
// called from any thread.

#include <QObject>

#include <cstdint>
#include <functional>

#include "tapi/tapi_constants.h"

namespace telvora::telephony {

using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using tapi::HWND;

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

class TNotifyWindow : public QObject {
 public:
  using Procedure = std::function<void(TMessage&)>;

  explicit TNotifyWindow(Procedure procedure);
  ~TNotifyWindow() override;

  HWND Handle() const { return reinterpret_cast<HWND>(this); }

  // Runs the procedure now; exceptions go to the application's handler.
  LRESULT Dispatch(UINT msg, WPARAM wparam, LPARAM lparam);

 protected:
  void customEvent(QEvent* event) override;

 private:
  Procedure procedure_;
};

LRESULT SendMessage(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
// False when the handle names no window.
bool PostMessage(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);

}  // namespace telvora::telephony
