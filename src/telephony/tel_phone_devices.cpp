// TelPhone: the line's phone device (hook switches, ringer, lamps, display),
// its wave and data-modem devices, and the line configuration with its
// dialog and the saved record in the registry.

#include <algorithm>
#include <cstring>

#include "platform/code_page.h"
#include "tapi/tapi.h"
#include "telephony/device_id_lookup.h"
#include "telephony/structure_text.h"
#include "telephony/tel_phone.h"
#include "telephony/variable_query.h"

namespace telvora::telephony {

using namespace tapi;

namespace {

// phoneGetStatus is read into a structure of this fixed size.
constexpr std::size_t kPhoneStatusSize = 104;
constexpr std::size_t kDisplayHeaderSize = sizeof(VARSTRING);
constexpr DWORD kMaxRingVolume = 65535;
constexpr char kDataModemClass[] = "comm/datamodem";

// The saved configuration record: the line device ID (low 8 bits), then the
// VARSTRING lineGetDevConfig filled, with the configuration block inside.
//
//   offset width field
//        0     8 line device ID
//        1    24 VARSTRING header: total (1024), needed, used, format,
//                string size, string offset
//       25  rest the configuration bytes; the block lies at
//                1 + string offset and is string size bytes long
constexpr std::size_t kRecordLineIdAt = 0;
constexpr std::size_t kRecordVarStringAt = 1;
constexpr std::size_t kRecordAreaSize = 1024;
constexpr std::size_t kRecordSize = kRecordVarStringAt + kRecordAreaSize;  // 1025

DWORD Read32(const std::uint8_t* p) {
  DWORD v = 0;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

// ---- hook switches ----

int TelPhone::ReadHookState(const TExtDev& dev, std::uint8_t& state) {
  if (!IsActive()) return kResultNotActive;
  int caps = 0;
  const int result = GetLineCaps(line_id_, caps);
  if (result != kResultOk) return result;
  const bool handset = dev.Device() == PHONEHOOKSWITCHDEV_HANDSET;
  if (handset && !(static_cast<DWORD>(caps) & kCapHandsetHookSwitch)) return kResultNoHandsetHookSwitch;
  if (!handset && !(static_cast<DWORD>(caps) & kCapSpeakerHookSwitch)) return kResultNoSpeakerHookSwitch;
  if (phone_ == 0) return kResultFailed;
  TVarBuffer status;
  if (!status.Allocate(kPhoneStatusSize, 0)) return kResultNoMemory;
  if (phoneGetStatus(phone_, static_cast<PHONESTATUS*>(status.Raw())) != 0) return kResultHookSwitchFailed;
  const PHONESTATUS* s = status.As<PHONESTATUS>();
  const DWORD mode = handset ? s->dwHandsetHookSwitchMode : s->dwSpeakerHookSwitchMode;
  // Later tests win, as a mode word may carry more than one bit.
  if (mode & PHONEHOOKSWITCHMODE_ONHOOK) state = 0;
  if (mode & PHONEHOOKSWITCHMODE_MIC) state = 1;
  if (mode & PHONEHOOKSWITCHMODE_SPEAKER) state = 2;
  if (mode & PHONEHOOKSWITCHMODE_MICSPEAKER) state = 3;
  return kResultOk;
}

int TelPhone::WriteHookState(TExtDev& dev, std::uint8_t state) {
  if (!IsActive()) return kResultNotActive;
  // There are four hook-switch states; anything else would reach the phone
  // as the on-hook mode.
  if (state > kHookStateMax) return kResultBadArgument;
  if (requests_.PendingFor(current_call_)) return kResultRequestPending;
  std::uint8_t present = 0;
  const int result = ReadHookState(dev, present);
  if (result != kResultOk) return result;
  if (present == state) return kResultOk;
  dev.state_ = state;
  const LONG request = phoneSetHookSwitch(phone_, dev.Device(), TExtDev::ModeOfState(state));
  if (request < 0) return kResultHookSwitchFailed;
  RegisterRequest(static_cast<DWORD>(request), current_call_, rkHookSwitch, 0, nullptr, 0, 0);
  return kResultOk;
}

// ---- ringer, lamps, display ----

int TelPhone::PhoneChangeRegistered(LONG request) {
  if (request < 0) return kResultPhoneFailed;
  RegisterRequest(static_cast<DWORD>(request), current_call_, rkPhoneChange, 0, nullptr, 0, 0);
  return kResultOk;
}

int TelPhone::ExtPhoneSetRing(int RingMode, int Volume) {
  if (!IsActive()) return kResultNotActive;
  const int rings = ExtPhoneNumOfRings();
  if (rings == 0) return kResultPhoneFailed;
  if (RingMode < 0 || RingMode > rings || Volume < 0 || static_cast<DWORD>(Volume) > kMaxRingVolume) {
    return kResultBadArgument;
  }
  return PhoneChangeRegistered(phoneSetRing(phone_, static_cast<DWORD>(RingMode), static_cast<DWORD>(Volume)));
}

int TelPhone::ExtPhoneSetLamp(int LampID, int LampMode) {
  if (!IsActive()) return kResultNotActive;
  const int lamps = ExtPhoneNumOfLamps();
  if (lamps == 0) return kResultPhoneFailed;
  if (LampID < 0 || LampID >= lamps) return kResultBadArgument;
  return PhoneChangeRegistered(phoneSetLamp(phone_, static_cast<DWORD>(LampID), static_cast<DWORD>(LampMode)));
}

int TelPhone::ExtPhoneSetDisplay(int Row, int Column, const std::u16string& Text) {
  if (!IsActive()) return kResultNotActive;
  const int rows = ExtPhoneNumOfDisplayRows(), columns = ExtPhoneNumOfDisplayCols();
  if (rows == 0 && columns == 0) return kResultPhoneFailed;
  if (Row < 0 || Column < 0 || Row > rows || Column > columns) return kResultBadArgument;
  if (active_caps_.WideStrings) {
    display_bytes_.clear();
    for (const char16_t c : Text) {
      display_bytes_.push_back(static_cast<char>(c & 0xFF));
      display_bytes_.push_back(static_cast<char>(c >> 8));
    }
  } else {
    // A character the code page cannot hold cannot be shown either.
    std::optional<std::string> ansi = platform::Utf16ToCp1256(Text);
    if (!ansi) return kResultBadArgument;
    display_bytes_ = std::move(*ansi);
  }
  return PhoneChangeRegistered(phoneSetDisplay(phone_, static_cast<DWORD>(Row), static_cast<DWORD>(Column),
                                               display_bytes_.data(), static_cast<DWORD>(display_bytes_.size())));
}

int TelPhone::ExtPhoneGetRing(int& RingMode, int& Volume) {
  if (!IsActive()) return kResultNotActive;
  DWORD mode = 0, volume = 0;
  if (phoneGetRing(phone_, &mode, &volume) < 0) return kResultPhoneFailed;
  RingMode = static_cast<int>(mode);
  Volume = static_cast<int>(volume);
  return kResultOk;
}

int TelPhone::ExtPhoneGetLamp(int LampID, int& LampMode) {
  if (!IsActive()) return kResultNotActive;
  DWORD mode = 0;
  if (phoneGetLamp(phone_, static_cast<DWORD>(LampID), &mode) < 0) return kResultPhoneFailed;
  LampMode = static_cast<int>(mode);
  return kResultOk;
}

int TelPhone::ExtPhoneGetDisplay(std::u16string& Text) {
  if (!IsActive()) return kResultNotActive;
  const int rows = ExtPhoneNumOfDisplayRows(), columns = ExtPhoneNumOfDisplayCols();
  if (rows == 0 && columns == 0) return kResultPhoneFailed;
  const std::size_t expected = rows != 0 && columns != 0 ? static_cast<std::size_t>(rows) * columns
                                                         : static_cast<std::size_t>(std::max(rows, columns));
  TVarBuffer display;
  const int result = QueryVariable(
      expected + kDisplayHeaderSize, 1, PHONEERR_STRUCTURETOOSMALL,
      [&](void* s) { return phoneGetDisplay(phone_, static_cast<VARSTRING*>(s)); },
      [](LONG) { return kResultPhoneFailed; }, display);
  if (result != kResultOk) return result;
  const VARSTRING* v = display.As<VARSTRING>();
  if (v->dwStringSize == 0) {
    Text.clear();
    return kResultOk;
  }
  return TextFromStructure(display, v->dwStringOffset, v->dwStringSize, active_caps_.WideStrings, Text);
}

// ---- wave and data-modem devices ----

int TelPhone::WaveIDFrom(bool from_address, int address_or_call, const char* device_class, int& id) {
  if (!IsActive()) return kResultNotActive;
  if (from_address) {
    if (address_or_call < 0) return kResultAddressId;
    return LookupDeviceID(line_, static_cast<DWORD>(address_or_call), 0, LINECALLSELECT_ADDRESS, device_class, id);
  }
  return LookupDeviceID(line_, 0, static_cast<HCALL>(address_or_call), LINECALLSELECT_CALL, device_class, id);
}

int TelPhone::GetWaveRecIDFrom(bool FromAddress, int AddressOrCall, int& ID) {
  return WaveIDFrom(FromAddress, AddressOrCall, "wave/in", ID);
}

int TelPhone::GetWavePlayIDFrom(bool FromAddress, int AddressOrCall, int& ID) {
  return WaveIDFrom(FromAddress, AddressOrCall, "wave/out", ID);
}

int TelPhone::GetCommHandle(int& Handle) {
  const HCALL call = current_call_;
  if (!IsCallConnected(static_cast<int>(call))) {
    Handle = 0;
    return kResultAlreadyDisconnected;
  }
  if (comm_handle_ >= 0 && comm_handle_call_ == call) {
    Handle = comm_handle_;
    return kResultOk;
  }
  TVarBuffer id;
  const int result = QueryVariable(
      kDeviceIdInitialSize, 1, LINEERR_STRUCTURETOOSMALL,
      [&](void* s) { return lineGetID(0, 0, call, LINECALLSELECT_CALL, static_cast<VARSTRING*>(s), kDataModemClass); },
      [](LONG) { return kResultFailed; }, id);
  if (result != kResultOk) {
    Handle = 0;
    return result;
  }
  const VARSTRING* v = id.As<VARSTRING>();
  if (v->dwStringSize < sizeof(DWORD) || static_cast<std::size_t>(v->dwStringOffset) + sizeof(DWORD) > id.Size()) {
    Handle = 0;
    return kResultFailed;
  }
  // The descriptor is ours to close; the one cached for another call goes.
  CloseCommHandle();
  comm_handle_ = static_cast<int>(Read32(id.Bytes() + v->dwStringOffset));
  comm_handle_call_ = call;
  Handle = comm_handle_;
  return kResultOk;
}

// ---- line configuration ----

int TelPhone::LineConfigDialog(HWND OwnerHandle, int LineID) {
  if (calls_.AnyStateOtherThan({csDisconnected})) return kResultCallInProgress;
  const int result = InitializeTapi();
  if (result != kResultOk) return result;
  switch (lineConfigDialog(static_cast<DWORD>(LineID), OwnerHandle, nullptr)) {
    case 0: return kResultOk;
    case LINEERR_BADDEVICEID: return kResultBadDeviceId;
    case LINEERR_INVALPARAM: return kResultBadArgument;
    case LINEERR_NODEVICE: return kResultNoLineDevice;
    case LINEERR_NOMEM: return kResultNoMemory;
    default: return kResultFailed;
  }
}

int TelPhone::LineConfigDialogSave(HWND OwnerHandle, platform::RegistryRoot RootKey, const std::string& Key,
                                   const std::string& ValueName, int LineID) {
  int result = LineConfigDialog(OwnerHandle, LineID);
  if (result != kResultOk) return result;
  if (static_cast<std::uint32_t>(RootKey) == 0 && Key.empty() && ValueName.empty()) return kResultBadArgument;

  // The VARSTRING sits at an odd offset in the record; TAPI fills an aligned
  // one, copied in afterwards.
  TVarBuffer config;
  if (!config.Allocate(kRecordAreaSize, 0)) return kResultNoMemory;
  auto* header = static_cast<VARSTRING*>(config.Raw());
  header->dwStringFormat = STRINGFORMAT_BINARY;
  switch (lineGetDevConfig(static_cast<DWORD>(LineID), header, kDataModemClass)) {
    case 0: break;
    case LINEERR_BADDEVICEID: return kResultBadDeviceId;
    case LINEERR_NODEVICE: return kResultNoLineDevice;
    case LINEERR_NOMEM: return kResultNoMemory;
    default: return kResultFailed;
  }
  // A configuration that does not fit the record would be saved cut short
  // (and read back as garbage): refuse it.
  if (header->dwNeededSize > kRecordAreaSize) return kResultFailed;
  std::vector<std::uint8_t> record(kRecordSize, 0);
  record[kRecordLineIdAt] = static_cast<std::uint8_t>(LineID & 0xFF);
  std::memcpy(record.data() + kRecordVarStringAt, config.Bytes(), kRecordAreaSize);
  record.resize(kRecordVarStringAt + header->dwNeededSize);

  std::optional<platform::RegistryKey> key;
  try {
    key = platform::RegistryKey::Open(RootKey, Key, true);
  } catch (const platform::RegistryError&) {
    return kResultFailed;
  }
  if (!key) return kResultFailed;
  key->WriteBinary(ValueName, record);
  return kResultOk;
}

int TelPhone::LineConfigLoad(platform::RegistryRoot RootKey, const std::string& Key, const std::string& ValueName,
                             int LineID) {
  if (calls_.AnyStateOtherThan({csDisconnected})) return kResultCallInProgress;
  if (!requests_.Empty()) return kResultRequestPending;
  int result = InitializeTapi();
  if (result != kResultOk) return result;

  std::optional<platform::RegistryKey> key;
  try {
    key = platform::RegistryKey::Open(RootKey, Key, true);
  } catch (const platform::RegistryError&) {
    key.reset();
  }
  if (!key || !key->ValueExists(ValueName)) return kResultNoSavedConfig;
  std::optional<platform::RegistryValue> value = key->ReadValue(ValueName);
  if (!value) return kResultNoSavedConfig;
  if (value->type != platform::RegistryValueType::Binary && value->type != platform::RegistryValueType::None) {
    throw platform::RegistryError("Invalid data type for '" + ValueName + "'");
  }
  const std::vector<std::uint8_t>& record = value->data;
  // Whatever is stored is checked before it is trusted: a value too long for
  // the record, or too short to hold its header, is no saved configuration.
  if (record.size() > kRecordSize || record.size() < kRecordVarStringAt + sizeof(VARSTRING)) {
    return kResultFailed;
  }
  if (static_cast<int>(record[kRecordLineIdAt]) != LineID) return kResultLineSetup;
  VARSTRING header{};
  std::memcpy(&header, record.data() + kRecordVarStringAt, sizeof header);
  if (header.dwTotalSize > kRecordAreaSize) return kResultFailed;
  const std::size_t block_at = kRecordVarStringAt + static_cast<std::size_t>(header.dwStringOffset);
  if (block_at > record.size() || header.dwStringSize > record.size() - block_at) return kResultFailed;
  result = lineSetDevConfig(static_cast<DWORD>(LineID), record.data() + block_at, header.dwStringSize,
                            kDataModemClass);
  return result < 0 ? kResultFailed : kResultOk;
}

}  // namespace telvora::telephony
