#include "app/form1.h"

#include <filesystem>
#include <iterator>
#include <string_view>
#include <system_error>

#include <QEvent>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

#include "app/application.h"
#include "app/call_wait.h"
#include "app/code_page_validator.h"
#include "app/cp1256_text.h"
#include "app/dtm.h"
#include "app/focus_control.h"
#include "app/message_box.h"
#include "app/phone_book_windows.h"
#include "app/select_number_form.h"
#include "app/window_font.h"
#include "dataset/field.h"
#include "dataset/vora_table.h"
#include "telephony/tel_phone.h"

namespace telvora::app {

namespace {

// The window's texts, code page 1256.
constexpr char kNameCaption[] = "\xE4\xC7\xE3 :";                                         // نام :
constexpr char kFamilyCaption[] = "\xE4\xC7\xE3 \xCE\xC7\xE4\xE6\xC7\xCF\x90\xED :";      // نام خانوادگي :
constexpr char kTel1Caption[] = " \xD4\xE3\xC7\xD1\xE5 \xCA\xE1\xDD\xE4 :";               //  شماره تلفن :
constexpr char kTel2Caption[] = "\xD4\xE3\xC7\xD1\xE5 \xDD\x98\xD3 :";                    // شماره فکس :
constexpr char kMobileCaption[] = "\xE3\xE6\xC8\xC7\xED\xE1:";                            // موبايل:
constexpr char kAddressCaption[] = "\xC2\xCF\xD1\xD3:";                                   // آدرس:
constexpr char kNewCaption[] = "\xCC\xCF\xED\xCF";                                        // جديد
constexpr char kNewHint[] = "\xC7\xED\xCC\xC7\xCF \xD1\x98\xE6\xD1\xCF \xCC\xCF\xED\xCF";  // ايجاد رکورد جديد
constexpr char kSaveCaption[] = "\xCB\xC8\xCA";                                           // ثبت
constexpr char kSaveHint[] = "\xCB\xC8\xCA \xC7\xD8\xE1\xC7\xDA\xC7\xCA \xE6\xC7\xD1\xCF \xD4\xCF\xE5";  // ثبت اطلاعات وارد شده
constexpr char kCancelCaption[] = "\xE1\xDB\xE6";                                                      // لغو
constexpr char kCancelHint[] = "\xE1\xDB\xE6 \xC7\xD8\xE1\xC7\xDA\xC7\xCA \xE6\xC7\xD1\xCF \xD4\xCF\xE5";  // لغو اطلاعات وارد شده
constexpr char kDeleteCaption[] = "\xCD\xD0\xDD";                                                      // حذف
constexpr char kDeleteHint[] = "\xCD\xD0\xDD \xD1\x98\xE6\xD1\xCF \xCC\xC7\xD1\xED";                    // حذف رکورد جاري
constexpr char kSearchByCaption[] = "\xCC\xD3\xCA\xCC\xE6 \xC8\xD1\xCD\xD3\xC8 :";                      // جستجو برحسب :
constexpr char kSearchTextHint[] = "\xE3\xE6\xD6\xE6\xDA \xCC\xD3\xCA\xCC\xE6";                         // موضوع جستجو
constexpr char kSearchFieldHint[] = "\xE3\xE4\xE6\xED \xC7\xE4\xCA\xCE\xC7\xC8 \xE3\xCA\xCF \xCC\xD3\xCA\xCC\xE6";  // منوي انتخاب متد جستجو
constexpr char kSearchOnHint[] = "\xDD\xDA\xC7\xE1 \x98\xD1\xCF\xE4 \xDE\xD3\xE3\xCA \xCC\xD3\xCA\xCC\xE6";        // فعال کردن قسمت جستجو
constexpr char kDialCaption[] = "\xD4\xE3\xC7\xD1\xE5 \x90\xED\xD1\xED";                                            // شماره گيري
// ورود به صفحه انتخاب شماره تلفن
constexpr char kDialHint[] =
    "\xE6\xD1\xE6\xCF \xC8\xE5 \xD5\xDD\xCD\xE5 \xC7\xE4\xCA\xCE\xC7\xC8 \xD4\xE3\xC7\xD1\xE5 \xCA\xE1\xDD\xE4";
constexpr char kHangupCaption[] = "\xDE\xD8\xDA \xC7\xD1\xCA\xC8\xC7\xD8";  // قطع ارتباط
// آيا مطمئنيد که ميخواهيد رکورد مورد نظر را حذف کنيد؟
constexpr char kDeleteQuestion[] =
    "\xC2\xED\xC7 \xE3\xD8\xE3\xC6\xE4\xED\xCF \x98\xE5 \xE3\xED\xCE\xE6\xC7\xE5\xED\xCF \xD1\x98\xE6\xD1\xCF "
    "\xE3\xE6\xD1\xCF \xE4\xD9\xD1 \xD1\xC7 \xCD\xD0\xDD \x98\xE4\xED\xCF\xBF";
// رکورد مورد نظر شما حذف گرديد
constexpr char kDeletedMessage[] = "\xD1\x98\xE6\xD1\xCF \xE3\xE6\xD1\xCF \xE4\xD9\xD1 \xD4\xE3\xC7 \xCD\xD0\xDD \x90\xD1\xCF\xED\xCF";
constexpr char kDialErrorPrefix[] = "\xCE\xD8\xC7:";  // خطا:
constexpr char kHangupErrorPrefix[] = "Error: ";
constexpr char kActivationErrorHead[] = "Error while activating the telephone device.\r\n\r\nTelephone device name: ";
constexpr char kActivationErrorMessage[] = "Error message: ";

// The grid's column titles.
constexpr char kAddressTitle[] = "\xC2\xCF\xD1\xD3";                                    // آدرس
constexpr char kMobileTitle[] = "\xD4\xE3\xC7\xD1\xE5 \xE3\xE6\xC8\xC7\xED\xE1";         // شماره موبايل
constexpr char kTel2Title[] = "\xD4\xE3\xC7\xD1\xE5 \xDD\x98\xD3";                       // شماره فکس
constexpr char kTel1Title[] = "\xD4\xE3\xC7\xD1\xE5 \xCA\xE1\xDD\xE4 ";                  // شماره تلفن (with its space)
constexpr char kFamilyTitle[] = "\xE4\xC7\xE3 \xCE\xC7\xE4\xE6\xC7\xCF\x90\xED";         // نام خانوادگي
constexpr char kNameTitle[] = "\xE4\xC7\xE3";                                           // نام

// The search list's items and the filter prefix each selects.
struct SearchField {
  const char* item;
  const char* prefix;
};
constexpr SearchField kSearchFields[] = {
    {"\xE4\xC7\xE3", "name="},                                                  // نام
    {"\xE4\xC7\xE3 \xCE\xC7\xE4\xE6\xC7\xCF\x90\xED", "family="},               // نام خانوادگي
    {"\xD4\xE3\xC7\xD1\xE5 \xCA\xE1\xDD\xE4", "Tel1="},                         // شماره تلفن
    {"\xD4\xE3\xC7\xD1\xE5 \xE3\xE6\xC8\xC7\xED\xE1", "Mobile="},               // شماره موبايل
    {"\xC2\xCF\xD1\xD3", "Address="},                                           // آدرس
};

// The field names the window's code reads (the lookup ignores case).
constexpr char kAddressFieldName[] = "address";

// The expression language's string constant for `text`: single quotes
// around it, a single quote inside doubled.
std::string QuotedConstant(std::string_view text) {
  std::string quoted = "'";
  for (const char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'";
}

// The telephony component's text for a code.
std::string ResultText(const telephony::TelPhone& phone, int code) {
  std::string text;
  phone.GetResultText(code, text);
  return text;
}

// A device name in the window's code page: characters the code page cannot
// hold become "?", as the system's own conversion gives them.
std::string ToWindowCodePage(const std::u16string& text) {
  std::string bytes;
  for (const char16_t c : text) bytes += ToCp1256(QString(QChar(c))).value_or("?");
  return bytes;
}

bool IsEnter(const QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  const int key = static_cast<const QKeyEvent*>(event)->key();
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Runs a handler under the application's default error handler, so that an
// exception ends the handler and shows its message, as for any event.
template <typename Handler>
void Guarded(Handler handler) {
  try {
    handler();
  } catch (...) {
    if (TApplication* application = TApplication::Instance()) {
      application->HandleException(std::current_exception());
    } else {
      throw;
    }
  }
}

}  // namespace

std::string ProgramFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  std::string folder = error ? std::filesystem::current_path().string() : program.parent_path().string();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

TForm1::TForm1()
    : QWidget(nullptr, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowContextHelpButtonHint | Qt::WindowCloseButtonHint),
      table_folder_(ProgramFolder()) {
  setObjectName("Form1");
  setWindowTitle(QStringLiteral("Telvora - ") + FromCp1256(kPhoneBookTableName));
  setLayoutDirection(Qt::RightToLeft);
  setFont(WindowFont());
  setFixedSize(kForm1ClientWidth, kForm1ClientHeight);
  setAttribute(Qt::WA_AlwaysShowToolTips);

  CreateRecordEditor();
  CreateSearchStrip();
  CreateGrid();
  CreateMenus();
  SetTabOrders();

  EnterMove1 = new TEnterMove(this);
  EnterMove1->setObjectName("EnterMove1");
  EnterMove1->SetOptions({moEnter});
  TelPhone1 = std::make_unique<telephony::TelPhone>(nullptr);
  ConfigurePhone();

  // Centred on the desktop.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect desktop = screen->availableGeometry();
    move(desktop.center() - QPoint(kForm1ClientWidth / 2, kForm1ClientHeight / 2));
  }
}

TForm1::~TForm1() {
  // The grid and the edit boxes leave the data source before it can go.
  BindDataSource(nullptr);
}

void TForm1::SetTableFolder(const std::string& folder) {
  table_folder_ = folder;
  if (table_folder_.empty() || table_folder_.back() != '/') table_folder_ += '/';
}

void TForm1::CreateRecordEditor() {
  Panel1 = new TPanel(this, 4, 3, 609, 81);
  auto label = [this](int left, int top, int width, int height, const char* caption) {
    auto* created = new TLabel(Panel1, left, top, width, height);
    created->SetCaption(FromCp1256(caption));
    return created;
  };
  Label1 = label(575, 16, 20, 13, kNameCaption);
  Label2 = label(414, 16, 65, 13, kFamilyCaption);
  Label3 = label(251, 16, 64, 13, kTel1Caption);
  Label4 = label(97, 16, 65, 13, kTel2Caption);
  Label5 = label(567, 51, 32, 13, kMobileCaption);
  Label6 = label(418, 51, 29, 13, kAddressCaption);

  auto button = [this](int left, const char* caption, const char* hint, void (TForm1::*click)()) {
    auto* created = new TButton(Panel1, left, 45, 41, 25);
    created->setText(FromCp1256(caption));
    created->setToolTip(FromCp1256(hint));
    connect(created, &QPushButton::clicked, this, [this, click] { Guarded([&] { (this->*click)(); }); });
    return created;
  };
  Button1 = button(152, kNewCaption, kNewHint, &TForm1::Button1Click);
  Button2 = button(104, kSaveCaption, kSaveHint, &TForm1::Button2Click);
  Button3 = button(56, kCancelCaption, kCancelHint, &TForm1::Button3Click);
  Button4 = button(8, kDeleteCaption, kDeleteHint, &TForm1::Button4Click);

  auto edit = [this](int left, int top, int width, const char* field) {
    auto* created = new TDBEdit(Panel1, left, top, width, 21);
    created->SetDataField(field);
    return created;
  };
  DBEdit1 = edit(483, 12, 88, "Name");
  DBEdit2 = edit(318, 11, 93, "Family");
  DBEdit3 = edit(166, 11, 81, "Tel1");
  DBEdit4 = edit(8, 11, 81, "Tel2");
  DBEdit5 = edit(455, 47, 108, "Mobile");
  DBEdit6 = edit(197, 47, 216, "Address");
  DBEdit1->setLayoutDirection(Qt::RightToLeft);
  DBEdit6->OnExit = [this] { DBEdit6Exit(); };

  const std::pair<QWidget*, const char*> names[] = {
      {Panel1, "Panel1"},   {Label1, "Label1"},   {Label2, "Label2"},   {Label3, "Label3"},   {Label4, "Label4"},
      {Label5, "Label5"},   {Label6, "Label6"},   {Button1, "Button1"}, {Button2, "Button2"}, {Button3, "Button3"},
      {Button4, "Button4"}, {DBEdit1, "DBEdit1"}, {DBEdit2, "DBEdit2"}, {DBEdit3, "DBEdit3"}, {DBEdit4, "DBEdit4"},
      {DBEdit5, "DBEdit5"}, {DBEdit6, "DBEdit6"}};
  for (const auto& [widget, name] : names) widget->setObjectName(name);
}

void TForm1::CreateSearchStrip() {
  Panel2 = new TPanel(this, 166, 88, 329, 37);
  Panel2->setObjectName("Panel2");
  Label7 = new TLabel(Panel2, 241, 13, 82, 13);
  Label7->setObjectName("Label7");
  Label7->SetCaption(FromCp1256(kSearchByCaption));
  Edit1 = new QLineEdit(Panel2);
  Edit1->setObjectName("Edit1");
  Edit1->setGeometry(6, 8, 121, 21);
  Edit1->setToolTip(FromCp1256(kSearchTextHint));
  Edit1->setValidator(new TCodePageValidator(Edit1));
  ComboBox1 = new QComboBox(Panel2);
  ComboBox1->setObjectName("ComboBox1");
  ComboBox1->setGeometry(145, 9, 89, 21);
  ComboBox1->setEditable(false);
  ComboBox1->setLayoutDirection(Qt::LeftToRight);
  ComboBox1->setToolTip(FromCp1256(kSearchFieldHint));
  for (const SearchField& field : kSearchFields) ComboBox1->addItem(FromCp1256(field.item));
  ComboBox1->setCurrentIndex(0);
  Panel2->setEnabled(false);

  Panel3 = new TPanel(this, 495, 88, 32, 37);
  Panel3->setObjectName("Panel3");
  CheckBox1 = new QCheckBox(Panel3);
  CheckBox1->setObjectName("CheckBox1");
  CheckBox1->setGeometry(5, 11, 17, 17);
  CheckBox1->setToolTip(FromCp1256(kSearchOnHint));

  Panel4 = new TPanel(this, 74, 88, 92, 37);
  Panel4->setObjectName("Panel4");
  Button5 = new TButton(Panel4, 8, 6, 75, 25);
  Button5->setObjectName("Button5");
  Button5->setText(FromCp1256(kDialCaption));
  Button5->setToolTip(FromCp1256(kDialHint));

  connect(CheckBox1, &QCheckBox::toggled, this, [this] { Guarded([this] { CheckBox1Click(); }); });
  connect(Edit1, &QLineEdit::textChanged, this, [this] { Guarded([this] { Edit1Change(); }); });
  connect(Button5, &QPushButton::clicked, this, [this] { Guarded([this] { Button5Click(); }); });
  for (QWidget* control : {static_cast<QWidget*>(CheckBox1), static_cast<QWidget*>(ComboBox1),
                           static_cast<QWidget*>(Edit1)}) {
    control->installEventFilter(this);
  }
}

void TForm1::CreateGrid() {
  DBGrid1 = new TDBGrid(this, 0, 128, 618, 167);
  DBGrid1->setObjectName("DBGrid1");
}

void TForm1::CreateMenus() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  N1 = PopupMenu1->addAction(FromCp1256(kDialCaption));
  N1->setObjectName("N1");
  N3 = PopupMenu1->addSeparator();
  N3->setObjectName("N3");
  N4 = PopupMenu1->addAction(FromCp1256(kHangupCaption));
  N4->setObjectName("N4");
  connect(N1, &QAction::triggered, this, [this] { Guarded([this] { N1Click(); }); });
  connect(N4, &QAction::triggered, this, [this] { Guarded([this] { N4Click(); }); });

