#pragma once
// TelPhone: puts one telephone line device of the telephony service at an
// application's disposal. It initialises the service on demand, probes what
// a line can do, opens it (and its phone device), places and ends calls, and
// turns the service's notifications into its own state and events. Every
// operation returns a result code (0 = success, texts from GetResultText);
// no telephony failure raises an exception. Asynchronous failures arrive
// through OnLineState / OnCallState.
//
// Invariants: TAPI state 0 (not initialised), 1 (initialised, line closed)
// or 2 (line open; IsActive). Nothing is opened before LineActive. The call
// list holds every call the component knows until the call is deallocated;
// closing the line does not clear it. No event is raised while the
// component is being destroyed.
//
// Notifications reach the service's callbacks on the thread that initialised
// it; each callback stores the notification in its callback record and
// sends it synchronously to the notification window, so handling happens on
// that thread, one notification at a time. Some operations let pending
// events run once before returning (the probe, Hangup); event handlers may
// call back into the component.
//
// Threads: the GUI thread (running a Qt event loop) only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "tapi/tapi_structures.h"
#include "telephony/call_list.h"
#include "telephony/consult_list.h"
#include "telephony/ext_dev.h"
#include "telephony/line_caps_record.h"
#include "telephony/modem_speaker.h"
#include "telephony/request_list.h"
#include "telephony/tel_component_vcl.h"
#include "telephony/tel_timer.h"
#include "telephony/tel_types.h"
#include "telephony/variable_query.h"

namespace telvora::telephony {

// The notification window's private messages.
inline constexpr UINT kLineNotifyMessage = 0x590;
inline constexpr UINT kPhoneNotifyMessage = 0x591;
inline constexpr UINT kHangupCallMessage = 0x592;
inline constexpr UINT kPassthroughMessage = 0x594;
// wParam of kLineNotifyMessage.
inline constexpr WPARAM kLineNotifyStored = 0;
inline constexpr WPARAM kLineNotifyBusy = 1;
inline constexpr WPARAM kLineNotifyNoDialTone = 2;
inline constexpr WPARAM kLineNotifyConnected = 3;

inline constexpr int kDefaultTimeOut = 10000;
inline constexpr int kAnswerDataExtraMs = 40000;

// One callback record per device kind; its address is the callback
// instance given to TAPI. The first word names the notification window.
struct TCallbackRecord {
  tapi::DWORD_PTR Window = 0;
  tapi::DWORD Device = 0;
  tapi::DWORD Message = 0;
  tapi::DWORD_PTR Param1 = 0;
  tapi::DWORD_PTR Param2 = 0;
  tapi::DWORD_PTR Param3 = 0;
};

class TelPhone : public TTEL_ComponentVCL {
 public:
  explicit TelPhone(platform::TComponent* AOwner);
  ~TelPhone() override;

  // ---- published properties ----
  bool IsConnected() const { return IsCallConnected(static_cast<int>(current_call_)); }
  bool IsActive() const { return tapi_state_ == 2; }
  bool AutoDisconnect() const { return auto_disconnect_; }
  void SetAutoDisconnect(bool value) { auto_disconnect_ = value; }
  // Initialises TAPI when needed; 0 (and OnLineState(lsError, code)) when
  // that fails.
  int NumberOfLines();
  int NumberOfActiveCalls() const { return calls_.Count(); }
  int LineID() const { return line_id_; }
  TMediaMode CurrentMediaMode() const { return current_media_mode_; }
  TLinePrivilege CurrentLinePrivilege() const { return current_line_privilege_; }
  TMediaMode MediaMode() const { return media_mode_; }
  void SetMediaMode(TMediaMode value) { media_mode_ = value; }
  TLinePrivilege LinePrivilege() const { return line_privilege_; }
  void SetLinePrivilege(TLinePrivilege value) { line_privilege_ = value; }
  int WaveRecID() const { return active_caps_.WaveInID; }
  int WavePlayID() const { return active_caps_.WaveOutID; }
  TExtDev& ExtDevHandSet() { return ext_dev_handset_; }
  void SetExtDevHandSet(const TExtDev& value) { ext_dev_handset_.Assign(value); }
  TExtDev& ExtDevAux() { return ext_dev_aux_; }
  void SetExtDevAux(const TExtDev& value) { ext_dev_aux_.Assign(value); }
  int ExtPhoneNumOfRings() const { return active_caps_.Valid ? active_caps_.NumRings : 0; }
  int ExtPhoneNumOfLamps() const { return active_caps_.Valid ? active_caps_.NumLamps : 0; }
  int ExtPhoneNumOfDisplayRows() const { return active_caps_.Valid ? active_caps_.NumDisplayRows : 0; }
  int ExtPhoneNumOfDisplayCols() const { return active_caps_.Valid ? active_caps_.NumDisplayCols : 0; }
  TModemSpeaker& ModemSpeaker() { return modem_speaker_; }
  void SetModemSpeaker(const TModemSpeaker& value) { modem_speaker_.Assign(value); }
  bool ShowModemIcon() const { return show_modem_icon_; }
  void SetShowModemIcon(bool value) { show_modem_icon_ = value; }
  bool WaitForDialTone() const { return wait_for_dial_tone_; }
  void SetWaitForDialTone(bool value) { wait_for_dial_tone_ = value; }
  int TimeOut() const { return time_out_; }
  // A negative value is ignored.
  void SetTimeOut(int value) {
    if (value >= 0) time_out_ = value;
  }
  int InitialRingNumber() const { return initial_ring_number_; }
  void SetInitialRingNumber(int value) { initial_ring_number_ = value; }
  int AddressID() const { return address_id_; }
  void SetAddressID(int value) { address_id_ = value; }

