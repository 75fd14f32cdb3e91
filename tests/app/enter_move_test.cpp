// Enter-key navigation: Enter moves to the next control in tab order and
// the control still gets its Enter; arrows only with moUpDn; a focused
// button is pressed instead; one instance per window.

#include <memory>

#include <QLineEdit>

#include "app/enter_move.h"
#include "app/invalid_operation.h"
#include "app/window_controls.h"
#include "app_test_support.h"

namespace telvora::app::test {
namespace {

class EnterMoveTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { App(); }

  void SetUp() override {
    form_ = std::make_unique<QWidget>();
    first_ = new QLineEdit(form_.get());
    second_ = new QLineEdit(form_.get());
    disabled_ = new QLineEdit(form_.get());
    disabled_->setEnabled(false);
    third_ = new QLineEdit(form_.get());
    button_ = new TButton(form_.get(), 0, 100, 75, 25);
    QObject::connect(first_, &QLineEdit::returnPressed, [this] { ++first_returns_; });
    QObject::connect(button_, &QPushButton::clicked, [this] { ++clicks_; });
    move_ = new TEnterMove(form_.get());
    ASSERT_TRUE(ShowActive(form_.get()));
  }

  std::unique_ptr<QWidget> form_;
  QLineEdit* first_ = nullptr;
  QLineEdit* second_ = nullptr;
  QLineEdit* disabled_ = nullptr;
  QLineEdit* third_ = nullptr;
  TButton* button_ = nullptr;
  TEnterMove* move_ = nullptr;
  int first_returns_ = 0;
  int clicks_ = 0;
};

TEST_F(EnterMoveTest, EnterMovesOnAndTheControlStillGetsIt) {
  EXPECT_TRUE(move_->Active());
  EXPECT_EQ(move_->Options(), TMoveOptions{moEnter});
  first_->setFocus();
  QTest::keyClick(first_, Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), second_);
  EXPECT_EQ(first_returns_, 1);
  // A disabled control is passed over, as Tab passes it.
  QTest::keyClick(second_, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(QApplication::focusWidget(), third_);
}

TEST_F(EnterMoveTest, ArrowsMoveOnlyWithUpDown) {
  second_->setFocus();
  QTest::keyClick(second_, Qt::Key_Down);
  EXPECT_EQ(QApplication::focusWidget(), second_);

  move_->SetOptions({moEnter, moUpDn});
  QTest::keyClick(second_, Qt::Key_Down);
  EXPECT_EQ(QApplication::focusWidget(), third_);
  QTest::keyClick(third_, Qt::Key_Up);
  EXPECT_EQ(QApplication::focusWidget(), second_);
}

TEST_F(EnterMoveTest, AFocusedButtonIsPressedAndKeepsTheFocus) {
  button_->setFocus();
  QTest::keyClick(button_, Qt::Key_Return);
  EXPECT_EQ(clicks_, 1);
  EXPECT_EQ(QApplication::focusWidget(), button_);
}

TEST_F(EnterMoveTest, InactiveDoesNothing) {
  move_->SetActive(false);
  first_->setFocus();
  QTest::keyClick(first_, Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), first_);
  EXPECT_EQ(first_returns_, 1);
}

TEST_F(EnterMoveTest, OnlyOneInstancePerWindow) {
  try {
    TEnterMove second(form_.get());
    FAIL() << "a second TEnterMove was created";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "TEnterMove can have only one instance per form");
  }
  // Another window may have its own; once the first is gone, so may this.
  QWidget other;
  EXPECT_NO_THROW(TEnterMove{&other});
  delete move_;
  EXPECT_NO_THROW(new TEnterMove(form_.get()));
}

}  // namespace
}  // namespace telvora::app::test
