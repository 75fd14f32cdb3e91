// TelPhone: the TAPI callbacks, the notification window's messages and the
// dispatch of line and phone notifications, with call-state tracking.

#include <chrono>

#include "tapi/tapi.h"
#include "telephony/tel_phone.h"

namespace telvora::telephony {

using namespace tapi;

namespace {

constexpr std::int64_t kFaxToneQuietMs = 3000;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void StoreAndSend(DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3,
                  UINT window_message) {
  if (instance == 0) return;
  auto* record = reinterpret_cast<TCallbackRecord*>(instance);
  record->Device = device;
  record->Message = message;
  record->Param1 = p1;
  record->Param2 = p2;
  record->Param3 = p3;
  SendMessage(record->Window, window_message, kLineNotifyStored, 0);
}

}  // namespace

void TelPhone::LineCallback(DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR param1,
                            DWORD_PTR param2, DWORD_PTR param3) {
  StoreAndSend(device, message, instance, param1, param2, param3, kLineNotifyMessage);
}

void TelPhone::PhoneCallback(DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR param1,
                             DWORD_PTR param2, DWORD_PTR param3) {
  StoreAndSend(device, message, instance, param1, param2, param3, kPhoneNotifyMessage);
}

void TelPhone::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case kLineNotifyMessage:
      switch (Message.WParam) {
        case kLineNotifyStored: DispatchLineNotification(); break;
        case kLineNotifyBusy: HandleCallState(current_call_, LINECALLSTATE_BUSY, 0); break;
        case kLineNotifyNoDialTone:
          HandleCallState(current_call_, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NODIALTONE);
          break;
        case kLineNotifyConnected: {
          const TCallEntry* entry = calls_.Find(current_call_);
          RaiseCallState(csConnected, 2, entry != nullptr ? entry->CallParam : 0, current_call_);
          break;
        }
        default: break;
      }
      Message.Result = 0;
      return;
    case kPhoneNotifyMessage:
      if (Message.WParam == 0) DispatchPhoneNotification();
      Message.Result = 0;
      return;
    case kHangupCallMessage:
      if (Message.WParam == 0) {
        current_call_ = static_cast<HCALL>(Message.LParam);
        Message.Result = Hangup();
        return;
      }
      break;
    default: break;
  }
  TTEL_ComponentVCL::WndProc(Message);
}

void TelPhone::DispatchLineNotification() {
  // A copy: handlers may let further notifications in, which reuse the record.
  const TCallbackRecord n = *line_record_;
  const HCALL call = n.Device;
  switch (n.Message) {
    case LINE_CALLSTATE:
      HandleCallState(call, static_cast<DWORD>(n.Param1), static_cast<DWORD>(n.Param2));
      break;
    case LINE_CLOSE:
      if (tapi_state_ == 2 && n.Device == line_) {
        // The phone device belongs to the line: it is closed with it, so that
        // the next activation can open it again.
        if (phone_ != 0) phoneClose(phone_);
        phone_ = 0;
        line_ = 0;
        tapi_state_ = 1;
        RaiseLineState(lsDeactivated, 0);
      }
      break;
    case LINE_LINEDEVSTATE:
      if (n.Param1 == LINEDEVSTATE_RINGING) HandleRinging();
      break;
    case LINE_MONITORDIGITS:
      if (!IsDestroying()) OnDigitDetected(this, static_cast<char>(n.Param1), static_cast<int>(call));
      break;
    case LINE_MONITORMEDIA:
      if ((n.Param1 == LINEMEDIAMODE_G3FAX || n.Param1 == LINEMEDIAMODE_G4FAX) && OnFaxToneDetected.Assigned() &&
          !IsDestroying()) {
        const std::int64_t now = NowMs();
        if (now - last_fax_tone_ms_ > kFaxToneQuietMs) {
          last_fax_tone_ms_ = now;
          OnFaxToneDetected(this, static_cast<int>(call));
        }
      }
      break;
    case LINE_MONITORTONE:
      if (!IsDestroying()) OnToneDetected(this, static_cast<int>(n.Param1), static_cast<int>(call));
      break;
    case LINE_REPLY:
      HandleLineReply(static_cast<DWORD>(n.Param1), static_cast<LONG>(static_cast<DWORD>(n.Param2)));
      break;
    default: break;
  }
}

void TelPhone::DispatchPhoneNotification() {
  const TCallbackRecord n = *phone_record_;
  switch (n.Message) {
    case PHONE_CLOSE:
      if (phone_ != 0 && n.Device == phone_) phone_ = 0;
      break;
    case PHONE_REPLY:
      HandlePhoneReply(static_cast<DWORD>(n.Param1), static_cast<LONG>(static_cast<DWORD>(n.Param2)));
      break;
    default: break;
  }
}

