#pragma once
// TEnterMove: Enter-key navigation for one window. While Active, Enter
// (with moEnter in Options) moves the focus to the next control in tab
// order exactly as Tab would; Down and Up arrows (with moUpDn) move to the
// next and previous control. The key is not swallowed: the control that had
// the focus still receives it afterwards, so its own key handling runs too.
// A focused push button handles Enter itself (it is pressed) and the key
// never reaches the navigation.
//
// It sees the window's keys before its controls do (the window's key
// preview) through an event filter on the application, limited to key
// presses whose receiver is the focused control of its own window. Other
// filters keep working; they are not replaced.
//
// Invariant: at most one TEnterMove per window; creating a second raises
// EInvalidOperation "TEnterMove can have only one instance per form".
//
// Threads: GUI thread only.

#include <set>

#include <QObject>
#include <QPointer>

class QWidget;

namespace telvora::app {

enum TMoveOption { moEnter, moUpDn };
using TMoveOptions = std::set<TMoveOption>;

inline constexpr char kEnterMoveSingleInstance[] = "TEnterMove can have only one instance per form";

class TEnterMove : public QObject {
 public:
  // Owned by `form`, which it serves. Active, with Options [moEnter].
  explicit TEnterMove(QWidget* form);
  ~TEnterMove() override;

  bool Active() const { return active_; }
  void SetActive(bool value) { active_ = value; }
  const TMoveOptions& Options() const { return options_; }
  void SetOptions(const TMoveOptions& value) { options_ = value; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The next (or previous) control of the form in tab order that can take
  // the focus, or nullptr.
  QWidget* NextControl(QWidget* from, bool forward) const;

  QPointer<QWidget> form_;
  const QWidget* served_ = nullptr;  // the key in the set of served windows
  bool active_ = true;
  TMoveOptions options_{moEnter};
};

}  // namespace telvora::app