  // ---- line operations ----
  int LineActive(int LineID, bool Active);
  int LineReactivate(bool Silent);
  int GetLineCaps(int LineID, int& Caps);
  int GetLineName(int LineID, std::u16string& Name);
  int GetNumberOfAddresses(int LineID, int& Count);
  int GetAddressName(int LineID, int AddressID, std::u16string& Name);

  // ---- calls ----
  // Number is 8-bit text, passed to TAPI unchanged (apart from the "W" of
  // WaitForDialTone).
  int DialNumber(const std::string& Number, int CallParam);
  int Hangup();
  bool IsCallConnected(int CallHandle) const;
  int GetCallState(int Index, TCallState& State) const;
  int GetCallHandle(int Index, int& CallHandle) const;
  int GetAddressID(int CallHandle, int& AddressID);
  // "ATD" + number + "\r" after a dial in mmFax, for a fax layer; empty
  // otherwise.
  const std::string& FaxDialString() const { return fax_dial_string_; }

  void GetResultText(int Code, std::string& Text) const;

  // ---- call features (tel_phone_features.cpp) ----
  int Answer(int CallParam);
  int PickUp(int CallParam);
  int Hold();
  int Unhold();
  int Transfer(const std::string& Number);
  int TransferAToB(int CallA, int CallB);
  int CreateConferenceCall(int CallA, int CallB, int CallParam);
  int ConsultCallDialNumber(bool Transfer, const std::string& Number);
  int ConsultCallComplete();
  int ConsultCallCancel();
  int GenerateDTMFDigits(const std::string& Digits);
  int MonitorTones(int RefNum, int Duration, int Frequency1, int Frequency2, int Frequency3);
  int MonitorTonesCancel();
  int Passthrough(bool Enable);

  // ---- the phone device, wave and modem devices, line configuration
  // (tel_phone_devices.cpp) ----
  int ExtPhoneSetRing(int RingMode, int Volume);
  int ExtPhoneSetLamp(int LampID, int LampMode);
  int ExtPhoneSetDisplay(int Row, int Column, const std::u16string& Text);
  int ExtPhoneGetRing(int& RingMode, int& Volume);
  int ExtPhoneGetLamp(int LampID, int& LampMode);
  int ExtPhoneGetDisplay(std::u16string& Text);
  int GetWaveRecIDFrom(bool FromAddress, int AddressOrCall, int& ID);
  int GetWavePlayIDFrom(bool FromAddress, int AddressOrCall, int& ID);
  // The data channel of the current call (a descriptor the component keeps
  // and closes when the call goes idle or the line closes).
  int GetCommHandle(int& Handle);
  int LineConfigDialog(tapi::HWND OwnerHandle, int LineID);
  // A failed registry write throws platform::RegistryError.
  int LineConfigDialogSave(tapi::HWND OwnerHandle, platform::RegistryRoot RootKey, const std::string& Key,
                           const std::string& ValueName, int LineID);
  // A value of the wrong type throws platform::RegistryError.
  int LineConfigLoad(platform::RegistryRoot RootKey, const std::string& Key, const std::string& ValueName,
                     int LineID);

