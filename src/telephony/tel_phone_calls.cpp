// TelPhone: placing and ending calls, the drop sequence, and the call
// queries.

#include "tapi/tapi.h"
#include "telephony/call_params.h"
#include "telephony/tel_phone.h"
#include "telephony/variable_query.h"

namespace telvora::telephony {

using namespace tapi;

namespace {

constexpr std::size_t kCallInfoInitialSize = 324;
// Leaving pass-through: any rate the bearer mode allows.
constexpr DWORD kLeavePassthroughMaxRate = 111000;

}  // namespace

int TelPhone::DialNumber(const std::string& Number, int CallParam) {
  if (!IsActive()) return kResultNotActive;
  if (address_id_ < 0) return kResultAddressId;
  return MakeCall(wait_for_dial_tone_ ? "W" + Number : Number, CallParam, rkMakeCall);
}

// REQUIRES: the line is open and AddressID is not negative.
int TelPhone::MakeCall(const std::string& dial, int call_param, int kind) {
  call_params_ = BuildCallParams(current_media_mode_, active_caps_.MediaModes, address_id_, wait_for_dial_tone_);
  std::string number = dial;
  std::string fax_dial_string;
  if (current_media_mode_ == mmFax) {
    // A fax layer dials itself over the call's data channel.
    fax_dial_string = "ATD" + number + "\r";
    number.clear();
  }
  auto cell = std::make_unique<HCALL>(0);
  const LONG request = lineMakeCall(line_, cell.get(), number.c_str(), 0, &call_params_);
  if (request < 0) {
    switch (request) {
      case LINEERR_ALLOCATED:
      case LINEERR_RESOURCEUNAVAIL: return kResultAllocated;
      case LINEERR_CALLUNAVAIL: return kResultLineUnavailable;
      case LINEERR_INVALADDRESS: return kResultInvalidNumber;
      case LINEERR_INVALADDRESSID: return kResultAddressId;
      case LINEERR_INVALMEDIAMODE: return kResultMediaMode;
      default: return kResultCallFailed;
    }
  }
  fax_dial_string_ = std::move(fax_dial_string);
  bearer_mode_ = BearerModeOf(current_media_mode_);
  passthrough_ = current_media_mode_ == mmFax;
  RegisterRequest(static_cast<DWORD>(request), 0, kind, call_param, std::move(cell), 0, 0);
  return kResultOk;
}

int TelPhone::Hangup() {
  fax_dial_string_.clear();
  const HCALL current = current_call_;
  const TCallState state = calls_.StateOf(current);
  if (state == csDisconnected || state == csWaitingDisconnection) return kResultOk;
  const bool known = calls_.Contains(current);
  const TConsultCallState consult_state = consults_.ConsultStateOf(current);
  if (consult_state == ccsWaitingDisconnection || consult_state == ccsDisconnected) return kResultOk;
  if (consult_state == ccsError && !known) return kResultAlreadyDisconnected;

  HCALL target = current;
  int step = 0;
  bool consultation = false;
  if (const TConsults* e = consults_.ByPrimaryWithConference(current)) {
    target = e->ConferenceCall();
    step = 2;
  } else if (const TConsults* e2 = consults_.ByPrimaryWithConsult(current)) {
    target = e2->ConsultCall();
    step = 1;
  } else if (consults_.ByConsultCall(current) != nullptr) {
    consultation = true;
  }
  if (!IsDestroying()) OnBeforeDisconnect(this, static_cast<int>(current));

  int result = kResultOk;
  if (step == 0 && passthrough_ && !IsDestroying()) {
    // A call in pass-through goes back to its bearer mode first; the drop
    // follows when that is done.
    const LONG request = lineSetCallParams(current, bearer_mode_, 0, kLeavePassthroughMaxRate, nullptr);
    if (request >= 0) {
      RegisterRequest(static_cast<DWORD>(request), current, rkDrop, 1, nullptr, 0, 0);
      MarkDropping(current, consultation, static_cast<DWORD>(request));
      return kResultOk;
    }
    result = kResultFailed;
  }
  const LONG request = lineDrop(target, nullptr, 0);
  if (request < 0) {
    switch (request) {
      case LINEERR_ALLOCATED:
      case LINEERR_INUSE:
      case LINEERR_RESOURCEUNAVAIL: return kResultAllocated;
      case LINEERR_INVALCALLHANDLE: return kResultBadCallHandle;
      case LINEERR_NODEVICE: return kResultNoLineDevice;
      case LINEERR_NOMEM: return kResultNoMemory;
      case LINEERR_NOTOWNER: return kResultNotOwner;
      default: return kResultHangupFailed;
    }
  }
  RegisterRequest(static_cast<DWORD>(request), current, rkDrop, step, nullptr, 0, 0);
  MarkDropping(current, consultation, static_cast<DWORD>(request));
  ProcessMessagesOnce();
  return result;
}

void TelPhone::MarkDropping(HCALL call, bool consultation, DWORD request_id) {
  if (!consultation) {
    calls_.SetState(call, csWaitingDisconnection, initial_ring_number_);
    RaiseCallState(csWaitingDisconnection, 0, 0, call);
    return;
  }
  TConsults* entry = consults_.ByConsultCall(call);
  if (entry == nullptr) return;
  entry->State = ccsWaitingDisconnection;
  const HCALL primary = entry->PrimaryCall;
  if (!IsDestroying()) {
    OnConsultCallState(this, ccsWaitingDisconnection, static_cast<int>(request_id), static_cast<int>(call),
                       static_cast<int>(primary));
  }
}

void TelPhone::NextDropStep(HCALL call, int step) {
  if (step < 1) return;
  HCALL consult = 0;
  if (step > 1) {
    if (const TConsults* e = consults_.ByPrimaryWithConsult(call)) consult = e->ConsultCall();
  }
  HCALL target = 0;
  int found = -1;
  for (int s = step; s >= 1 && found < 0; --s) {
    if (s >= 2 && consult != 0) {
      target = consult;
      found = s;
    } else if (s == 1 && calls_.Contains(call)) {
      target = call;
      found = s;
    }
  }
  if (found < 0) return;
  const LONG request = lineDrop(target, nullptr, 0);
  if (request < 0) {
    RaiseCallState(csError, kResultHangupFailed, 0, call);
    return;
  }
  RegisterRequest(static_cast<DWORD>(request), call, rkDrop, found - 1, nullptr, 0, 0);
}

void TelPhone::DeallocateCall(HCALL call) {
  lineDeallocateCall(call);
  consults_.RemoveCallHandle(call);
  calls_.Remove(call);
}

bool TelPhone::IsCallConnected(int CallHandle) const {
  switch (calls_.StateOf(static_cast<HCALL>(CallHandle))) {
    case csConnected:
    case csOnHold:
    case csUnhold:
    case csInConference:
    case csRemovedFromConference: return true;
    default: return false;
  }
}

int TelPhone::GetCallState(int Index, TCallState& State) const {
  if (Index < 0 || Index >= calls_.Count()) return kResultBadArgument;
  State = calls_.At(Index).State;
  return kResultOk;
}

int TelPhone::GetCallHandle(int Index, int& CallHandle) const {
  if (Index < 0 || Index >= calls_.Count()) return kResultBadArgument;
  CallHandle = static_cast<int>(calls_.At(Index).Call);
  return kResultOk;
}

int TelPhone::GetAddressID(int CallHandle, int& AddressID) {
  TVarBuffer info;
  const int result = QueryVariable(
      kCallInfoInitialSize, 0, LINEERR_STRUCTURETOOSMALL,
      [&](void* s) { return lineGetCallInfo(static_cast<HCALL>(CallHandle), static_cast<LINECALLINFO*>(s)); },
      [](LONG error) {
        switch (error) {
          case LINEERR_ALLOCATED:
          case LINEERR_RESOURCEUNAVAIL: return kResultAllocated;
          case LINEERR_CALLUNAVAIL: return kResultLineUnavailable;
          case LINEERR_INVALCALLHANDLE: return kResultBadCallHandle;
          case LINEERR_NOMEM: return kResultNoMemory;
          default: return kResultFailed;
        }
      },
      info);
  if (result != kResultOk) return result;
  AddressID = static_cast<int>(info.As<LINECALLINFO>()->dwAddressID);
  return kResultOk;
}

}  // namespace telvora::telephony