  POPHint = new QMenu(this);
  POPHint->setObjectName("POPHint");
  N2 = POPHint->addAction(QString());
  N2->setObjectName("N2");
  connect(POPHint, &QMenu::aboutToShow, this, [this] { Guarded([this] { POPHintPopup(); }); });

  // Left to right: Address, Mobile, Tel2, Tel1, Family, Name.
  const auto centred = Qt::AlignHCenter;
  DBGrid1->AddColumn({"Address", FromCp1256(kAddressTitle), centred, Qt::AlignRight, 175, POPHint});
  DBGrid1->AddColumn({"Mobile", FromCp1256(kMobileTitle), centred, centred, TColumn::kDefaultWidth, PopupMenu1});
  DBGrid1->AddColumn({"Tel2", FromCp1256(kTel2Title), centred, centred, 80, PopupMenu1});
  DBGrid1->AddColumn({"Tel1", FromCp1256(kTel1Title), centred, centred, 80, PopupMenu1});
  DBGrid1->AddColumn({"Family", FromCp1256(kFamilyTitle), centred, centred, 85, nullptr});
  DBGrid1->AddColumn({"Name", FromCp1256(kNameTitle), centred, centred, 60, nullptr});
}

void TForm1::ConfigurePhone() {
  telephony::TelPhone& phone = *TelPhone1;
  phone.SetAutoDisconnect(true);
  phone.SetMediaMode(telephony::mmData);
  phone.SetLinePrivilege(telephony::lpOwner);
  phone.ExtDevHandSet().SetMicGain(10);
  phone.ExtDevHandSet().SetSpeakerVolume(10);
  phone.ExtDevAux().SetMicGain(10);
  phone.ExtDevAux().SetSpeakerVolume(10);
  phone.ModemSpeaker().SetVolume(telephony::svDefault);
  phone.ModemSpeaker().SetMode(telephony::smDefault);
  phone.SetShowModemIcon(true);
  phone.SetWaitForDialTone(false);
  phone.SetTimeOut(telephony::kDefaultTimeOut);
  phone.SetInitialRingNumber(1);
  phone.SetAddressID(0);
}

void TForm1::SetTabOrders() {
  // Window: Panel1, Panel2, DBGrid1, Panel3, Panel4; Panel1: the four
  // buttons, then the six edit boxes; Panel2: Edit1, ComboBox1.
  QWidget* const chain[] = {Button1, Button2, Button3, Button4, DBEdit1,  DBEdit2,   DBEdit3, DBEdit4,
                            DBEdit5, DBEdit6, Edit1,   ComboBox1, DBGrid1, CheckBox1, Button5};
  for (std::size_t i = 1; i < std::size(chain); ++i) setTabOrder(chain[i - 1], chain[i]);
}

void TForm1::BindDataSource(dataset::TDataSource* source) {
  for (TDBEdit* edit : {DBEdit1, DBEdit2, DBEdit3, DBEdit4, DBEdit5, DBEdit6}) edit->SetDataSource(source);
  DBGrid1->SetDataSource(source);
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous() || shown_) return;
  shown_ = true;
  Guarded([this] { FormShow(); });
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  // The window's Enter-key navigation has already moved the focus on; these
  // handlers choose where it ends.
  if (IsEnter(event)) {
    if (watched == CheckBox1) {
      Guarded([this] { CheckBox1KeyPress(); });
      return true;
    }
    if (watched == ComboBox1) {
      Guarded([this] { ComboBox1KeyPress(); });
      return true;
    }
    if (watched == Edit1) {
      Guarded([this] { Edit1KeyPress(); });
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

// --- Handlers ---

void TForm1::FormShow() {
  dataset::TVoraTable& table = *DTM->MainTable;
  table.SetDatabaseName(table_folder_);
  table.SetTableName(kPhoneBookTableName);
  table.SetActive(true);
  // The Persian layout ("00000429") is the program's own key translation.
  if (TApplication* application = TApplication::Instance()) application->Keyboard().SetPersian(true);

  const int code = TelPhone1->LineActive(kActivatedLineId, true);
  if (code == 0) return;
  std::u16string name;
  TelPhone1->GetLineName(kActivatedLineId, name);
  ShowMessage(this, kActivationErrorHead + ToWindowCodePage(name) + "\r\n" + kActivationErrorMessage +
                        ResultText(*TelPhone1, code));
}

void TForm1::Button1Click() {
  DTM->MainTable->Append();
  FocusControl(DBEdit1);
}

void TForm1::Button2Click() {
  DTM->MainTable->Refresh();
  FocusControl(Button1);
}

void TForm1::Button3Click() {
  DTM->MainTable->Cancel();
  FocusControl(Button1);
}

void TForm1::Button4Click() {
  if (AskYesNoCancel(this, kDeleteQuestion) == TConfirmAnswer::caYes) {
    DTM->MainTable->Delete();
    ShowMessage(this, kDeletedMessage);
  } else {
    DTM->MainTable->Cancel();
  }
  FocusControl(Button1);
}

void TForm1::DBEdit6Exit() { FocusControl(Button2); }

void TForm1::POPHintPopup() {
  // A "&" in an address is text, not a mnemonic.
  N2->setText(FromCp1256(DTM->MainTable->FieldByName(kAddressFieldName).AsString()).replace('&', "&&"));
}

void TForm1::N1Click() {
  const std::string number = DTM->MainTable->FieldByName(kTel1FieldName).AsString();
  SelectNumberForm->Label4->SetCaption(FromCp1256(number));
  const int code = TelPhone1->DialNumber(number, 0);
  if (code != 0) {
    ShowMessage(this, kDialErrorPrefix + ResultText(*TelPhone1, code));
    return;
  }
  CallWait->exec();
}

void TForm1::N4Click() {
  const int code = TelPhone1->Hangup();
  if (code != 0) ShowMessage(this, kHangupErrorPrefix + ResultText(*TelPhone1, code));
}

void TForm1::Button5Click() { SelectNumberForm->exec(); }

void TForm1::CheckBox1Click() {
  const bool checked = CheckBox1->isChecked();
  Panel2->setEnabled(checked);
  DTM->MainTable->SetFiltered(checked);
}

void TForm1::CheckBox1KeyPress() {
  // On the unchecked box the list lies in the disabled strip: nothing to do.
  if (FocusControl(ComboBox1)) ComboBox1->showPopup();
}

void TForm1::ComboBox1KeyPress() { FocusControl(Edit1); }

void TForm1::Edit1Change() {
  const std::string text = ToCp1256(Edit1->text()).value_or(std::string());
  if (text.empty()) return;  // the last filter stays in force
  const std::string item = ToCp1256(ComboBox1->currentText()).value_or(std::string());
  for (const SearchField& field : kSearchFields) {
    if (item != field.item) continue;
    dataset::TVoraTable& table = *DTM->MainTable;
    table.SetFiltered(false);
    table.SetFilter(field.prefix + QuotedConstant(text + "*"));
    table.SetFiltered(true);
    return;
  }
}

void TForm1::Edit1KeyPress() { FocusControl(Button5); }

}  // namespace telvora::app