  // ---- events ----
  TLineStateEvent OnLineState;
  TCallStateEvent OnCallState;
  TConsultCallStateEvent OnConsultCallState;
  TCallEvent OnBeforeDisconnect;
  TDigitDetectedEvent OnDigitDetected;
  TOnToneDetectedEvent OnToneDetected;
  TCallEvent OnFaxToneDetected;
  TCallerIDEvent OnCallerID;
  TCallerIDEvent OnCalledID;
  TCallInfoEvent OnCallInfo;
  THookStateEvent OnHookState;
  TNotifyEvent OnExtDevAuxChanged;
  TNotifyEvent OnExtDevHandsetChanged;
  TExtPhoneEvent OnExtPhoneChanged;

  // ---- for tests and companions ----
  int TapiState() const { return tapi_state_; }
  int CurrentCall() const { return static_cast<int>(current_call_); }
  int PendingRequestCount() const { return requests_.Count(); }
  bool RequestTimerRunning() const { return timer_->Running(); }
  const tapi::LINECALLPARAMS& LastCallParams() const { return call_params_; }
  bool InPassthrough() const { return passthrough_; }
  int ConsultationCount() const { return consults_.Count(); }
  // The clock of the fax-tone quiet period, in milliseconds (a monotonic
  // clock unless replaced).
  void SetMillisecondClock(std::function<std::int64_t()> clock) { clock_ = std::move(clock); }

 protected:
  void WndProc(TMessage& Message) override;

 private:
  friend class TExtDev;

  static void LineCallback(tapi::DWORD device, tapi::DWORD message, tapi::DWORD_PTR instance,
                           tapi::DWORD_PTR param1, tapi::DWORD_PTR param2, tapi::DWORD_PTR param3);
  static void PhoneCallback(tapi::DWORD device, tapi::DWORD message, tapi::DWORD_PTR instance,
                            tapi::DWORD_PTR param1, tapi::DWORD_PTR param2, tapi::DWORD_PTR param3);

  // ---- session (tel_phone.cpp) ----
  int InitializeTapi();
  int NegotiateLineVersion(int line_id, tapi::DWORD& version);
  int ReadDevCaps(int line_id, tapi::DWORD version, TVarBuffer& caps);
  int ProbeLine(int line_id, tapi::DWORD& bits);
  int ProbeWithHandle(tapi::HLINE probe, bool active, tapi::DWORD automated_voice, tapi::DWORD& bits);
  int OpenLine();
  int CloseLine();
  void ApplyModemSettings();
  void ApplyExtDevSettings();
  void CloseCommHandle();
  bool IsActiveLine(int line_id) const { return line_id == line_id_; }
  void RaiseLineState(TLineState state, int param);
  void RaiseCallState(TCallState state, int param1, int param2, tapi::HCALL call);
  void ProcessMessagesOnce();

  // ---- notifications (tel_phone_dispatch.cpp) ----
  void DispatchLineNotification();
  void DispatchPhoneNotification();
  void HandleCallState(tapi::HCALL call, tapi::DWORD tapi_state, tapi::DWORD mode);
  void HandleRinging();
  void StartMonitoring(tapi::HCALL call);
  void HandleConsultCallState(tapi::HCALL call, tapi::DWORD tapi_state, tapi::DWORD mode);
  void HandleCallInfo(tapi::HCALL call, tapi::DWORD states);
  void ReportPartyId(tapi::HCALL call, bool caller);
  void ReportCallInfo(tapi::HCALL call, TTypeOfInfo type);
  void HandlePhoneState(tapi::DWORD states);
  std::int64_t NowMs() const;

  // ---- features (tel_phone_features.cpp) ----
  int MakeCall(const std::string& number, int call_param, int kind);
  void HandAway(tapi::HCALL call);
  int CancelConsultation();
  int SwitchPassthrough(bool enable, bool fixed_rate, tapi::HWND notify);
  void ContinuePickUp(tapi::HCALL call, int call_param);
  void FinishPassthrough(tapi::HCALL call, bool entering, tapi::HWND notify);
  void RaiseConsultState(TConsultCallState state, int param, tapi::HCALL consult, tapi::HCALL primary);

