#pragma once
// The application's exception handler: where an exception raised inside a
// hidden window's message handling or a timer callback goes, so that it
// never leaves the message loop. The phone book installs one that shows the
// exception's message in a message box; without one, the message is written
// to the Qt warning log.
//
// Threads: install before the message loop runs; called on the GUI thread.

#include <exception>
#include <functional>

namespace telvora::telephony {

using TExceptionHandler = std::function<void(std::exception_ptr)>;

// An empty handler restores the default.
void SetApplicationExceptionHandler(TExceptionHandler handler);
void HandleApplicationException(std::exception_ptr exception);

}  // namespace telvora::telephony
