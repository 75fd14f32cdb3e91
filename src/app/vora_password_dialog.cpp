#include "app/vora_password_dialog.h"

#include "app/code_page_validator.h"
#include "app/cp1256_text.h"

namespace telvora::app {

namespace {

constexpr char kCaption[] = "Enter password";
constexpr char kGroupCaption[] = "Password";
constexpr char kAddCaption[] = "&Add";
constexpr char kRemoveCaption[] = "&Remove";
constexpr char kRemoveAllCaption[] = "Re&move all";
constexpr char kOKCaption[] = "&OK";
constexpr char kCancelCaption[] = "Cancel";

constexpr int kClientWidth = 273;
constexpr int kClientHeight = 132;
// The edit box shows this for every character typed.
constexpr char kPasswordMaskStyle[] = "QLineEdit { lineedit-password-character: 42; }";

}  // namespace

bool ExecutePasswordDialog(const TPasswordListActions& actions) {
  TVoraPasswordDialog dialog(nullptr, actions);
  return dialog.exec() == QDialog::Accepted;
}

TVoraPasswordDialog::TVoraPasswordDialog(QWidget* parent, TPasswordListActions actions)
    : TDialogForm(parent, kClientWidth, kClientHeight, kCaption), actions_(std::move(actions)) {
  setObjectName("VoraPasswordDialog");
  // The engine's own dialog: English, left to right.
  setLayoutDirection(Qt::LeftToRight);

  GroupBox1 = new QGroupBox(kGroupCaption, this);
  GroupBox1->setGeometry(8, 8, 257, 81);
  Edit = new QLineEdit(GroupBox1);
  Edit->setGeometry(16, 18, 225, 21);
  Edit->setEchoMode(QLineEdit::Password);
  Edit->setStyleSheet(kPasswordMaskStyle);
  Edit->setValidator(new TCodePageValidator(Edit));

  auto button = [](QWidget* parent_widget, int left, int top, int width, int height, const char* caption) {
    auto* created = new TButton(parent_widget, left, top, width, height);
    created->setText(caption);
    return created;
  };
  AddButton = button(GroupBox1, 16, 46, 65, 25, kAddCaption);
  RemoveButton = button(GroupBox1, 88, 46, 65, 25, kRemoveCaption);
  RemoveAllButton = button(GroupBox1, 160, 46, 81, 25, kRemoveAllCaption);
  OKButton = button(this, 109, 98, 75, 25, kOKCaption);
  CancelButton = button(this, 190, 98, 75, 25, kCancelCaption);
  OKButton->SetDefault(true);
  CancelButton->SetCancel(true);
  AddButton->setEnabled(false);
  RemoveButton->setEnabled(false);
  OKButton->setEnabled(false);

  const std::pair<QObject*, const char*> names[] = {
      {GroupBox1, "GroupBox1"}, {Edit, "Edit"}, {AddButton, "AddButton"}, {RemoveButton, "RemoveButton"},
      {RemoveAllButton, "RemoveAllButton"}, {OKButton, "OKButton"}, {CancelButton, "CancelButton"}};
  for (const auto& [object, name] : names) object->setObjectName(name);

  setTabOrder(Edit, AddButton);
  setTabOrder(AddButton, RemoveButton);
  setTabOrder(RemoveButton, RemoveAllButton);
  setTabOrder(RemoveAllButton, OKButton);
  setTabOrder(OKButton, CancelButton);
  Edit->setFocus(Qt::OtherFocusReason);

  connect(Edit, &QLineEdit::textChanged, this, [this] { EditChange(); });
  connect(AddButton, &QPushButton::clicked, this, [this] { AddButtonClick(); });
  connect(RemoveButton, &QPushButton::clicked, this, [this] { RemoveButtonClick(); });
  connect(RemoveAllButton, &QPushButton::clicked, this, [this] { RemoveAllButtonClick(); });
  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
  connect(CancelButton, &QPushButton::clicked, this, [this] { reject(); });
}

void TVoraPasswordDialog::EditChange() {
  const bool typed = !Edit->text().isEmpty();
  AddButton->setEnabled(typed);
  RemoveButton->setEnabled(typed);
  OKButton->setEnabled(typed || added_);
}

void TVoraPasswordDialog::AddButtonClick() {
  if (actions_.AddPassword) actions_.AddPassword(EditText());
  added_ = true;
  Edit->clear();
  EditChange();
  Edit->setFocus(Qt::OtherFocusReason);
}

void TVoraPasswordDialog::RemoveButtonClick() {
  if (actions_.RemovePassword) actions_.RemovePassword(EditText());
  Edit->clear();
  Edit->setFocus(Qt::OtherFocusReason);
}

void TVoraPasswordDialog::RemoveAllButtonClick() {
  if (actions_.RemoveAllPasswords) actions_.RemoveAllPasswords();
  Edit->setFocus(Qt::OtherFocusReason);
}

void TVoraPasswordDialog::OKButtonClick() {
  if (actions_.AddPassword) actions_.AddPassword(EditText());
  accept();
}

std::string TVoraPasswordDialog::EditText() const {
  // The validator keeps the text inside code page 1256.
  return ToCp1256(Edit->text()).value_or(std::string());
}

}  // namespace telvora::app
