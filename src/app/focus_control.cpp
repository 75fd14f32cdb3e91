#include "app/focus_control.h"

#include <QWidget>

namespace telvora::app {

bool FocusControl(QWidget* control) {
  if (control == nullptr) return false;
  QWidget* window = control->window();
  if (!control->isEnabled() || !window->isVisible() || !control->isVisibleTo(window)) return false;
  control->setFocus(Qt::OtherFocusReason);
  return true;
}

}  // namespace telvora::app
