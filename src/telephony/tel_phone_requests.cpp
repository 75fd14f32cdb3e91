// TelPhone: the pending-request list's replies and time-outs.

#include <vector>

#include "tapi/tapi.h"
#include "telephony/tel_phone.h"

namespace telvora::telephony {

using namespace tapi;

namespace {

// Error code A of the replies: what went wrong with a call being made.
int ErrorCodeA(LONG result) {
  switch (result) {
    case LINEERR_CALLUNAVAIL: return kResultLineUnavailable;
    case LINEERR_INVALADDRESS: return kResultInvalidNumber;
    default: return kResultCallFailed;
  }
}

// Error code B: the generic one of the other requests.
int ErrorCodeB(LONG result) {
  switch (result) {
    case LINEERR_NOMEM: return kResultNoMemory;
    case LINEERR_NOTOWNER: return kResultNotOwner;
    default: return kResultFailed;
  }
}

constexpr int kPhoneHookSwitchFailed = 156;
constexpr int kPhoneOperationFailed = 164;

}  // namespace

void TelPhone::RegisterRequest(DWORD request_id, HCALL call, int kind, int extra, std::unique_ptr<HCALL> cell,
                               HWND window, int extra_ms) {
  TPendingRequest request;
  request.RequestID = request_id;
  request.Deadline = TDeadlineClock::now() + std::chrono::milliseconds(time_out_ + extra_ms);
  request.Call = call;
  request.Kind = kind;
  request.Extra = extra;
  request.Cell = std::move(cell);
  request.Window = window;
  requests_.Add(std::move(request));
  timer_->SetEnabled(true);
}

void TelPhone::StopTimerWhenIdle() {
  if (requests_.Empty()) timer_->SetEnabled(false);
}

void TelPhone::ErrorEventForCall(HCALL call, int code) {
  // The current call moves only when someone hears of it.
  if (IsDestroying() || !OnCallState.Assigned()) return;
  current_call_ = call;
  OnCallState(this, csError, code, 0, static_cast<int>(call));
}

void TelPhone::ConsultErrorEvent(HCALL consult_call, int code) {
  const TConsults* entry = consults_.ByConsultCall(consult_call);
  if (entry == nullptr || IsDestroying()) return;
  OnConsultCallState(this, ccsError, code, static_cast<int>(consult_call), static_cast<int>(entry->PrimaryCall));
}

void TelPhone::HandleLineReply(DWORD request_id, LONG result) {
  std::optional<TPendingRequest> request = requests_.Take(request_id);
  if (!request) return;
  const HCALL call = request->Call;
  const bool ok = result == 0;
  switch (request->Kind) {
    case rkMakeCall:
      if (ok) {
        if (request->Cell && *request->Cell != 0) {
          calls_.SetCallParam(*request->Cell, request->Extra, initial_ring_number_);
        }
      } else {
        RaiseLineState(lsError, ErrorCodeA(result));
      }
      break;
    case rkConsultDial:
      if (!ok) ConsultErrorEvent(call, ErrorCodeA(result));
      break;
    case rkBlindTransfer:
    case rkHold:
      if (!ok) ErrorEventForCall(call, ErrorCodeA(result));
      break;
    case rkConsultComplete:
      if (!ok) ConsultErrorEvent(call, result == LINEERR_OPERATIONUNAVAIL ? kResultLineSetup : kResultFailed);
      break;
    case rkConsultSetup: {
      TConsults* entry = consults_.ById(request->Extra);
      if (entry == nullptr) break;
      const HCALL consult = entry->ConsultCall();
      const HCALL primary = entry->PrimaryCall;
      if (ok) {
        entry->SetUp = true;
        entry->State = ccsStarted;
        RaiseConsultState(ccsStarted, 0, consult, primary);
      } else {
        // Nothing was set up, and TAPI writes no cell after a failure: the
        // entry would only hide a later consultation of the same call.
        consults_.Remove(request->Extra);
        RaiseConsultState(ccsError, result == LINEERR_OPERATIONUNAVAIL ? kResultLineSetup : kResultFailed,
                          consult, primary);
      }
      break;
    }
    case rkPickUpMakeCall:
      if (ok && request->Cell && *request->Cell != 0) {
        ContinuePickUp(*request->Cell, request->Extra);
      } else {
        RaiseLineState(lsError, kResultTimeOut);
      }
      break;
    case rkDrop:
      if (!ok) ErrorEventForCall(call, kResultHangupFailed);
      NextDropStep(call, request->Extra);
      break;
    case rkBearerMode:
      if (ok) {
        FinishPassthrough(call, request->Extra == 1, request->Window);
      } else {
        ErrorEventForCall(call, result == LINEERR_NOMEM ? kResultNoMemory : kResultFailed);
      }
      break;
    case rkConference:
      if (ok) {
        if (request->Cell && *request->Cell != 0) {
          calls_.SetCallParam(*request->Cell, request->Extra, initial_ring_number_);
        }
      } else {
        ErrorEventForCall(call, ErrorCodeA(result));
      }
      break;
    default:
      if (!ok) {
        if (call != 0) {
          ErrorEventForCall(call, ErrorCodeB(result));
        } else {
          RaiseLineState(lsError, ErrorCodeB(result));
        }
      }
      break;
  }
  StopTimerWhenIdle();
}

void TelPhone::HandlePhoneReply(DWORD request_id, LONG result) {
  while (std::optional<TPendingRequest> request = requests_.Take(request_id)) {
    if (result < 0) {
      RaiseLineState(lsError, request->Kind == rkHookSwitch ? kPhoneHookSwitchFailed : kPhoneOperationFailed);
    }
  }
  StopTimerWhenIdle();
}

void TelPhone::ReportTimeOut(HCALL call) {
  if (call != 0) {
    current_call_ = call;
    RaiseCallState(csError, kResultTimeOut, 0, call);
  } else {
    RaiseLineState(lsError, kResultTimeOut);
  }
}

// Each expired request is reported once and leaves the list (a reply that
// comes later is then ignored, as for any request not pending). Keeping it
// would repeat the report on every tick, and would refuse LineReactivate for
// good when the reply never comes.
void TelPhone::CheckTimeOuts(TTelTimer* /*Sender*/) {
  const auto now = TDeadlineClock::now();
  for (const std::uint64_t serial : requests_.Serials()) {
    const TPendingRequest* pending = requests_.FindSerial(serial);
    if (pending == nullptr || pending->Deadline > now) continue;
    std::optional<TPendingRequest> request = requests_.TakeSerial(serial);
    // TAPI may still write a new call's handle into the cell when the reply
    // comes.
    requests_.Retire(std::move(request->Cell));
    const HCALL call = request->Call;
    switch (request->Kind) {
      case rkConsultDial:
      case rkConsultComplete:
        ConsultErrorEvent(call, kResultTimeOut);
        break;
      case rkPickUpDial:
      case rkAnswer: {
        const HCALL previous = current_call_;
        current_call_ = call;
        Hangup();
        current_call_ = previous;
        if (request->Kind == rkPickUpDial) std::erase(pickup_list_, call);
        ReportTimeOut(call);
        break;
      }
      case rkDrop:
        NextDropStep(call, request->Extra);
        ReportTimeOut(call);
        break;
      default:
        ReportTimeOut(call);
        break;
    }
  }
  StopTimerWhenIdle();
}

}  // namespace telvora::telephony
