// The phone book's sessions ask the user for a missing table password with
// the password dialog: OK with the right password added opens the table;
// Cancel leaves the engine's refusal.

#include <memory>
#include <string>

#include "app/vora_password_dialog.h"
#include "app_test_support.h"
#include "dataset/contacts_table.h"

namespace telvora::app::test {
namespace {

class SessionPasswordPrompt : public dataset::testing::ContactsTest {
 protected:
  static void SetUpTestSuite() { App(); }

  void SetUp() override {
    dataset::testing::CreateContacts(dir_.path(), {{"Ali", "Rezaei", "021"}}, "secret");
    App().Keyboard().SetPersian(false);
  }

  void TearDown() override {
    dataset::Session().RemoveAllPasswords();
    ContactsTest::TearDown();
    EXPECT_TABLE_SOUND(TablePath());
  }
};

TEST_F(SessionPasswordPrompt, TheDialogAddsThePasswordAndTheTableOpens) {
  auto table = MakeTable();
  ModalScript script;
  script.Then("password dialog", [](QWidget* w) { return dynamic_cast<TVoraPasswordDialog*>(w) != nullptr; },
              [](QWidget* w) {
                auto* dialog = dynamic_cast<TVoraPasswordDialog*>(w);
                dialog->Edit->setText("secret");
                dialog->AddButton->click();
                dialog->OKButton->click();
              });
  table->Open();
  EXPECT_TRUE(script.Done());
  ASSERT_TRUE(table->Active());
  EXPECT_EQ(table->FieldByName("Name").AsString(), "Ali");
}

TEST_F(SessionPasswordPrompt, CancelLeavesTheEnginesRefusal) {
  auto table = MakeTable();
  ModalScript script;
  script.Then("password dialog", [](QWidget* w) { return dynamic_cast<TVoraPasswordDialog*>(w) != nullptr; },
              [](QWidget* w) { dynamic_cast<TVoraPasswordDialog*>(w)->CancelButton->click(); });
  EXPECT_THROW(table->Open(), std::exception);
  EXPECT_TRUE(script.Done());
  EXPECT_FALSE(table->Active());
}

}  // namespace
}  // namespace telvora::app::test
