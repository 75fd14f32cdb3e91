#pragma once
// The phone book's main window in a test: a PhoneBook table made by the
// engine in a temporary program folder, the four windows created as the
// program creates them, lab telephone lines as the telephony service's
// devices, and the main window shown (which opens the table, switches the
// keyboard and activates line 0). Offscreen.
//
// Stored rows are read back through the engine alone, so what the windows
// wrote is checked by other code; every test's table is handed to the
// table checker at the end.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QKeyEvent>
#include <QTest>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/call_wait.h"
#include "app/cp1256_text.h"
#include "app/dtm.h"
#include "app/form1.h"
#include "app/phone_book_windows.h"
#include "app/select_number_form.h"
#include "app_test_support.h"
#include "dataset/vora_session.h"
#include "dataset/vora_session_list.h"
#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/phone_book_table.h"
#include "engine/value_text_conversion.h"
#include "storage/record_image.h"
#include "support/table_check.h"
#include "support/temp_dir.h"
#include "tapi/lab_line.h"
#include "tapi/lab_phone.h"
#include "tapi/tapi.h"
#include "telephony/tel_phone.h"

namespace telvora::app::test {

// One contact as its six fields hold it, in code page 1256 (empty: null).
struct Contact {
  std::string name, family, tel1, tel2, mobile, address;
  bool operator==(const Contact&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Contact& c) {
  return os << "{" << c.name << "|" << c.family << "|" << c.tel1 << "|" << c.tel2 << "|" << c.mobile << "|"
            << c.address << "}";
}

// Creates PhoneBook in `folder` with the contacts, in this order.
inline void CreatePhoneBook(const std::filesystem::path& folder, const std::vector<Contact>& contacts) {
  engine::TDataSession session;
  engine::TDataDirectory& directory = session.OpenDirectory("", folder.string());
  engine::CreateCheckedTable(directory, std::string(engine::kPhoneBookTableName),
                             engine::PhoneBookTableDescription(), false, false);
  {
    engine::TDataCursor cursor(directory);
    cursor.SetTableName(std::string(engine::kPhoneBookTableName));
    cursor.OpenCursor();
    for (const Contact& c : contacts) {
      std::vector<std::uint8_t> buffer(cursor.RecordSize());
      cursor.InitRecord(buffer);
      storage::TRecordImage image(buffer);
      const std::string* values[] = {&c.name, &c.family, &c.tel1, &c.tel2, &c.mobile, &c.address};
      for (int i = 0; i < 6; ++i) {
        if (!values[i]->empty()) engine::StoreValueText(cursor.Fields()[i], *values[i], {}, image);
      }
      cursor.InsertRecord(buffer, false);
    }
  }
  session.CloseDirectory(directory);
}

// The stored contacts in the table's own order.
inline std::vector<Contact> StoredContacts(const std::filesystem::path& folder) {
  engine::TDataSession session;
  engine::TDataDirectory& directory = session.OpenDirectory("", folder.string());
  std::vector<Contact> contacts;
  {
    engine::TDataCursor cursor(directory);
    cursor.SetTableName(std::string(engine::kPhoneBookTableName));
    cursor.OpenCursor();
    cursor.MoveFirst();
    std::vector<std::uint8_t> buffer(cursor.RecordSize());
    auto text = [&](int field) {
      return storage::TRecordImage(buffer).GetString(storage::TFieldLayout::Of(cursor.Fields()[field]));
    };
    while (cursor.MoveNext(buffer) == 0) contacts.push_back({text(0), text(1), text(2), text(3), text(4), text(5)});
  }
  session.CloseDirectory(directory);
  return contacts;
}

class PhoneBookWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { App(); }

  // Override to start with other contacts, or with no table at all.
  virtual std::vector<Contact> InitialContacts() const {
    return {{"Ali", "Rezaei", "02188776655", "-", "09121234567", "Tehran, Valiasr 12"},
            {"Sara", "Karimi", "", "0", "09351112233", ""},
            {"Reza", "Ahmadi", "0311223344", "", "", "Esfahan"}};
  }
  virtual bool MakeTable() const { return true; }

  void SetUp() override {
    InstallLabLines(1);
    if (MakeTable()) CreatePhoneBook(dir_.path(), InitialContacts());
    windows_ = std::make_unique<TPhoneBookWindows>();
    Form1->SetTableFolder(dir_.path().string());
    CallWait->SetCountdownPeriod(kShortPeriodMs);
  }

  void TearDown() override {
    CloseModalWindows();
    if (CallWait != nullptr) CallWait->TimerDisp->stop();
    windows_.reset();
    dataset::Session().SetActive(false);
    tapi::SetDeviceFactory({});
    App().Keyboard().SetPersian(false);
    if (MakeTable()) {
      EXPECT_TABLE_SOUND(dir_ / "PhoneBook");
    }
  }

  void InstallLabLines(int count) {
    tapi::SetDeviceFactory([this, count] {
      tapi::DeviceSet set;
      labs_.clear();
      for (int i = 0; i < count; ++i) {
        auto line = std::make_unique<tapi::LabLine>(tapi::LabLine::DefaultCaps(i, i == 0));
        labs_.push_back(line.get());
        set.lines.push_back(std::move(line));
      }
      if (count > 0) set.phones.push_back(std::make_unique<tapi::LabPhone>(tapi::LabPhone::DefaultCaps(0)));
      return set;
    });
  }

  // Shows the main window (FormShow runs) and makes it active.
  void ShowMainWindow() { ASSERT_TRUE(ShowActive(Form1)); }

  dataset::TVoraTable& Table() { return *DTM->MainTable; }

  // The lab line's log entries that begin with `what`.
  std::vector<std::string> LabLog(const std::string& what) const {
    std::vector<std::string> found;
    if (labs_.empty()) return found;
    for (const std::string& entry : labs_[0]->Log()) {
      if (entry.rfind(what, 0) == 0) found.push_back(entry);
    }
    return found;
  }

  // Types text into the focused control one key at a time (Persian text
  // cannot go through keyClicks in this Qt).
  static void Type(QWidget* control, const QString& text) {
    for (const QChar c : text) {
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
      QApplication::sendEvent(control, &press);
      QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
      QApplication::sendEvent(control, &release);
    }
  }
  static void Key(QWidget* control, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(control, static_cast<Qt::Key>(key), modifiers);
  }

  static constexpr int kShortPeriodMs = 5;

  telvora::testing::TempDir dir_;
  std::vector<tapi::LabLine*> labs_;
  std::unique_ptr<TPhoneBookWindows> windows_;
};

}  // namespace telvora::app::test
