// The dialogs as their definitions lay them out: client sizes, captions,
// reading order and font; every control's parent, position and size; the
// texts byte for byte in code page 1256; and the tab order.

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>

#include "app/call_wait.h"
#include "app/select_number_form.h"
#include "app/vora_password_dialog.h"
#include "app_test_support.h"
#include "telephony/tel_phone.h"

namespace telvora::app::test {
namespace {

struct ControlRow {
  const char* name;
  const char* parent;
  int left, top, width, height;
  const char* text;  // UTF-8; nullptr: not checked
  // A label that continues the sentence of the label named here, on its
  // right: it keeps the defined gap to it when that one grew.
  const char* continues = nullptr;
};

// The gap between the call-wait dialog's sentence labels, as defined.
constexpr int kSentenceGap = 4;

QString TextOf(QWidget* widget) {
  if (auto* label = dynamic_cast<QLabel*>(widget)) return label->text();
  if (auto* button = dynamic_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* group = dynamic_cast<QGroupBox*>(widget)) return group->title();
  return {};
}

class DialogLayouts : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { App(); }

  void SetUp() override {
    contact_.Set("02188776655", "-", std::nullopt);
    call_wait_ = std::make_unique<TCallWait>(nullptr, phone_);
    select_ = std::make_unique<TSelectNumberForm>(nullptr, phone_, contact_, *call_wait_);
    password_ = std::make_unique<TVoraPasswordDialog>(nullptr, TPasswordListActions{});
  }

  void TearDown() override { call_wait_->TimerDisp->stop(); }

  // Checks every row against the dialog's controls.
  static void ExpectControls(QWidget* dialog, const std::vector<ControlRow>& rows) {
    for (const ControlRow& row : rows) {
      SCOPED_TRACE(row.name);
      auto* widget = dialog->findChild<QWidget*>(row.name);
      ASSERT_NE(widget, nullptr);
      ASSERT_NE(widget->parentWidget(), nullptr);
      EXPECT_EQ(widget->parentWidget() == dialog ? std::string("window") : widget->parentWidget()->objectName().toStdString(),
                row.parent);
      if (row.text != nullptr) {
        const QString expected = QString::fromUtf8(row.text);
        EXPECT_EQ(TextOf(widget), expected);
        // Byte for byte in the stored code page.
        EXPECT_EQ(ToCp1256(TextOf(widget)), ToCp1256(expected));
      }
      const QRect box = widget->geometry();
      if (auto* label = dynamic_cast<TLabel*>(widget)) {
        // Sized to the caption, right edge and top where defined.
        int right = row.left + row.width;
        if (row.continues != nullptr) {
          right = std::min(right, dialog->findChild<QWidget*>(row.continues)->x() - kSentenceGap);
        }
        EXPECT_EQ(box.x() + box.width(), right);
        EXPECT_EQ(box.y(), row.top);
        EXPECT_GE(box.height(), row.height);
        EXPECT_GE(box.width(), QFontMetrics(label->font()).horizontalAdvance(label->text()));
      } else {
        EXPECT_EQ(box, QRect(row.left, row.top, row.width, row.height));
      }
    }
  }

  // The names of the dialog's controls in tab order, from `first` on.
  static std::vector<std::string> TabOrder(QWidget* dialog, QWidget* first) {
    std::vector<std::string> names;
    QWidget* widget = first;
    do {
      if (widget->window() == dialog && (widget->focusPolicy() & Qt::TabFocus) && widget != dialog) {
        names.push_back(widget->objectName().toStdString());
      }
      widget = widget->nextInFocusChain();
    } while (widget != first && names.size() < 50);
    return names;
  }

