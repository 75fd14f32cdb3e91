// TelPhone: the call features beyond dialling and hanging up: answering and
// picking up, hold, transfers, conferences and consultation calls, DTMF
// generation, tone monitoring and the pass-through switch.

#include <algorithm>

#include "tapi/tapi.h"
#include "telephony/tel_phone.h"
#include "telephony/variable_query.h"

namespace telvora::telephony {

using namespace tapi;

namespace {

// Answering reads the call's information into a structure of this fixed size.
constexpr std::size_t kAnswerCallInfoSize = 324;
// A fax call answered or switched at the fixed rate.
constexpr DWORD kFixedRate = 19200;
constexpr DWORD kPassthroughMinRate = 28800;
constexpr DWORD kPassthroughMaxRate = 57600;
constexpr DWORD kConferenceParties = 3;
// Extra value of a bearer-mode switch request.
constexpr int kEnteringPassthrough = 1;
constexpr int kLeavingPassthrough = 2;

int MapAnswerError(LONG error) {
  switch (error) {
    case LINEERR_CALLUNAVAIL: return kResultLineUnavailable;
    case LINEERR_INVALCALLHANDLE: return kResultBadCallHandle;
    case LINEERR_NOTOWNER: return kResultNotOwner;
    default: return kResultAnswerFailed;
  }
}

int MapHoldError(LONG error) {
  switch (error) {
    case LINEERR_ALLOCATED:
    case LINEERR_RESOURCEUNAVAIL: return kResultAllocated;
    case LINEERR_INVALADDRESS: return kResultInvalidNumber;
    case LINEERR_INVALCALLHANDLE: return kResultBadCallHandle;
    case LINEERR_INVALMEDIAMODE: return kResultMediaMode;
    default: return kResultCallFailed;
  }
}

int MapTransferError(LONG error) {
  switch (error) {
    case LINEERR_INVALADDRESS: return kResultInvalidNumber;
    case LINEERR_INVALCALLHANDLE: return kResultBadCallHandle;
    case LINEERR_INVALMEDIAMODE: return kResultMediaMode;
    default: return kResultCallFailed;
  }
}

int MapSetupError(LONG error) {
  switch (error) {
    case LINEERR_CALLUNAVAIL: return kResultLineUnavailable;
    case LINEERR_INVALCALLHANDLE: return kResultBadCallHandle;
    case LINEERR_INVALMEDIAMODE: return kResultMediaMode;
    default: return kResultFailed;
  }
}

int MapDigitsError(LONG error) {
  switch (error) {
    case 0: return kResultOk;
    case LINEERR_ALLOCATED:
    case LINEERR_INUSE:
    case LINEERR_RESOURCEUNAVAIL: return kResultAllocated;
    case LINEERR_INVALCALLHANDLE: return kResultBadCallHandle;
    case LINEERR_NODEVICE: return kResultNoLineDevice;
    case LINEERR_NOMEM: return kResultNoMemory;
    default: return kResultFailed;
  }
}

}  // namespace

void TelPhone::RaiseConsultState(TConsultCallState state, int param, HCALL consult, HCALL primary) {
  if (!IsDestroying()) {
    OnConsultCallState(this, state, param, static_cast<int>(consult), static_cast<int>(primary));
  }
}

// ---- answering ----

int TelPhone::Answer(int CallParam) {
  if (!IsActive()) return kResultNotActive;
  const HCALL call = current_call_;
  const TCallState state = calls_.StateOf(call);
  if (state != csOffering && state != csRing) return kResultNotOffered;
  if (requests_.PendingFor(call)) return kResultRequestPending;

  TVarBuffer info;
  if (!info.Allocate(kAnswerCallInfoSize, 0)) return kResultFailed;
  if (lineGetCallInfo(call, static_cast<LINECALLINFO*>(info.Raw())) != 0) return kResultFailed;
  bearer_mode_ = info.As<LINECALLINFO>()->dwBearerMode;

  LONG request;
  if (current_media_mode_ == mmFax) {
    // A fax layer answers on the modem itself; the call only has to carry
    // its tones untouched.
    passthrough_ = true;
    bearer_mode_ = LINEBEARERMODE_PASSTHROUGH;
    request = lineSetCallParams(call, LINEBEARERMODE_PASSTHROUGH, kFixedRate, kFixedRate, nullptr);
  } else {
    passthrough_ = false;
    request = lineAnswer(call, nullptr, 0);
  }
  if (request < 0) return MapAnswerError(request);
  calls_.SetCallParam(call, CallParam, initial_ring_number_);
  RegisterRequest(static_cast<DWORD>(request), call, rkAnswer, 0, nullptr, 0,
                  current_media_mode_ == mmData ? kAnswerDataExtraMs : 0);
  return kResultOk;
}

int TelPhone::PickUp(int CallParam) {
  if (!IsActive()) return kResultNotActive;
  const HCALL call = current_call_;
  if (IsCallConnected(static_cast<int>(call))) return kResultCallInProgress;
  if (requests_.PendingFor(call)) return kResultRequestPending;
  const TCallState state = calls_.StateOf(call);
  if (state == csOffering || state == csRing) return Answer(CallParam);
  if (address_id_ < 0) return kResultAddressId;
  const int result = MakeCall("", CallParam, rkPickUpMakeCall);
  if (result != kResultOk) return result;
  ProcessMessagesOnce();
  return kResultOk;
}

// The pick-up call exists: take it off hook by dialling nothing. Its
// dialing state is not reported, as no number is being dialled.
void TelPhone::ContinuePickUp(HCALL call, int call_param) {
  // The service reports the make-call's reply and the new call's first
  // state from different moments of its work, so the reply may come first;
  // a call without a state cannot be dialled yet, and the dial then waits
  // for that state (HandleCallState).
  const bool has_state = calls_.Contains(call);
  calls_.SetCallParam(call, call_param, initial_ring_number_);
  if (!has_state) {
    pickups_awaiting_state_.push_back(call);
    return;
  }
  const LONG request = lineDial(call, "", 0);
  if (request < 0) {
    RaiseLineState(lsError, kResultTimeOut);
    return;
  }
  RegisterRequest(static_cast<DWORD>(request), call, rkPickUpDial, 0, nullptr, 0, 0);
  if (std::find(pickup_list_.begin(), pickup_list_.end(), call) == pickup_list_.end()) {
    pickup_list_.push_back(call);
  }
}

// ---- hold ----

int TelPhone::Hold() {
  if (!IsActive()) return kResultNotActive;
  const HCALL call = current_call_;
  if (!IsCallConnected(static_cast<int>(call))) return kResultAlreadyDisconnected;
  if (requests_.PendingFor(call)) return kResultRequestPending;
  const LONG request = lineHold(call);
  if (request < 0) return MapHoldError(request);
  RegisterRequest(static_cast<DWORD>(request), call, rkHold, 0, nullptr, 0, 0);
  return kResultOk;
}

int TelPhone::Unhold() {
  if (!IsActive()) return kResultNotActive;
  const HCALL call = current_call_;
  if (!IsCallConnected(static_cast<int>(call))) return kResultAlreadyDisconnected;
  if (requests_.PendingFor(call)) return kResultRequestPending;
  const LONG request = lineUnhold(call);
  if (request < 0) return MapHoldError(request);
  RegisterRequest(static_cast<DWORD>(request), call, rkHold, 0, nullptr, 0, 0);
  return kResultOk;
}

// ---- transfers and conferences ----

// The call leaves this line through a transfer: its disconnection is no
// remote hang-up, and a consultation it was the consultation call of is
// finished.
void TelPhone::HandAway(HCALL call) {
  if (TCallEntry* entry = calls_.Find(call)) entry->Dropping = true;
  if (TConsults* consult = consults_.ByConsultCall(call)) consult->Completed = true;
}

int TelPhone::Transfer(const std::string& Number) {
  if (!IsActive()) return kResultNotActive;
  const HCALL call = current_call_;
  if (!IsCallConnected(static_cast<int>(call))) return kResultAlreadyDisconnected;
  if (requests_.PendingFor(call)) return kResultRequestPending;
  const LONG request = lineBlindTransfer(call, Number.c_str(), 0);
  if (request < 0) return MapTransferError(request);
  RegisterRequest(static_cast<DWORD>(request), call, rkBlindTransfer, 0, nullptr, 0, 0);
  HandAway(call);
  return kResultOk;
}

int TelPhone::TransferAToB(int CallA, int CallB) {
  if (!IsActive()) return kResultNotActive;
  const HCALL a = static_cast<HCALL>(CallA), b = static_cast<HCALL>(CallB);
  if (!IsCallConnected(CallA) || !IsCallConnected(CallB)) return kResultAlreadyDisconnected;
  if (requests_.PendingFor(a) || requests_.PendingFor(b)) return kResultRequestPending;
  const LONG request = lineCompleteTransfer(a, b, nullptr, LINETRANSFERMODE_TRANSFER);
  if (request < 0) return MapTransferError(request);
  RegisterRequest(static_cast<DWORD>(request), a, rkTransferAToB, 0, nullptr, 0, 0);
  HandAway(a);
  HandAway(b);
  return kResultOk;
}

int TelPhone::CreateConferenceCall(int CallA, int CallB, int CallParam) {
  if (!IsActive()) return kResultNotActive;
  const HCALL a = static_cast<HCALL>(CallA), b = static_cast<HCALL>(CallB);
  if (!IsCallConnected(CallA) || !IsCallConnected(CallB)) return kResultAlreadyDisconnected;
  if (requests_.PendingFor(a) || requests_.PendingFor(b)) return kResultRequestPending;
  auto cell = std::make_unique<HCALL>(0);
  const LONG request = lineCompleteTransfer(a, b, cell.get(), LINETRANSFERMODE_CONFERENCE);
  if (request < 0) return MapTransferError(request);
  RegisterRequest(static_cast<DWORD>(request), 0, rkConference, CallParam, std::move(cell), 0, 0);
  return kResultOk;
}

// ---- consultation calls ----

int TelPhone::ConsultCallDialNumber(bool Transfer, const std::string& Number) {
  const HCALL call = current_call_;
  if (!IsCallConnected(static_cast<int>(call))) return kResultAlreadyDisconnected;
  if (requests_.PendingFor(call)) return kResultRequestPending;
  TConsults fresh;
  fresh.Transfer = Transfer;
  if (!Transfer) fresh.ConferenceCell = std::make_unique<HCALL>(0);
  TConsults& entry = consults_.Append(std::move(fresh));
  const int id = entry.Id;
  const LONG request =
      Transfer ? lineSetupTransfer(call, entry.ConsultCell.get(), nullptr)
               : lineSetupConference(call, line_, entry.ConferenceCell.get(), entry.ConsultCell.get(),
                                     kConferenceParties, nullptr);
  if (request < 0) {
    consults_.Remove(id);
    return MapSetupError(request);
  }
  entry.PrimaryCall = call;
  entry.Number = Number;
  RegisterRequest(static_cast<DWORD>(request), call, rkConsultSetup, id, nullptr, 0, 0);
  return kResultOk;
}

int TelPhone::ConsultCallComplete() {
  if (!IsActive()) return kResultNotActive;
  TConsults* entry = consults_.ByPrimaryCall(current_call_);
  if (entry == nullptr || entry->ConsultCall() == 0) return kResultNoConsultation;
  const HCALL consult = entry->ConsultCall();
  if (requests_.PendingFor(consult)) return kResultRequestPending;
  LONG request;
  if (entry->Transfer) {
    request = lineCompleteTransfer(entry->PrimaryCall, consult, nullptr, LINETRANSFERMODE_TRANSFER);
  } else {
    if (entry->ConferenceCall() == 0) return kResultFailed;
    request = lineAddToConference(entry->ConferenceCall(), consult);
  }
  if (request < 0) return MapTransferError(request);
  RegisterRequest(static_cast<DWORD>(request), consult, rkConsultComplete, 0, nullptr, 0, 0);
  entry->Completed = true;
  if (entry->Transfer) HandAway(entry->PrimaryCall);
  return kResultOk;
}

int TelPhone::ConsultCallCancel() { return CancelConsultation(); }

int TelPhone::CancelConsultation() {
  TConsults* entry = consults_.ByPrimaryCall(current_call_);
  if (entry == nullptr || entry->ConsultCall() == 0) return kResultNoConsultation;
  if (entry->State == ccsError || entry->State == ccsDisconnected) return kResultNoConsultation;
  const HCALL consult = entry->ConsultCall();
  const LONG request = lineDrop(consult, nullptr, 0);
  if (request < 0) return kResultFailed;
  // Being dropped: its end is not the far side hanging up.
  entry->Completed = true;
  RegisterRequest(static_cast<DWORD>(request), consult, rkConsultComplete, 0, nullptr, 0, 0);
  return kResultOk;
}

void TelPhone::HandleConsultCallState(HCALL call, DWORD tapi_state, DWORD mode) {
  TConsults* entry = consults_.ByConsultCall(call);
  if (entry == nullptr) return;
  TConsultCallState next;
  switch (tapi_state) {
    case LINECALLSTATE_IDLE: next = ccsDisconnected; break;
    case LINECALLSTATE_DIALTONE: next = ccsDialTone; break;
    case LINECALLSTATE_DIALING: next = ccsDialing; break;
    case LINECALLSTATE_RINGBACK: next = ccsRingBack; break;
    case LINECALLSTATE_BUSY: next = ccsBusy; break;
    case LINECALLSTATE_CONNECTED:
      StartMonitoring(call);
      next = ccsConnected;
      break;
    case LINECALLSTATE_PROCEEDING: next = ccsProceeding; break;
    case LINECALLSTATE_CONFERENCED:
      // Joined to the conference: reported once as gone, then left alone
      // until it is deallocated.
      entry->State = ccsDisconnected;
      entry->Joined = true;
      RaiseConsultState(ccsDisconnected, 0, call, entry->PrimaryCall);
      return;
    case LINECALLSTATE_DISCONNECTED:
      if (mode == LINEDISCONNECTMODE_BUSY) {
        next = ccsBusy;
      } else if (mode == LINEDISCONNECTMODE_NODIALTONE) {
        next = ccsNoDialTone;
      } else if (!entry->Completed && !entry->Joined) {
        next = ccsRemotePartyDisconnected;
      } else {
        return;
      }
      break;
    default: return;
  }

  const HCALL primary = entry->PrimaryCall;
  const std::string number = entry->Number;
  const bool joined = entry->Joined;
  entry->State = next;
  if (next != ccsDisconnected || !joined) RaiseConsultState(next, 0, call, primary);
  // The handlers may have changed the list: look the entry up again.
  switch (next) {
    case ccsRemotePartyDisconnected:
    case ccsBusy:
    case ccsNoDialTone:
      if (auto_disconnect_) {
        const HCALL previous = current_call_;
        current_call_ = primary;
        const int result = CancelConsultation();
        current_call_ = previous;
        if (result != kResultOk) RaiseConsultState(ccsError, result, call, primary);
      }
      break;
    case ccsDisconnected:
      lineDeallocateCall(call);
      consults_.RemoveCallHandle(call);
      calls_.Remove(call);
      break;
    case ccsDialTone: {
      const std::string dial = wait_for_dial_tone_ ? "W" + number : number;
      const LONG request = lineDial(call, dial.c_str(), 0);
      if (request < 0) {
        RaiseConsultState(ccsError,
                          request == LINEERR_INVALADDRESS     ? kResultInvalidNumber
                          : request == LINEERR_INVALMEDIAMODE ? kResultMediaMode
                                                              : kResultCallFailed,
                          call, primary);
      } else {
        RegisterRequest(static_cast<DWORD>(request), call, rkConsultDial, 0, nullptr, 0, 0);
      }
      break;
    }
    default: break;
  }
}

// ---- digits and tones ----

int TelPhone::GenerateDTMFDigits(const std::string& Digits) {
  if (!IsConnected()) return kResultAlreadyDisconnected;
  return MapDigitsError(lineGenerateDigits(current_call_, LINEDIGITMODE_DTMF, Digits.c_str(), 0));
}

int TelPhone::MonitorTones(int RefNum, int Duration, int Frequency1, int Frequency2, int Frequency3) {
  if (!IsConnected()) return kResultAlreadyDisconnected;
  LINEMONITORTONE tone{};
  tone.dwAppSpecific = static_cast<DWORD_PTR>(static_cast<DWORD>(RefNum));
  tone.dwDuration = static_cast<DWORD>(Duration);
  tone.dwFrequency1 = static_cast<DWORD>(Frequency1);
  tone.dwFrequency2 = static_cast<DWORD>(Frequency2);
  tone.dwFrequency3 = static_cast<DWORD>(Frequency3);
  return MapDigitsError(lineMonitorTones(current_call_, &tone, 1));
}

int TelPhone::MonitorTonesCancel() {
  if (!IsConnected()) return kResultAlreadyDisconnected;
  return MapDigitsError(lineMonitorTones(current_call_, nullptr, 0));
}

// ---- the pass-through switch ----

int TelPhone::Passthrough(bool Enable) { return SwitchPassthrough(Enable, false, 0); }

int TelPhone::SwitchPassthrough(bool enable, bool fixed_rate, HWND notify) {
  const HCALL call = current_call_;
  if (!IsCallConnected(static_cast<int>(call))) return kResultAlreadyDisconnected;
  if (requests_.PendingFor(call)) return kResultRequestPending;
  if (enable != passthrough_ && bearer_mode_ != LINEBEARERMODE_PASSTHROUGH) {
    const bool fixed = enable && fixed_rate;
    const LONG request =
        lineSetCallParams(call, enable ? LINEBEARERMODE_PASSTHROUGH : bearer_mode_,
                          fixed ? kFixedRate : kPassthroughMinRate, fixed ? kFixedRate : kPassthroughMaxRate, nullptr);
    if (request < 0) {
      switch (request) {
        case LINEERR_CALLUNAVAIL: return kResultLineUnavailable;
        case LINEERR_INVALCALLHANDLE: return kResultBadCallHandle;
        case LINEERR_INVALMEDIAMODE: return kResultMediaMode;
        default: return kResultFailed;
      }
    }
    RegisterRequest(static_cast<DWORD>(request), call, rkBearerMode,
                    enable ? kEnteringPassthrough : kLeavingPassthrough, nullptr, notify, 0);
    return kResultOk;
  }
  if (notify != 0) PostMessage(notify, kPassthroughMessage, 0, 0);
  return kResultOk;
}

void TelPhone::FinishPassthrough(HCALL call, bool entering, HWND notify) {
  if (entering) {
    // A layer that owns the bearer wants no digit or fax detection on it.
    lineMonitorDigits(call, 0);
    lineMonitorMedia(call, 0);
    passthrough_ = true;
  } else {
    StartMonitoring(call);
    passthrough_ = false;
  }
  if (notify != 0) SendMessage(notify, kPassthroughMessage, 0, 0);
}

}  // namespace telvora::telephony
