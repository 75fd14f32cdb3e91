// The contact grid over the real table: it reads only the rows on screen
// and moves by record number, its pop-up menus dial the current contact's
// Tel1 (whichever number column they opened on) or hang up, the address
// menu shows the address, Ctrl+Delete asks first.

#include <QMenu>
#include <QScrollBar>

#include "phone_book_fixture.h"

namespace telvora::app::test {
namespace {

class GridAndDialling : public PhoneBookWindowTest {
 protected:
  void SetUp() override {
    PhoneBookWindowTest::SetUp();
    ShowMainWindow();
  }

  // A right press on a cell and its release there, as a user opens a menu.
  QMenu* RightClick(int row, int column) {
    TDBGrid* grid = Form1->DBGrid1;
    const QPoint at = grid->CellRect(row, column).center();
    QTest::mousePress(grid->viewport(), Qt::RightButton, Qt::NoModifier, at);
    QTest::mouseRelease(grid->viewport(), Qt::RightButton, Qt::NoModifier, at);
    QMenu* open = nullptr;
    WaitUntil([&] {
      for (QMenu* menu : {Form1->PopupMenu1, Form1->POPHint}) {
        if (menu->isVisible()) open = menu;
      }
      return open != nullptr;
    }, std::chrono::milliseconds(300));
    return open;
  }
};

TEST_F(GridAndDialling, TheDialItemDialsTel1WhicheverNumberColumnItOpenedOn) {
  struct Case {
    int row, column;
    const char* dialled;
  };
  // Columns: 0 Address, 1 Mobile, 2 Tel2, 3 Tel1, 4 Family, 5 Name.
  const Case cases[] = {{0, 1, "02188776655"}, {0, 2, "02188776655"}, {2, 3, "0311223344"}, {2, 1, "0311223344"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "row " << c.row << " column " << c.column);
    QMenu* menu = RightClick(c.row, c.column);
    ASSERT_EQ(menu, Form1->PopupMenu1);
    EXPECT_EQ(Form1->DBGrid1->CurrentRow(), c.row);
    ModalScript script;
    script.Dialog(CallWait, [](QWidget* w) { w->close(); });
    Form1->N1->trigger();
    menu->close();
    ASSERT_TRUE(WaitUntil([&] { return script.Done(); }));
    const std::vector<std::string> calls = LabLog("MakeCall");
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().substr(0, calls.back().find(" media")), std::string("MakeCall ") + c.dialled);
    EXPECT_EQ(SelectNumberForm->Label4->text(), QString(c.dialled));
    EXPECT_EQ(CallWait->LBTel->text(), QString(c.dialled));
    CallWait->TimerDisp->stop();
    Form1->Phone().Hangup();
    WaitUntil([] { return false; }, std::chrono::milliseconds(30));
  }
}

TEST_F(GridAndDialling, NameAndFamilyColumnsOpenNoMenu) {
  EXPECT_EQ(RightClick(1, 4), nullptr);
  EXPECT_EQ(RightClick(1, 5), nullptr);
  // The right press still chose the row.
  EXPECT_EQ(Form1->DBGrid1->CurrentRow(), 1);
  EXPECT_EQ(Form1->DBEdit1->text(), QString("Sara"));
  // A title cell of a number column opens its menu.
  QMenu* menu = RightClick(-1, 2);
  EXPECT_EQ(menu, Form1->PopupMenu1);
  if (menu != nullptr) menu->close();
}

TEST_F(GridAndDialling, TheAddressMenuShowsTheCurrentAddress) {
  const std::pair<int, const char*> cases[] = {{0, "Tehran, Valiasr 12"}, {1, ""}, {2, "Esfahan"}};
  for (const auto& [row, address] : cases) {
    QMenu* menu = RightClick(row, 0);
    ASSERT_EQ(menu, Form1->POPHint);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(Form1->N2->text(), QString(address));
    menu->close();
  }
}

TEST_F(GridAndDialling, AnEmptyTel1IsDialledAsTheEmptyString) {
  QMenu* menu = RightClick(1, 1);  // Sara: no Tel1, a mobile number
  ASSERT_EQ(menu, Form1->PopupMenu1);
  menu->close();
  // The lab line takes a call without a number (it stops at dial tone), so
  // the dial succeeds and the call-wait dialog opens.
  ModalScript script;
  script.Dialog(CallWait, [](QWidget* w) { w->close(); });
  Form1->N1->trigger();
  ASSERT_TRUE(WaitUntil([&] { return script.Done(); }));
  const std::vector<std::string> calls = LabLog("MakeCall");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].rfind("MakeCall  media", 0), 0u) << calls[0];
  EXPECT_EQ(SelectNumberForm->Label4->text(), QString());
  EXPECT_EQ(CallWait->LBTel->text(), QString());
}

TEST_F(GridAndDialling, HangUpWithoutACallReportsTheCode) {
  // With no call the component refuses the hang-up with a code of its own.
  const int code = Form1->Phone().Hangup();
  ASSERT_NE(code, 0);
  std::string text;
  Form1->Phone().GetResultText(code, text);
  ModalScript script;
  script.MessageBox();
  Form1->N4->trigger();
  ASSERT_TRUE(WaitUntil([&] { return script.Done(); }));
  ASSERT_EQ(script.Messages().size(), 1u);
  EXPECT_EQ(script.Messages()[0], QString("Error: ") + QString::fromStdString(text));

  // With a call, the item drops it and shows nothing.
  ASSERT_EQ(Form1->Phone().DialNumber("5551234", 0), 0);
  ASSERT_TRUE(WaitUntil([&] { return Form1->Phone().IsConnected(); }));
  MessageBoxCloser boxes;
  Form1->N4->trigger();
  ASSERT_TRUE(WaitUntil([&] { return !LabLog("Drop").empty(); }));
  EXPECT_TRUE(boxes.Messages().empty());
}

