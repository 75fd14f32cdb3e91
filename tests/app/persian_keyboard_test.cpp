// The Persian layout typed by physical key while the phone book runs, the
// Alt+Shift toggle, and the conversion of text code page 1256 cannot hold
// as typed or pasted into an edit box.

#include <memory>
#include <string>

#include <QKeyEvent>
#include <QLineEdit>

#include "app/code_page_validator.h"
#include "app/persian_keyboard.h"
#include "app_test_support.h"

namespace telvora::app::test {
namespace {

class PersianKeyboard : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { App(); }

  void SetUp() override {
    window_ = std::make_unique<QWidget>();
    edit_ = new QLineEdit(window_.get());
    edit_->setValidator(new TCodePageValidator(edit_));
    ASSERT_TRUE(ShowActive(window_.get()));
    edit_->setFocus();
    App().Keyboard().SetPersian(true);
  }

  void TearDown() override { App().Keyboard().SetPersian(false); }

  // One key event carrying `text`, as a system layout would send it.
  void TypeText(const QString& text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(edit_, &press);
  }

  std::unique_ptr<QWidget> window_;
  QLineEdit* edit_ = nullptr;
};

TEST_F(PersianKeyboard, KeysTypeThePersianLetters) {
  struct Row {
    char key;
    Qt::KeyboardModifiers modifiers;
    char16_t typed;
  };
  const Row rows[] = {
      {'q', Qt::NoModifier, u'\u0636'},    {'d', Qt::NoModifier, u'\u064A'},  // Arabic yeh
      {';', Qt::NoModifier, u'\u06A9'},    // keheh
      {'\'', Qt::NoModifier, u'\u06AF'},   {'\\', Qt::NoModifier, u'\u067E'}, {']', Qt::NoModifier, u'\u0686'},
      {'m', Qt::NoModifier, u'\u0626'},    {',', Qt::NoModifier, u'\u0648'},  {'H', Qt::ShiftModifier, u'\u0622'},
      {'C', Qt::ShiftModifier, u'\u0698'}, {'1', Qt::NoModifier, u'1'},       {'7', Qt::NoModifier, u'7'},
      {'.', Qt::NoModifier, u'.'},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(1, row.key));
    edit_->clear();
    QTest::keyClick(edit_, row.key, row.modifiers);
    EXPECT_EQ(edit_->text(), QString(QChar(row.typed)));
  }
}

TEST_F(PersianKeyboard, ShortcutsPassUntranslatedAndAltShiftTogglesToLatin) {
  QTest::keyClick(edit_, 's');
  QTest::keyClick(edit_, 'a', Qt::ControlModifier);  // select all, types nothing
  EXPECT_EQ(edit_->text(), QString(QChar(u'\u0633')));
  EXPECT_EQ(edit_->selectedText(), edit_->text());

  edit_->clear();
  QTest::keyClick(edit_, Qt::Key_Shift, Qt::AltModifier);
  EXPECT_FALSE(App().Keyboard().Persian());
  QTest::keyClick(edit_, 'q');
  EXPECT_EQ(edit_->text(), QString("q"));
  QTest::keyClick(edit_, Qt::Key_Alt, Qt::ShiftModifier);
  EXPECT_TRUE(App().Keyboard().Persian());
  QTest::keyClick(edit_, 'q');
  EXPECT_EQ(edit_->text(), QString("q") + QChar(u'\u0636'));
}

TEST(PersianLayout, EveryCharacterItTypesIsOneCodePage1256Holds) {
  int mapped = 0;
  for (char16_t us = 0x21; us <= 0x7E; ++us) {
    const char16_t persian = PersianCharacterFor(us);
    if (persian == 0) continue;
    ++mapped;
    const QString text(QChar{persian});
    const std::optional<std::string> bytes = ToCp1256(text);
    ASSERT_TRUE(bytes.has_value()) << static_cast<int>(persian);
    EXPECT_EQ(FromCp1256(*bytes), text) << "typed only through a fallback: " << static_cast<int>(persian);
  }
  EXPECT_GE(mapped, 32);  // the 32 letter keys at least
  for (char16_t digit = u'0'; digit <= u'9'; ++digit) EXPECT_EQ(PersianCharacterFor(digit), 0);
}

TEST(PersianLayout, PhysicalKeysByKeycode) {
  struct Row {
    unsigned keycode;
    bool shifted;
    char16_t us;
  };
  const Row rows[] = {
      {24, false, u'q'}, {24, true, u'Q'}, {47, false, u';'}, {48, false, u'\''}, {51, false, u'\\'},
      {10, false, u'1'}, {58, false, u'm'}, {61, true, u'?'}, {9, false, 0},     {65, false, 0},  // Esc, space
  };
  for (const Row& row : rows) {
    EXPECT_EQ(UsCharacterOfKeycode(row.keycode, row.shifted), row.us) << row.keycode << " " << row.shifted;
  }
}

TEST_F(PersianKeyboard, TextCodePage1256CannotHoldIsConvertedOrRefused) {
  App().Keyboard().SetPersian(false);
  // Typed with a system layout that gives Farsi yeh and Persian digits.
  TypeText(QString(QChar(u'\u06CC')));
  TypeText(QString(QChar(u'\u06F1')));
  TypeText(QString(QChar(u'\u0662')));  // Arabic-Indic two
  EXPECT_EQ(edit_->text(), QString(QChar(u'\u064A')) + "12");

  // Pasted.
  edit_->clear();
  edit_->insert(QString::fromUtf8("علی ۰۹۱۲"));
  EXPECT_EQ(edit_->text(), QString::fromUtf8("علي 0912"));

  // A character with no fallback is refused; the text stays as it was.
  const QString before = edit_->text();
  edit_->insert(QString::fromUtf8("中"));
  TypeText(QString::fromUtf8("€"));  // 1256 holds the euro sign: kept
  EXPECT_EQ(edit_->text(), before + QString::fromUtf8("€"));
  const std::optional<std::string> stored = ToCp1256(edit_->text());
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->find('\x1A'), std::string::npos);
}

}  // namespace
}  // namespace telvora::app::test
