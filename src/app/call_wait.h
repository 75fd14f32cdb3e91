#pragma once
// TCallWait: the call-wait dialog. Opened right after a number was dialled,
// it shows the number, asks the user to pick up the handset, counts fifteen
// seconds down and then drops the modem's call so that the handset keeps
// the line. Its buttons hang up at once, dial the same number again, or
// leave.
//
// The countdown: showing sets the counter to 15 and starts TimerDisp; each
// tick shows the counter and lowers it, so Label2 reads 15 (at showing),
// 15, 14, ... 0, and the tick that shows 0 (sixteen periods after showing)
// hangs up. Closing the dialog does not stop the timer: a running countdown
// goes on while the dialog is hidden and still hangs up at its end.
//
// Created once at start-up and reused; its labels keep what was last
// written into them (the status shows the last hang-up message from the
// first hang-up of a run on).
//
// Threads: GUI thread only. Shown modally with exec().

#include <QLabel>
#include <QTimer>

#include "app/dialog_form.h"
#include "app/window_controls.h"

namespace telvora::telephony {
class TelPhone;
}

namespace telvora::app {

// The countdown's start value and tick period.
inline constexpr int kCountdownStart = 15;
inline constexpr int kCountdownPeriodMs = 1000;

class TCallWait : public TDialogForm {
 public:
  TCallWait(QWidget* parent, telephony::TelPhone& phone);

  // The label whose caption holds the number being dialled (the number
  // selection dialog's hidden Label4); read at each showing.
  void SetDialledNumberSource(const QLabel* label) { number_source_ = label; }

  // The countdown's tick period, 1,000 ms. Only tests shorten it, so that a
  // whole countdown runs in a fraction of a second; it takes effect at the
  // next (re)start of the timer.
  void SetCountdownPeriod(int milliseconds) { period_ms_ = milliseconds; }

  int Counter() const { return counter_; }

  // Controls, named as in the window's definition.
  TPanel* Panel1;
  TLabel* Label1;
  TLabel* Label2;
  TLabel* Label3;
  TLabel* Label6;
  TLabel* LBTel;
  TLabel* Label4;
  TLabel* Label5;
  TButton* Button1;
  TButton* Button2;
  TButton* Button3;
  QTimer* TimerDisp;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void TimerDispTimer();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  // Shows the seconds left in Label2, keeping the sentence readable.
  void ShowSeconds(int seconds);
  // Label1, Label2 and Label3 read as one sentence from right to left. Each
  // keeps its place from the definition unless the one before it has grown
  // into it (the fonts here are not Windows' Tahoma, and a wider number
  // such as -1 may show); then it moves left to keep the defined gap.
  void LayOutSentence();
  // Starts the timer afresh with the current period.
  void StartTimer();
  // Starts it unless it runs already.
  void EnableTimer();
  // "Error: " and the code's text, when the hang-up failed.
  void ReportHangupResult(int code);

  telephony::TelPhone& phone_;
  const QLabel* number_source_ = nullptr;
  int period_ms_ = kCountdownPeriodMs;
  int counter_ = kCountdownStart;
};

}  // namespace telvora::app
