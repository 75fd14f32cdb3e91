// TelPhone: the TAPI callbacks, the notification window's messages and the
// dispatch of line and phone notifications, with call-state tracking.

#include <algorithm>
#include <chrono>

#include "tapi/tapi.h"
#include "telephony/structure_text.h"
#include "telephony/tel_phone.h"
#include "telephony/variable_query.h"

namespace telvora::telephony {

using namespace tapi;

namespace {

constexpr std::int64_t kFaxToneQuietMs = 3000;
constexpr std::size_t kCallInfoInitialSize = 324;
// wParam of kPassthroughMessage asking for the fixed rate.
constexpr WPARAM kPassthroughFixedRate = 1;

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

std::int64_t TelPhone::NowMs() const {
  if (clock_) return clock_();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

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
    case kPassthroughMessage:
      Message.Result = SwitchPassthrough(true, Message.WParam == kPassthroughFixedRate, static_cast<HWND>(Message.LParam));
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
    case LINE_CALLINFO:
      HandleCallInfo(call, static_cast<DWORD>(n.Param1));
      break;
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
    case PHONE_STATE:
      if (phone_ != 0 && n.Device == phone_) HandlePhoneState(static_cast<DWORD>(n.Param1));
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
  // Consultation calls have their own states (TConsultCallState).
  if (consults_.ByConsultCall(call) != nullptr) {
    HandleConsultCallState(call, tapi_state, mode);
    return;
  }
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
    case LINECALLSTATE_DIALING:
      // A picked-up call dials nothing; its dialing is no news.
      if (!conference && std::find(pickup_list_.begin(), pickup_list_.end(), call) != pickup_list_.end()) return;
      next = csDialing;
      break;
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
  } else if (std::erase(pickups_awaiting_state_, call) > 0) {
    const TCallEntry* entry = calls_.Find(call);
    ContinuePickUp(call, entry != nullptr ? entry->CallParam : 0);
  }
  std::erase(pickups_awaiting_state_, call);  // a call that ended waits no more
}

}  // namespace telvora::telephony

