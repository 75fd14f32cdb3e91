#pragma once
// The screen cursor shown while the telephony component works synchronously
// (the hourglass during an activation). This layer has no windows, so the
// application installs what "busy" means; without a handler nothing shows.
// TBusyCursor shows it for its lifetime and restores the previous one.
//
// Threads: GUI thread only.

#include <functional>

namespace telvora::telephony {

// Called with true to show the busy cursor, false to restore the saved one.
using TScreenCursorHandler = std::function<void(bool busy)>;
void SetScreenCursorHandler(TScreenCursorHandler handler);

class TBusyCursor {
 public:
  TBusyCursor();
  ~TBusyCursor();
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};

}  // namespace telvora::telephony
