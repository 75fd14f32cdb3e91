// The call-wait dialog against the lab line: the countdown from 15 to 0
// with the hang-up on the tick that shows 0, hanging up at once, redialling,
// leaving with the countdown running, and the status it keeps between
// calls. The tick period is shortened through the dialog's one hook.

#include <memory>
#include <string>
#include <vector>

#include <QLabel>

#include "app/call_wait.h"
#include "app_test_support.h"
#include "telephony/tel_phone_fixture.h"

namespace telvora::app::test {
namespace {

constexpr int kShortPeriodMs = 15;
const char kAutomaticHangup[] = "ارتباط مودم از خط تلفن به صورت خودکار قطع گرديد.";
const char kManualHangup[] = "ارتباط مودم از خط تلفن به صورت دستي قطع گرديد.";
const char kDialling[] = "در حال شماره گيري يا بوق آزاد";

class CallWaitCountdown : public telephony::test::TelPhoneFixture {
 protected:
  static void SetUpTestSuite() { App(); }

  void SetUp() override {
    TelPhoneFixture::SetUp();
    call_wait_ = std::make_unique<TCallWait>(nullptr, *phone_);
    call_wait_->SetCountdownPeriod(kShortPeriodMs);
    call_wait_->SetDialledNumberSource(&number_);
    // Recorded after the dialog's own handler: what each tick left shown.
    QObject::connect(call_wait_->TimerDisp, &QTimer::timeout, [this] {
      ticks_.push_back(call_wait_->Label2->text());
      drops_at_tick_.push_back(Drops());
    });
    ASSERT_EQ(phone_->LineActive(0, true), 0);
  }

  void TearDown() override {
    call_wait_->TimerDisp->stop();
    call_wait_.reset();
    TelPhoneFixture::TearDown();
  }

  // Dials like the dialog's callers do: the number where the dialog reads
  // it, then the dial, then the dialog. The lab line connects the call in
  // a few milliseconds; the dialog is shown once it has, as the modem's
  // call is there to be dropped by the time a user reacts.
  void DialAndShow(const std::string& number) {
    number_.setText(QString::fromStdString(number));
    events_.clear();
    ASSERT_EQ(phone_->DialNumber(number, 0), 0);
    ASSERT_NE(WaitForCallState(telephony::csConnected), 0);
    ticks_.clear();
    drops_at_tick_.clear();
    call_wait_->show();
  }

  int Drops() const {
    int count = 0;
    for (const std::string& entry : labs_[0]->Log()) count += entry.rfind("Drop", 0) == 0 ? 1 : 0;
    return count;
  }

  static QString Utf8(const char* text) { return QString::fromUtf8(text); }

  QLabel number_;
  std::unique_ptr<TCallWait> call_wait_;
  std::vector<QString> ticks_;
  std::vector<int> drops_at_tick_;
};

TEST_F(CallWaitCountdown, CountsFifteenDownToZeroAndHangsUpOnTheLastTick) {
  DialAndShow("5551234");
  EXPECT_EQ(call_wait_->LBTel->text(), QString("5551234"));
  EXPECT_EQ(call_wait_->Label2->text(), QString("15"));
  EXPECT_TRUE(call_wait_->TimerDisp->isActive());
  EXPECT_TRUE(call_wait_->Button1->isEnabled());
  EXPECT_EQ(call_wait_->focusWidget(), call_wait_->Button1);

  ASSERT_TRUE(WaitUntil([&] { return !call_wait_->TimerDisp->isActive(); }));
  std::vector<QString> expected;
  for (int shown = 15; shown >= 0; --shown) expected.push_back(QString::number(shown));
  EXPECT_EQ(ticks_, expected);
  // Only the tick that showed 0 hung up.
  ASSERT_EQ(drops_at_tick_.size(), expected.size());
  EXPECT_EQ(drops_at_tick_[drops_at_tick_.size() - 2], 0);
  EXPECT_EQ(drops_at_tick_.back(), 1);
  EXPECT_EQ(call_wait_->Label5->text(), Utf8(kAutomaticHangup));
  EXPECT_FALSE(call_wait_->Button1->isEnabled());
  EXPECT_EQ(call_wait_->focusWidget(), call_wait_->Button2);
  EXPECT_EQ(call_wait_->Counter(), -1);
}

TEST_F(CallWaitCountdown, HangUpAtOnceShowsZeroAndTheManualMessage) {
  DialAndShow("5551234");
  EXPECT_EQ(call_wait_->Label5->text(), Utf8(kDialling));
  call_wait_->Button1->click();
  EXPECT_EQ(call_wait_->Label2->text(), QString("0"));
  EXPECT_EQ(call_wait_->Label5->text(), Utf8(kManualHangup));
  EXPECT_FALSE(call_wait_->TimerDisp->isActive());
  EXPECT_FALSE(call_wait_->Button1->isEnabled());
  EXPECT_EQ(call_wait_->focusWidget(), call_wait_->Button2);
  EXPECT_EQ(Drops(), 1);
  EXPECT_TRUE(ticks_.empty());
}

TEST_F(CallWaitCountdown, RedialRestartsAtFifteenWithoutHangingUp) {
  DialAndShow("5551234");
  ASSERT_TRUE(WaitUntil([&] { return ticks_.size() >= 5; }));
  ASSERT_LT(call_wait_->Counter(), 15);

  // The telephony component decides whether a second call is accepted;
  // either way the countdown restarts.
  MessageBoxCloser closer;
  call_wait_->Button2->click();
  const std::size_t ticks_before = ticks_.size();
  EXPECT_EQ(call_wait_->Counter(), 15);
  EXPECT_TRUE(call_wait_->TimerDisp->isActive());
  EXPECT_EQ(Drops(), 0);
  ASSERT_TRUE(WaitUntil([&] { return ticks_.size() > ticks_before; }));
  EXPECT_EQ(ticks_[ticks_before], QString("15"));
  for (const QString& message : closer.Messages()) {
    EXPECT_TRUE(message.startsWith(QString::fromUtf8("خطا:"))) << message.toStdString();
  }
}

TEST_F(CallWaitCountdown, LeavingKeepsTheCountdownRunningUntilItHangsUp) {
  DialAndShow("5551234");
  call_wait_->Button3->click();
  EXPECT_FALSE(call_wait_->isVisible());
  EXPECT_TRUE(call_wait_->TimerDisp->isActive());
  // The end comes on the hidden dialog: the hang-up happens, the focus move
  // is skipped without any box.
  ASSERT_TRUE(WaitUntil([&] { return !call_wait_->TimerDisp->isActive(); }));
  EXPECT_EQ(ticks_.back(), QString("0"));
  EXPECT_EQ(Drops(), 1);
  EXPECT_EQ(call_wait_->Label5->text(), Utf8(kAutomaticHangup));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(CallWaitCountdown, TheSecondCallOfARunStillShowsThePreviousHangUpMessage) {
  DialAndShow("5551234");
  call_wait_->Button1->click();
  call_wait_->Button3->click();
  ASSERT_TRUE(WaitUntil([&] { return phone_->NumberOfActiveCalls() == 0; }));

  DialAndShow("5559876");
  EXPECT_EQ(call_wait_->LBTel->text(), QString("5559876"));
  EXPECT_EQ(call_wait_->Label2->text(), QString("15"));
  EXPECT_EQ(call_wait_->Label5->text(), Utf8(kManualHangup));
  EXPECT_TRUE(call_wait_->Button1->isEnabled());
}

}  // namespace
}  // namespace telvora::app::test
