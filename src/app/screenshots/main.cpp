// telvora-screenshots FOLDER: draws the phone book's windows offscreen into
// PNG files in FOLDER, in the states a user meets them in, so that their
// layout can be looked at without a display. The main window shows a few
// Persian contacts of a PhoneBook table made in a temporary folder.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include <QDir>
#include <QTemporaryDir>
#include <QWidget>

#include "app/application.h"
#include "app/call_wait.h"
#include "app/cp1256_text.h"
#include "app/dtm.h"
#include "app/form1.h"
#include "app/phone_book_windows.h"
#include "app/select_number_form.h"
#include "app/vora_password_dialog.h"
#include "dataset/vora_session.h"
#include "dataset/vora_session_list.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/phone_book_table.h"
#include "telephony/tel_phone.h"

namespace {

namespace app = telvora::app;

struct SampleContact {
  const char* name;
  const char* family;
  const char* tel1;
  const char* tel2;
  const char* mobile;
  const char* address;
};

// UTF-8 here; stored in code page 1256 through the table component.
constexpr SampleContact kContacts[] = {
    {"علي", "رضايي", "02188776655", "-", "09121234567", "تهران، خيابان وليعصر، کوچه بهار، پلاک ۱۲"},
    {"سارا", "کريمي", "", "0", "09351112233", ""},
    {"محمد", "احمدي", "03112233445", "03112233446", "", "اصفهان، خيابان چهارباغ"},
    {"مريم", "حسيني", "04133221100", "", "09141234567", "تبريز"},
    {"O'Neil", "Smith", "0044207946", "", "", "London"},
};

bool Save(QWidget* window, const QDir& folder, const char* name) {
  window->show();
  const QString path = folder.filePath(name);
  const bool saved = window->grab().save(path, "PNG");
  std::printf("%s %s\n", saved ? "wrote" : "could not write", path.toLocal8Bit().constData());
  return saved;
}

void CreateEmptyPhoneBook(const std::string& folder) {
  telvora::engine::TDataSession session;
  telvora::engine::TDataDirectory& directory = session.OpenDirectory("", folder);
  telvora::engine::CreateCheckedTable(directory, std::string(telvora::engine::kPhoneBookTableName),
                                      telvora::engine::PhoneBookTableDescription(), false, false);
  session.CloseDirectory(directory);
}

void AddContacts() {
  telvora::dataset::TVoraTable& table = *app::DTM->MainTable;
  for (const SampleContact& c : kContacts) {
    table.Append();
    const std::pair<const char*, const char*> values[] = {{"Name", c.name},     {"Family", c.family},
                                                          {"Tel1", c.tel1},     {"Tel2", c.tel2},
                                                          {"Mobile", c.mobile}, {"Address", c.address}};
    for (const auto& [field, value] : values) {
      table.FieldByName(field).SetAsString(app::ToCp1256(QString::fromUtf8(value)).value_or(""));
    }
    table.Post();
  }
  table.First();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: telvora-screenshots FOLDER\n");
    return 2;
  }
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // One simulated telephone line, so that the main window's start finds
  // line device 0.
  ::setenv("TELVORA_LAB_LINES", "1", 1);
  app::TApplication application(argc, argv);
  QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.mkpath(".")) return 1;
  QTemporaryDir program_folder;
  if (!program_folder.isValid()) return 1;

  bool ok = true;
  {
    CreateEmptyPhoneBook(program_folder.path().toStdString());
    app::TPhoneBookWindows windows;
    app::Form1->SetTableFolder(program_folder.path().toStdString());
    app::Form1->show();
    AddContacts();
    ok = Save(app::Form1, folder, "main_window.png") && ok;
    // The search strip switched on, a search typed.
    app::Form1->CheckBox1->setChecked(true);
    app::Form1->ComboBox1->setCurrentIndex(1);
    app::Form1->Edit1->setText(QString::fromUtf8("ک"));
    ok = Save(app::Form1, folder, "main_window_search.png") && ok;
    app::Form1->CheckBox1->setChecked(false);

    app::DTM->MainTable->First();
    ok = Save(app::SelectNumberForm, folder, "select_number.png") && ok;
    app::SelectNumberForm->hide();
    // The call-wait dialog as a dial from the selection dialog leaves it.
    app::SelectNumberForm->Label4->SetCaption("09121234567");
    ok = Save(app::CallWait, folder, "call_wait.png") && ok;
    app::CallWait->TimerDisp->stop();
    app::CallWait->hide();
    app::Form1->hide();
  }
  telvora::dataset::Session().SetActive(false);

  app::TVoraPasswordDialog password(nullptr, {});
  ok = Save(&password, folder, "password.png") && ok;
  return ok ? 0 : 1;
}
