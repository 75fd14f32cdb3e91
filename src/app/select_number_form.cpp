#include "app/select_number_form.h"

#include <QEvent>
#include <QKeyEvent>
#include <QShowEvent>

#include "app/call_wait.h"
#include "app/cp1256_text.h"
#include "app/current_contact_numbers.h"
#include "app/focus_control.h"
#include "app/message_box.h"
#include "telephony/tel_phone.h"

namespace telvora::app {

namespace {

// The window's texts, code page 1256.
constexpr char kCaption[] = "Select Number";
constexpr char kTel1Caption[] = "\xD4\xE3\xC7\xD1\xE5 \xCA\xE1\xDD\xE4 :";              // شماره تلفن :
constexpr char kTel2Caption[] = "\xD4\xE3\xC7\xD1\xE5 \xDD\x98\xD3 :";                  // شماره فکس :
constexpr char kMobileCaption[] = "\xD4\xE3\xC7\xD1\xE5 \xE3\xE6\xC8\xC7\xED\xE1 :";    // شماره موبايل :
constexpr char kDialCaption[] = "\xD4\xE3\xC7\xD1\xE5 \x90\xED\xD1\xED";                // شماره گيري
constexpr char kCancelCaption[] = "\xE1\xDB\xE6";                                       // لغو
// هيچ شماره فعالي براي شماره گيري وجود ندارد
constexpr char kNoDialableNumber[] =
    "\xE5\xED\x8D \xD4\xE3\xC7\xD1\xE5 \xDD\xDA\xC7\xE1\xED \xC8\xD1\xC7\xED \xD4\xE3\xC7\xD1\xE5 "
    "\x90\xED\xD1\xED \xE6\xCC\xE6\xCF \xE4\xCF\xC7\xD1\xCF";
constexpr char kDialErrorPrefix[] = "\xCE\xD8\xC7:";  // خطا:

constexpr int kClientWidth = 231;
constexpr int kClientHeight = 154;

// The two values that mark a number as not to be dialled.
constexpr char kNoNumberDash[] = "-";
constexpr char kNoNumberZero[] = "0";

}  // namespace

bool IsDialableNumber(const std::optional<std::string>& value) {
  if (!value) return true;
  return *value != kNoNumberDash && *value != kNoNumberZero;
}

TSelectNumberForm::TSelectNumberForm(QWidget* parent, telephony::TelPhone& phone,
                                     const TCurrentContactNumbers& contact, TCallWait& call_wait)
    : TDialogForm(parent, kClientWidth, kClientHeight, kCaption),
      phone_(phone),
      contact_(contact),
      call_wait_(call_wait) {
  setObjectName("SelectNumberForm");
  // Label4 first: created before Panel1, it lies under it.
  Label4 = new TLabel(this, 98, 114, 31, 13);
  Panel1 = new TPanel(this, 6, 3, 217, 147);

  auto radio = [this](int top, const char* caption) {
    auto* button = new QRadioButton(FromCp1256(caption), Panel1);
    button->setGeometry(120, top, 89, 17);
    button->installEventFilter(this);
    return button;
  };
  RadioButton1 = radio(16, kTel1Caption);
  RadioButton2 = radio(48, kTel2Caption);
  RadioButton3 = radio(80, kMobileCaption);
  RadioButton1->setChecked(true);

  Label1 = new TLabel(Panel1, 51, 17, 31, 13);
  Label2 = new TLabel(Panel1, 51, 48, 31, 13);
  Label3 = new TLabel(Panel1, 51, 80, 31, 13);

  Button1 = new TButton(Panel1, 120, 112, 75, 25);
  Button1->setText(FromCp1256(kDialCaption));
  Button2 = new TButton(Panel1, 32, 112, 75, 25);
  Button2->setText(FromCp1256(kCancelCaption));

  const std::pair<QWidget*, const char*> names[] = {
      {Panel1, "Panel1"}, {RadioButton1, "RadioButton1"}, {RadioButton2, "RadioButton2"},
      {RadioButton3, "RadioButton3"}, {Label1, "Label1"}, {Label2, "Label2"}, {Label3, "Label3"},
      {Button1, "Button1"}, {Button2, "Button2"}, {Label4, "Label4"}};
  for (const auto& [widget, name] : names) widget->setObjectName(name);

  setTabOrder(RadioButton1, RadioButton2);
  setTabOrder(RadioButton2, RadioButton3);
  setTabOrder(RadioButton3, Button1);
  setTabOrder(Button1, Button2);

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  call_wait_.SetDialledNumberSource(Label4);
}

void TSelectNumberForm::showEvent(QShowEvent* event) {
  TDialogForm::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

bool TSelectNumberForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress &&
      (watched == RadioButton1 || watched == RadioButton2 || watched == RadioButton3)) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      RadioButtonKeyPress();
      return true;
    }
  }
  return TDialogForm::eventFilter(watched, event);
}

void TSelectNumberForm::FormShow() {
  const std::optional<std::string> tel1 = contact_.FieldValue(kTel1FieldName);
  const std::optional<std::string> tel2 = contact_.FieldValue(kTel2FieldName);
  const std::optional<std::string> mobile = contact_.FieldValue(kMobileFieldName);
  // The check mark stays where it was, even on a button disabled here.
  RadioButton1->setEnabled(IsDialableNumber(tel1));
  RadioButton2->setEnabled(IsDialableNumber(tel2));
  RadioButton3->setEnabled(IsDialableNumber(mobile));

  const bool any = RadioButton1->isEnabled() || RadioButton2->isEnabled() || RadioButton3->isEnabled();
  Button1->setEnabled(any);
  if (!any) {
    ShowMessage(this, kNoDialableNumber);
    // The dialog ends as soon as its showing is complete.
    QMetaObject::invokeMethod(this, [this] { reject(); }, Qt::QueuedConnection);
  }

  Label1->SetCaption(FromCp1256(tel1.value_or("")));
  Label2->SetCaption(FromCp1256(tel2.value_or("")));
  Label3->SetCaption(FromCp1256(mobile.value_or("")));
}

void TSelectNumberForm::Button1Click() {
  // A checked button counts even when FormShow disabled it; with none
  // checked the previous number is dialled again.
  if (RadioButton1->isChecked()) {
    chosen_number_ = contact_.FieldValue(kTel1FieldName).value_or("");
  } else if (RadioButton2->isChecked()) {
    chosen_number_ = contact_.FieldValue(kTel2FieldName).value_or("");
  } else if (RadioButton3->isChecked()) {
    chosen_number_ = contact_.FieldValue(kMobileFieldName).value_or("");
  }
  Label4->SetCaption(FromCp1256(chosen_number_));

  const int code = phone_.DialNumber(chosen_number_, 0);
  if (code != 0) {
    std::string text;
    phone_.GetResultText(code, text);
    ShowMessage(this, kDialErrorPrefix + text);
  } else {
    hide();
  }
  call_wait_.exec();
  reject();
}

void TSelectNumberForm::Button2Click() { reject(); }

void TSelectNumberForm::RadioButtonKeyPress() { FocusControl(Button1); }

}  // namespace telvora::app
