#include "app/enter_move.h"

#include <set>

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

#include "app/invalid_operation.h"

namespace telvora::app {

namespace {

// The windows that have their TEnterMove (GUI thread only). A set of our
// own rather than a property of the window: the last TEnterMove goes while
// its window is being destroyed, when the window must not be touched.
std::set<const QWidget*>& ServedForms() {
  static std::set<const QWidget*> forms;
  return forms;
}

}  // namespace

TEnterMove::TEnterMove(QWidget* form) : QObject(nullptr), form_(form) {
  if (!ServedForms().insert(form).second) throw EInvalidOperation(kEnterMoveSingleInstance);
  served_ = form;
  setParent(form);
  qApp->installEventFilter(this);
}

TEnterMove::~TEnterMove() { ServedForms().erase(served_); }

bool TEnterMove::eventFilter(QObject* watched, QEvent* event) {
  if (!active_ || event->type() != QEvent::KeyPress || form_ == nullptr) return false;
  QWidget* focus = QApplication::focusWidget();
  if (watched != focus || focus == nullptr || focus->window() != form_) return false;
  const auto* key_event = static_cast<QKeyEvent*>(event);
  const int key = key_event->key();
  bool forward = true;
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) && options_.count(moEnter) != 0) {
    if (qobject_cast<QPushButton*>(focus) != nullptr) return false;
  } else if (key == Qt::Key_Down && options_.count(moUpDn) != 0) {
  } else if (key == Qt::Key_Up && options_.count(moUpDn) != 0) {
    forward = false;
  } else {
    return false;
  }
  if (QWidget* next = NextControl(focus, forward)) next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return false;  // the control that had the focus still gets the key
}

QWidget* TEnterMove::NextControl(QWidget* from, bool forward) const {
  for (QWidget* candidate = forward ? from->nextInFocusChain() : from->previousInFocusChain();
       candidate != nullptr && candidate != from;
       candidate = forward ? candidate->nextInFocusChain() : candidate->previousInFocusChain()) {
    if (candidate->window() == form_ && candidate->isEnabled() && candidate->isVisibleTo(form_) &&
        (candidate->focusPolicy() & Qt::TabFocus) != 0 && candidate->focusProxy() == nullptr) {
      return candidate;
    }
  }
  return nullptr;
}

}  // namespace telvora::app
