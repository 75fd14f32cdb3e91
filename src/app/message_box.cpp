#include "app/message_box.h"

#include <QMessageBox>

#include "app/cp1256_text.h"

namespace telvora::app {

namespace {

int Run(QWidget* parent, QMessageBox::Icon icon, std::string_view text, QMessageBox::StandardButtons buttons,
        QMessageBox::StandardButton escape) {
  QMessageBox box(icon, kApplicationTitle, FromCp1256(text), buttons, parent);
  box.setTextFormat(Qt::PlainText);
  box.setEscapeButton(escape);
  return box.exec();
}

}  // namespace

void ShowMessage(QWidget* parent, std::string_view text) {
  Run(parent, QMessageBox::NoIcon, text, QMessageBox::Ok, QMessageBox::Ok);
}

TConfirmAnswer AskYesNoCancel(QWidget* parent, std::string_view text) {
  const int answer = Run(parent, QMessageBox::Question, text,
                         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
  if (answer == QMessageBox::Yes) return TConfirmAnswer::caYes;
  if (answer == QMessageBox::No) return TConfirmAnswer::caNo;
  return TConfirmAnswer::caCancel;
}

bool AskOkCancel(QWidget* parent, std::string_view text) {
  return Run(parent, QMessageBox::Question, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) ==
         QMessageBox::Ok;
}

void ShowErrorMessage(QWidget* parent, std::string_view text) {
  Run(parent, QMessageBox::Critical, text, QMessageBox::Ok, QMessageBox::Ok);
}

}  // namespace telvora::app
