#include "app/persian_keyboard.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QWidget>

namespace telvora::app {

namespace {

struct KeyCharacter {
  char16_t us;
  char16_t persian;
};

// The Persian layout over the US one, by key. Every character is one code
// page 1256 holds.
constexpr KeyCharacter kPersianLayout[] = {
    // Top letter row.
    {u'q', u'\u0636'}, {u'w', u'\u0635'}, {u'e', u'\u062B'}, {u'r', u'\u0642'}, {u't', u'\u0641'},
    {u'y', u'\u063A'}, {u'u', u'\u0639'}, {u'i', u'\u0647'}, {u'o', u'\u062E'}, {u'p', u'\u062D'},
    {u'[', u'\u062C'}, {u']', u'\u0686'}, {u'\\', u'\u067E'},
    // Home row.
    {u'a', u'\u0634'}, {u's', u'\u0633'}, {u'd', u'\u064A'}, {u'f', u'\u0628'}, {u'g', u'\u0644'},
    {u'h', u'\u0627'}, {u'j', u'\u062A'}, {u'k', u'\u0646'}, {u'l', u'\u0645'}, {u';', u'\u06A9'},
    {u'\'', u'\u06AF'},
    // Bottom row.
    {u'z', u'\u0638'}, {u'x', u'\u0637'}, {u'c', u'\u0632'}, {u'v', u'\u0631'}, {u'b', u'\u0630'},
    {u'n', u'\u062F'}, {u'm', u'\u0626'}, {u',', u'\u0648'},
    // Shifted keys with letters of their own.
    {u'H', u'\u0622'}, {u'M', u'\u0621'}, {u'C', u'\u0698'}, {u'?', u'\u061F'},
};

// X keycodes (evdev + 8) of the US layout's printable keys, by row.
struct KeyRow {
  unsigned first_keycode;
  const char16_t* unshifted;
  const char16_t* shifted;
};
constexpr KeyRow kUsRows[] = {
    {10, u"1234567890-=", u"!@#$%^&*()_+"},
    {24, u"qwertyuiop[]", u"QWERTYUIOP{}"},
    {38, u"asdfghjkl;'`", u"ASDFGHJKL:\"~"},
    {51, u"\\zxcvbnm,./", u"|ZXCVBNM<>?"},
};

}  // namespace

char16_t PersianCharacterFor(char16_t us_character) {
  for (const KeyCharacter& key : kPersianLayout) {
    if (key.us == us_character) return key.persian;
  }
  return 0;
}

char16_t UsCharacterOfKeycode(unsigned keycode, bool shifted) {
  for (const KeyRow& row : kUsRows) {
    const std::u16string_view keys = shifted ? row.shifted : row.unshifted;
    if (keycode >= row.first_keycode && keycode < row.first_keycode + keys.size()) {
      return keys[keycode - row.first_keycode];
    }
  }
  return 0;
}

TPersianKeyboard::TPersianKeyboard(QObject* parent) : QObject(parent) { qApp->installEventFilter(this); }

bool TPersianKeyboard::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || sending_) return false;
  // A key press travels up to the parents when a control ignores it; act on
  // its first delivery only.
  QWidget* focus = QApplication::focusWidget();
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr || (focus != nullptr ? widget != focus : !widget->isWindow())) return false;

  auto* key_event = static_cast<QKeyEvent*>(event);
  const Qt::KeyboardModifiers modifiers = key_event->modifiers();
  const int key = key_event->key();
  if ((key == Qt::Key_Shift && (modifiers & Qt::AltModifier)) ||
      (key == Qt::Key_Alt && (modifiers & Qt::ShiftModifier))) {
    persian_ = !persian_;
    return false;
  }
  if (!persian_ || (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) return false;
  if (key_event->text().size() != 1) return false;

  char16_t us = 0;
  if (QGuiApplication::platformName() == QLatin1String("xcb") && key_event->nativeScanCode() != 0) {
    us = UsCharacterOfKeycode(key_event->nativeScanCode(), (modifiers & Qt::ShiftModifier) != 0);
  }
  if (us == 0) us = key_event->text().at(0).unicode();
  const char16_t persian = PersianCharacterFor(us);
  if (persian == 0) return false;

  QKeyEvent translated(QEvent::KeyPress, key, modifiers, key_event->nativeScanCode(),
                       key_event->nativeVirtualKey(), key_event->nativeModifiers(), QString(QChar(persian)),
                       key_event->isAutoRepeat(), key_event->count());
  sending_ = true;
  QCoreApplication::sendEvent(watched, &translated);
  sending_ = false;
  return true;
}

}  // namespace telvora::app
