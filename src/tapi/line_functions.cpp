// The line functions of tapi.h over TapiService's state.

#include <cstring>
#include <ctime>

#include "tapi/device_config_block.h"
#include "tapi/tapi.h"
#include "tapi/tapi_service.h"
#include "tapi/var_struct.h"

namespace telvora::tapi {
namespace {

TapiService& S() { return TapiService::Instance(); }

constexpr DWORD kValidPrivilegeMask = LINECALLPRIVILEGE_NONE | LINECALLPRIVILEGE_MONITOR |
                                      LINECALLPRIVILEGE_OWNER;
// Digits lineGenerateDigits can send.
constexpr const char* kDtmfDigits = "0123456789*#ABCDabcd,";
constexpr const char* kPulseDigits = "0123456789,";
constexpr DWORD kNumAddresses = 1;
constexpr DWORD kLineFeatureMakeCall = 0x00000008;  // LINEFEATURE_MAKECALL
// The call states a line of ours can report.
constexpr DWORD kReportedCallStates =
    LINECALLSTATE_IDLE | LINECALLSTATE_OFFERING | LINECALLSTATE_DIALTONE | LINECALLSTATE_DIALING |
    LINECALLSTATE_PROCEEDING | LINECALLSTATE_RINGBACK | LINECALLSTATE_BUSY |
    LINECALLSTATE_CONNECTED | LINECALLSTATE_ONHOLD | LINECALLSTATE_CONFERENCED |
    LINECALLSTATE_ONHOLDPENDCONF | LINECALLSTATE_ONHOLDPENDTRANSFER | LINECALLSTATE_DISCONNECTED;

std::string AddressText(const char* address) { return address == nullptr ? std::string() : address; }

// The features a call in `state` offers, limited to what the line can do.
DWORD CallFeatures(DWORD state, DWORD line_features) {
  DWORD features = 0;
  switch (state) {
    case LINECALLSTATE_OFFERING:
      features = LINECALLFEATURE_ANSWER | LINECALLFEATURE_DROP | LINECALLFEATURE_ACCEPT;
      break;
    case LINECALLSTATE_DIALTONE:
    case LINECALLSTATE_DIALING:
    case LINECALLSTATE_PROCEEDING:
    case LINECALLSTATE_RINGBACK:
      features = LINECALLFEATURE_DIAL | LINECALLFEATURE_DROP;
      break;
    case LINECALLSTATE_CONNECTED:
      features = LINECALLFEATURE_DROP | LINECALLFEATURE_HOLD | LINECALLFEATURE_BLINDTRANSFER |
                 LINECALLFEATURE_SETUPTRANSFER | LINECALLFEATURE_SETUPCONF |
                 LINECALLFEATURE_GENERATEDIGITS | LINECALLFEATURE_MONITORDIGITS |
                 LINECALLFEATURE_MONITORMEDIA | LINECALLFEATURE_MONITORTONES |
                 LINECALLFEATURE_SETCALLPARAMS | LINECALLFEATURE_DIAL;
      break;
    case LINECALLSTATE_ONHOLD:
    case LINECALLSTATE_ONHOLDPENDTRANSFER:
    case LINECALLSTATE_ONHOLDPENDCONF:
      features = LINECALLFEATURE_UNHOLD | LINECALLFEATURE_DROP | LINECALLFEATURE_COMPLETETRANSF |
                 LINECALLFEATURE_ADDTOCONF;
      break;
    case LINECALLSTATE_BUSY:
    case LINECALLSTATE_DISCONNECTED:
    case LINECALLSTATE_CONFERENCED:
      features = LINECALLFEATURE_DROP;
      break;
    default:
      break;
  }
  return features & line_features;
}

// Checks the caller's call parameters and turns them into the device's.
LONG ReadCallParams(const LINECALLPARAMS* params, const LineDeviceCaps& caps, CallRequest& out,
                    TapiService::Call& call) {
  // Without parameters a call is interactive voice, as on Windows, or the
  // line's lowest media mode when it has no voice.
  const DWORD lowest_mode = caps.media_modes & (0u - caps.media_modes);
  out.media_mode = (caps.media_modes & LINEMEDIAMODE_INTERACTIVEVOICE) != 0
                       ? LINEMEDIAMODE_INTERACTIVEVOICE
                       : lowest_mode;
  out.bearer_mode = LINEBEARERMODE_VOICE;
  if (params == nullptr) return 0;
  if (params->dwTotalSize < kMinCallParamsSize) return LINEERR_STRUCTURETOOSMALL;
  if (params->dwBearerMode != 0) {
    if (!IsSingleBit(params->dwBearerMode)) return LINEERR_INVALBEARERMODE;
    if ((params->dwBearerMode & caps.bearer_modes) == 0) return LINEERR_BEARERMODEUNAVAIL;
    out.bearer_mode = params->dwBearerMode;
  }
  if (params->dwMediaMode != 0) {
    if ((params->dwMediaMode & ~kAllMediaModes) != 0 ||
        (params->dwMediaMode & ~(caps.media_modes | LINEMEDIAMODE_UNKNOWN)) != 0) {
      return LINEERR_INVALMEDIAMODE;
    }
    out.media_mode = params->dwMediaMode;
  }
  if (params->dwMinRate > params->dwMaxRate && params->dwMaxRate != 0) return LINEERR_INVALRATE;
  if (params->dwAddressMode == LINEADDRESSMODE_ADDRESSID || params->dwAddressMode == 0) {
    if (params->dwAddressID >= kNumAddresses) return LINEERR_INVALADDRESSID;
  } else if (params->dwAddressMode != LINEADDRESSMODE_DIALABLEADDR) {
    return LINEERR_INVALADDRESSMODE;
  }
  out.address_id = 0;
  out.wait_for_dialtone = params->DialParams.dwWaitForDialtone != 0;
  call.call_param_flags = params->dwCallParamFlags;
  call.dial_params = params->DialParams;
  return 0;
}

TapiService::Call NewCall(TapiService& s, const TapiService::Line& line) {
  TapiService::Call call;
  call.handle = s.NewHandle();
  call.line = line.handle;
  call.device = line.device;
  call.call_id = s.NewCallId();
  return call;
}

// The owner's usual checks for an operation on a known call.
LONG OwnedCall(HCALL handle, TapiService::Call*& call) {
  call = S().FindCall(handle);
  if (call == nullptr || call->orphan) return LINEERR_INVALCALLHANDLE;
  if (call->privilege != LINECALLPRIVILEGE_OWNER) return LINEERR_NOTOWNER;
  return 0;
}

bool StateIn(const TapiService::Call& call, DWORD states) { return (call.state & states) != 0; }

LineDevice& DeviceOf(const TapiService::Call& call) { return *S().line_devs[call.device].device; }

bool KnownDeviceClass(const char* device_class) {
  if (device_class == nullptr) return false;
  return std::strcmp(device_class, "comm/datamodem") == 0 || std::strcmp(device_class, "comm") == 0 ||
         std::strcmp(device_class, "tapi/line") == 0;
}

LONG GetDevCaps(HLINEAPP app, DWORD device, DWORD version, DWORD ext, LINEDEVCAPS* out, bool wide) {
  std::lock_guard lock(S().mu);
  if (S().FindApp(app, false) == nullptr) return LINEERR_INVALAPPHANDLE;
  if (device >= S().line_devs.size()) return LINEERR_BADDEVICEID;
  if (!SupportedApiVersion(version)) return LINEERR_INCOMPATIBLEAPIVERSION;
  if (ext != 0) return LINEERR_INCOMPATIBLEEXTVERSION;
  if (out == nullptr) return LINEERR_INVALPOINTER;
  const LineDeviceCaps& caps = S().line_devs[device].caps;
  const DWORD format = wide ? STRINGFORMAT_UNICODE : caps.string_format;
  VarStruct v(sizeof(LINEDEVCAPS), LineDevCapsFixedSize(version));
  auto& c = v.Fixed<LINEDEVCAPS>();
  c.dwPermanentLineID = device;
  c.dwStringFormat = format;
  c.dwAddressModes = LINEADDRESSMODE_ADDRESSID;
  c.dwNumAddresses = kNumAddresses;
  c.dwBearerModes = caps.bearer_modes;
  c.dwMaxRate = caps.max_rate;
  c.dwMediaModes = caps.media_modes;
  c.dwGenerateDigitModes = caps.generate_digit_modes;
  c.dwMonitorDigitModes = caps.monitor_digit_modes;
  c.dwMonitorToneMaxNumFreq = caps.monitor_tone_max_freq;
  c.dwMonitorToneMaxNumEntries = caps.monitor_tone_max_entries;
  c.dwDevCapFlags = caps.dev_cap_flags;
  c.dwMaxNumActiveCalls = caps.max_active_calls;
  c.dwAnswerMode = LINEANSWERMODE_NONE;
  c.dwRingModes = 1;
  c.dwLineStates = caps.line_states;
  c.dwLineFeatures = kLineFeatureMakeCall;
  c.PermanentLineGuid.data[0] = device;
  v.AddText(offsetof(LINEDEVCAPS, dwProviderInfoSize), caps.provider_info, format);
  v.AddText(offsetof(LINEDEVCAPS, dwLineNameSize), caps.name, format);
  return v.CopyTo(out, LINEERR_STRUCTURETOOSMALL);
}

LONG GetAddressCaps(HLINEAPP app, DWORD device, DWORD address, DWORD version, DWORD ext,
                    LINEADDRESSCAPS* out, bool wide) {
  std::lock_guard lock(S().mu);
  if (S().FindApp(app, false) == nullptr) return LINEERR_INVALAPPHANDLE;
  if (device >= S().line_devs.size()) return LINEERR_BADDEVICEID;
  if (address >= kNumAddresses) return LINEERR_INVALADDRESSID;
  if (!SupportedApiVersion(version)) return LINEERR_INCOMPATIBLEAPIVERSION;
  if (ext != 0) return LINEERR_INCOMPATIBLEEXTVERSION;
  if (out == nullptr) return LINEERR_INVALPOINTER;
  const LineDeviceCaps& caps = S().line_devs[device].caps;
  const DWORD format = wide ? STRINGFORMAT_UNICODE : caps.string_format;
  VarStruct v(sizeof(LINEADDRESSCAPS), LineAddressCapsFixedSize(version));
  auto& c = v.Fixed<LINEADDRESSCAPS>();
  c.dwLineDeviceID = device;
  c.dwAddressSharing = LINEADDRESSSHARING_PRIVATE;
  c.dwCallInfoStates = LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLEDID |
                       LINECALLINFOSTATE_DISPLAY | LINECALLINFOSTATE_USERUSERINFO |
                       LINECALLINFOSTATE_ORIGIN | LINECALLINFOSTATE_REASON;
  c.dwCallerIDFlags = caps.caller_id_flags;
  c.dwCalledIDFlags = caps.called_id_flags;
  c.dwConnectedIDFlags = LINECALLPARTYID_UNAVAIL;
  c.dwRedirectionIDFlags = LINECALLPARTYID_UNAVAIL;
  c.dwRedirectingIDFlags = LINECALLPARTYID_UNAVAIL;
  c.dwCallStates = kReportedCallStates;
  c.dwDialToneModes = LINEDIALTONEMODE_UNAVAIL;
  c.dwBusyModes = LINEBUSYMODE_UNKNOWN;
  c.dwDisconnectModes = LINEDISCONNECTMODE_NORMAL | LINEDISCONNECTMODE_BUSY |
                        LINEDISCONNECTMODE_NOANSWER | LINEDISCONNECTMODE_NODIALTONE |
                        LINEDISCONNECTMODE_UNAVAIL | LINEDISCONNECTMODE_BADADDRESS;
  c.dwMaxNumActiveCalls = caps.max_active_calls;
  c.dwMaxNumConference = caps.max_conference;
  c.dwCallFeatures = caps.call_features;
  c.dwTransferModes = caps.transfer_modes;
  c.dwAvailableMediaModes = caps.media_modes;
  v.AddText(offsetof(LINEADDRESSCAPS, dwAddressSize), caps.address, format);
  return v.CopyTo(out, LINEERR_STRUCTURETOOSMALL);
}

LONG FillVarString(VARSTRING* out, const std::vector<std::uint8_t>& data, DWORD format) {
  if (out == nullptr) return LINEERR_INVALPOINTER;
  VarStruct v(sizeof(VARSTRING), sizeof(VARSTRING));
  v.Fixed<VARSTRING>().dwStringFormat = format;
  v.AddBytes(offsetof(VARSTRING, dwStringSize), data);
  return v.CopyTo(out, LINEERR_STRUCTURETOOSMALL);
}

std::vector<std::uint8_t> DwordBytes(DWORD value) {
  std::vector<std::uint8_t> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

}  // namespace

LONG lineInitializeExW(HLINEAPP* lphLineApp, HINSTANCE, LINECALLBACK lpfnCallback, const char16_t*,
                       DWORD* lpdwNumDevs, DWORD* lpdwAPIVersion,
                       LINEINITIALIZEEXPARAMS* lpLineInitializeExParams) {
  if (lpdwAPIVersion == nullptr) return LINEERR_INVALPOINTER;
  return S().InitializeApp(false, lphLineApp, lpfnCallback, true, lpdwNumDevs, lpdwAPIVersion,
                           lpLineInitializeExParams);
}

LONG lineInitialize(HLINEAPP* lphLineApp, HINSTANCE, LINECALLBACK lpfnCallback, const char*,
                    DWORD* lpdwNumDevs) {
  return S().InitializeApp(false, lphLineApp, lpfnCallback, false, lpdwNumDevs, nullptr, nullptr);
}

LONG lineShutdown(HLINEAPP hLineApp) { return S().ShutdownApp(hLineApp, false); }

LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                             DWORD dwAPIHighVersion, DWORD* lpdwAPIVersion,
                             LINEEXTENSIONID* lpExtensionID) {
  std::lock_guard lock(S().mu);
  if (S().FindApp(hLineApp, false) == nullptr) return LINEERR_INVALAPPHANDLE;
  if (dwDeviceID >= S().line_devs.size()) return LINEERR_BADDEVICEID;
  if (lpdwAPIVersion == nullptr || lpExtensionID == nullptr) return LINEERR_INVALPOINTER;
  for (DWORD version : {kApiVersion22, kApiVersion21, kApiVersion20, kApiVersion14, kApiVersion13}) {
    if (version >= dwAPILowVersion && version <= dwAPIHighVersion) {
      *lpdwAPIVersion = version;
      *lpExtensionID = LINEEXTENSIONID{};
      return 0;
    }
  }
  return LINEERR_INCOMPATIBLEAPIVERSION;
}

LONG lineGetDevCaps(HLINEAPP a, DWORD d, DWORD v, DWORD e, LINEDEVCAPS* c) {
  return GetDevCaps(a, d, v, e, c, false);
}
LONG lineGetDevCapsW(HLINEAPP a, DWORD d, DWORD v, DWORD e, LINEDEVCAPS* c) {
  return GetDevCaps(a, d, v, e, c, true);
}
LONG lineGetAddressCaps(HLINEAPP a, DWORD d, DWORD id, DWORD v, DWORD e, LINEADDRESSCAPS* c) {
  return GetAddressCaps(a, d, id, v, e, c, false);
}
LONG lineGetAddressCapsW(HLINEAPP a, DWORD d, DWORD id, DWORD v, DWORD e, LINEADDRESSCAPS* c) {
  return GetAddressCaps(a, d, id, v, e, c, true);
}

LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE* lphLine, DWORD dwAPIVersion,
              DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
              DWORD dwMediaModes, const LINECALLPARAMS*) {
  std::lock_guard gate_lock(S().gate);
  std::unique_lock lock(S().mu);
  if (S().FindApp(hLineApp, false) == nullptr) return LINEERR_INVALAPPHANDLE;
  if (dwDeviceID >= S().line_devs.size()) return LINEERR_BADDEVICEID;
  if (lphLine == nullptr) return LINEERR_INVALPOINTER;
  if (!SupportedApiVersion(dwAPIVersion)) return LINEERR_INCOMPATIBLEAPIVERSION;
  if (dwExtVersion != 0) return LINEERR_INCOMPATIBLEEXTVERSION;
  if ((dwPrivileges & ~kValidPrivilegeMask) != 0 || dwPrivileges == 0 ||
      ((dwPrivileges & LINECALLPRIVILEGE_NONE) != 0 && dwPrivileges != LINECALLPRIVILEGE_NONE)) {
    return LINEERR_INVALPRIVSELECT;
  }
  const LineDeviceCaps& caps = S().line_devs[dwDeviceID].caps;
  if ((dwPrivileges & LINECALLPRIVILEGE_OWNER) != 0) {
    if (dwMediaModes == 0 || (dwMediaModes & ~kAllMediaModes) != 0 ||
        (dwMediaModes & ~(caps.media_modes | LINEMEDIAMODE_UNKNOWN)) != 0) {
      return LINEERR_INVALMEDIAMODE;
    }
  }
  if (S().line_devs[dwDeviceID].open_lines == 0) {
    const LONG result = S().OpenLineDevice(lock, dwDeviceID);
    if (result != 0) return result;
  }
  TapiService::Line line;
  line.handle = S().NewHandle();
  line.app = hLineApp;
  line.device = dwDeviceID;
  line.instance = dwCallbackInstance;
  line.privileges = dwPrivileges;
  line.media_modes = dwMediaModes;
  line.version = dwAPIVersion;
  S().lines[line.handle] = line;
  ++S().line_devs[dwDeviceID].open_lines;
  *lphLine = line.handle;
  return 0;
}

