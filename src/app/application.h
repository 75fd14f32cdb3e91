#pragma once
// TApplication: the phone book's application object. Besides Qt's
// application it sets up what every window relies on:
// - the window font (Tahoma, see window_font.h) as the application font;
// - Qt's Persian translation, so message boxes' buttons read in Persian;
// - right-to-left layout for every window;
// - the default error handler: an exception that leaves an event handler
//   (or a telephony notification or timer) is caught here, its message is
//   shown in an error box, and the program goes on;
// - the dataset layer's error handler, for errors it must not let through;
// - the password dialog, as the sessions' way to ask for a table's
//   password;
// - the busy cursor the telephony component asks for while it works;
// - the Persian keyboard translation, Latin until the main window switches
//   it on.
//
// Exactly one exists, created first thing in main and destroyed last.
// Threads: the GUI thread, which it makes.

#include <exception>
#include <memory>

#include <QApplication>

#include "app/persian_keyboard.h"
#include "app/window_font.h"

namespace telvora::app {

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  ~TApplication() override;

  static TApplication* Instance();

  // Routes every event through the default error handler.
  bool notify(QObject* receiver, QEvent* event) override;

  // The default error handler: shows the exception's message (code page
  // 1256) in an error box over the active window.
  void HandleException(std::exception_ptr exception);

  TPersianKeyboard& Keyboard() { return *keyboard_; }
  TWindowFontSource FontSource() const { return font_source_; }
  bool PersianTranslation() const { return persian_translation_; }

 private:
  TWindowFontSource font_source_;
  bool persian_translation_;
  std::unique_ptr<TPersianKeyboard> keyboard_;
};

}  // namespace telvora::app
