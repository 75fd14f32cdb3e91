#pragma once
// TDialogForm: the base of the phone book's dialogs. A fixed client area
// with a dialog border (no resizing, no maximising), right-to-left reading
// order and the window font, shown modally with exec() or hidden and shown
// again with its controls keeping their state.
//
// Keys follow the dialogs' definitions rather than Qt's dialog habits:
// Enter presses the default TButton only when one is set (Qt would press
// whichever button had the focus last), and Escape presses the cancel
// TButton only when one is set (Qt would always reject). A dialog without
// such buttons leaves both keys to its controls.
//
// Threads: GUI thread only.

#include <QDialog>

namespace telvora::app {

class TButton;

class TDialogForm : public QDialog {
 public:
  // Centred over `parent` when it has one, on the screen otherwise.
  TDialogForm(QWidget* parent, int client_width, int client_height, const QString& caption);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  TButton* FindButton(bool default_button) const;
};

}  // namespace telvora::app
