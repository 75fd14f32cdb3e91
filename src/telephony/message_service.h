#pragma once
// The application's message service: where the component sends a message
// meant for the user (an out-of-range property value), so that the
// component itself never opens a window. The phone book installs one that
// shows the text in a message box; without one, the text is written to the
// Qt warning log.
//
// Threads: install before the message loop runs; called on the GUI thread.

#include <functional>
#include <string>

namespace telvora::telephony {

using TMessageService = std::function<void(const std::string& text)>;

// An empty service restores the default.
void SetApplicationMessageService(TMessageService service);
void ShowApplicationMessage(const std::string& text);

}  // namespace telvora::telephony
