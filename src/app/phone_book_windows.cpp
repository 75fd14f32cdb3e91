#include "app/phone_book_windows.h"

#include "app/call_wait.h"
#include "app/dtm.h"
#include "app/form1.h"
#include "app/select_number_form.h"
#include "telephony/tel_phone.h"

namespace telvora::app {

TForm1* Form1 = nullptr;
TDTM* DTM = nullptr;
TCallWait* CallWait = nullptr;
TSelectNumberForm* SelectNumberForm = nullptr;

TPhoneBookWindows::TPhoneBookWindows() {
  form1_ = std::make_unique<TForm1>();
  Form1 = form1_.get();
  dtm_ = std::make_unique<TDTM>(nullptr);
  DTM = dtm_.get();
  Form1->BindDataSource(DTM->MainTableDataSource);
  // The dialogs belong to the main window: modal over it, centred on it.
  call_wait_ = std::make_unique<TCallWait>(Form1, Form1->Phone());
  CallWait = call_wait_.get();
  select_number_form_ = std::make_unique<TSelectNumberForm>(Form1, Form1->Phone(), *DTM, *CallWait);
  SelectNumberForm = select_number_form_.get();
}

TPhoneBookWindows::~TPhoneBookWindows() {
  SelectNumberForm = nullptr;
  select_number_form_.reset();
  CallWait = nullptr;
  call_wait_.reset();
  Form1->BindDataSource(nullptr);
  DTM = nullptr;
  dtm_.reset();
  Form1 = nullptr;
  form1_.reset();
}

}  // namespace telvora::app
