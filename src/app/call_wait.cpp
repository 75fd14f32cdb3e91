#include "app/call_wait.h"

#include <algorithm>

#include <QShowEvent>

#include "app/cp1256_text.h"
#include "app/focus_control.h"
#include "app/message_box.h"
#include "telephony/tel_phone.h"

namespace telvora::app {

namespace {

// The window's texts, code page 1256.
constexpr char kCaption[] = "Telvora .:. Dial Widnow";
// لطفا گوشي تلفن را برداريد.ارتباط تا
constexpr char kSentenceStart[] =
    "\xE1\xD8\xDD\xC7 \x90\xE6\xD4\xED \xCA\xE1\xDD\xE4 \xD1\xC7 \xC8\xD1\xCF\xC7\xD1\xED\xCF."
    "\xC7\xD1\xCA\xC8\xC7\xD8 \xCA\xC7";
constexpr char kDesignSeconds[] = "10";
// ثانيه ديگر قطع خواهد شد.
constexpr char kSentenceEnd[] = "\xCB\xC7\xE4\xED\xE5 \xCF\xED\x90\xD1 \xDE\xD8\xDA \xCE\xE6\xC7\xE5\xCF \xD4\xCF.";
// شماره تلفن مورد نظر:
constexpr char kNumberCaption[] = "\xD4\xE3\xC7\xD1\xE5 \xCA\xE1\xDD\xE4 \xE3\xE6\xD1\xCF \xE4\xD9\xD1:";
constexpr char kStatusCaption[] = "\xE6\xD6\xDA\xED\xCA :";  // وضعيت :
// در حال شماره گيري يا بوق آزاد
constexpr char kStatusDialling[] =
    "\xCF\xD1 \xCD\xC7\xE1 \xD4\xE3\xC7\xD1\xE5 \x90\xED\xD1\xED \xED\xC7 \xC8\xE6\xDE \xC2\xD2\xC7\xCF";
constexpr char kHangupCaption[] = "\xDE\xD8\xDA";                                             // قطع
constexpr char kRedialCaption[] = "\xD4\xE3\xC7\xD1\xE5 \x90\xED\xD1\xED \xE3\xCC\xCF\xCF";  // شماره گيري مجدد
constexpr char kLeaveCaption[] = "\xCE\xD1\xE6\xCC";                                          // خروج
// ارتباط مودم از خط تلفن به صورت خودکار قطع گرديد.
constexpr char kAutomaticHangup[] =
    "\xC7\xD1\xCA\xC8\xC7\xD8 \xE3\xE6\xCF\xE3 \xC7\xD2 \xCE\xD8 \xCA\xE1\xDD\xE4 \xC8\xE5 \xD5\xE6\xD1\xCA "
    "\xCE\xE6\xCF\x98\xC7\xD1 \xDE\xD8\xDA \x90\xD1\xCF\xED\xCF.";
// ارتباط مودم از خط تلفن به صورت دستي قطع گرديد.
constexpr char kManualHangup[] =
    "\xC7\xD1\xCA\xC8\xC7\xD8 \xE3\xE6\xCF\xE3 \xC7\xD2 \xCE\xD8 \xCA\xE1\xDD\xE4 \xC8\xE5 \xD5\xE6\xD1\xCA "
    "\xCF\xD3\xCA\xED \xDE\xD8\xDA \x90\xD1\xCF\xED\xCF.";
constexpr char kDialErrorPrefix[] = "\xCE\xD8\xC7:";  // خطا:
constexpr char kHangupErrorPrefix[] = "Error: ";

constexpr int kClientWidth = 326;
constexpr int kClientHeight = 139;
// The counter value whose tick hangs up (the tick that shows 0).
constexpr int kCountdownEnd = -1;
// The sentence's labels: where Label2 and Label3 end, and the gap each
// leaves to the label on its right, as defined.
constexpr int kSecondsRight = 133 + 12;
constexpr int kSentenceEndRight = 10 + 119;
constexpr int kSentenceGap = 4;

}  // namespace

TCallWait::TCallWait(QWidget* parent, telephony::TelPhone& phone)
    : TDialogForm(parent, kClientWidth, kClientHeight, kCaption), phone_(phone) {
  setObjectName("CallWait");
  Panel1 = new TPanel(this, 7, 5, 313, 97);
  auto label = [this](int left, int top, int width, int height, const char* caption) {
    auto* created = new TLabel(Panel1, left, top, width, height);
    created->SetCaption(FromCp1256(caption));
    return created;
  };
  Label1 = label(149, 16, 158, 13, kSentenceStart);
  Label2 = label(133, 16, 12, 13, kDesignSeconds);
  Label3 = label(10, 16, 119, 13, kSentenceEnd);
  Label6 = label(152, 42, 100, 13, kNumberCaption);
  LBTel = label(104, 42, 25, 13, "");
  Label4 = label(265, 68, 41, 13, kStatusCaption);
  Label5 = label(121, 68, 137, 13, kStatusDialling);
  LayOutSentence();
  QPalette red = Label6->palette();
  red.setColor(QPalette::WindowText, Qt::red);
  Label6->setPalette(red);
  QPalette blue = LBTel->palette();
  blue.setColor(QPalette::WindowText, Qt::blue);
  LBTel->setPalette(blue);

  Button1 = new TButton(this, 215, 110, 75, 25);
  Button1->setText(FromCp1256(kHangupCaption));
  Button2 = new TButton(this, 112, 110, 98, 25);
  Button2->setText(FromCp1256(kRedialCaption));
  Button3 = new TButton(this, 32, 110, 75, 25);
  Button3->setText(FromCp1256(kLeaveCaption));
  setTabOrder(Button1, Button2);
  setTabOrder(Button2, Button3);

  TimerDisp = new QTimer(this);
  TimerDisp->setInterval(period_ms_);

  const std::pair<QObject*, const char*> names[] = {
      {Panel1, "Panel1"}, {Label1, "Label1"}, {Label2, "Label2"},   {Label3, "Label3"},
      {Label6, "Label6"}, {LBTel, "LBTel"},   {Label4, "Label4"},   {Label5, "Label5"},
      {Button1, "Button1"}, {Button2, "Button2"}, {Button3, "Button3"}, {TimerDisp, "TimerDisp"}};
  for (const auto& [object, name] : names) object->setObjectName(name);

  connect(TimerDisp, &QTimer::timeout, this, [this] { TimerDispTimer(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
}

void TCallWait::showEvent(QShowEvent* event) {
  TDialogForm::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TCallWait::FormShow() {
  LBTel->SetCaption(number_source_ != nullptr ? number_source_->text() : QString());
  counter_ = kCountdownStart;
  ShowSeconds(counter_);
  EnableTimer();
  Button1->setEnabled(true);
  FocusControl(Button1);
}

void TCallWait::TimerDispTimer() {
  ShowSeconds(counter_);
  --counter_;
  // Restarted before the hang-up: while a hang-up error box is open, ticks
  // go on arriving and only the one that reached the end hangs up.
  TimerDisp->stop();
  StartTimer();
  if (counter_ == kCountdownEnd) {
    Label5->SetCaption(FromCp1256(kAutomaticHangup));
    ReportHangupResult(phone_.Hangup());
    TimerDisp->stop();
    Button1->setEnabled(false);
    FocusControl(Button2);
  }
}

void TCallWait::Button1Click() {
  ShowSeconds(0);
  Label5->SetCaption(FromCp1256(kManualHangup));
  ReportHangupResult(phone_.Hangup());
  TimerDisp->stop();
  Button1->setEnabled(false);
  FocusControl(Button2);
}

void TCallWait::Button2Click() {
  // LBTel shows the decoded number; code page 1256 decodes every byte to a
  // different character, so encoding gives the dialled bytes back.
  const std::string number = ToCp1256(LBTel->text()).value_or(std::string());
  const int code = phone_.DialNumber(number, 0);
  if (code != 0) {
    std::string text;
    phone_.GetResultText(code, text);
    ShowMessage(this, kDialErrorPrefix + text);
  } else {
    Button1->setEnabled(true);
  }
  counter_ = kCountdownStart;
  EnableTimer();
  FocusControl(Button1);
}

void TCallWait::Button3Click() { reject(); }

void TCallWait::ShowSeconds(int seconds) {
  Label2->SetCaption(QString::number(seconds));
  LayOutSentence();
}

void TCallWait::LayOutSentence() {
  Label2->SetDesignRight(std::min(kSecondsRight, Label1->x() - kSentenceGap));
  Label3->SetDesignRight(std::min(kSentenceEndRight, Label2->x() - kSentenceGap));
}

void TCallWait::StartTimer() {
  TimerDisp->setInterval(period_ms_);
  TimerDisp->start();
}

void TCallWait::EnableTimer() {
  // Enabling a running timer changes nothing: its next tick keeps its time.
  if (!TimerDisp->isActive()) StartTimer();
}

void TCallWait::ReportHangupResult(int code) {
  if (code == 0) return;
  std::string text;
  phone_.GetResultText(code, text);
  ShowMessage(this, kHangupErrorPrefix + text);
}

}  // namespace telvora::app
