// telvora-screenshots FOLDER: draws the phone book's dialogs offscreen into
// PNG files in FOLDER, in the states a user meets them in, so that their
// layout can be looked at without a display.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include <QDir>
#include <QWidget>

#include "app/application.h"
#include "app/call_wait.h"
#include "app/current_contact_numbers.h"
#include "app/select_number_form.h"
#include "app/vora_password_dialog.h"
#include "telephony/tel_phone.h"

namespace {

class SampleContact : public telvora::app::TCurrentContactNumbers {
 public:
  std::optional<std::string> FieldValue(std::string_view field_name) const override {
    if (field_name == telvora::app::kTel1FieldName) return "02188776655";
    if (field_name == telvora::app::kTel2FieldName) return "-";
    return "09121234567";
  }
};

bool Save(QWidget* window, const QDir& folder, const char* name) {
  window->show();
  const QString path = folder.filePath(name);
  const bool saved = window->grab().save(path, "PNG");
  std::printf("%s %s\n", saved ? "wrote" : "could not write", path.toLocal8Bit().constData());
  window->hide();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: telvora-screenshots FOLDER\n");
    return 2;
  }
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  namespace app = telvora::app;
  app::TApplication application(argc, argv);
  QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.mkpath(".")) return 1;

  telvora::telephony::TelPhone phone(nullptr);
  SampleContact contact;
  app::TCallWait call_wait(nullptr, phone);
  app::TSelectNumberForm select_number(nullptr, phone, contact, call_wait);
  app::TVoraPasswordDialog password(nullptr, {});

  bool ok = Save(&select_number, folder, "select_number.png");
  // The call-wait dialog as a dial from the selection dialog leaves it.
  select_number.Label4->SetCaption("09121234567");
  ok = Save(&call_wait, folder, "call_wait.png") && ok;
  call_wait.TimerDisp->stop();
  ok = Save(&password, folder, "password.png") && ok;
  return ok ? 0 : 1;
}