namespace telvora::telephony {

// ---- call information ----

void TelPhone::HandleCallInfo(HCALL call, DWORD states) {
  if ((states & LINECALLINFOSTATE_CALLERID) && OnCallerID.Assigned()) ReportPartyId(call, true);
  if ((states & LINECALLINFOSTATE_CALLEDID) && OnCalledID.Assigned()) ReportPartyId(call, false);
  if (!OnCallInfo.Assigned()) return;
  if (states & LINECALLINFOSTATE_DISPLAY) ReportCallInfo(call, tiDisplayInfo);
  if (states & LINECALLINFOSTATE_USERUSERINFO) ReportCallInfo(call, tiUserInfo);
  if (states & LINECALLINFOSTATE_ORIGIN) ReportCallInfo(call, tiOrigin);
  if (states & LINECALLINFOSTATE_REASON) ReportCallInfo(call, tiReason);
}

namespace {

int ReadCallInfo(HCALL call, TVarBuffer& info) {
  return QueryVariable(
      kCallInfoInitialSize, 0, LINEERR_STRUCTURETOOSMALL,
      [&](void* s) { return lineGetCallInfo(call, static_cast<LINECALLINFO*>(s)); },
      [](LONG) { return kResultFailed; }, info);
}

}  // namespace

void TelPhone::ReportPartyId(HCALL call, bool caller) {
  const TCallerIDEvent& event = caller ? OnCallerID : OnCalledID;
  auto report = [&](int code, const std::u16string& number, const std::u16string& name) {
    if (!IsDestroying()) event(this, code, number, name, static_cast<int>(call));
  };
  TVarBuffer info;
  const int result = ReadCallInfo(call, info);
  if (result != kResultOk) {
    report(result, u"", u"");
    return;
  }
  const LINECALLINFO* c = info.As<LINECALLINFO>();
  const DWORD flags = caller ? c->dwCallerIDFlags : c->dwCalledIDFlags;
  // Compared whole: a party that is unavailable and also, say, named is not
  // "unavailable".
  if (flags == LINECALLPARTYID_BLOCKED || flags == LINECALLPARTYID_OUTOFAREA || flags == LINECALLPARTYID_UNKNOWN) {
    report(kResultPartyIdUnknown, u"", u"");
    return;
  }
  if (flags == LINECALLPARTYID_UNAVAIL) {
    report(kResultPartyIdUnavailable, u"", u"");
    return;
  }
  const DWORD number_size = caller ? c->dwCallerIDSize : c->dwCalledIDSize;
  const DWORD number_offset = caller ? c->dwCallerIDOffset : c->dwCalledIDOffset;
  const DWORD name_size = caller ? c->dwCallerIDNameSize : c->dwCalledIDNameSize;
  const DWORD name_offset = caller ? c->dwCallerIDNameOffset : c->dwCalledIDNameOffset;
  std::u16string number, name;
  if (number_size != 0 && number_offset != 0) {
    const int text = TextFromStructure(info, number_offset, number_size, active_caps_.WideStrings, number);
    if (text != kResultOk) {
      report(text, u"", u"");
      return;
    }
  }
  if (name_size != 0 && name_offset != 0) {
    const int text = TextFromStructure(info, name_offset, name_size, active_caps_.WideStrings, name);
    if (text != kResultOk) {
      report(text, u"", u"");
      return;
    }
  }
  // The parts are kept apart in the key, so that call 1 with number "23"
  // and call 12 with number "3" are not taken for the same report.
  std::u16string key;
  for (const char ch : std::to_string(call)) key.push_back(static_cast<char16_t>(ch));
  key += u'\n';
  key += number;
  key += u'\n';
  key += name;
  std::u16string& last = caller ? last_caller_report_ : last_called_report_;
  if (key == last) return;
  last = key;
  if (!number.empty() || !name.empty()) {
    report(kResultOk, number, name);
  } else {
    report(kResultPartyIdUnknown, u"", u"");
  }
}

void TelPhone::ReportCallInfo(HCALL call, TTypeOfInfo type) {
  TVarBuffer info;
  const int result = ReadCallInfo(call, info);
  if (result != kResultOk) {
    RaiseCallState(csError, result, 0, call);
    return;
  }
  const LINECALLINFO* c = info.As<LINECALLINFO>();
  auto raise = [&](const std::u16string& text, int number) {
    if (!IsDestroying()) OnCallInfo(this, type, text, number, static_cast<int>(call));
  };
  auto raise_text = [&](DWORD size, DWORD offset) {
    if (size == 0 || offset == 0) return;
    std::u16string text;
    const int code = TextFromStructure(info, offset, size, active_caps_.WideStrings, text);
    if (code != kResultOk) {
      RaiseCallState(csError, code, 0, call);
      return;
    }
    raise(text, 0);
  };
  switch (type) {
    case tiDisplayInfo: raise_text(c->dwDisplaySize, c->dwDisplayOffset); break;
    case tiUserInfo: raise_text(c->dwUserUserInfoSize, c->dwUserUserInfoOffset); break;
    case tiOrigin: raise(u"", static_cast<int>(c->dwOrigin)); break;
    case tiReason: raise(u"", static_cast<int>(c->dwReason)); break;
  }
}

// ---- phone states ----

void TelPhone::HandlePhoneState(DWORD states) {
  if (OnExtPhoneChanged.Assigned()) {
    const std::pair<DWORD, TExtPhoneState> kinds[] = {{PHONESTATE_DISPLAY, tpsDisplay},
                                                      {PHONESTATE_LAMP, tpsLamp},
                                                      {PHONESTATE_RINGMODE, tpsRingMode},
                                                      {PHONESTATE_RINGVOLUME, tpsRingVolume}};
    for (const auto& [bit, kind] : kinds) {
      if ((states & bit) && !IsDestroying()) OnExtPhoneChanged(this, kind);
    }
  }
  if ((states & PHONESTATE_SPEAKERHOOKSWITCH) && !IsDestroying()) OnExtDevAuxChanged(this);
  if (!(states & PHONESTATE_HANDSETHOOKSWITCH)) return;
  if (!IsDestroying()) OnExtDevHandsetChanged(this);
  if (!OnHookState.Assigned()) return;
  std::uint8_t state = 0;
  const int result = ReadHookState(ext_dev_handset_, state);
  if (result != kResultOk) {
    RaiseLineState(lsError, result);
    return;
  }
  const THookReport now = state == 0 ? THookReport::kOnHook : THookReport::kOffHook;
  if (now == last_hook_report_) return;
  last_hook_report_ = now;
  if (!IsDestroying()) OnHookState(this, now == THookReport::kOnHook);
}

}  // namespace telvora::telephony