void TelPhone::HandleRinging() {
  auto ring = [this](HCALL call) {
    current_call_ = call;
    calls_.SetState(call, csRing, initial_ring_number_);
    const int count = calls_.Find(call)->RingCount;
    RaiseCallState(csRing, count, 0, call);
    if (TCallEntry* entry = calls_.Find(call)) entry->RingCount = count + 1;
  };
  bool any = false;
  for (const HCALL call : calls_.Handles()) {
    const TCallState state = calls_.StateOf(call);
    if (state == csOffering || state == csRing) {
      any = true;
      ring(call);
    }
  }
  if (!any && calls_.Count() == 1) ring(calls_.At(0).Call);
}

void TelPhone::StartMonitoring(HCALL call) {
  lineMonitorDigits(call, active_caps_.DigitModes);
  lineMonitorMedia(call, active_caps_.MonitorMediaModes);
}

void TelPhone::HandleCallState(HCALL call, DWORD tapi_state, DWORD mode) {
  // Consultation calls have their own states (TConsultCallState); they exist
  // only once a consultation was set up, and are tracked by those features.
  if (consults_.ByConsultCall(call) != nullptr) return;
  const TConsults* owner = consults_.ByConferenceCall(call);
  const bool conference = owner != nullptr;
  const TCallState recorded = calls_.StateOf(call);
  TCallState next;
  switch (tapi_state) {
    case LINECALLSTATE_IDLE:
      if (conference) {
        DeallocateCall(call);
        return;
      }
      if (comm_handle_call_ == call) CloseCommHandle();
      last_caller_report_.clear();
      last_called_report_.clear();
      next = (recorded == csOffering || recorded == csRing) ? csOfferedCallDropped : csDisconnected;
      break;
    case LINECALLSTATE_OFFERING: next = csOffering; break;
    case LINECALLSTATE_DIALTONE: next = csDialTone; break;
    case LINECALLSTATE_DIALING: next = csDialing; break;
    case LINECALLSTATE_RINGBACK: next = csRingBack; break;
    case LINECALLSTATE_BUSY: next = csBusy; break;
    case LINECALLSTATE_CONNECTED:
      if (conference) return;
      if (recorded == csOnHold) {
        next = csUnhold;
      } else if (recorded == csInConference) {
        next = csRemovedFromConference;
      } else {
        StartMonitoring(call);
        next = csConnected;
      }
      break;
    case LINECALLSTATE_PROCEEDING: next = csProceeding; break;
    case LINECALLSTATE_ONHOLD:
    case LINECALLSTATE_ONHOLDPENDTRANSFER: next = csOnHold; break;
    case LINECALLSTATE_ONHOLDPENDCONF:
      if (conference) return;
      next = csOnHold;
      break;
    case LINECALLSTATE_CONFERENCED: next = csInConference; break;
    case LINECALLSTATE_DISCONNECTED: {
      if (!conference) {
        last_caller_report_.clear();
        last_called_report_.clear();
      }
      if (mode == LINEDISCONNECTMODE_BUSY) {
        next = csBusy;
      } else if (mode == LINEDISCONNECTMODE_NODIALTONE) {
        next = csNoDialTone;
      } else {
        // A call the component is ending itself was not hung up remotely.
        const TCallEntry* entry = calls_.Find(call);
        if (entry == nullptr || entry->Dropping) return;
        next = csRemotePartyDisconnected;
      }
      break;
    }
    default: return;
  }

  current_call_ = conference ? owner->PrimaryCall : call;
  const HCALL current = current_call_;
  calls_.SetState(current, next, initial_ring_number_);
  if (next == csConnected) {
    if (current_media_mode_ == mmFax) {
      RaiseCallState(csWaitingForFaxCommand, 0, 0, current);
    } else {
      const TCallEntry* entry = calls_.Find(current);
      RaiseCallState(csConnected, current_media_mode_ == mmData ? 1 : 0, entry != nullptr ? entry->CallParam : 0,
                     current);
    }
  } else {
    RaiseCallState(next, 0, 0, current);
  }
  if (next == csDisconnected || next == csOfferedCallDropped) {
    DeallocateCall(current);
  } else if ((next == csRemotePartyDisconnected || next == csBusy || next == csNoDialTone) && auto_disconnect_) {
    Hangup();
  }
}

}  // namespace telvora::telephony
