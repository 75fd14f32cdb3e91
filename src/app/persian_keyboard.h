#pragma once
// TPersianKeyboard: the Persian keyboard layout ("00000429") as a key
// translation inside the program, since X11 has no layout per program.
//
// While Persian() is on, a key press whose key types a letter or
// punctuation mark on the US layout is delivered with the character the
// Persian layout gives that key instead. The key is found by its physical
// position (the X keycode) when the window system reports one, and by the
// character it typed otherwise (offscreen, VNC). Only characters code page
// 1256 holds are typed: Arabic yeh U+064A for yeh, keheh U+06A9 for kaf,
// ASCII digits on the number row (which is left alone). Keys with Ctrl, Alt
// or Meta held pass through untouched, so shortcuts keep working.
// Alt+Shift toggles between Persian and Latin, as on Windows.
//
// Threads: GUI thread only. One instance serves the whole application.

#include <QObject>

namespace telvora::app {

// The Persian layout's character for the key that types `us_character`
// on the US layout (shift included: 'h' and 'H' are different), or 0 when
// that key keeps its character.
char16_t PersianCharacterFor(char16_t us_character);

// The US character of the key at X keycode `keycode` (evdev code + 8),
// shifted or not; 0 for keys that type no letter or punctuation mark.
char16_t UsCharacterOfKeycode(unsigned keycode, bool shifted);

class TPersianKeyboard : public QObject {
 public:
  // Installs itself as an application event filter; Latin until switched.
  explicit TPersianKeyboard(QObject* parent = nullptr);

  bool Persian() const { return persian_; }
  void SetPersian(bool value) { persian_ = value; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool persian_ = false;
  bool sending_ = false;  // our own translated event is on its way
};

}  // namespace telvora::app