LONG lineClose(HLINE hLine) {
  TapiService::Teardown teardown;
  std::lock_guard gate_lock(S().gate);
  {
    std::lock_guard lock(S().mu);
    if (S().FindLine(hLine) == nullptr) return LINEERR_INVALLINEHANDLE;
    S().CloseLineLocked(hLine, teardown);
  }
  teardown.Run();
  return 0;
}

LONG lineSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD) {
  std::lock_guard lock(S().mu);
  TapiService::Line* line = S().FindLine(hLine);
  if (line == nullptr) return LINEERR_INVALLINEHANDLE;
  if ((dwLineStates & ~kAllLineDevStates) != 0) return LINEERR_INVALLINESTATE;
  line->line_states = dwLineStates & S().line_devs[line->device].caps.line_states;
  return 0;
}

LONG lineGetID(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect, VARSTRING* lpDeviceID,
               const char* lpszDeviceClass) {
  std::unique_lock lock(S().mu);
  if (lpDeviceID == nullptr || lpszDeviceClass == nullptr) return LINEERR_INVALPOINTER;
  DWORD device = 0;
  HCALL call = 0;
  if (dwSelect == LINECALLSELECT_LINE || dwSelect == LINECALLSELECT_ADDRESS) {
    TapiService::Line* line = S().FindLine(hLine);
    if (line == nullptr) return LINEERR_INVALLINEHANDLE;
    if (dwSelect == LINECALLSELECT_ADDRESS && dwAddressID >= kNumAddresses) {
      return LINEERR_INVALADDRESSID;
    }
    device = line->device;
  } else if (dwSelect == LINECALLSELECT_CALL) {
    TapiService::Call* c = S().FindCall(hCall);
    if (c == nullptr || c->orphan) return LINEERR_INVALCALLHANDLE;
    device = c->device;
    call = c->handle;
  } else {
    return LINEERR_INVALCALLSELECT;
  }
  const LineDeviceCaps& caps = S().line_devs[device].caps;
  const std::string cls = lpszDeviceClass;
  if (cls == "tapi/line") return FillVarString(lpDeviceID, DwordBytes(device), STRINGFORMAT_BINARY);
  if (cls == "tapi/phone" && caps.phone_device >= 0) {
    return FillVarString(lpDeviceID, DwordBytes(static_cast<DWORD>(caps.phone_device)),
                         STRINGFORMAT_BINARY);
  }
  if ((cls == "wave/in" || cls == "wave/out") && caps.has_wave) {
    return FillVarString(lpDeviceID, DwordBytes(cls == "wave/in" ? caps.wave_in_id : caps.wave_out_id),
                         STRINGFORMAT_BINARY);
  }
  if ((cls == "comm" || cls == "comm/datamodem/portname") && caps.has_datamodem) {
    return FillVarString(lpDeviceID, EncodeText(caps.port_name, STRINGFORMAT_ASCII),
                         STRINGFORMAT_ASCII);
  }
  if (cls == "comm/datamodem" && caps.has_datamodem) {
    // A call gets a descriptor of its data channel (the caller closes it);
    // the line or an address gets the line's device id, telling that a
    // data modem belongs to the line. The port name follows either.
    std::vector<std::uint8_t> data;
    if (call != 0) {
      // Size the buffer before handing out a descriptor that would leak.
      const std::size_t needed = sizeof(VARSTRING) + sizeof(DWORD) + caps.port_name.size() + 1;
      if (lpDeviceID->dwTotalSize < needed) {
        if (lpDeviceID->dwTotalSize < sizeof(VARSTRING)) return LINEERR_STRUCTURETOOSMALL;
        lpDeviceID->dwNeededSize = static_cast<DWORD>(needed);
        lpDeviceID->dwUsedSize = sizeof(VARSTRING);
        lpDeviceID->dwStringFormat = STRINGFORMAT_BINARY;
        lpDeviceID->dwStringSize = 0;
        lpDeviceID->dwStringOffset = 0;
        return 0;
      }
      int fd = -1;
      const LONG result = S().line_devs[device].device->CommHandle(call, &fd);
      if (result != 0) return result;
      data = DwordBytes(static_cast<DWORD>(fd));
    } else {
      data = DwordBytes(device);
    }
    const auto name = EncodeText(caps.port_name, STRINGFORMAT_ASCII);
    data.insert(data.end(), name.begin(), name.end());
    return FillVarString(lpDeviceID, data, STRINGFORMAT_BINARY);
  }
  return LINEERR_INVALDEVICECLASS;
}

