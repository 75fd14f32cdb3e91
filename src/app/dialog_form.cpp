#include "app/dialog_form.h"

#include <QKeyEvent>

#include "app/window_controls.h"
#include "app/window_font.h"

namespace telvora::app {

TDialogForm::TDialogForm(QWidget* parent, int client_width, int client_height, const QString& caption)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(caption);
  setLayoutDirection(Qt::RightToLeft);
  setFont(WindowFont());
  setFixedSize(client_width, client_height);
  setSizeGripEnabled(false);
}

void TDialogForm::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
      if (TButton* button = FindButton(key != Qt::Key_Escape)) button->click();
      event->accept();
      return;
    }
  }
  QDialog::keyPressEvent(event);
}

TButton* TDialogForm::FindButton(bool default_button) const {
  // Our controls carry no meta-object of their own, so findChildren cannot
  // tell a TButton from a QPushButton; dynamic_cast can.
  for (QPushButton* push_button : findChildren<QPushButton*>()) {
    auto* button = dynamic_cast<TButton*>(push_button);
    if (button == nullptr) continue;
    const bool role = default_button ? button->Default() : button->Cancel();
    if (role && button->isEnabled() && button->isVisibleTo(this)) return button;
  }
  return nullptr;
}

}  // namespace telvora::app
