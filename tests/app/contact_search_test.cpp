// The search strip over the real table: each change of the search text
// replaces MainTable's filter with a starts-with comparison of the chosen
// field, quoted for the expression language; an emptied text keeps the last
// filter; the check box switches it off and on again.

#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

#include "phone_book_fixture.h"

namespace telvora::app::test {
namespace {

class ContactSearch : public PhoneBookWindowTest {
 protected:
  std::vector<Contact> InitialContacts() const override {
    return {{"abbas", "Karimi", "0211", "", "0912", "Tehran"},  {"Ali", "Abedi", "0311", "", "0935", "Esfahan"},
            {"abe", "O'Neil", "0212", "", "", "Tabriz"},       {"xab", "Akbari", "", "", "0912", "Tehran"},
            {"o'hara", "Rad", "0411", "", "", ""},             {"", "Nameless", "0213", "", "", ""}};
  }

  void SetUp() override {
    PhoneBookWindowTest::SetUp();
    ShowMainWindow();
    App().Keyboard().SetPersian(false);
  }

  // The first names the grid shows, top to bottom.
  std::vector<std::string> ShownNames() const {
    std::vector<std::string> names;
    for (int row = 0; row < Form1->DBGrid1->DataRowCount(); ++row) {
      names.push_back(Form1->DBGrid1->CellText(row, 5).toStdString());
    }
    return names;
  }

  void SearchOn() {
    Form1->CheckBox1->click();
    ASSERT_TRUE(Form1->Panel2->isEnabled());
  }
};

TEST_F(ContactSearch, EachFieldBuildsItsPrefixAndKeepsWhatStartsWithTheText) {
  struct Case {
    int item;
    QString text;
    std::string filter;
    std::vector<std::string> shown;
  };
  const Case cases[] = {
      {0, "ab", "name='ab*'", {"abbas", "abe"}},
      {1, "A", "family='A*'", {"Ali", "xab"}},
      {2, "021", "Tel1='021*'", {"abbas", "abe", ""}},
      {3, "0912", "Mobile='0912*'", {"abbas", "xab"}},
      {4, "Te", "Address='Te*'", {"abbas", "xab"}},
      // A quote is doubled inside the constant and matches one in the data.
      {1, "O'", "family='O''*'", {"abe"}},
      {0, "o'h", "name='o''h*'", {"o'hara"}},
      // A "*" inside the text is compared as a character: nothing matches.
      {0, "a*b", "name='a*b*'", {}},
  };
  SearchOn();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter);
    Form1->ComboBox1->setCurrentIndex(c.item);
    Form1->Edit1->clear();
    Form1->Edit1->setFocus();
    Type(Form1->Edit1, c.text);
    EXPECT_EQ(Table().Filter(), c.filter);
    EXPECT_TRUE(Table().Filtered());
    EXPECT_EQ(ShownNames(), c.shown);
  }
}

TEST_F(ContactSearch, DeletingTheTextKeepsTheFilterUntilTheBoxIsUnchecked) {
  SearchOn();
  Form1->Edit1->setFocus();
  Type(Form1->Edit1, "ab");
  EXPECT_EQ(ShownNames(), (std::vector<std::string>{"abbas", "abe"}));
  Key(Form1->Edit1, Qt::Key_Backspace);
  // Now name='a*', which is case-sensitive: Ali does not begin with a.
  EXPECT_EQ(ShownNames(), (std::vector<std::string>{"abbas", "abe"}));
  Key(Form1->Edit1, Qt::Key_Backspace);
  EXPECT_EQ(Form1->Edit1->text(), QString());
  EXPECT_EQ(Table().Filter(), "name='a*'");
  EXPECT_EQ(ShownNames().size(), 2u);

  Form1->CheckBox1->click();
  EXPECT_FALSE(Form1->Panel2->isEnabled());
  EXPECT_FALSE(Table().Filtered());
  EXPECT_EQ(ShownNames().size(), 6u);
  // Checking again reapplies the last search without typing.
  Form1->CheckBox1->click();
  EXPECT_TRUE(Table().Filtered());
  EXPECT_EQ(Table().Filter(), "name='a*'");
  EXPECT_EQ(ShownNames(), (std::vector<std::string>{"abbas", "abe"}));
}

TEST_F(ContactSearch, ChangingTheFieldAloneDoesNotRefilter) {
  SearchOn();
  Form1->Edit1->setFocus();
  Type(Form1->Edit1, "A");
  EXPECT_EQ(Table().Filter(), "name='A*'");
  Form1->ComboBox1->setCurrentIndex(1);
  EXPECT_EQ(Table().Filter(), "name='A*'");
  Type(Form1->Edit1, "b");
  EXPECT_EQ(Table().Filter(), "family='Ab*'");
  EXPECT_EQ(ShownNames(), (std::vector<std::string>{"Ali"}));
}

TEST_F(ContactSearch, CheckingTheBoxPostsAPendingEdit) {
  Form1->DBEdit2->setFocus();
  Type(Form1->DBEdit2, "!");
  Key(Form1->DBEdit2, Qt::Key_Tab);
  ASSERT_EQ(Table().State(), dataset::TDataSetState::Editing);
  SearchOn();
  EXPECT_EQ(Table().State(), dataset::TDataSetState::Browsing);
  EXPECT_EQ(StoredContacts(dir_.path())[0].family, "Karimi!");
}

TEST_F(ContactSearch, EnterKeysSendTheFocusAlongTheStrip) {
  // On the unchecked box Enter does nothing beyond the window's own move:
  // no message, no list opened in the disabled strip.
  {
    MessageBoxCloser boxes;
    Form1->CheckBox1->setFocus();
    Key(Form1->CheckBox1, Qt::Key_Return);
    WaitUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_TRUE(boxes.Messages().empty());
    EXPECT_NE(QApplication::focusWidget(), Form1->ComboBox1);
  }
  SearchOn();
  Form1->CheckBox1->setFocus();
  Key(Form1->CheckBox1, Qt::Key_Return);
  // The list is open over the window, which keeps the list box as its focus.
  EXPECT_EQ(Form1->focusWidget(), Form1->ComboBox1);
  EXPECT_TRUE(Form1->ComboBox1->view()->isVisible());
  Form1->ComboBox1->hidePopup();
  ASSERT_TRUE(ShowActive(Form1));
  Key(Form1->ComboBox1, Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), Form1->Edit1);
  Key(Form1->Edit1, Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), Form1->Button5);
}

}  // namespace
}  // namespace telvora::app::test