LONG lineGetDevConfig(DWORD dwDeviceID, VARSTRING* lpDeviceConfig, const char* lpszDeviceClass) {
  std::lock_guard lock(S().mu);
  if (S().apps.empty()) return LINEERR_UNINITIALIZED;
  if (dwDeviceID >= S().line_devs.size()) return LINEERR_BADDEVICEID;
  if (lpDeviceConfig == nullptr) return LINEERR_INVALPOINTER;
  if (!KnownDeviceClass(lpszDeviceClass)) return LINEERR_INVALDEVICECLASS;
  return FillVarString(lpDeviceConfig, S().line_devs[dwDeviceID].device->DevConfig(),
                       STRINGFORMAT_BINARY);
}

LONG lineSetDevConfig(DWORD dwDeviceID, const void* lpDeviceConfig, DWORD dwSize,
                      const char* lpszDeviceClass) {
  std::lock_guard lock(S().mu);
  if (S().apps.empty()) return LINEERR_UNINITIALIZED;
  if (dwDeviceID >= S().line_devs.size()) return LINEERR_BADDEVICEID;
  if (lpDeviceConfig == nullptr) return LINEERR_INVALPOINTER;
  if (!KnownDeviceClass(lpszDeviceClass)) return LINEERR_INVALDEVICECLASS;
  const auto* bytes = static_cast<const std::uint8_t*>(lpDeviceConfig);
  const LONG result =
      S().line_devs[dwDeviceID].device->SetDevConfig(std::vector<std::uint8_t>(bytes, bytes + dwSize));
  if (result != 0) return result;
  for (auto& [handle, line] : S().lines) {
    if (line.device == dwDeviceID && (line.line_states & LINEDEVSTATE_CONFIGCHANGE) != 0) {
      S().PostToLine(line, handle, LINE_LINEDEVSTATE, LINEDEVSTATE_CONFIGCHANGE, 0, 0);
    }
  }
  return 0;
}

