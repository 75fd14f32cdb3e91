#pragma once
// TVoraPasswordDialog ("Enter password"): asks for the password of an
// encrypted table when the session's password list lacks it. The user adds
// passwords to the list (or removes them) and ends with OK to let the
// engine try again, or Cancel to give up.
//
// The dialog knows nothing of sessions: it works through
// TPasswordListActions, three plain callbacks over a session's password
// list, so the dataset layer (which has no Qt) can take the dialog as a
// plain function, TPasswordDialogFunction, and call it from its password
// callback when no OnPassword handler is assigned.
//
// Enabling: Add and Remove exactly when the edit box holds text; OK when it
// holds text or a password was added in this showing. Passwords are code
// page 1256 text; the edit box refuses characters that page cannot hold.
//
// Threads: GUI thread only.

#include <functional>
#include <string>

#include <QGroupBox>
#include <QLineEdit>

#include "app/dialog_form.h"
#include "app/window_controls.h"

namespace telvora::app {

struct TPasswordListActions {
  std::function<void(const std::string&)> AddPassword;
  std::function<void(const std::string&)> RemovePassword;
  std::function<void()> RemoveAllPasswords;
};

// Shows the dialog modally; true exactly when it ended with OK.
using TPasswordDialogFunction = std::function<bool(const TPasswordListActions&)>;
bool ExecutePasswordDialog(const TPasswordListActions& actions);

class TVoraPasswordDialog : public TDialogForm {
 public:
  // Centred on the screen when `parent` is nullptr. Every action may be
  // left empty (it is then not called).
  TVoraPasswordDialog(QWidget* parent, TPasswordListActions actions);

  // Controls, named as in the dialog's definition.
  QGroupBox* GroupBox1;
  QLineEdit* Edit;
  TButton* AddButton;
  TButton* RemoveButton;
  TButton* RemoveAllButton;
  TButton* OKButton;
  TButton* CancelButton;

 private:
  void EditChange();
  void AddButtonClick();
  void RemoveButtonClick();
  void RemoveAllButtonClick();
  void OKButtonClick();
  // The edit box's text as code page 1256.
  std::string EditText() const;

  TPasswordListActions actions_;
  bool added_ = false;
};

}  // namespace telvora::app
