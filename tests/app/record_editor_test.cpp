// The record editor on a real PhoneBook table: the data-aware edit boxes
// (edit state on the first change, the field's size as the limit, Escape,
// text written on leaving) and the New, Save, Cancel and Delete buttons,
// with what they leave in the table's files.

#include "phone_book_fixture.h"

namespace telvora::app::test {
namespace {

class RecordEditor : public PhoneBookWindowTest {
 protected:
  void SetUp() override {
    PhoneBookWindowTest::SetUp();
    ShowMainWindow();
    // Latin letters as typed, not the Persian layout's.
    App().Keyboard().SetPersian(false);
    before_ = StoredContacts(dir_.path());
  }

  void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

  std::vector<Contact> before_;
};

TEST_F(RecordEditor, NewThenSaveUntouchedLeavesTheTableUnchanged) {
  Click(Form1->Button1);
  EXPECT_EQ(Table().State(), dataset::TDataSetState::Inserting);
  EXPECT_EQ(QApplication::focusWidget(), Form1->DBEdit1);
  EXPECT_EQ(Form1->DBEdit1->text(), QString());
  Click(Form1->Button2);
  EXPECT_EQ(Table().State(), dataset::TDataSetState::Browsing);
  EXPECT_EQ(StoredContacts(dir_.path()), before_);
  // New had moved to the end: the editor shows the last record.
  EXPECT_EQ(Form1->DBEdit1->text(), QString("Reza"));
  EXPECT_EQ(QApplication::focusWidget(), Form1->Button1);
}

TEST_F(RecordEditor, NewTypedAndSavedIsStoredAtTheEnd) {
  Click(Form1->Button1);
  Type(Form1->DBEdit1, "Nima");
  Key(Form1->DBEdit1, Qt::Key_Tab);  // leaving writes the text
  Type(Form1->DBEdit2, "Saberi");
  Click(Form1->Button2);
  std::vector<Contact> expected = before_;
  expected.push_back({"Nima", "Saberi", "", "", "", ""});
  EXPECT_EQ(StoredContacts(dir_.path()), expected);
}

TEST_F(RecordEditor, PersianTypedWithThePersianLayoutIsStoredInCodePage1256) {
  App().Keyboard().SetPersian(true);
  Click(Form1->Button1);
  // The keys k, d, l, h of the US layout type ن ی م ا on the Persian one.
  Type(Form1->DBEdit1, "kdlh");
  Click(Form1->Button2);
  const std::vector<Contact> stored = StoredContacts(dir_.path());
  ASSERT_EQ(stored.size(), before_.size() + 1);
  EXPECT_EQ(FromCp1256(stored.back().name), Form1->DBEdit1->text());
  // Arabic yeh, which code page 1256 holds, never a substitute byte.
  EXPECT_EQ(stored.back().name.find('\x1A'), std::string::npos);
  EXPECT_NE(stored.back().name.find('\xED'), std::string::npos);
}

TEST_F(RecordEditor, FirstCharacterStartsTheEditAndEscapeRestoresTheField) {
  Form1->DBEdit2->setFocus();
  EXPECT_EQ(Table().State(), dataset::TDataSetState::Browsing);
  Type(Form1->DBEdit2, "x");
  EXPECT_EQ(Table().State(), dataset::TDataSetState::Editing);
  EXPECT_EQ(Form1->DBEdit2->text(), QString("Rezaeix"));
  Key(Form1->DBEdit2, Qt::Key_Escape);
  EXPECT_EQ(Form1->DBEdit2->text(), QString("Rezaei"));
  // Escape restores the box; the record stays in edit state.
  EXPECT_EQ(Table().State(), dataset::TDataSetState::Editing);
  // Escape selected the text: the next key starts from its end.
  Key(Form1->DBEdit2, Qt::Key_End);
  Key(Form1->DBEdit2, Qt::Key_Backspace);
  Click(Form1->Button2);
  EXPECT_EQ(StoredContacts(dir_.path())[0].family, "Rezae");
}

TEST_F(RecordEditor, AThirteenthCharacterInTheTelephoneBoxIsRefused) {
  Form1->DBEdit3->setFocus();
  Form1->DBEdit3->selectAll();
  Type(Form1->DBEdit3, "1234567890123");
  EXPECT_EQ(Form1->DBEdit3->text(), QString("123456789012"));
  EXPECT_EQ(Form1->DBEdit3->maxLength(), 12);
  Click(Form1->Button2);
  EXPECT_EQ(StoredContacts(dir_.path())[0].tel1, "123456789012");
}

TEST_F(RecordEditor, LeavingTheAddressBoxGoesToSave) {
  Form1->DBEdit6->setFocus();
  Type(Form1->DBEdit6, "!");
  Key(Form1->DBEdit6, Qt::Key_Tab);
  ASSERT_TRUE(WaitUntil([] { return QApplication::focusWidget() == Form1->Button2; }));
  // Enter there saves.
  Key(Form1->Button2, Qt::Key_Return);
  EXPECT_EQ(Table().State(), dataset::TDataSetState::Browsing);
  EXPECT_EQ(StoredContacts(dir_.path())[0].address, "Tehran, Valiasr 12!");
}

TEST_F(RecordEditor, CancelDiscardsTheEdit) {
  Form1->DBEdit1->setFocus();
  Type(Form1->DBEdit1, "zz");
  Click(Form1->Button3);
  EXPECT_EQ(Table().State(), dataset::TDataSetState::Browsing);
  EXPECT_EQ(Form1->DBEdit1->text(), QString("Ali"));
  EXPECT_EQ(StoredContacts(dir_.path()), before_);
}

TEST_F(RecordEditor, DeleteAnswers) {
  struct Case {
    const char* what;
    QMessageBox::StandardButton answer;
    bool editing, inserting;
    std::vector<Contact> (*expected)(const std::vector<Contact>&);
    bool deleted_message;
  };
  auto unchanged = [](const std::vector<Contact>& rows) { return rows; };
  auto first_gone = [](const std::vector<Contact>& rows) { return std::vector<Contact>(rows.begin() + 1, rows.end()); };
  const Case cases[] = {
      {"Yes deletes the current record", QMessageBox::Yes, false, false, first_gone, true},
      {"No discards an edit", QMessageBox::No, true, false, unchanged, false},
      {"Cancel discards an edit", QMessageBox::Cancel, true, false, unchanged, false},
      {"Yes while inserting only cancels the new record", QMessageBox::Yes, false, true, unchanged, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<Contact> start = StoredContacts(dir_.path());
    ASSERT_TRUE(ShowActive(Form1));
    Table().First();
    if (c.editing) {
      Form1->DBEdit1->setFocus();
      Type(Form1->DBEdit1, "zz");
    }
    if (c.inserting) Click(Form1->Button1);
    ModalScript script;
    script.MessageBox(c.answer);
    if (c.deleted_message) script.MessageBox();
    Click(Form1->Button4);
    ASSERT_TRUE(WaitUntil([&] { return script.Done(); }));
    ASSERT_GE(script.Messages().size(), 1u);
    EXPECT_EQ(script.Messages()[0], QString::fromUtf8("آيا مطمئنيد که ميخواهيد رکورد مورد نظر را حذف کنيد؟"));
    if (c.deleted_message) {
      ASSERT_EQ(script.Messages().size(), 2u);
      EXPECT_EQ(script.Messages()[1], QString::fromUtf8("رکورد مورد نظر شما حذف گرديد"));
    }
    EXPECT_EQ(Table().State(), dataset::TDataSetState::Browsing);
    EXPECT_EQ(StoredContacts(dir_.path()), c.expected(start));
    // No window is active after a box closed offscreen: the window's own
    // focus is what it gives back when activated.
    EXPECT_EQ(Form1->focusWidget(), Form1->Button1);
  }
}

TEST_F(RecordEditor, TheGridCancelsAnUntouchedNewRecordWhenItLosesTheFocus) {
  Click(Form1->Button1);
  Form1->DBGrid1->setFocus();
  EXPECT_EQ(Table().State(), dataset::TDataSetState::Inserting);
  Form1->Button3->setFocus();
  EXPECT_EQ(Table().State(), dataset::TDataSetState::Browsing);
  EXPECT_EQ(StoredContacts(dir_.path()), before_);
}

class EmptyPhoneBook : public PhoneBookWindowTest {
 protected:
  std::vector<Contact> InitialContacts() const override { return {}; }
};

TEST_F(EmptyPhoneBook, DeleteOnNoRecordsShowsTheDatasetsRefusalOnly) {
  ShowMainWindow();
  ModalScript script;
  script.MessageBox(QMessageBox::Yes).MessageBox();
  QTest::mouseClick(Form1->Button4, Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return script.Done(); }));
  ASSERT_EQ(script.Messages().size(), 2u);
  EXPECT_EQ(script.Messages()[1], QString("Cannot perform this operation on an empty dataset"));
}

TEST_F(EmptyPhoneBook, TypingIntoAnEmptyTableStartsANewRecord) {
  ShowMainWindow();
  App().Keyboard().SetPersian(false);
  Form1->DBEdit1->setFocus();
  Type(Form1->DBEdit1, "Ava");
  EXPECT_EQ(Table().State(), dataset::TDataSetState::Inserting);
  QTest::mouseClick(Form1->Button2, Qt::LeftButton);
  EXPECT_EQ(StoredContacts(dir_.path()), (std::vector<Contact>{{"Ava", "", "", "", "", ""}}));
}

}  // namespace
}  // namespace telvora::app::test
