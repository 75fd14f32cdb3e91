#pragma once
// TSelectNumberForm: the number selection dialog. It shows the current
// contact's telephone, fax and mobile numbers, offers those that look
// dialable, dials the chosen one on the main window's telephony component
// and then shows the call-wait dialog.
//
// Created once at start-up and reused: which radio button is checked, the
// chosen number and the hidden Label4 keep their values between openings.
// Label4 lies under Panel1 and is never seen; it carries the number being
// dialled to the call-wait dialog, and the main window sets it too before it
// shows the call-wait dialog after a dial of its own.
//
// Threads: GUI thread only. Shown modally with exec().

#include <optional>
#include <string>

#include <QRadioButton>

#include "app/dialog_form.h"
#include "app/window_controls.h"

namespace telvora::telephony {
class TelPhone;
}

namespace telvora::app {

class TCallWait;
class TCurrentContactNumbers;

// A number is offered unless it is exactly "-" or exactly "0"; a null
// field is unequal to both, so an empty number is offered.
bool IsDialableNumber(const std::optional<std::string>& value);

class TSelectNumberForm : public TDialogForm {
 public:
  // Hands its Label4 to `call_wait` as the source of the dialled number.
  TSelectNumberForm(QWidget* parent, telephony::TelPhone& phone, const TCurrentContactNumbers& contact,
                    TCallWait& call_wait);

  // The number read at the last press of Dial (code page 1256); empty at
  // start.
  const std::string& ChosenNumber() const { return chosen_number_; }

  // Controls, named as in the window's definition.
  TPanel* Panel1;
  QRadioButton* RadioButton1;
  QRadioButton* RadioButton2;
  QRadioButton* RadioButton3;
  TLabel* Label1;
  TLabel* Label2;
  TLabel* Label3;
  TButton* Button1;
  TButton* Button2;
  TLabel* Label4;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormShow();
  void Button1Click();
  void Button2Click();
  void RadioButtonKeyPress();

  telephony::TelPhone& phone_;
  const TCurrentContactNumbers& contact_;
  TCallWait& call_wait_;
  std::string chosen_number_;
};

}  // namespace telvora::app
