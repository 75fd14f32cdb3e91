// The application's default error handler: an exception leaving an event
// handler is shown in a message box and the program goes on; the telephony
// component's notifications and timers reach the same handler.

#include <stdexcept>

#include <QTimer>

#include "app/invalid_operation.h"
#include "app_test_support.h"
#include "telephony/exception_handler.h"

namespace telvora::app::test {
namespace {

class DefaultErrorHandler : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { App(); }
};

TEST_F(DefaultErrorHandler, AnExceptionFromAHandlerIsShownAndTheLoopGoesOn) {
  ModalScript script;
  script.MessageBox();
  bool later_ran = false;
  QTimer::singleShot(0, [] { throw std::runtime_error("Table 'PhoneBook' does not exist"); });
  ASSERT_TRUE(WaitUntil([&] { return script.Done(); }));
  QTimer::singleShot(0, [&] { later_ran = true; });
  ASSERT_TRUE(WaitUntil([&] { return later_ran; }));
  ASSERT_EQ(script.Messages().size(), 1u);
  EXPECT_EQ(script.Messages()[0], QString("Table 'PhoneBook' does not exist"));
}

TEST_F(DefaultErrorHandler, MessagesAreCodePage1256Text) {
  ModalScript script;
  script.MessageBox();
  // "خطا" after the English text.
  App().HandleException(std::make_exception_ptr(EInvalidOperation("Cannot open \xCE\xD8\xC7")));
  ASSERT_EQ(script.Messages().size(), 1u);
  EXPECT_EQ(script.Messages()[0], QString::fromUtf8("Cannot open خطا"));
}

TEST_F(DefaultErrorHandler, TelephonyExceptionsReachTheSameBox) {
  ModalScript script;
  script.MessageBox();
  telephony::HandleApplicationException(std::make_exception_ptr(std::runtime_error("line handler failed")));
  ASSERT_EQ(script.Messages().size(), 1u);
  EXPECT_EQ(script.Messages()[0], QString("line handler failed"));
}

TEST_F(DefaultErrorHandler, MessageBoxButtonsReadInPersian) {
  ASSERT_TRUE(App().PersianTranslation());
  ModalScript script;
  QString ok_text;
  script.Then("message box", [](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
              [&](QWidget* w) {
                auto* box = qobject_cast<QMessageBox*>(w);
                ok_text = box->button(QMessageBox::Ok)->text();
                box->button(QMessageBox::Ok)->click();
              });
  App().HandleException(std::make_exception_ptr(std::runtime_error("x")));
  EXPECT_TRUE(script.Done());
  EXPECT_FALSE(ok_text.isEmpty());
  EXPECT_NE(ok_text.remove('&'), QString("OK"));
  EXPECT_EQ(ok_text, QCoreApplication::translate("QPlatformTheme", "OK").remove('&'));
}

}  // namespace
}  // namespace telvora::app::test
