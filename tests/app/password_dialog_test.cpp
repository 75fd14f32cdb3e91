// The password dialog: its buttons' enabling, what each button does to the
// password list, and how it ends (OK only when something was typed or
// added; Enter and Escape press OK and Cancel).

#include <memory>
#include <string>
#include <vector>

#include "app/vora_password_dialog.h"
#include "app_test_support.h"

namespace telvora::app::test {
namespace {

class PasswordDialog : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { App(); }

  void SetUp() override {
    actions_.AddPassword = [this](const std::string& p) { calls_.push_back("add " + p); };
    actions_.RemovePassword = [this](const std::string& p) { calls_.push_back("remove " + p); };
    actions_.RemoveAllPasswords = [this] { calls_.push_back("remove all"); };
    dialog_ = std::make_unique<TVoraPasswordDialog>(nullptr, actions_);
  }

  // Types one character at a time, as a keyboard does.
  void Type(const char* text) {
    for (const char* c = text; *c != '\0'; ++c) QTest::keyClick(dialog_->Edit, *c);
  }

  // Add, Remove, OK enabled.
  std::vector<bool> Enabled() const {
    return {dialog_->AddButton->isEnabled(), dialog_->RemoveButton->isEnabled(), dialog_->OKButton->isEnabled()};
  }

  TPasswordListActions actions_;
  std::vector<std::string> calls_;
  std::unique_ptr<TVoraPasswordDialog> dialog_;
};

TEST_F(PasswordDialog, ButtonsFollowTheTextAndWhatWasAdded) {
  ASSERT_TRUE(ShowActive(dialog_.get()));
  EXPECT_EQ(QApplication::focusWidget(), dialog_->Edit);
  EXPECT_EQ(Enabled(), (std::vector<bool>{false, false, false}));
  EXPECT_TRUE(dialog_->RemoveAllButton->isEnabled());

  Type("se");
  EXPECT_EQ(Enabled(), (std::vector<bool>{true, true, true}));
  dialog_->AddButton->click();
  EXPECT_EQ(dialog_->Edit->text(), QString());
  EXPECT_EQ(QApplication::focusWidget(), dialog_->Edit);
  // Nothing typed, but a password was added: OK stays available.
  EXPECT_EQ(Enabled(), (std::vector<bool>{false, false, true}));

  Type("old");
  dialog_->RemoveButton->click();
  EXPECT_EQ(dialog_->Edit->text(), QString());
  dialog_->RemoveAllButton->click();
  EXPECT_EQ(calls_, (std::vector<std::string>{"add se", "remove old", "remove all"}));
}

TEST_F(PasswordDialog, RemovingDoesNotCountAsAdding) {
  dialog_->show();
  Type("x");
  dialog_->RemoveButton->click();
  EXPECT_EQ(Enabled(), (std::vector<bool>{false, false, false}));
  dialog_->hide();
}

TEST_F(PasswordDialog, EndsWithOkOnlyThroughOkOrEnter) {
  struct Row {
    const char* typed;
    int key;
    int result;
    std::vector<std::string> calls;
  };
  const Row rows[] = {
      {"secret", Qt::Key_Return, QDialog::Accepted, {"add secret"}},
      {"secret", Qt::Key_Escape, QDialog::Rejected, {}},
      {"", Qt::Key_Escape, QDialog::Rejected, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.typed) + " " + std::to_string(row.key));
    calls_.clear();
    dialog_ = std::make_unique<TVoraPasswordDialog>(nullptr, actions_);
    ModalScript script;
    script.Dialog(dialog_.get(), [&](QWidget*) {
      Type(row.typed);
      QTest::keyClick(dialog_->Edit, static_cast<Qt::Key>(row.key));
    });
    EXPECT_EQ(dialog_->exec(), row.result);
    EXPECT_EQ(calls_, row.calls);
  }
}

TEST_F(PasswordDialog, EnterWithNothingTypedDoesNotEndTheDialog) {
  ASSERT_TRUE(ShowActive(dialog_.get()));
  QTest::keyClick(dialog_->Edit, Qt::Key_Return);
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_TRUE(calls_.empty());
  dialog_->hide();
}

TEST_F(PasswordDialog, ThePlainFunctionAnswersTrueExactlyOnOk) {
  for (const bool ok : {true, false}) {
    ModalScript script;
    script.Then("password dialog",
                [](QWidget* w) { return dynamic_cast<TVoraPasswordDialog*>(w) != nullptr; },
                [ok](QWidget* w) {
                  auto* dialog = dynamic_cast<TVoraPasswordDialog*>(w);
                  dialog->Edit->insert("pw");
                  (ok ? dialog->OKButton : dialog->CancelButton)->click();
                });
    const TPasswordDialogFunction ask = ExecutePasswordDialog;
    calls_.clear();
    EXPECT_EQ(ask(actions_), ok);
    EXPECT_EQ(calls_, ok ? std::vector<std::string>{"add pw"} : std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace telvora::app::test