TEST_F(GridAndDialling, ADialThatFailsShowsTheCodeAndNoCallWait) {
  labs_[0]->QueueReply(tapi::LabOp::kMakeCall, {.sync_result = tapi::LINEERR_OPERATIONFAILED});
  ModalScript script;
  script.MessageBox();
  Form1->N1->trigger();
  ASSERT_TRUE(WaitUntil([&] { return script.Done(); }));
  ASSERT_EQ(script.Messages().size(), 1u);
  EXPECT_TRUE(script.Messages()[0].startsWith(QString::fromUtf8("خطا:")));
  EXPECT_GT(script.Messages()[0].size(), 4);
  EXPECT_FALSE(CallWait->isVisible());
}

TEST_F(GridAndDialling, CtrlDeleteAsksDeleteRecord) {
  const std::vector<Contact> before = StoredContacts(dir_.path());
  Form1->DBGrid1->setFocus();
  for (const QMessageBox::StandardButton answer : {QMessageBox::Cancel, QMessageBox::Ok}) {
    ModalScript script;
    script.MessageBox(answer);
    Key(Form1->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
    ASSERT_TRUE(WaitUntil([&] { return script.Done(); }));
    ASSERT_EQ(script.Messages().size(), 1u);
    EXPECT_EQ(script.Messages()[0], QString("Delete record?"));
  }
  EXPECT_EQ(StoredContacts(dir_.path()), std::vector<Contact>(before.begin() + 1, before.end()));
  // Insert adds nothing.
  Key(Form1->DBGrid1, Qt::Key_Insert);
  EXPECT_EQ(Table().State(), dataset::TDataSetState::Browsing);
}

TEST_F(GridAndDialling, ATitleBorderDragResizesItsColumn) {
  TDBGrid* grid = Form1->DBGrid1;
  const QRect tel2 = grid->CellRect(-1, 2);
  const int tel1_left = grid->CellRect(-1, 3).left();
  const QPoint border(tel2.right() + 1, tel2.center().y());
  QTest::mousePress(grid->viewport(), Qt::LeftButton, Qt::NoModifier, border);
  QMouseEvent move(QEvent::MouseMove, QPointF(border + QPoint(20, 0)), grid->viewport()->mapToGlobal(QPointF(border + QPoint(20, 0))),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(grid->viewport(), &move);
  QTest::mouseRelease(grid->viewport(), Qt::LeftButton, Qt::NoModifier, border + QPoint(20, 0));
  EXPECT_EQ(grid->ColumnWidth(2), 100);
  EXPECT_EQ(grid->CellRect(-1, 3).left(), tel1_left + 20);
  // A press on a title resizes nothing and leaves the record where it was.
  EXPECT_EQ(grid->CurrentRow(), 0);
}

class LargeGrid : public PhoneBookWindowTest {
 protected:
  static constexpr int kContacts = 500;
  std::vector<Contact> InitialContacts() const override {
    std::vector<Contact> contacts;
    for (int i = 1; i <= kContacts; ++i) contacts.push_back({"N" + std::to_string(i), "F", std::to_string(i), "", "", ""});
    return contacts;
  }
};

TEST_F(LargeGrid, TheGridReadsTheRowsOnScreenAndScrollsByRecordNumber) {
  ShowMainWindow();
  TDBGrid* grid = Form1->DBGrid1;
  const int rows = grid->VisibleRowCount();
  ASSERT_GT(rows, 3);
  // The dataset's window is as large as the grid's rows, not the table.
  EXPECT_LE(Table().BufferCount(), rows + 1);
  EXPECT_EQ(grid->DataRowCount(), rows);
  QScrollBar* bar = grid->verticalScrollBar();
  EXPECT_EQ(bar->maximum(), kContacts - 1);

  struct Case {
    int thumb;           // where the thumb is dragged to (record number - 1)
    const char* current; // the name of the record that becomes current
  };
  const Case cases[] = {{299, "N300"}, {0, "N1"}, {kContacts - 1, "N500"}, {41, "N42"}};
  for (const Case& c : cases) {
    bar->setSliderPosition(c.thumb);  // what a drag of the thumb does
    bar->triggerAction(QAbstractSlider::SliderMove);
    EXPECT_EQ(Form1->DBEdit1->text(), QString(c.current));
    EXPECT_EQ(grid->CellText(grid->CurrentRow(), 5), QString(c.current));
    EXPECT_EQ(bar->value(), c.thumb);
    EXPECT_EQ(grid->DataRowCount(), rows);
  }
  // Keys move row by row and page by page.
  grid->setFocus();
  Key(grid, Qt::Key_Down);
  EXPECT_EQ(Form1->DBEdit1->text(), QString("N43"));
  Key(grid, Qt::Key_PageDown);
  EXPECT_EQ(Form1->DBEdit1->text(), QString("N" + QString::number(43 + rows)));
  Key(grid, Qt::Key_End);
  EXPECT_EQ(Form1->DBEdit1->text(), QString("N500"));
  EXPECT_EQ(grid->CellText(rows - 1, 5), QString("N500"));
  EXPECT_EQ(grid->CellText(0, 5), QString("N" + QString::number(kContacts - rows + 1)));
}

}  // namespace
}  // namespace telvora::app::test