LONG lineConfigDialog(DWORD dwDeviceID, HWND hwndOwner, const char* lpszDeviceClass) {
  ConfigDialogHandler handler;
  std::vector<std::uint8_t> config;
  {
    std::lock_guard lock(S().mu);
    if (S().apps.empty()) return LINEERR_UNINITIALIZED;
    if (dwDeviceID >= S().line_devs.size()) return LINEERR_BADDEVICEID;
    if (lpszDeviceClass != nullptr && !KnownDeviceClass(lpszDeviceClass)) {
      return LINEERR_INVALDEVICECLASS;
    }
    if (!S().config_dialog) return LINEERR_OPERATIONUNAVAIL;
    handler = S().config_dialog;
    config = S().line_devs[dwDeviceID].device->DevConfig();
  }
  // The dialog runs without the lock: it may take as long as the user does.
  const LONG result = handler(dwDeviceID, hwndOwner, config);
  if (result != 0) return result;
  return lineSetDevConfig(dwDeviceID, config.data(), static_cast<DWORD>(config.size()),
                          "comm/datamodem");
}

LONG lineMakeCall(HLINE hLine, HCALL* lphCall, const char* lpszDestAddress, DWORD dwCountryCode,
                  const LINECALLPARAMS* lpCallParams) {
  std::lock_guard lock(S().mu);
  TapiService::Line* line = S().FindLine(hLine);
  if (line == nullptr) return LINEERR_INVALLINEHANDLE;
  if (lphCall == nullptr) return LINEERR_INVALPOINTER;
  (void)dwCountryCode;
  const TapiService::LineDev& dev = S().line_devs[line->device];
  TapiService::Call call = NewCall(S(), *line);
  CallRequest request;
  if (const LONG r = ReadCallParams(lpCallParams, dev.caps, request, call); r != 0) return r;
  DWORD active = 0;
  for (auto& [h, c] : S().calls) {
    if (c.device == line->device && !c.orphan && c.state != LINECALLSTATE_IDLE) ++active;
  }
  if (active >= dev.caps.max_active_calls) return LINEERR_CALLUNAVAIL;
  call.address = AddressText(lpszDestAddress);
  call.media_mode = request.media_mode;
  call.bearer_mode = request.bearer_mode;
  call.origin = LINECALLORIGIN_OUTBOUND;
  call.details.called.flags = call.address.empty() ? LINECALLPARTYID_UNKNOWN : LINECALLPARTYID_ADDRESS;
  call.details.called.number = call.address;
  const HCALL handle = call.handle;
  S().calls[handle] = std::move(call);
  const DWORD id = S().RegisterRequest(TapiService::RequestKind::kLine, hLine, {handle},
                                       {{lphCall, handle}});
  const LONG result = dev.device->MakeCall(id, handle, AddressText(lpszDestAddress), request);
  if (result < 0) {
    S().requests.erase(id);
    S().calls.erase(handle);
    return result;
  }
  return static_cast<LONG>(id);
}

