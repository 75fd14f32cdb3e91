// The phone functions of tapi.h over TapiService's state.

#include "tapi/tapi.h"
#include "tapi/tapi_service.h"
#include "tapi/var_struct.h"

namespace telvora::tapi {
namespace {

TapiService& S() { return TapiService::Instance(); }

constexpr DWORD kMaxLevel = 0xFFFF;  // volumes and gains run 0..0xFFFF
constexpr DWORD kHookSwitchModes = PHONEHOOKSWITCHMODE_ONHOOK | PHONEHOOKSWITCHMODE_MIC |
                                   PHONEHOOKSWITCHMODE_SPEAKER | PHONEHOOKSWITCHMODE_MICSPEAKER;

DWORD ModesOf(const PhoneDeviceCaps& caps, DWORD dev) {
  switch (dev) {
    case PHONEHOOKSWITCHDEV_HANDSET: return caps.handset_modes;
    case PHONEHOOKSWITCHDEV_SPEAKER: return caps.speaker_modes;
    case PHONEHOOKSWITCHDEV_HEADSET: return caps.headset_modes;
    default: return 0;
  }
}

struct Found {
  TapiService::Phone* phone = nullptr;
  TapiService::PhoneDev* dev = nullptr;
};

LONG FindOwned(HPHONE handle, Found& found, bool need_owner) {
  found.phone = S().FindPhone(handle);
  if (found.phone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  if (need_owner && found.phone->privilege != PHONEPRIVILEGE_OWNER) return PHONEERR_NOTOWNER;
  found.dev = &S().phone_devs[found.phone->device];
  return 0;
}

template <class Op>
LONG Async(HPHONE handle, Op op) {
  // REQUIRES: mu held, checks done by the caller.
  const DWORD id = S().RegisterRequest(TapiService::RequestKind::kPhone, handle);
  const LONG result = op(id);
  if (result < 0) {
    S().requests.erase(id);
    return result;
  }
  return static_cast<LONG>(id);
}

}  // namespace

LONG phoneInitializeExW(HPHONEAPP* lphPhoneApp, HINSTANCE, PHONECALLBACK lpfnCallback,
                        const char16_t*, DWORD* lpdwNumDevs, DWORD* lpdwAPIVersion,
                        PHONEINITIALIZEEXPARAMS* lpPhoneInitializeExParams) {
  if (lpdwAPIVersion == nullptr) return PHONEERR_INVALPOINTER;
  return S().InitializeApp(true, lphPhoneApp, lpfnCallback, true, lpdwNumDevs, lpdwAPIVersion,
                           lpPhoneInitializeExParams);
}

LONG phoneInitialize(HPHONEAPP* lphPhoneApp, HINSTANCE, PHONECALLBACK lpfnCallback, const char*,
                     DWORD* lpdwNumDevs) {
  return S().InitializeApp(true, lphPhoneApp, lpfnCallback, false, lpdwNumDevs, nullptr, nullptr);
}

LONG phoneShutdown(HPHONEAPP hPhoneApp) { return S().ShutdownApp(hPhoneApp, true); }

LONG phoneNegotiateAPIVersion(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                              DWORD dwAPIHighVersion, DWORD* lpdwAPIVersion,
                              PHONEEXTENSIONID* lpExtensionID) {
  std::lock_guard lock(S().mu);
  if (S().FindApp(hPhoneApp, true) == nullptr) return PHONEERR_INVALAPPHANDLE;
  if (dwDeviceID >= S().phone_devs.size()) return PHONEERR_BADDEVICEID;
  if (lpdwAPIVersion == nullptr || lpExtensionID == nullptr) return PHONEERR_INVALPOINTER;
  for (DWORD version : {kApiVersion22, kApiVersion21, kApiVersion20, kApiVersion14, kApiVersion13}) {
    if (version >= dwAPILowVersion && version <= dwAPIHighVersion) {
      *lpdwAPIVersion = version;
      *lpExtensionID = PHONEEXTENSIONID{};
      return 0;
    }
  }
  return PHONEERR_INCOMPATIBLEAPIVERSION;
}

LONG phoneGetDevCaps(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                     PHONECAPS* lpPhoneCaps) {
  std::lock_guard lock(S().mu);
  TapiService::App* app = S().FindApp(hPhoneApp, true);
  if (app == nullptr) return PHONEERR_INVALAPPHANDLE;
  if (dwDeviceID >= S().phone_devs.size()) return PHONEERR_BADDEVICEID;
  if (!SupportedApiVersion(dwAPIVersion)) return PHONEERR_INCOMPATIBLEAPIVERSION;
  if (dwExtVersion != 0) return PHONEERR_INCOMPATIBLEEXTVERSION;
  if (lpPhoneCaps == nullptr) return PHONEERR_INVALPOINTER;
  const PhoneDeviceCaps& caps = S().phone_devs[dwDeviceID].caps;
  const DWORD format = app->unicode ? STRINGFORMAT_UNICODE : caps.string_format;
  VarStruct v(sizeof(PHONECAPS), PhoneCapsFixedSize(dwAPIVersion));
  auto& c = v.Fixed<PHONECAPS>();
  c.dwPermanentPhoneID = dwDeviceID;
  c.dwStringFormat = format;
  c.dwPhoneStates = kAllPhoneStates;
  c.dwHookSwitchDevs = caps.hook_switch_devs;
  c.dwHandsetHookSwitchModes = caps.handset_modes;
  c.dwSpeakerHookSwitchModes = caps.speaker_modes;
  c.dwHeadsetHookSwitchModes = caps.headset_modes;
  c.dwVolumeFlags = caps.volume_flags;
  c.dwGainFlags = caps.gain_flags;
  c.dwDisplayNumRows = caps.display_rows;
  c.dwDisplayNumColumns = caps.display_columns;
  c.dwNumRingModes = caps.ring_modes;
  c.dwNumButtonLamps = caps.lamps;
  c.dwSettableHandsetHookSwitchModes = caps.handset_modes;
  c.dwSettableSpeakerHookSwitchModes = caps.speaker_modes;
  c.dwSettableHeadsetHookSwitchModes = caps.headset_modes;
  c.dwMonitoredHandsetHookSwitchModes = caps.handset_modes;
  c.dwMonitoredSpeakerHookSwitchModes = caps.speaker_modes;
  c.dwMonitoredHeadsetHookSwitchModes = caps.headset_modes;
  v.AddText(offsetof(PHONECAPS, dwProviderInfoSize), caps.provider_info, format);
  v.AddText(offsetof(PHONECAPS, dwPhoneNameSize), caps.name, format);
  if (caps.lamps > 0) {
    const std::vector<DWORD> lamp_modes(caps.lamps, kAllLampModes);
    v.Add(offsetof(PHONECAPS, dwLampModesSize), lamp_modes.data(), lamp_modes.size() * sizeof(DWORD));
  }
  return v.CopyTo(lpPhoneCaps, PHONEERR_STRUCTURETOOSMALL);
}

LONG phoneOpen(HPHONEAPP hPhoneApp, DWORD dwDeviceID, HPHONE* lphPhone, DWORD dwAPIVersion,
               DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivilege) {
  std::lock_guard gate_lock(S().gate);
  std::unique_lock lock(S().mu);
  if (S().FindApp(hPhoneApp, true) == nullptr) return PHONEERR_INVALAPPHANDLE;
  if (dwDeviceID >= S().phone_devs.size()) return PHONEERR_BADDEVICEID;
  if (lphPhone == nullptr) return PHONEERR_INVALPOINTER;
  if (!SupportedApiVersion(dwAPIVersion)) return PHONEERR_INCOMPATIBLEAPIVERSION;
  if (dwExtVersion != 0) return PHONEERR_INCOMPATIBLEEXTVERSION;
  if (dwPrivilege != PHONEPRIVILEGE_OWNER && dwPrivilege != PHONEPRIVILEGE_MONITOR) {
    return PHONEERR_INVALPRIVILEGE;
  }
  // One owner at a time, as on Windows.
  if (dwPrivilege == PHONEPRIVILEGE_OWNER) {
    for (auto& [h, p] : S().phones) {
      if (p.device == dwDeviceID && p.privilege == PHONEPRIVILEGE_OWNER) return PHONEERR_INUSE;
    }
  }
  if (S().phone_devs[dwDeviceID].open_phones == 0) {
    const LONG result = S().OpenPhoneDevice(lock, dwDeviceID);
    if (result != 0) return result;
  }
  TapiService::Phone phone;
  phone.handle = S().NewHandle();
  phone.app = hPhoneApp;
  phone.device = dwDeviceID;
  phone.instance = dwCallbackInstance;
  phone.privilege = dwPrivilege;
  phone.version = dwAPIVersion;
  S().phones[phone.handle] = phone;
  ++S().phone_devs[dwDeviceID].open_phones;
  *lphPhone = phone.handle;
  return 0;
}

LONG phoneClose(HPHONE hPhone) {
  TapiService::Teardown teardown;
  std::lock_guard gate_lock(S().gate);
  {
    std::lock_guard lock(S().mu);
    if (S().FindPhone(hPhone) == nullptr) return PHONEERR_INVALPHONEHANDLE;
    S().ClosePhoneLocked(hPhone, teardown);
  }
  teardown.Run();
  return 0;
}

LONG phoneSetStatusMessages(HPHONE hPhone, DWORD dwPhoneStates, DWORD, DWORD) {
  std::lock_guard lock(S().mu);
  TapiService::Phone* phone = S().FindPhone(hPhone);
  if (phone == nullptr) return PHONEERR_INVALPHONEHANDLE;
  if ((dwPhoneStates & ~kAllPhoneStates) != 0) return PHONEERR_INVALPARAM;
  phone->phone_states = dwPhoneStates;
  return 0;
}

LONG phoneSetHookSwitch(HPHONE hPhone, DWORD dwHookSwitchDevs, DWORD dwHookSwitchMode) {
  std::lock_guard lock(S().mu);
  Found f;
  if (const LONG r = FindOwned(hPhone, f, true); r != 0) return r;
  if (dwHookSwitchDevs == 0 || (dwHookSwitchDevs & ~f.dev->caps.hook_switch_devs) != 0) {
    return PHONEERR_INVALHOOKSWITCHDEV;
  }
  if (!IsSingleBit(dwHookSwitchMode) || (dwHookSwitchMode & kHookSwitchModes) == 0) {
    return PHONEERR_INVALHOOKSWITCHMODE;
  }
  for (DWORD dev = 1; dev <= PHONEHOOKSWITCHDEV_HEADSET; dev <<= 1) {
    if ((dwHookSwitchDevs & dev) != 0 && (ModesOf(f.dev->caps, dev) & dwHookSwitchMode) == 0) {
      return PHONEERR_INVALHOOKSWITCHMODE;
    }
  }
  PhoneDevice* device = f.dev->device.get();
  return Async(hPhone, [&](DWORD id) { return device->SetHookSwitch(id, dwHookSwitchDevs, dwHookSwitchMode); });
}

LONG phoneGetHookSwitch(HPHONE hPhone, DWORD* lpdwHookSwitchDevs) {
  std::lock_guard lock(S().mu);
  Found f;
  if (const LONG r = FindOwned(hPhone, f, false); r != 0) return r;
  if (lpdwHookSwitchDevs == nullptr) return PHONEERR_INVALPOINTER;
  const PhoneState state = f.dev->device->State();
  DWORD off_hook = 0;
  if (state.handset_mode != PHONEHOOKSWITCHMODE_ONHOOK) off_hook |= PHONEHOOKSWITCHDEV_HANDSET;
  if (state.speaker_mode != PHONEHOOKSWITCHMODE_ONHOOK) off_hook |= PHONEHOOKSWITCHDEV_SPEAKER;
  if (state.headset_mode != PHONEHOOKSWITCHMODE_ONHOOK) off_hook |= PHONEHOOKSWITCHDEV_HEADSET;
  *lpdwHookSwitchDevs = off_hook & f.dev->caps.hook_switch_devs;
  return 0;
}

LONG phoneGetStatus(HPHONE hPhone, PHONESTATUS* lpPhoneStatus) {
  std::lock_guard lock(S().mu);
  Found f;
  if (const LONG r = FindOwned(hPhone, f, false); r != 0) return r;
  if (lpPhoneStatus == nullptr) return PHONEERR_INVALPOINTER;
  const PhoneState state = f.dev->device->State();
  VarStruct v(sizeof(PHONESTATUS), PhoneStatusFixedSize(f.phone->version));
  auto& c = v.Fixed<PHONESTATUS>();
  c.dwStatusFlags = PHONESTATUSFLAGS_CONNECTED;
  for (auto& [h, p] : S().phones) {
    if (p.device != f.phone->device) continue;
    (p.privilege == PHONEPRIVILEGE_OWNER ? c.dwNumOwners : c.dwNumMonitors)++;
  }
  c.dwRingMode = state.ring_mode;
  c.dwRingVolume = state.ring_volume;
  c.dwHandsetHookSwitchMode = state.handset_mode;
  c.dwHandsetVolume = state.handset_volume;
  c.dwHandsetGain = state.handset_gain;
  c.dwSpeakerHookSwitchMode = state.speaker_mode;
  c.dwSpeakerVolume = state.speaker_volume;
  c.dwSpeakerGain = state.speaker_gain;
  c.dwHeadsetHookSwitchMode = state.headset_mode;
  c.dwHeadsetVolume = state.headset_volume;
  c.dwHeadsetGain = state.headset_gain;
  v.AddBytes(offsetof(PHONESTATUS, dwDisplaySize), state.display);
  if (!state.lamp_modes.empty()) {
    v.Add(offsetof(PHONESTATUS, dwLampModesSize), state.lamp_modes.data(),
          state.lamp_modes.size() * sizeof(DWORD));
  }
  return v.CopyTo(lpPhoneStatus, PHONEERR_STRUCTURETOOSMALL);
}

LONG phoneSetVolume(HPHONE hPhone, DWORD dwHookSwitchDev, DWORD dwVolume) {
  std::lock_guard lock(S().mu);
  Found f;
  if (const LONG r = FindOwned(hPhone, f, true); r != 0) return r;
  if (!IsSingleBit(dwHookSwitchDev) || (dwHookSwitchDev & f.dev->caps.volume_flags) == 0) {
    return PHONEERR_INVALHOOKSWITCHDEV;
  }
  return f.dev->device->SetVolume(dwHookSwitchDev, std::min(dwVolume, kMaxLevel));
}

LONG phoneSetGain(HPHONE hPhone, DWORD dwHookSwitchDev, DWORD dwGain) {
  std::lock_guard lock(S().mu);
  Found f;
  if (const LONG r = FindOwned(hPhone, f, true); r != 0) return r;
  if (!IsSingleBit(dwHookSwitchDev) || (dwHookSwitchDev & f.dev->caps.gain_flags) == 0) {
    return PHONEERR_INVALHOOKSWITCHDEV;
  }
  return f.dev->device->SetGain(dwHookSwitchDev, std::min(dwGain, kMaxLevel));
}

LONG phoneSetRing(HPHONE hPhone, DWORD dwRingMode, DWORD dwVolume) {
  std::lock_guard lock(S().mu);
  Found f;
  if (const LONG r = FindOwned(hPhone, f, true); r != 0) return r;
  if (f.dev->caps.ring_modes == 0) return PHONEERR_OPERATIONUNAVAIL;
  if (dwRingMode > f.dev->caps.ring_modes) return PHONEERR_INVALRINGMODE;
  PhoneDevice* device = f.dev->device.get();
  const DWORD volume = std::min(dwVolume, kMaxLevel);
  return Async(hPhone, [&](DWORD id) { return device->SetRing(id, dwRingMode, volume); });
}

LONG phoneGetRing(HPHONE hPhone, DWORD* lpdwRingMode, DWORD* lpdwVolume) {
  std::lock_guard lock(S().mu);
  Found f;
  if (const LONG r = FindOwned(hPhone, f, false); r != 0) return r;
  if (lpdwRingMode == nullptr || lpdwVolume == nullptr) return PHONEERR_INVALPOINTER;
  if (f.dev->caps.ring_modes == 0) return PHONEERR_OPERATIONUNAVAIL;
  const PhoneState state = f.dev->device->State();
  *lpdwRingMode = state.ring_mode;
  *lpdwVolume = state.ring_volume;
  return 0;
}

LONG phoneSetLamp(HPHONE hPhone, DWORD dwButtonLampID, DWORD dwLampMode) {
  std::lock_guard lock(S().mu);
  Found f;
  if (const LONG r = FindOwned(hPhone, f, true); r != 0) return r;
  if (dwButtonLampID >= f.dev->caps.lamps) return PHONEERR_INVALBUTTONLAMPID;
  if (!IsSingleBit(dwLampMode) || (dwLampMode & kAllLampModes) == 0) return PHONEERR_INVALLAMPMODE;
  PhoneDevice* device = f.dev->device.get();
  return Async(hPhone, [&](DWORD id) { return device->SetLamp(id, dwButtonLampID, dwLampMode); });
}

LONG phoneGetLamp(HPHONE hPhone, DWORD dwButtonLampID, DWORD* lpdwLampMode) {
  std::lock_guard lock(S().mu);
  Found f;
  if (const LONG r = FindOwned(hPhone, f, false); r != 0) return r;
  if (lpdwLampMode == nullptr) return PHONEERR_INVALPOINTER;
  const PhoneState state = f.dev->device->State();
  if (dwButtonLampID >= state.lamp_modes.size()) return PHONEERR_INVALBUTTONLAMPID;
  *lpdwLampMode = state.lamp_modes[dwButtonLampID];
  return 0;
}

LONG phoneSetDisplay(HPHONE hPhone, DWORD dwRow, DWORD dwColumn, const char* lpsDisplay,
                     DWORD dwSize) {
  std::lock_guard lock(S().mu);
  Found f;
  if (const LONG r = FindOwned(hPhone, f, true); r != 0) return r;
  const PhoneDeviceCaps& caps = f.dev->caps;
  if (caps.display_rows == 0 || caps.display_columns == 0) return PHONEERR_OPERATIONUNAVAIL;
  if (dwRow >= caps.display_rows || dwColumn >= caps.display_columns) return PHONEERR_INVALPARAM;
  if (lpsDisplay == nullptr && dwSize != 0) return PHONEERR_INVALPOINTER;
  std::vector<std::uint8_t> text(lpsDisplay, lpsDisplay + dwSize);
  PhoneDevice* device = f.dev->device.get();
  return Async(hPhone, [&](DWORD id) { return device->SetDisplay(id, dwRow, dwColumn, text); });
}

LONG phoneGetDisplay(HPHONE hPhone, VARSTRING* lpDisplay) {
  std::lock_guard lock(S().mu);
  Found f;
  if (const LONG r = FindOwned(hPhone, f, false); r != 0) return r;
  if (lpDisplay == nullptr) return PHONEERR_INVALPOINTER;
  if (f.dev->caps.display_rows == 0 || f.dev->caps.display_columns == 0) {
    return PHONEERR_OPERATIONUNAVAIL;
  }
  VarStruct v(sizeof(VARSTRING), sizeof(VARSTRING));
  v.Fixed<VARSTRING>().dwStringFormat = f.dev->caps.string_format;
  v.AddBytes(offsetof(VARSTRING, dwStringSize), f.dev->device->State().display);
  return v.CopyTo(lpDisplay, PHONEERR_STRUCTURETOOSMALL);
}

}  // namespace telvora::tapi
