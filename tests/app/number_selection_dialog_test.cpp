// The number selection dialog: which numbers it offers, the message and
// immediate close when none is dialable, the numbers shown, the number it
// dials (a checked but disabled choice included) and how it hands the
// number to the call-wait dialog.

#include <memory>
#include <optional>
#include <string>

#include "app/call_wait.h"
#include "app/select_number_form.h"
#include "app_test_support.h"
#include "telephony/tel_phone_fixture.h"

namespace telvora::app::test {
namespace {

using Number = std::optional<std::string>;

TEST(DialableNumber, OnlyTheExactTextsDashAndZeroAreRefused) {
  struct Row {
    Number value;
    bool dialable;
  };
  const Row rows[] = {
      {std::nullopt, true}, {"-", false}, {"0", false},   {"", true},     {"00", true},
      {"-1", true},         {"0-", true}, {" 0", true},  {"02188776655", true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(IsDialableNumber(row.value), row.dialable) << (row.value ? "'" + *row.value + "'" : "null");
  }
}

class NumberSelectionDialog : public telephony::test::TelPhoneFixture {
 protected:
  static void SetUpTestSuite() { App(); }

  void SetUp() override {
    TelPhoneFixture::SetUp();
    call_wait_ = std::make_unique<TCallWait>(nullptr, *phone_);
    call_wait_->SetCountdownPeriod(20);
    select_ = std::make_unique<TSelectNumberForm>(nullptr, *phone_, contact_, *call_wait_);
  }

  void TearDown() override {
    call_wait_->TimerDisp->stop();
    select_.reset();
    call_wait_.reset();
    TelPhoneFixture::TearDown();
  }

  ContactNumbers contact_;
  std::unique_ptr<TCallWait> call_wait_;
  std::unique_ptr<TSelectNumberForm> select_;
};

TEST_F(NumberSelectionDialog, OffersTheDialableNumbersAtEachShowing) {
  struct Row {
    Number tel1, tel2, mobile;
    bool radio1, radio2, radio3;
  };
  const Row rows[] = {
      {"5551234", "5554321", "09121234567", true, true, true},
      {"-", "0", std::nullopt, false, false, true},
      {"0", "5554321", "-", false, true, false},
      {std::nullopt, std::nullopt, std::nullopt, true, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.tel1.value_or("null") + " " + row.tel2.value_or("null") + " " + row.mobile.value_or("null"));
    contact_.Set(row.tel1, row.tel2, row.mobile);
    select_->show();
    EXPECT_EQ(select_->RadioButton1->isEnabled(), row.radio1);
    EXPECT_EQ(select_->RadioButton2->isEnabled(), row.radio2);
    EXPECT_EQ(select_->RadioButton3->isEnabled(), row.radio3);
    EXPECT_TRUE(select_->Button1->isEnabled());
    EXPECT_EQ(select_->Label1->text(), FromCp1256(row.tel1.value_or("")));
    EXPECT_EQ(select_->Label2->text(), FromCp1256(row.tel2.value_or("")));
    EXPECT_EQ(select_->Label3->text(), FromCp1256(row.mobile.value_or("")));
    // The check mark is not moved, even onto an enabled choice.
    EXPECT_TRUE(select_->RadioButton1->isChecked());
    select_->hide();
  }
}

TEST_F(NumberSelectionDialog, NoDialableNumberShowsTheMessageAndCloses) {
  contact_.Set("-", "0", "-");
  ModalScript script;
  script.MessageBox();
  select_->show();
  ASSERT_TRUE(script.Done());
  ASSERT_EQ(script.Messages().size(), 1u);
  EXPECT_EQ(ToCp1256(script.Messages()[0]), ToCp1256(QString::fromUtf8("هيچ شماره فعالي براي شماره گيري وجود ندارد")));
  EXPECT_FALSE(select_->Button1->isEnabled());
  // The numbers are shown all the same, and the dialog ends right after.
  EXPECT_EQ(select_->Label1->text(), QString("-"));
  EXPECT_EQ(select_->Label2->text(), QString("0"));
  EXPECT_TRUE(WaitUntil([&] { return !select_->isVisible(); }));
  EXPECT_EQ(select_->result(), QDialog::Rejected);
}

TEST_F(NumberSelectionDialog, EnterOnAChoiceMovesTheFocusToDial) {
  contact_.Set("5551234", "5554321", "09121234567");
  ASSERT_TRUE(ShowActive(select_.get()));
  for (QRadioButton* radio : {select_->RadioButton1, select_->RadioButton2, select_->RadioButton3}) {
    radio->setFocus();
    QTest::keyClick(radio, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), select_->Button1) << radio->objectName().toStdString();
  }
  select_->hide();
}

TEST_F(NumberSelectionDialog, DialHidesItselfAndTheCallWaitDialogShowsTheNumber) {
  ASSERT_EQ(phone_->LineActive(0, true), 0);
  contact_.Set("5551234", "5554321", "09121234567");
  select_->RadioButton3->setChecked(true);
  select_->show();

  QString shown_number;
  bool select_visible = true;
  ModalScript script;
  script.Dialog(call_wait_.get(), [&](QWidget*) {
    shown_number = call_wait_->LBTel->text();
    select_visible = select_->isVisible();
    call_wait_->TimerDisp->stop();
    call_wait_->Button3->click();
  });
  select_->Button1->click();
  EXPECT_TRUE(script.Done());
  EXPECT_EQ(shown_number, QString("09121234567"));
  EXPECT_FALSE(select_visible);
  EXPECT_FALSE(select_->isVisible());
  EXPECT_EQ(select_->ChosenNumber(), "09121234567");
  // The chosen number and Label4 outlive the dialog.
  EXPECT_EQ(select_->Label4->text(), QString("09121234567"));
  EXPECT_FALSE(labs_[0]->Log().empty());
}

TEST_F(NumberSelectionDialog, ACheckedChoiceDialsEvenWhenDisabledAndAFailedDialStillOpensCallWait) {
  // The line is not active, so the dial fails with the component's text.
  contact_.Set("-", "5554321", "");
  select_->show();
  ASSERT_FALSE(select_->RadioButton1->isEnabled());
  ASSERT_TRUE(select_->RadioButton1->isChecked());

  bool select_visible = false;
  ModalScript script;
  script.MessageBox().Dialog(call_wait_.get(), [&](QWidget*) {
    select_visible = select_->isVisible();
    call_wait_->TimerDisp->stop();
    call_wait_->Button3->click();
  });
  select_->Button1->click();
  EXPECT_TRUE(script.Done());
  EXPECT_EQ(select_->ChosenNumber(), "-");
  EXPECT_EQ(select_->Label4->text(), QString("-"));
  ASSERT_EQ(script.Messages().size(), 1u);
  std::string text;
  phone_->GetResultText(phone_->DialNumber("-", 0), text);
  EXPECT_EQ(ToCp1256(script.Messages()[0]), "\xCE\xD8\xC7:" + text);
  // After a failed dial the dialog stays visible under the call-wait one.
  EXPECT_TRUE(select_visible);
  EXPECT_FALSE(select_->isVisible());
}

}  // namespace
}  // namespace telvora::app::test