LONG lineDial(HCALL hCall, const char* lpszDestAddress, DWORD) {
  std::lock_guard lock(S().mu);
  TapiService::Call* call;
  if (const LONG r = OwnedCall(hCall, call); r != 0) return r;
  if (lpszDestAddress == nullptr) return LINEERR_INVALPOINTER;
  if (StateIn(*call, LINECALLSTATE_IDLE | LINECALLSTATE_OFFERING | LINECALLSTATE_DISCONNECTED |
                         LINECALLSTATE_BUSY) || call->state == 0) {
    return LINEERR_INVALCALLSTATE;
  }
  const DWORD id = S().RegisterRequest(TapiService::RequestKind::kLine, call->line);
  const LONG result = DeviceOf(*call).Dial(id, hCall, lpszDestAddress);
  if (result < 0) {
    S().requests.erase(id);
    return result;
  }
  call->address += lpszDestAddress;
  return static_cast<LONG>(id);
}

namespace {

// The shape of most asynchronous call operations: checks, a request, the
// device's answer.
template <class Op>
LONG AsyncOnCall(HCALL hCall, DWORD allowed_states, Op op) {
  std::lock_guard lock(S().mu);
  TapiService::Call* call;
  if (const LONG r = OwnedCall(hCall, call); r != 0) return r;
  if (!StateIn(*call, allowed_states)) return LINEERR_INVALCALLSTATE;
  const DWORD id = S().RegisterRequest(TapiService::RequestKind::kLine, call->line);
  const LONG result = op(DeviceOf(*call), id, *call);
  if (result < 0) {
    S().requests.erase(id);
    return result;
  }
  return static_cast<LONG>(id);
}

constexpr DWORD kAnyLiveState = ~static_cast<DWORD>(LINECALLSTATE_IDLE);

}  // namespace

LONG lineDrop(HCALL hCall, const char*, DWORD) {
  return AsyncOnCall(hCall, kAnyLiveState, [](LineDevice& d, DWORD id, TapiService::Call& c) {
    return d.Drop(id, c.handle);
  });
}

LONG lineAnswer(HCALL hCall, const char*, DWORD) {
  return AsyncOnCall(hCall, LINECALLSTATE_OFFERING | LINECALLSTATE_ACCEPTED,
                     [](LineDevice& d, DWORD id, TapiService::Call& c) { return d.Answer(id, c.handle); });
}