  telephony::TelPhone phone_{nullptr};
  ContactNumbers contact_;
  std::unique_ptr<TCallWait> call_wait_;
  std::unique_ptr<TSelectNumberForm> select_;
  std::unique_ptr<TVoraPasswordDialog> password_;
};

TEST_F(DialogLayouts, WindowsHaveTheirClientSizeCaptionReadingOrderAndFont) {
  struct WindowRow {
    QDialog* dialog;
    int width, height;
    const char* caption;
    Qt::LayoutDirection direction;
  };
  const WindowRow rows[] = {
      {select_.get(), 231, 154, "Select Number", Qt::RightToLeft},
      {call_wait_.get(), 326, 139, "Telvora .:. Dial Widnow", Qt::RightToLeft},
      {password_.get(), 273, 132, "Enter password", Qt::LeftToRight},
  };
  for (const WindowRow& row : rows) {
    SCOPED_TRACE(row.caption);
    EXPECT_EQ(row.dialog->size(), QSize(row.width, row.height));
    EXPECT_EQ(row.dialog->minimumSize(), row.dialog->maximumSize());  // not resizable
    EXPECT_EQ(row.dialog->windowTitle(), QString(row.caption));
    EXPECT_EQ(row.dialog->layoutDirection(), row.direction);
    EXPECT_EQ(row.dialog->font().family(), QString("Tahoma"));
    EXPECT_EQ(row.dialog->font().pixelSize(), 11);
    EXPECT_FALSE(row.dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
  }
  // The font really is Tahoma (Debian's fonts-wine), not a fallback.
  EXPECT_EQ(App().FontSource(), TWindowFontSource::wfTahoma);
  EXPECT_EQ(QFontInfo(select_->font()).family(), QString("Tahoma"));
}

TEST_F(DialogLayouts, NumberSelectionControls) {
  select_->show();  // the numbers' labels are filled at showing
  ExpectControls(select_.get(), {
      {"Panel1", "window", 6, 3, 217, 147, nullptr},
      {"RadioButton1", "Panel1", 120, 16, 89, 17, "شماره تلفن :"},
      {"RadioButton2", "Panel1", 120, 48, 89, 17, "شماره فکس :"},
      {"RadioButton3", "Panel1", 120, 80, 89, 17, "شماره موبايل :"},
      {"Label1", "Panel1", 51, 17, 31, 13, "02188776655"},
      {"Label2", "Panel1", 51, 48, 31, 13, "-"},
      {"Label3", "Panel1", 51, 80, 31, 13, ""},
      {"Button1", "Panel1", 120, 112, 75, 25, "شماره گيري"},
      {"Button2", "Panel1", 32, 112, 75, 25, "لغو"},
      {"Label4", "window", 98, 114, 31, 13, ""},
  });
  select_->hide();
  EXPECT_TRUE(select_->RadioButton1->isChecked());
  // Label4 lies under the panel: the panel is stacked above it.
  const QObjectList& children = select_->children();
  EXPECT_LT(children.indexOf(select_->Label4), children.indexOf(select_->Panel1));
  EXPECT_EQ(TabOrder(select_.get(), select_->RadioButton1),
            (std::vector<std::string>{"RadioButton1", "RadioButton2", "RadioButton3", "Button1", "Button2"}));
}

TEST_F(DialogLayouts, CallWaitControls) {
  ExpectControls(call_wait_.get(), {
      {"Panel1", "window", 7, 5, 313, 97, nullptr},
      {"Label1", "Panel1", 149, 16, 158, 13, "لطفا گوشي تلفن را برداريد.ارتباط تا"},
      {"Label2", "Panel1", 133, 16, 12, 13, "10", "Label1"},
      {"Label3", "Panel1", 10, 16, 119, 13, "ثانيه ديگر قطع خواهد شد.", "Label2"},
      {"Label6", "Panel1", 152, 42, 100, 13, "شماره تلفن مورد نظر:"},
      {"LBTel", "Panel1", 104, 42, 25, 13, ""},
      {"Label4", "Panel1", 265, 68, 41, 13, "وضعيت :"},
      {"Label5", "Panel1", 121, 68, 137, 13, "در حال شماره گيري يا بوق آزاد"},
      {"Button1", "window", 215, 110, 75, 25, "قطع"},
      {"Button2", "window", 112, 110, 98, 25, "شماره گيري مجدد"},
      {"Button3", "window", 32, 110, 75, 25, "خروج"},
  });
  EXPECT_EQ(call_wait_->Label6->palette().color(QPalette::WindowText), QColor(Qt::red));
  EXPECT_EQ(call_wait_->LBTel->palette().color(QPalette::WindowText), QColor(Qt::blue));
  EXPECT_FALSE(call_wait_->TimerDisp->isActive());
  EXPECT_EQ(call_wait_->TimerDisp->interval(), 1000);
  EXPECT_EQ(TabOrder(call_wait_.get(), call_wait_->Button1),
            (std::vector<std::string>{"Button1", "Button2", "Button3"}));
}

TEST_F(DialogLayouts, PasswordDialogControls) {
  ExpectControls(password_.get(), {
      {"GroupBox1", "window", 8, 8, 257, 81, "Password"},
      {"Edit", "GroupBox1", 16, 18, 225, 21, nullptr},
      {"AddButton", "GroupBox1", 16, 46, 65, 25, "&Add"},
      {"RemoveButton", "GroupBox1", 88, 46, 65, 25, "&Remove"},
      {"RemoveAllButton", "GroupBox1", 160, 46, 81, 25, "Re&move all"},
      {"OKButton", "window", 109, 98, 75, 25, "&OK"},
      {"CancelButton", "window", 190, 98, 75, 25, "Cancel"},
  });
  EXPECT_EQ(password_->Edit->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(password_->OKButton->Default());
  EXPECT_TRUE(password_->CancelButton->Cancel());
  EXPECT_EQ(TabOrder(password_.get(), password_->Edit),
            (std::vector<std::string>{"Edit", "AddButton", "RemoveButton", "RemoveAllButton", "OKButton",
                                      "CancelButton"}));
}

}  // namespace
}  // namespace telvora::app::test
