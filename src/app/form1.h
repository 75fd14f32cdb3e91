#pragma once
// TForm1: the phone book's main window. The contact grid, the record editor
// (six data-aware edit boxes and the New, Save, Cancel and Delete buttons),
// the search strip, the button that opens the number selection dialog, and
// the grid's pop-up menus that dial the current contact's telephone number
// or hang up. It owns the telephony component TelPhone1.
//
// When first shown (FormShow) it points the data module's MainTable at the
// program's folder and opens it, switches the keyboard to Persian and
// activates line device 0. The windows' global references (Form1, DTM,
// CallWait, SelectNumberForm, see phone_book_windows.h) must exist before
// it is shown.
//
// Layout: client 618 x 295, not resizable, right-to-left reading; every
// control at the position of the window's definition (positions count from
// the parent's left edge; right-to-left reading does not mirror them).
//
// Threads: GUI thread only.

#include <memory>
#include <string>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QWidget>

#include "app/db_edit.h"
#include "app/db_grid.h"
#include "app/enter_move.h"
#include "app/window_controls.h"

namespace telvora::dataset {
class TDataSource;
}
namespace telvora::telephony {
class TelPhone;
}

namespace telvora::app {

inline constexpr int kForm1ClientWidth = 618;
inline constexpr int kForm1ClientHeight = 295;
inline constexpr int kActivatedLineId = 0;

// The folder of the running program's executable, with its trailing
// separator.
std::string ProgramFolder();

class TForm1 : public QWidget {
 public:
  TForm1();
  ~TForm1() override;

  // The folder FormShow opens the table in (the program's own by default;
  // tests give a temporary one). Ends with a separator.
  const std::string& TableFolder() const { return table_folder_; }
  void SetTableFolder(const std::string& folder);

  // Binds the grid and the edit boxes (the data module's data source).
  void BindDataSource(dataset::TDataSource* source);

  telephony::TelPhone& Phone() { return *TelPhone1; }

  // Controls, named as in the window's definition.
  TPanel* Panel1;
  TLabel* Label1;
  TLabel* Label2;
  TLabel* Label3;
  TLabel* Label4;
  TLabel* Label5;
  TLabel* Label6;
  TButton* Button1;
  TButton* Button2;
  TButton* Button3;
  TButton* Button4;
  TDBEdit* DBEdit1;
  TDBEdit* DBEdit2;
  TDBEdit* DBEdit3;
  TDBEdit* DBEdit4;
  TDBEdit* DBEdit5;
  TDBEdit* DBEdit6;
  TPanel* Panel2;
  TLabel* Label7;
  QLineEdit* Edit1;
  QComboBox* ComboBox1;
  TDBGrid* DBGrid1;
  TPanel* Panel3;
  QCheckBox* CheckBox1;
  TPanel* Panel4;
  TButton* Button5;
  // Non-visual components.
  TEnterMove* EnterMove1;
  QMenu* PopupMenu1;
  QAction* N1;
  QAction* N3;
  QAction* N4;
  QMenu* POPHint;
  QAction* N2;
  std::unique_ptr<telephony::TelPhone> TelPhone1;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateRecordEditor();
  void CreateSearchStrip();
  void CreateGrid();
  void CreateMenus();
  void ConfigurePhone();
  void SetTabOrders();

  void FormShow();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  void DBEdit6Exit();
  void POPHintPopup();
  void N1Click();
  void N4Click();
  void Button5Click();
  void CheckBox1Click();
  void CheckBox1KeyPress();
  void ComboBox1KeyPress();
  void Edit1Change();
  void Edit1KeyPress();

  std::string table_folder_;
  bool shown_ = false;
};

}  // namespace telvora::app