LONG lineHold(HCALL hCall) {
  return AsyncOnCall(hCall, LINECALLSTATE_CONNECTED,
                     [](LineDevice& d, DWORD id, TapiService::Call& c) { return d.Hold(id, c.handle); });
}

LONG lineUnhold(HCALL hCall) {
  return AsyncOnCall(hCall, LINECALLSTATE_ONHOLD, [](LineDevice& d, DWORD id, TapiService::Call& c) {
    return d.Unhold(id, c.handle);
  });
}

LONG lineBlindTransfer(HCALL hCall, const char* lpszDestAddress, DWORD) {
  if (lpszDestAddress == nullptr) return LINEERR_INVALPOINTER;
  const std::string address = lpszDestAddress;
  return AsyncOnCall(hCall, LINECALLSTATE_CONNECTED,
                     [&address](LineDevice& d, DWORD id, TapiService::Call& c) {
                       return d.BlindTransfer(id, c.handle, address);
                     });
}

LONG lineSetCallParams(HCALL hCall, DWORD dwBearerMode, DWORD dwMinRate, DWORD dwMaxRate,
                       const LINEDIALPARAMS* lpDialParams) {
  if (!IsSingleBit(dwBearerMode)) return LINEERR_INVALBEARERMODE;
  if (dwMinRate > dwMaxRate) return LINEERR_INVALRATE;
  return AsyncOnCall(hCall, kAnyLiveState & ~static_cast<DWORD>(LINECALLSTATE_DISCONNECTED),
                     [&](LineDevice& d, DWORD id, TapiService::Call& c) {
                       if ((dwBearerMode & S().line_devs[c.device].caps.bearer_modes) == 0) {
                         return LINEERR_BEARERMODEUNAVAIL;
                       }
                       const LONG r = d.SetCallParams(id, c.handle, dwBearerMode, dwMinRate, dwMaxRate);
                       if (r == 0) {
                         c.bearer_mode = dwBearerMode;
                         if (lpDialParams != nullptr) c.dial_params = *lpDialParams;
                       }
                       return r;
                     });
}

LONG lineSetupTransfer(HCALL hCall, HCALL* lphConsultCall, const LINECALLPARAMS*) {
  std::lock_guard lock(S().mu);
  TapiService::Call* call;
  if (const LONG r = OwnedCall(hCall, call); r != 0) return r;
  if (lphConsultCall == nullptr) return LINEERR_INVALPOINTER;
  if (!StateIn(*call, LINECALLSTATE_CONNECTED)) return LINEERR_INVALCALLSTATE;
  TapiService::Call consult = NewCall(S(), S().lines[call->line]);
  consult.related_call_id = call->call_id;
  const HCALL consult_handle = consult.handle;
  const HCALL primary = call->handle;
  const HLINE line = call->line;
  LineDevice& device = DeviceOf(*call);
  S().calls[consult_handle] = std::move(consult);
  const DWORD id = S().RegisterRequest(TapiService::RequestKind::kLine, line, {consult_handle},
                                       {{lphConsultCall, consult_handle}});
  const LONG result = device.SetupTransfer(id, primary, consult_handle);
  if (result < 0) {
    S().requests.erase(id);
    S().calls.erase(consult_handle);
    return result;
  }
  return static_cast<LONG>(id);
}

LONG lineCompleteTransfer(HCALL hCall, HCALL hConsultCall, HCALL* lphConfCall,
                          DWORD dwTransferMode) {
  std::lock_guard lock(S().mu);
  TapiService::Call* call;
  if (const LONG r = OwnedCall(hCall, call); r != 0) return r;
  TapiService::Call* consult = S().FindCall(hConsultCall);
  if (consult == nullptr || consult->line != call->line) return LINEERR_INVALCONSULTCALLHANDLE;
  if (dwTransferMode != LINETRANSFERMODE_TRANSFER && dwTransferMode != LINETRANSFERMODE_CONFERENCE) {
    return LINEERR_INVALTRANSFERMODE;
  }
  if (dwTransferMode == LINETRANSFERMODE_CONFERENCE && lphConfCall == nullptr) {
    return LINEERR_INVALPOINTER;
  }
  if (StateIn(*call, LINECALLSTATE_IDLE | LINECALLSTATE_DISCONNECTED) ||
      StateIn(*consult, LINECALLSTATE_IDLE | LINECALLSTATE_DISCONNECTED)) {
    return LINEERR_INVALCALLSTATE;
  }
  const HCALL primary = call->handle;
  const HLINE line = call->line;
  LineDevice& device = DeviceOf(*call);
  HCALL conference = 0;
  std::vector<HCALL> creates;
  std::vector<std::pair<HCALL*, HCALL>> writes;
  if (dwTransferMode == LINETRANSFERMODE_CONFERENCE) {
    TapiService::Call conf = NewCall(S(), S().lines[line]);
    conf.origin = LINECALLORIGIN_CONFERENCE;
    conference = conf.handle;
    S().calls[conference] = std::move(conf);
    creates.push_back(conference);
    writes.emplace_back(lphConfCall, conference);
  }
  const DWORD id = S().RegisterRequest(TapiService::RequestKind::kLine, line, creates, writes);
  const LONG result = device.CompleteTransfer(id, primary, hConsultCall, conference);
  if (result < 0) {
    S().requests.erase(id);
    if (conference != 0) S().calls.erase(conference);
    return result;
  }
  return static_cast<LONG>(id);
}

