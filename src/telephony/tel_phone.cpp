// TelPhone: construction and destruction, the TAPI session, the capability
// probe, activation and close, and the line queries.

#include "telephony/tel_phone.h"

#include <QCoreApplication>

#include <unistd.h>

#include <cstring>

#include "tapi/tapi.h"
#include "telephony/result_texts.h"
#include "telephony/screen_cursor.h"
#include "telephony/structure_text.h"
#include "telephony/tapi_initialization.h"

namespace telvora::telephony {

using namespace tapi;

namespace {

// Initial sizes of the variable-size queries.
constexpr std::size_t kDevCapsInitialSize = 268;
constexpr std::size_t kAddressCapsInitialSize = 228;
constexpr std::size_t kPhoneCapsInitialSize = 180;

// The modem configuration, as lineGetDevConfig returns it for
// "comm/datamodem": a VARSTRING header, then the block (device_config_block.h
// gives its layout).
constexpr std::size_t kDevConfigBufferSize = 2048;
constexpr std::size_t kDevConfigBlockAt = sizeof(VARSTRING);
constexpr std::size_t kBlockOptionsAt = 8;
constexpr std::size_t kBlockProviderSubTypeAt = 48;
constexpr std::size_t kBlockSpeakerVolumeAt = 84;
constexpr std::size_t kBlockSpeakerModeAt = 88;
constexpr std::size_t kBlockSpeakerFieldsEnd = 92;
constexpr WORD kOptionShowLights = 8;
constexpr DWORD kModemSettingMask = 0x7F;
constexpr char kDataModemClass[] = "comm/datamodem";

DWORD Read32(const std::uint8_t* p) {
  DWORD v = 0;
  std::memcpy(&v, p, sizeof v);
  return v;
}
void Write32(std::uint8_t* p, DWORD v) { std::memcpy(p, &v, sizeof v); }
void Write16(std::uint8_t* p, WORD v) { std::memcpy(p, &v, sizeof v); }

int MapDevCapsError(LONG error) {
  switch (error) {
    case LINEERR_BADDEVICEID: return kResultBadDeviceId;
    case LINEERR_NODEVICE: return kResultNoLineDevice;
    case LINEERR_NOMEM: return kResultNoMemory;
    default: return kResultFailed;
  }
}

}  // namespace

TelPhone::TelPhone(platform::TComponent* AOwner)
    : TTEL_ComponentVCL(AOwner),
      line_record_(std::make_unique<TCallbackRecord>()),
      phone_record_(std::make_unique<TCallbackRecord>()),
      ext_dev_handset_(this, PHONEHOOKSWITCHDEV_HANDSET),
      ext_dev_aux_(this, PHONEHOOKSWITCHDEV_SPEAKER),
      timer_(std::make_unique<TTelTimer>(this)) {
  timer_->OnTimer = [this](TTelTimer* sender) { CheckTimeOuts(sender); };
  timer_->OnRefused = [this] { RaiseLineState(lsError, kResultNoMemory); };
  line_record_->Window = Handle();
  phone_record_->Window = Handle();
}

TelPhone::~TelPhone() {
  destroying_ = true;
  if (tapi_state_ != 0) {
    CloseLine();
    lineShutdown(line_app_);
    phoneShutdown(phone_app_);
    tapi_state_ = 0;
  }
  CloseCommHandle();
  // The timer goes first (which stops it); the lists and the cells their
  // entries own go with the members, after TAPI can no longer write them.
  timer_.reset();
}

// ---- helpers ----

void TelPhone::RaiseLineState(TLineState state, int param) {
  if (!IsDestroying()) OnLineState(this, state, param);
}

void TelPhone::RaiseCallState(TCallState state, int param1, int param2, HCALL call) {
  if (!IsDestroying()) OnCallState(this, state, param1, param2, static_cast<int>(call));
}

void TelPhone::ProcessMessagesOnce() {
  if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
}

void TelPhone::CloseCommHandle() {
  if (comm_handle_ >= 0) ::close(comm_handle_);
  comm_handle_ = -1;
  comm_handle_call_ = 0;
}

void TelPhone::GetResultText(int Code, std::string& Text) const { Text = ResultText(Code); }

// ---- the TAPI session ----

int TelPhone::InitializeTapi() {
  if (tapi_state_ >= 1) return kResultOk;
  num_lines_ = 0;
  const TTapiInitialization& entry = TapiInitialization();

  LINEINITIALIZEEXPARAMS line_params{};
  line_params.dwTotalSize = sizeof line_params;
  line_params.dwUsedSize = sizeof line_params;
  line_params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
  DWORD version = kApiVersion22;
  DWORD count = 0;
  LONG result = entry.LineInitializeExW(&line_app_, nullptr, &LineCallback, nullptr, &count, &version,
                                        &line_params);
  if (result != 0) {
    result = entry.LineInitialize(&line_app_, nullptr, &LineCallback, nullptr, &count);
    if (result != 0) {
      line_app_ = 0;
      return result == LINEERR_NOMEM ? kResultNoMemory : kResultTapiInit;
    }
  }
  num_lines_ = count;

  PHONEINITIALIZEEXPARAMS phone_params{};
  phone_params.dwTotalSize = sizeof phone_params;
  phone_params.dwUsedSize = sizeof phone_params;
  phone_params.dwOptions = PHONEINITIALIZEEXOPTION_USEHIDDENWINDOW;
  version = kApiVersion22;
  DWORD phones = 0;
  result = entry.PhoneInitializeExW(&phone_app_, nullptr, &PhoneCallback, nullptr, &phones, &version,
                                    &phone_params);
  if (result != 0) {
    result = entry.PhoneInitialize(&phone_app_, nullptr, &PhoneCallback, nullptr, &phones);
    if (result != 0) {
      lineShutdown(line_app_);
      line_app_ = 0;
      phone_app_ = 0;
      return result == PHONEERR_NOMEM ? kResultNoMemory : kResultTapiInit;
    }
  }
  tapi_state_ = 1;
  return kResultOk;
}

int TelPhone::NumberOfLines() {
  const int result = InitializeTapi();
  if (result != kResultOk) {
    RaiseLineState(lsError, result);
    return 0;
  }
  return static_cast<int>(num_lines_);
}

int TelPhone::NegotiateLineVersion(int line_id, DWORD& version) {
  LINEEXTENSIONID extension{};
  const LONG result = lineNegotiateAPIVersion(line_app_, static_cast<DWORD>(line_id), kLowestApiVersion,
                                              kHighestApiVersion, &version, &extension);
  switch (result) {
    case 0: return kResultOk;
    case LINEERR_BADDEVICEID: return kResultBadDeviceId;
    case LINEERR_NOMEM: return kResultNoMemory;
    case LINEERR_RESOURCEUNAVAIL: return kResultAllocated;
    default: return kResultVersion;
  }
}

int TelPhone::ReadDevCaps(int line_id, DWORD version, TVarBuffer& caps) {
  return QueryVariable(
      kDevCapsInitialSize, 0, LINEERR_STRUCTURETOOSMALL,
      [&](void* s) {
        return lineGetDevCaps(line_app_, static_cast<DWORD>(line_id), version, 0, static_cast<LINEDEVCAPS*>(s));
      },
      MapDevCapsError, caps);
}

// ---- the capability probe ----

int TelPhone::GetLineCaps(int LineID, int& Caps) {
  DWORD bits = 0;
  const int result = ProbeLine(LineID, bits);
  Caps = static_cast<int>(bits);
  return result;
}

int TelPhone::ProbeLine(int line_id, DWORD& bits) {
  bits = 0;
  int result = InitializeTapi();
  if (result != kResultOk) return result;
  const bool active = IsActiveLine(line_id);
  if (active) {
    if (active_caps_.Valid && active_caps_.CapsLineID == line_id) {
      bits = active_caps_.Caps;
      return kResultOk;
    }
    active_caps_.Invalidate();
  }
  if (probe_caps_.Valid && probe_caps_.CapsLineID == line_id) {
    if (active) {
      const int keep = active_caps_.LineDeviceID;
      active_caps_ = probe_caps_;
      active_caps_.LineDeviceID = keep;
    }
    bits = probe_caps_.Caps;
    return kResultOk;
  }
  // A fresh record: what an earlier probe found for another line (its phone's
  // lamps, say) must not pass for this line's.
  probe_caps_ = TLineCapsRecord{};

  DWORD version = 0;
  result = NegotiateLineVersion(line_id, version);
  if (result != kResultOk) return result;
  probe_caps_.LineDeviceID = line_id;
  probe_caps_.LineApiVersion = version;
  if (active) active_caps_.LineApiVersion = version;

  DWORD found = 0;
  TVarBuffer dev_caps;
  result = ReadDevCaps(line_id, version, dev_caps);
  if (result != kResultOk) return result;
  const LINEDEVCAPS* dc = dev_caps.As<LINEDEVCAPS>();
  probe_caps_.WideStrings = IsWideStringFormat(dc->dwStringFormat);

  DWORD dtmf_mode = 0;
  if (dc->dwMonitorDigitModes & LINEDIGITMODE_PULSE) found |= kCapPulseDigits;
  if (dc->dwMonitorDigitModes & LINEDIGITMODE_DTMF) {
    found |= kCapDtmfDigits;
    dtmf_mode = LINEDIGITMODE_DTMF;
  } else if (dc->dwMonitorDigitModes & LINEDIGITMODE_DTMFEND) {
    found |= kCapDtmfDigits;
    dtmf_mode = LINEDIGITMODE_DTMFEND;
  }
  probe_caps_.DigitModes = dtmf_mode | ((found & kCapPulseDigits) ? LINEDIGITMODE_PULSE : 0);

  constexpr DWORD kKnownMediaModes = LINEMEDIAMODE_UNKNOWN | LINEMEDIAMODE_INTERACTIVEVOICE |
                                     LINEMEDIAMODE_AUTOMATEDVOICE | LINEMEDIAMODE_DATAMODEM |
                                     LINEMEDIAMODE_G3FAX | LINEMEDIAMODE_G4FAX;
  probe_caps_.MediaModes = dc->dwMediaModes & kKnownMediaModes;
  probe_caps_.MonitorMediaModes = dc->dwMediaModes & (LINEMEDIAMODE_G3FAX | LINEMEDIAMODE_G4FAX);
  const bool automated_voice = (dc->dwMediaModes & LINEMEDIAMODE_AUTOMATEDVOICE) != 0;

  TVarBuffer address_caps;
  result = QueryVariable(
      kAddressCapsInitialSize, 0, LINEERR_STRUCTURETOOSMALL,
      [&](void* s) {
        return lineGetAddressCaps(line_app_, static_cast<DWORD>(line_id), 0, version, 0,
                                  static_cast<LINEADDRESSCAPS*>(s));
      },
      [](LONG) { return kResultFailed; }, address_caps);
  if (result != kResultOk) return result;
  constexpr DWORD kPartyKnown = LINECALLPARTYID_NAME | LINECALLPARTYID_ADDRESS;
  if (address_caps.As<LINEADDRESSCAPS>()->dwCallerIDFlags & kPartyKnown) found |= kCapCallerId;
  if (address_caps.As<LINEADDRESSCAPS>()->dwCalledIDFlags & kPartyKnown) found |= kCapCalledId;

  HLINE probe = 0;
  const LONG opened = lineOpen(line_app_, static_cast<DWORD>(line_id), &probe, version, 0, 0,
                               LINECALLPRIVILEGE_MONITOR, 0, nullptr);
  if (opened < 0) {
    return opened == LINEERR_ALLOCATED ? kResultAllocated
           : opened == LINEERR_NOMEM   ? kResultNoMemory
                                       : kResultProbeOpen;
  }
  if (probe == 0) return kResultNoLineDevice;
  result = ProbeWithHandle(probe, active, automated_voice, found);
  // The probe handle is closed on every path, a failed lookup included: a
  // probe left open would hold the line for good.
  lineClose(probe);
  ProcessMessagesOnce();
  if (result != kResultOk) return result;

  probe_caps_.Caps = found;
  probe_caps_.Valid = true;
  probe_caps_.CapsLineID = line_id;
  if (IsActiveLine(line_id)) {
    const int keep = active_caps_.LineDeviceID;
    active_caps_ = probe_caps_;
    active_caps_.LineDeviceID = keep == kNoDeviceId ? line_id : keep;
  }
  bits = found;
  return kResultOk;
}

int TelPhone::ProbeWithHandle(HLINE probe, bool /*active*/, DWORD automated_voice, DWORD& bits) {
  int result = kResultOk;
  if (automated_voice) {
    int wave_in = kNoDeviceId, wave_out = kNoDeviceId;
    result = LookupDeviceID(probe, 0, 0, LINECALLSELECT_LINE, "wave/in", wave_in);
    if (result != kResultOk) return result;
    result = LookupDeviceID(probe, 0, 0, LINECALLSELECT_LINE, "wave/out", wave_out);
    if (result != kResultOk) return result;
    if (wave_in != kNoDeviceId || wave_out != kNoDeviceId) {
      bits |= kCapWave;
      probe_caps_.WaveInID = wave_in;
      probe_caps_.WaveOutID = wave_out;
    }
  }
  int modem = kNoDeviceId;
  result = LookupDeviceID(probe, 0, 0, LINECALLSELECT_LINE, kDataModemClass, modem);
  if (result != kResultOk) return result;
  if (modem != kNoDeviceId) {
    bits |= kCapDataModem;
    probe_caps_.DataModemID = modem;
  }
  int phone = kNoDeviceId;
  result = LookupDeviceID(probe, 0, 0, LINECALLSELECT_LINE, "tapi/phone", phone);
  if (result != kResultOk) return result;
  if (phone == kNoDeviceId) return kResultOk;

  DWORD phone_version = 0;
  PHONEEXTENSIONID extension{};
  const LONG negotiated = phoneNegotiateAPIVersion(phone_app_, static_cast<DWORD>(phone), kLowestApiVersion,
                                                   kHighestApiVersion, &phone_version, &extension);
  if (negotiated != 0) {
    switch (negotiated) {
      case PHONEERR_BADDEVICEID: return kResultBadDeviceId;
      case PHONEERR_NOMEM: return kResultNoMemory;
      case PHONEERR_RESOURCEUNAVAIL: return kResultAllocated;
      default: return kResultVersion;
    }
  }
  probe_caps_.PhoneApiVersion = phone_version;
  bool no_phone = false;
  TVarBuffer phone_caps;
  result = QueryVariable(
      kPhoneCapsInitialSize, 0, PHONEERR_STRUCTURETOOSMALL,
      [&](void* s) {
        return phoneGetDevCaps(phone_app_, static_cast<DWORD>(phone), phone_version, 0, static_cast<PHONECAPS*>(s));
      },
      [&](LONG error) {
        if (error == PHONEERR_NODEVICE) {
          no_phone = true;
          return kResultOk;
        }
        return kResultLineSetup;
      },
      phone_caps);
  if (result != kResultOk || no_phone) return result;
  const PHONECAPS* pc = phone_caps.As<PHONECAPS>();
  probe_caps_.PhoneDeviceID = phone;
  probe_caps_.NumRings = static_cast<int>(pc->dwNumRingModes);
  probe_caps_.NumLamps = static_cast<int>(pc->dwNumButtonLamps);
  probe_caps_.NumDisplayRows = static_cast<int>(pc->dwDisplayNumRows);
  probe_caps_.NumDisplayCols = static_cast<int>(pc->dwDisplayNumColumns);
  constexpr DWORD kHandsetFlag = 1, kSpeakerFlag = 2;  // gain and volume flag bits
  if (pc->dwHookSwitchDevs & PHONEHOOKSWITCHDEV_SPEAKER) bits |= kCapSpeakerHookSwitch;
  bits |= (pc->dwSpeakerHookSwitchModes & kHookSwitchModeBits) << kCapSpeakerModesShift;
  if (pc->dwGainFlags & kSpeakerFlag) bits |= kCapSpeakerGain;
  if (pc->dwVolumeFlags & kSpeakerFlag) bits |= kCapSpeakerVolume;
  if (pc->dwHookSwitchDevs & PHONEHOOKSWITCHDEV_HANDSET) bits |= kCapHandsetHookSwitch;
  bits |= (pc->dwHandsetHookSwitchModes & kHookSwitchModeBits) << kCapHandsetModesShift;
  if (pc->dwGainFlags & kHandsetFlag) bits |= kCapHandsetGain;
  if (pc->dwVolumeFlags & kHandsetFlag) bits |= kCapHandsetVolume;
  return kResultOk;
}

// ---- line queries ----

int TelPhone::GetLineName(int LineID, std::u16string& Name) {
  Name.clear();
  int result = InitializeTapi();
  if (result != kResultOk) return result;
  DWORD version = 0;
  result = NegotiateLineVersion(LineID, version);
  if (result != kResultOk) return result;
  TVarBuffer caps;
  result = ReadDevCaps(LineID, version, caps);
  if (result != kResultOk) return result;
  const LINEDEVCAPS* dc = caps.As<LINEDEVCAPS>();
  if (dc->dwLineNameSize == 0 || dc->dwLineNameOffset == 0) return kResultNoDeviceName;
  // Read in the format the structure itself declares: the line asked about
  // need not be the active one, nor share its string format.
  return TextFromStructure(caps, dc->dwLineNameOffset, dc->dwLineNameSize,
                           IsWideStringFormat(dc->dwStringFormat), Name);
}

int TelPhone::GetNumberOfAddresses(int LineID, int& Count) {
  int result = InitializeTapi();
  if (result != kResultOk) return result;
  DWORD version = 0;
  result = NegotiateLineVersion(LineID, version);
  if (result != kResultOk) return result;
  TVarBuffer caps;
  result = ReadDevCaps(LineID, version, caps);
  if (result != kResultOk) return result;
  Count = static_cast<int>(caps.As<LINEDEVCAPS>()->dwNumAddresses);
  return kResultOk;
}

int TelPhone::GetAddressName(int LineID, int AddressID, std::u16string& Name) {
  Name.clear();
  int result = InitializeTapi();
  if (result != kResultOk) return result;
  DWORD version = 0;
  result = NegotiateLineVersion(LineID, version);
  if (result != kResultOk) return result;
  TVarBuffer caps;
  result = ReadDevCaps(LineID, version, caps);
  if (result != kResultOk) return result;
  TVarBuffer address;
  result = QueryVariable(
      kAddressCapsInitialSize, 0, LINEERR_STRUCTURETOOSMALL,
      [&](void* s) {
        return lineGetAddressCapsW(line_app_, static_cast<DWORD>(LineID), static_cast<DWORD>(AddressID),
                                   version, 0, static_cast<LINEADDRESSCAPS*>(s));
      },
      MapDevCapsError, address);
  if (result != kResultOk) return result;
  const LINEADDRESSCAPS* ac = address.As<LINEADDRESSCAPS>();
  if (ac->dwAddressSize == 0 || ac->dwAddressOffset == 0) return kResultNoDeviceName;
  return TextFromStructure(address, ac->dwAddressOffset, ac->dwAddressSize, true, Name);
}

// ---- activation ----

int TelPhone::LineActive(int LineID, bool Active) {
  if (Active == IsActive() && LineID == line_id_) return kResultOk;
  if (Active && IsActive()) {
    const int result = LineActive(line_id_, false);
    if (result != kResultOk) return result;
  }
  if (!Active && LineID != line_id_) return kResultOk;
  TBusyCursor cursor;
  line_id_ = LineID;
  if (Active) {
    CloseLine();
    return OpenLine();
  }
  return CloseLine();
}

int TelPhone::LineReactivate(bool Silent) {
  if (calls_.AnyStateOtherThan({csDisconnected})) return kResultCallInProgress;
  if (!requests_.Empty()) return kResultRequestPending;
  silent_ = Silent;
  int result = LineActive(line_id_, false);
  if (result == kResultOk) result = LineActive(line_id_, true);
  silent_ = false;
  if (!IsActive()) RaiseLineState(lsDeactivated, 0);
  return result;
}

int TelPhone::OpenLine() {
  if (tapi_state_ == 2) return kResultOk;
  if (tapi_state_ == 0) {
    const int result = InitializeTapi();
    if (result != kResultOk) return result;
  }
  if (num_lines_ == 0) return kResultNoLineDevice;
  DWORD bits = 0;
  int result = ProbeLine(line_id_, bits);
  if (result != kResultOk) return result;
  ApplyModemSettings();

  DWORD media = active_caps_.MediaModes;
  if (media_mode_ != mmVoice) {
    media = LINEMEDIAMODE_DATAMODEM | (active_caps_.MediaModes & LINEMEDIAMODE_UNKNOWN);
  }
  const DWORD privileges = line_privilege_ == lpMonitor
                               ? LINECALLPRIVILEGE_MONITOR
                               : LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR;
  HLINE line = 0;
  const LONG opened = lineOpen(line_app_, static_cast<DWORD>(line_id_), &line, active_caps_.LineApiVersion, 0,
                               reinterpret_cast<DWORD_PTR>(line_record_.get()), privileges, media, nullptr);
  if (opened < 0) {
    switch (opened) {
      case LINEERR_ALLOCATED:
      case LINEERR_INUSE:
      case LINEERR_RESOURCEUNAVAIL: return kResultAllocated;
      case LINEERR_BADDEVICEID: return kResultBadDeviceId;
      case LINEERR_INVALMEDIAMODE: return kResultMediaMode;
      case LINEERR_NOMEM: return kResultNoMemory;
      default: return kResultLineSetup;
    }
  }
  if (line == 0) {
    CloseLine();
    return kResultNoLineDevice;
  }
  line_ = line;
  current_media_mode_ = media_mode_;
  current_line_privilege_ = line_privilege_;
  tapi_state_ = 2;
  if (lineSetStatusMessages(line_, LINEDEVSTATE_RINGING, 0) < 0) {
    CloseLine();
    return kResultLineSetup;
  }
  if (active_caps_.PhoneDeviceID != kNoDeviceId) {
    HPHONE phone = 0;
    const LONG phone_opened =
        phoneOpen(phone_app_, static_cast<DWORD>(active_caps_.PhoneDeviceID), &phone, active_caps_.PhoneApiVersion,
                  0, reinterpret_cast<DWORD_PTR>(phone_record_.get()),
                  line_privilege_ == lpMonitor ? PHONEPRIVILEGE_MONITOR : PHONEPRIVILEGE_OWNER);
    if (phone_opened < 0) {
      CloseLine();
      return phone_opened == PHONEERR_INVALPRIVILEGE ? kResultAllocated : kResultLineSetup;
    }
    phone_ = phone;
    if (phoneSetStatusMessages(phone_, PHONESTATE_HANDSETHOOKSWITCH | PHONESTATE_SPEAKERHOOKSWITCH, 0, 0) < 0) {
      CloseLine();
      return kResultLineSetup;
    }
    ApplyExtDevSettings();
  }
  if (!silent_) RaiseLineState(lsActivated, -1);
  return kResultOk;
}

int TelPhone::CloseLine() {
  if (tapi_state_ < 2) return kResultOk;
  for (const HCALL call : calls_.Handles()) {
    const TCallState state = calls_.StateOf(call);
    if (state == csDisconnected || state == csWaitingDisconnection) continue;
    current_call_ = call;
    if (!IsDestroying()) OnBeforeDisconnect(this, static_cast<int>(call));
    if (comm_handle_call_ == call) CloseCommHandle();
  }
  if (phone_ != 0) {
    phoneClose(phone_);
    phone_ = 0;
  }
  int result = kResultOk;
  if (lineClose(line_) < 0) {
    result = kResultCloseFailed;
  } else {
    line_ = 0;
    tapi_state_ = 1;
  }
  if (!silent_) RaiseLineState(lsDeactivated, 1);
  return result;
}

// ---- device settings applied at activation ----

void TelPhone::ApplyModemSettings() {
  TVarBuffer buffer;
  if (!buffer.Allocate(kDevConfigBufferSize, 0)) return;
  auto* header = static_cast<VARSTRING*>(buffer.Raw());
  header->dwStringFormat = STRINGFORMAT_BINARY;
  if (lineGetDevConfig(static_cast<DWORD>(line_id_), header, kDataModemClass) != 0) return;
  std::uint8_t* block = buffer.MutableBytes() + kDevConfigBlockAt;
  // Never past the buffer, whatever size the provider claims.
  const DWORD size = std::min<DWORD>(header->dwStringSize, kDevConfigBufferSize - kDevConfigBlockAt);
  if (size >= kBlockSpeakerFieldsEnd && Read32(block + kBlockProviderSubTypeAt) == PST_MODEM) {
    if (modem_speaker_.Mode() != smDefault) {
      Write32(block + kBlockSpeakerModeAt, modem_speaker_.Mode() & kModemSettingMask);
    }
    if (modem_speaker_.Volume() != svDefault) {
      Write32(block + kBlockSpeakerVolumeAt, modem_speaker_.Volume() & kModemSettingMask);
    }
    Write16(block + kBlockOptionsAt, show_modem_icon_ ? kOptionShowLights : 0);
  }
  lineSetDevConfig(static_cast<DWORD>(line_id_), block, size, kDataModemClass);
}

void TelPhone::ApplyExtDevSettings() {
  for (const TExtDev* dev : {&ext_dev_handset_, &ext_dev_aux_}) {
    phoneSetHookSwitch(phone_, dev->Device(), dev->HookSwitchMode());
    phoneSetVolume(phone_, dev->Device(), TExtDev::TapiLevel(dev->SpeakerVolume()));
    phoneSetGain(phone_, dev->Device(), TExtDev::TapiLevel(dev->MicGain()));
  }
}

}  // namespace telvora::telephony
