#pragma once
// The phone book's four long-lived objects and their global references:
// the main window Form1, the data module DTM, the call-wait dialog CallWait
// and the number selection dialog SelectNumberForm.
//
// TPhoneBookWindows creates them in that order (the main window's data
// controls are bound to DTM's data source as soon as DTM exists), sets the
// references, and at its end destroys them in the reverse order and clears
// the references. One exists at a time: the program's main has one for the
// whole run; tests make one per case.
//
// Threads: GUI thread only, after the application object exists.

#include <memory>
#include <string>

namespace telvora::app {

class TForm1;
class TDTM;
class TCallWait;
class TSelectNumberForm;

extern TForm1* Form1;
extern TDTM* DTM;
extern TCallWait* CallWait;
extern TSelectNumberForm* SelectNumberForm;

class TPhoneBookWindows {
 public:
  TPhoneBookWindows();
  ~TPhoneBookWindows();
  TPhoneBookWindows(const TPhoneBookWindows&) = delete;
  TPhoneBookWindows& operator=(const TPhoneBookWindows&) = delete;

 private:
  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<TDTM> dtm_;
  std::unique_ptr<TCallWait> call_wait_;
  std::unique_ptr<TSelectNumberForm> select_number_form_;
};

}  // namespace telvora::app