LONG lineSetupConference(HCALL hCall, HLINE hLine, HCALL* lphConfCall, HCALL* lphConsultCall,
                         DWORD dwNumParties, const LINECALLPARAMS*) {
  std::lock_guard lock(S().mu);
  TapiService::Call* call = nullptr;
  HLINE line_handle = hLine;
  if (hCall != 0) {
    if (const LONG r = OwnedCall(hCall, call); r != 0) return r;
    if (!StateIn(*call, LINECALLSTATE_CONNECTED)) return LINEERR_INVALCALLSTATE;
    line_handle = call->line;
  } else if (S().FindLine(hLine) == nullptr) {
    return LINEERR_INVALLINEHANDLE;
  }
  if (lphConfCall == nullptr || lphConsultCall == nullptr) return LINEERR_INVALPOINTER;
  const TapiService::LineDev& dev = S().line_devs[S().lines[line_handle].device];
  if (dwNumParties < 2 || (dev.caps.max_conference != 0 && dwNumParties > dev.caps.max_conference)) {
    return LINEERR_INVALPARAM;
  }
  TapiService::Call conf = NewCall(S(), S().lines[line_handle]);
  conf.origin = LINECALLORIGIN_CONFERENCE;
  TapiService::Call consult = NewCall(S(), S().lines[line_handle]);
  const HCALL conf_handle = conf.handle, consult_handle = consult.handle;
  S().calls[conf_handle] = std::move(conf);
  S().calls[consult_handle] = std::move(consult);
  const DWORD id = S().RegisterRequest(TapiService::RequestKind::kLine, line_handle,
                                       {conf_handle, consult_handle},
                                       {{lphConfCall, conf_handle}, {lphConsultCall, consult_handle}});
  const LONG result = dev.device->SetupConference(id, hCall, conf_handle, consult_handle);
  if (result < 0) {
    S().requests.erase(id);
    S().calls.erase(conf_handle);
    S().calls.erase(consult_handle);
    return result;
  }
  return static_cast<LONG>(id);
}

LONG lineAddToConference(HCALL hConfCall, HCALL hConsultCall) {
  std::lock_guard lock(S().mu);
  TapiService::Call* conf;
  if (OwnedCall(hConfCall, conf) != 0 || conf->origin != LINECALLORIGIN_CONFERENCE) {
    return LINEERR_INVALCONFCALLHANDLE;
  }
  TapiService::Call* consult = S().FindCall(hConsultCall);
  if (consult == nullptr || consult->line != conf->line) return LINEERR_INVALCONSULTCALLHANDLE;
  if (StateIn(*consult, LINECALLSTATE_IDLE | LINECALLSTATE_DISCONNECTED | LINECALLSTATE_CONFERENCED)) {
    return LINEERR_INVALCALLSTATE;
  }
  const DWORD id = S().RegisterRequest(TapiService::RequestKind::kLine, conf->line);
  const LONG result = DeviceOf(*conf).AddToConference(id, hConfCall, hConsultCall);
  if (result < 0) {
    S().requests.erase(id);
    return result;
  }
  return static_cast<LONG>(id);
}

LONG lineDeallocateCall(HCALL hCall) {
  std::lock_guard lock(S().mu);
  TapiService::Call* call = S().FindCall(hCall);
  if (call == nullptr) return LINEERR_INVALCALLHANDLE;
  // The only owner must let the call go idle first (drop it).
  if (call->privilege == LINECALLPRIVILEGE_OWNER && !call->orphan && call->state != LINECALLSTATE_IDLE &&
      call->state != 0) {
    return LINEERR_INVALCALLSTATE;
  }
  if (!call->orphan) DeviceOf(*call).CallDeallocated(hCall);
  S().calls.erase(hCall);
  return 0;
}

LONG lineGetCallInfo(HCALL hCall, LINECALLINFO* lpCallInfo) {
  std::lock_guard lock(S().mu);
  TapiService::Call* call = S().FindCall(hCall);
  if (call == nullptr) return LINEERR_INVALCALLHANDLE;
  if (lpCallInfo == nullptr) return LINEERR_INVALPOINTER;
  auto line = S().lines.find(call->line);
  const DWORD version = line == S().lines.end() ? kHighestApiVersion : line->second.version;
  // The call's texts come in the line's own string format, the one
  // lineGetDevCaps reports: an application reads both by the same rule.
  const DWORD format = S().line_devs[call->device].caps.string_format;
  VarStruct v(sizeof(LINECALLINFO), LineCallInfoFixedSize(version));
  auto& c = v.Fixed<LINECALLINFO>();
  c.hLine = call->line;
  c.dwLineDeviceID = call->device;
  c.dwAddressID = 0;
  c.dwBearerMode = call->bearer_mode;
  c.dwRate = call->rate;
  c.dwMediaMode = call->media_mode;
  c.dwCallID = call->call_id;
  c.dwRelatedCallID = call->related_call_id;
  c.dwCallParamFlags = call->call_param_flags;
  c.dwCallStates = kReportedCallStates;
  c.dwMonitorDigitModes = call->monitor_digit_modes;
  c.dwMonitorMediaModes = call->monitor_media_modes;
  c.DialParams = call->dial_params;
  c.dwOrigin = call->origin;
  c.dwReason = call->reason;
  c.dwNumOwners = call->privilege == LINECALLPRIVILEGE_OWNER ? 1 : 0;
  c.dwNumMonitors = call->privilege == LINECALLPRIVILEGE_MONITOR ? 1 : 0;
  c.dwCallerIDFlags = call->details.caller.flags;
  c.dwCalledIDFlags = call->details.called.flags;
  c.dwConnectedIDFlags = LINECALLPARTYID_UNKNOWN;
  c.dwRedirectionIDFlags = LINECALLPARTYID_UNKNOWN;
  c.dwRedirectingIDFlags = LINECALLPARTYID_UNKNOWN;
  const auto text = [&](std::size_t field, const std::string& value) {
    if (!value.empty()) v.AddText(field, value, format);
  };
  text(offsetof(LINECALLINFO, dwCallerIDSize), call->details.caller.number);
  text(offsetof(LINECALLINFO, dwCallerIDNameSize), call->details.caller.name);
  text(offsetof(LINECALLINFO, dwCalledIDSize), call->details.called.number);
  text(offsetof(LINECALLINFO, dwCalledIDNameSize), call->details.called.name);
  text(offsetof(LINECALLINFO, dwDisplayableAddressSize), call->address);
  text(offsetof(LINECALLINFO, dwDisplaySize), call->details.display);
  if (!call->details.user_user_info.empty()) {
    v.Add(offsetof(LINECALLINFO, dwUserUserInfoSize), call->details.user_user_info.data(),
          call->details.user_user_info.size());
  }
  return v.CopyTo(lpCallInfo, LINEERR_STRUCTURETOOSMALL);
}

