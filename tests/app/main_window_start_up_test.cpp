// The main window as its definition lays it out, and what showing it does:
// the table opened from the program's folder on its first record, the
// Persian keyboard switched on, line device 0 activated; and the two
// failures of that start (no table, a line that cannot be opened).

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "phone_book_fixture.h"

namespace telvora::app::test {
namespace {

using MainWindowLayout = PhoneBookWindowTest;

TEST_F(MainWindowLayout, ControlsStandWhereTheDefinitionPutsThem) {
  ShowMainWindow();
  EXPECT_EQ(Form1->size(), QSize(618, 295));
  EXPECT_EQ(Form1->layoutDirection(), Qt::RightToLeft);
  EXPECT_EQ(Form1->font().family(), QString("Tahoma"));
  EXPECT_TRUE(Form1->windowTitle().startsWith("Telvora"));

  struct Placed {
    QWidget* control;
    QRect geometry;
  };
  const Placed cases[] = {
      {Form1->Panel1, {4, 3, 609, 81}},     {Form1->Button1, {152, 45, 41, 25}}, {Form1->Button2, {104, 45, 41, 25}},
      {Form1->Button3, {56, 45, 41, 25}},   {Form1->Button4, {8, 45, 41, 25}},   {Form1->DBEdit1, {483, 12, 88, 21}},
      {Form1->DBEdit2, {318, 11, 93, 21}},  {Form1->DBEdit3, {166, 11, 81, 21}}, {Form1->DBEdit4, {8, 11, 81, 21}},
      {Form1->DBEdit5, {455, 47, 108, 21}}, {Form1->DBEdit6, {197, 47, 216, 21}}, {Form1->Panel2, {166, 88, 329, 37}},
      {Form1->Edit1, {6, 8, 121, 21}},      {Form1->ComboBox1, {145, 9, 89, 21}}, {Form1->DBGrid1, {0, 128, 618, 167}},
      {Form1->Panel3, {495, 88, 32, 37}},   {Form1->CheckBox1, {5, 11, 17, 17}}, {Form1->Panel4, {74, 88, 92, 37}},
      {Form1->Button5, {8, 6, 75, 25}},
  };
  for (const Placed& c : cases) EXPECT_EQ(c.control->geometry(), c.geometry) << c.control->objectName().toStdString();

  // Labels size themselves to their captions and keep their right edge.
  struct Label {
    TLabel* label;
    int right, top;
  };
  const Label labels[] = {{Form1->Label1, 595, 16}, {Form1->Label2, 479, 16}, {Form1->Label3, 315, 16},
                          {Form1->Label4, 162, 16}, {Form1->Label5, 599, 51}, {Form1->Label6, 447, 51},
                          {Form1->Label7, 323, 13}};
  for (const Label& l : labels) {
    EXPECT_EQ(l.label->geometry().right() + 1, l.right) << l.label->objectName().toStdString();
    EXPECT_EQ(l.label->y(), l.top) << l.label->objectName().toStdString();
  }
}

TEST_F(MainWindowLayout, CaptionsAndHintsAreTheWindowsOwnTexts) {
  struct Text {
    QWidget* control;
    const char* caption;
    const char* hint;
  };
  const Text cases[] = {
      {Form1->Label1, "نام :", ""},
      {Form1->Label2, "نام خانوادگي :", ""},
      {Form1->Label3, " شماره تلفن :", ""},
      {Form1->Label4, "شماره فکس :", ""},
      {Form1->Label5, "موبايل:", ""},
      {Form1->Label6, "آدرس:", ""},
      {Form1->Button1, "جديد", "ايجاد رکورد جديد"},
      {Form1->Button2, "ثبت", "ثبت اطلاعات وارد شده"},
      {Form1->Button3, "لغو", "لغو اطلاعات وارد شده"},
      {Form1->Button4, "حذف", "حذف رکورد جاري"},
      {Form1->Label7, "جستجو برحسب :", ""},
      {Form1->Edit1, "", "موضوع جستجو"},
      {Form1->ComboBox1, "نام", "منوي انتخاب متد جستجو"},
      {Form1->CheckBox1, "", "فعال کردن قسمت جستجو"},
      {Form1->Button5, "شماره گيري", "ورود به صفحه انتخاب شماره تلفن"},
  };
  for (const Text& c : cases) {
    QString caption;
    if (auto* label = qobject_cast<QLabel*>(c.control)) caption = label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(c.control)) caption = button->text();
    if (auto* combo = qobject_cast<QComboBox*>(c.control)) caption = combo->currentText();
    const std::string name = c.control->objectName().toStdString();
    // Stored and compared in code page 1256.
    EXPECT_EQ(ToCp1256(caption), ToCp1256(QString::fromUtf8(c.caption))) << name;
    EXPECT_EQ(c.control->toolTip(), QString::fromUtf8(c.hint)) << name;
  }
  const char* items[] = {"نام", "نام خانوادگي", "شماره تلفن", "شماره موبايل", "آدرس"};
  ASSERT_EQ(Form1->ComboBox1->count(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Form1->ComboBox1->itemText(i), QString::fromUtf8(items[i]));
  EXPECT_EQ(Form1->N1->text(), QString::fromUtf8("شماره گيري"));
  EXPECT_TRUE(Form1->N3->isSeparator());
  EXPECT_EQ(Form1->N4->text(), QString::fromUtf8("قطع ارتباط"));
}

TEST_F(MainWindowLayout, GridColumnsAndTabOrder) {
  ShowMainWindow();
  struct Column {
    const char* field;
    const char* title;
    Qt::Alignment alignment;
    int width;  // -1: the grid's default for the field
    QMenu* menu;
  };
  const Column columns[] = {
      {"Address", "آدرس", Qt::AlignRight, 175, Form1->POPHint},
      {"Mobile", "شماره موبايل", Qt::AlignHCenter, -1, Form1->PopupMenu1},
      {"Tel2", "شماره فکس", Qt::AlignHCenter, 80, Form1->PopupMenu1},
      {"Tel1", "شماره تلفن ", Qt::AlignHCenter, 80, Form1->PopupMenu1},
      {"Family", "نام خانوادگي", Qt::AlignHCenter, 85, nullptr},
      {"Name", "نام", Qt::AlignHCenter, 60, nullptr},
  };
  TDBGrid* grid = Form1->DBGrid1;
  ASSERT_EQ(grid->ColumnCount(), 6);
  for (int i = 0; i < 6; ++i) {
    const TColumn& column = grid->Column(i);
    EXPECT_EQ(column.FieldName, columns[i].field);
    EXPECT_EQ(column.Title, QString::fromUtf8(columns[i].title));
    EXPECT_EQ(column.TitleAlignment, Qt::AlignHCenter);
    EXPECT_EQ(column.Alignment, columns[i].alignment);
    EXPECT_EQ(column.PopupMenu, columns[i].menu);
    if (columns[i].width > 0) {
      EXPECT_EQ(grid->ColumnWidth(i), columns[i].width);
    }
    // Left to right, whatever the window's reading order.
    if (i > 0) {
      EXPECT_GT(grid->CellRect(-1, i).left(), grid->CellRect(-1, i - 1).left());
    }
  }
  // Mobile (16 characters) is wider than the 12-character number columns.
  EXPECT_GT(grid->ColumnWidth(1), 80);

  QWidget* const expected[] = {Form1->Button1, Form1->Button2, Form1->Button3,   Form1->Button4,  Form1->DBEdit1,
                               Form1->DBEdit2, Form1->DBEdit3, Form1->DBEdit4,   Form1->DBEdit5,  Form1->DBEdit6,
                               Form1->Edit1,   Form1->ComboBox1, Form1->DBGrid1, Form1->CheckBox1, Form1->Button5};
  for (std::size_t i = 1; i < std::size(expected); ++i) {
    QWidget* next = expected[i - 1]->nextInFocusChain();
    while (next != nullptr && (next->focusPolicy() & Qt::TabFocus) == 0) next = next->nextInFocusChain();
    EXPECT_EQ(next, expected[i]) << "after " << expected[i - 1]->objectName().toStdString();
  }
}

TEST_F(MainWindowLayout, ShowingOpensTheTableSwitchesTheKeyboardAndActivatesLineZero) {
  EXPECT_FALSE(Table().Active());
  EXPECT_FALSE(App().Keyboard().Persian());
  ShowMainWindow();
  ASSERT_TRUE(Table().Active());
  EXPECT_EQ(Table().DatabaseName() + (Table().DatabaseName().back() == '/' ? "" : "/"),
            dir_.path().string() + "/");
  EXPECT_EQ(Table().TableName(), "PhoneBook");
  EXPECT_EQ(Table().FieldCount(), 6);
  EXPECT_EQ(Form1->DBEdit1->text(), QString("Ali"));
  EXPECT_EQ(Form1->DBEdit6->text(), QString("Tehran, Valiasr 12"));
  EXPECT_EQ(Form1->DBGrid1->DataRowCount(), 3);
  EXPECT_EQ(Form1->DBGrid1->CellText(2, 5), QString("Reza"));
  EXPECT_TRUE(App().Keyboard().Persian());
  EXPECT_TRUE(Form1->Phone().IsActive());
  ASSERT_FALSE(labs_.empty());
  EXPECT_TRUE(labs_[0]->IsOpen());
  // The search strip starts switched off.
  EXPECT_FALSE(Form1->CheckBox1->isChecked());
  EXPECT_FALSE(Form1->Panel2->isEnabled());
  EXPECT_FALSE(Table().Filtered());
}

class MainWindowWithoutTable : public PhoneBookWindowTest {
 protected:
  bool MakeTable() const override { return false; }
};

TEST_F(MainWindowWithoutTable, ShowsTheEnginesMessageAndSkipsTheRestOfTheStart) {
  ModalScript script;
  script.MessageBox();
  ShowMainWindow();
  ASSERT_TRUE(WaitUntil([&] { return script.Done(); }));
  ASSERT_EQ(script.Messages().size(), 1u);
  EXPECT_TRUE(script.Messages()[0].contains("11010")) << script.Messages()[0].toStdString();
  EXPECT_TRUE(script.Messages()[0].contains("PhoneBook")) << script.Messages()[0].toStdString();
  EXPECT_TRUE(Form1->isVisible());
  EXPECT_FALSE(Table().Active());
  EXPECT_EQ(Form1->DBGrid1->DataRowCount(), 0);
  EXPECT_FALSE(App().Keyboard().Persian());
  EXPECT_FALSE(Form1->Phone().IsActive());
  // The program never makes the table itself.
  EXPECT_FALSE(std::filesystem::exists(dir_ / "PhoneBook.DAT"));
}

TEST_F(MainWindowLayout, AFailedLineActivationNamesTheDeviceAndTheError) {
  labs_.clear();
  // The device list is made when the service starts: the failure is set
  // on the line as soon as it exists.
  tapi::SetDeviceFactory([this] {
    tapi::DeviceSet set;
    auto line = std::make_unique<tapi::LabLine>(tapi::LabLine::DefaultCaps(0, false));
    line->SetOpenResult(tapi::LINEERR_RESOURCEUNAVAIL);
    labs_.push_back(line.get());
    set.lines.push_back(std::move(line));
    return set;
  });
  ModalScript script;
  script.MessageBox();
  ShowMainWindow();
  ASSERT_TRUE(WaitUntil([&] { return script.Done(); }));
  ASSERT_EQ(script.Messages().size(), 1u);
  std::u16string name;
  Form1->Phone().GetLineName(0, name);
  // The line still refuses: the same code as at the start.
  const int code = Form1->Phone().LineActive(0, true);
  ASSERT_NE(code, 0);
  std::string text;
  Form1->Phone().GetResultText(code, text);
  const QString expected = QString("Error while activating the telephone device.\r\n\r\nTelephone device name: ") +
                           QString::fromStdU16String(name) + "\r\nError message: " + QString::fromStdString(text);
  EXPECT_EQ(script.Messages()[0].toStdString(), expected.toStdString());
  EXPECT_FALSE(text.empty());
  EXPECT_FALSE(name.empty());
  // The phone book stays usable.
  EXPECT_TRUE(Table().Active());
  EXPECT_TRUE(App().Keyboard().Persian());
}

}  // namespace
}  // namespace telvora::app::test
