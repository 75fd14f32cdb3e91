#pragma once
// The message boxes the windows show: a plain message with one OK button,
// and a confirmation with a question icon and Yes, No and Cancel that tells
// which button closed it. Texts are code page 1256 bytes; the caption is
// the application's title. The buttons' texts come from Qt's Persian
// translation when it is installed.
//
// Threads: GUI thread only. Both run a nested event loop until closed.

#include <string_view>

class QWidget;

namespace telvora::app {

inline constexpr char kApplicationTitle[] = "Telvora";

enum class TConfirmAnswer { caYes, caNo, caCancel };

void ShowMessage(QWidget* parent, std::string_view text);

// Closing the box without a button counts as Cancel.
TConfirmAnswer AskYesNoCancel(QWidget* parent, std::string_view text);

// A confirmation with a question icon, OK and Cancel; true for OK.
// Closing the box without a button counts as Cancel.
bool AskOkCancel(QWidget* parent, std::string_view text);

// The application's error box: an error icon, the text and OK.
void ShowErrorMessage(QWidget* parent, std::string_view text);

}  // namespace telvora::app