LONG lineGetCallStatus(HCALL hCall, LINECALLSTATUS* lpCallStatus) {
  std::lock_guard lock(S().mu);
  TapiService::Call* call = S().FindCall(hCall);
  if (call == nullptr) return LINEERR_INVALCALLHANDLE;
  if (lpCallStatus == nullptr) return LINEERR_INVALPOINTER;
  auto line = S().lines.find(call->line);
  const DWORD version = line == S().lines.end() ? kHighestApiVersion : line->second.version;
  VarStruct v(sizeof(LINECALLSTATUS), LineCallStatusFixedSize(version));
  auto& c = v.Fixed<LINECALLSTATUS>();
  c.dwCallState = call->state == 0 ? LINECALLSTATE_UNKNOWN : call->state;
  c.dwCallStateMode = call->mode;
  c.dwCallPrivilege = call->privilege;
  c.dwCallFeatures = call->privilege == LINECALLPRIVILEGE_OWNER && !call->orphan
                         ? CallFeatures(call->state, S().line_devs[call->device].caps.call_features)
                         : 0;
  const std::time_t t = std::chrono::system_clock::to_time_t(call->state_time);
  std::tm tm{};
  gmtime_r(&t, &tm);
  c.tStateEntryTime = {static_cast<WORD>(tm.tm_year + 1900), static_cast<WORD>(tm.tm_mon + 1),
                       static_cast<WORD>(tm.tm_wday), static_cast<WORD>(tm.tm_mday),
                       static_cast<WORD>(tm.tm_hour), static_cast<WORD>(tm.tm_min),
                       static_cast<WORD>(tm.tm_sec), 0};
  return v.CopyTo(lpCallStatus, LINEERR_STRUCTURETOOSMALL);
}

LONG lineGenerateDigits(HCALL hCall, DWORD dwDigitMode, const char* lpszDigits, DWORD) {
  std::lock_guard lock(S().mu);
  TapiService::Call* call;
  if (const LONG r = OwnedCall(hCall, call); r != 0) return r;
  const LineDeviceCaps& caps = S().line_devs[call->device].caps;
  if (!IsSingleBit(dwDigitMode) || (dwDigitMode & caps.generate_digit_modes) == 0) {
    return LINEERR_INVALDIGITMODE;
  }
  if (!StateIn(*call, LINECALLSTATE_CONNECTED)) return LINEERR_INVALCALLSTATE;
  if (lpszDigits == nullptr) return 0;  // cancels a generation in progress: none lasts here
  const char* allowed = dwDigitMode == LINEDIGITMODE_PULSE ? kPulseDigits : kDtmfDigits;
  for (const char* p = lpszDigits; *p != '\0'; ++p) {
    if (std::strchr(allowed, *p) == nullptr) return LINEERR_INVALDIGITS;
  }
  return DeviceOf(*call).GenerateDigits(hCall, dwDigitMode, lpszDigits);
}

LONG lineMonitorDigits(HCALL hCall, DWORD dwDigitModes) {
  std::lock_guard lock(S().mu);
  TapiService::Call* call = S().FindCall(hCall);
  if (call == nullptr || call->orphan) return LINEERR_INVALCALLHANDLE;
  if ((dwDigitModes & ~S().line_devs[call->device].caps.monitor_digit_modes) != 0) {
    return LINEERR_INVALDIGITMODE;
  }
  if (call->state == LINECALLSTATE_IDLE) return LINEERR_INVALCALLSTATE;
  call->monitor_digit_modes = dwDigitModes;
  return 0;
}

LONG lineMonitorMedia(HCALL hCall, DWORD dwMediaModes) {
  std::lock_guard lock(S().mu);
  TapiService::Call* call = S().FindCall(hCall);
  if (call == nullptr || call->orphan) return LINEERR_INVALCALLHANDLE;
  if ((dwMediaModes & ~(S().line_devs[call->device].caps.media_modes | LINEMEDIAMODE_UNKNOWN)) != 0) {
    return LINEERR_INVALMEDIAMODE;
  }
  if (call->state == LINECALLSTATE_IDLE) return LINEERR_INVALCALLSTATE;
  call->monitor_media_modes = dwMediaModes;
  return 0;
}

LONG lineMonitorTones(HCALL hCall, const LINEMONITORTONE* lpToneList, DWORD dwNumEntries) {
  std::lock_guard lock(S().mu);
  TapiService::Call* call = S().FindCall(hCall);
  if (call == nullptr || call->orphan) return LINEERR_INVALCALLHANDLE;
  if (call->state == LINECALLSTATE_IDLE) return LINEERR_INVALCALLSTATE;
  if (lpToneList == nullptr) {
    call->tones.clear();
    return 0;
  }
  const LineDeviceCaps& caps = S().line_devs[call->device].caps;
  if (dwNumEntries == 0 || dwNumEntries > caps.monitor_tone_max_entries) return LINEERR_INVALTONELIST;
  call->tones.assign(lpToneList, lpToneList + dwNumEntries);
  return 0;
}

void SetDeviceFactory(DeviceFactory factory) {
  std::lock_guard lock(S().mu);
  S().factory = std::move(factory);
}

void SetConfigDialogHandler(ConfigDialogHandler handler) {
  std::lock_guard lock(S().mu);
  S().config_dialog = std::move(handler);
}

}  // namespace telvora::tapi