  // ---- devices (tel_phone_devices.cpp) ----
  int ReadHookState(const TExtDev& dev, std::uint8_t& state);
  int WriteHookState(TExtDev& dev, std::uint8_t state);
  int WaveIDFrom(bool from_address, int address_or_call, const char* device_class, int& id);
  int PhoneChangeRegistered(tapi::LONG request);

  // ---- calls (tel_phone_calls.cpp) ----
  void DeallocateCall(tapi::HCALL call);
  int DropCall(tapi::HCALL target);
  void MarkDropping(tapi::HCALL call, bool consultation, tapi::DWORD request_id);
  void NextDropStep(tapi::HCALL call, int step);

  // ---- requests (tel_phone_requests.cpp) ----
  void RegisterRequest(tapi::DWORD request_id, tapi::HCALL call, int kind, int extra,
                       std::unique_ptr<tapi::HCALL> cell, tapi::HWND window, int extra_ms);
  void HandleLineReply(tapi::DWORD request_id, tapi::LONG result);
  void HandlePhoneReply(tapi::DWORD request_id, tapi::LONG result);
  void CheckTimeOuts(TTelTimer* Sender);
  void ReportTimeOut(tapi::HCALL call);
  void StopTimerWhenIdle();
  void ErrorEventForCall(tapi::HCALL call, int code);
  void ConsultErrorEvent(tapi::HCALL consult_call, int code);

  // Set first thing in the destructor: no event is raised from then on.
  bool IsDestroying() const { return destroying_ || Destroying(); }
  bool destroying_ = false;

  // TAPI state and handles.
  std::uint8_t tapi_state_ = 0;
  tapi::HLINEAPP line_app_ = 0;
  tapi::HPHONEAPP phone_app_ = 0;
  tapi::HLINE line_ = 0;
  tapi::HPHONE phone_ = 0;
  tapi::DWORD num_lines_ = 0;
  tapi::HCALL current_call_ = 0;
  std::unique_ptr<TCallbackRecord> line_record_;
  std::unique_ptr<TCallbackRecord> phone_record_;

  // Published values.
  bool auto_disconnect_ = true;
  int line_id_ = 0;
  TMediaMode current_media_mode_ = mmVoice;
  TLinePrivilege current_line_privilege_ = lpOwner;
  TMediaMode media_mode_ = mmVoice;
  TLinePrivilege line_privilege_ = lpOwner;
  TExtDev ext_dev_handset_;
  TExtDev ext_dev_aux_;
  TModemSpeaker modem_speaker_;
  bool show_modem_icon_ = false;
  bool wait_for_dial_tone_ = false;
  int time_out_ = kDefaultTimeOut;
  int initial_ring_number_ = 1;
  int address_id_ = 0;

  // Capability caches: the active line and the line probed last.
  TLineCapsRecord active_caps_;
  TLineCapsRecord probe_caps_;

  TCallList calls_;
  TConsultList consults_;
  TRequestList requests_;
  std::unique_ptr<TTelTimer> timer_;

  bool silent_ = false;
  std::string fax_dial_string_;
  tapi::LINECALLPARAMS call_params_{};
  tapi::DWORD bearer_mode_ = tapi::LINEBEARERMODE_VOICE;
  bool passthrough_ = false;
  int comm_handle_ = -1;  // the data-modem descriptor of comm_handle_call_
  tapi::HCALL comm_handle_call_ = 0;
  std::u16string last_caller_report_;
  std::u16string last_called_report_;
  std::int64_t last_fax_tone_ms_ = 0;
  std::function<std::int64_t()> clock_;
  std::vector<tapi::HCALL> pickup_list_;
  // Pick-up calls whose make-call reply came before their first state: the
  // service refuses to dial a call without one, so their dial waits for it.
  std::vector<tapi::HCALL> pickups_awaiting_state_;
  // The last display text sent: TAPI reads it while the request runs.
  std::string display_bytes_;
  enum class THookReport { kNone, kOnHook, kOffHook };
  THookReport last_hook_report_ = THookReport::kNone;
};

}  // namespace telvora::telephony
