#pragma once
// What the capability probe learnt about one line device. The component
// keeps two: one for the active line and one for the line probed last, so
// that repeated queries and activations of the same line do not probe again.
// IDs read -2 while unknown; `Valid` tells that `Caps` belong to `CapsLineID`.

#include "tapi/tapi_constants.h"
#include "telephony/device_id_lookup.h"

namespace telvora::telephony {

// Capability bits (GetLineCaps).
inline constexpr tapi::DWORD kCapWave = 0x1;
inline constexpr tapi::DWORD kCapDataModem = 0x2;
inline constexpr tapi::DWORD kCapCallerId = 0x4;
inline constexpr tapi::DWORD kCapCalledId = 0x8;
inline constexpr tapi::DWORD kCapPulseDigits = 0x10;
inline constexpr tapi::DWORD kCapDtmfDigits = 0x20;
inline constexpr tapi::DWORD kCapSpeakerHookSwitch = 0x40;
inline constexpr int kCapSpeakerModesShift = 7;  // modes 1, 2, 4, 8 -> 0x80 .. 0x400
inline constexpr tapi::DWORD kCapSpeakerGain = 0x800;
inline constexpr tapi::DWORD kCapSpeakerVolume = 0x1000;
inline constexpr tapi::DWORD kCapHandsetHookSwitch = 0x2000;
inline constexpr int kCapHandsetModesShift = 14;  // modes 1, 2, 4, 8 -> 0x4000 .. 0x20000
inline constexpr tapi::DWORD kCapHandsetGain = 0x40000;
inline constexpr tapi::DWORD kCapHandsetVolume = 0x80000;
inline constexpr tapi::DWORD kHookSwitchModeBits = 0xF;

struct TLineCapsRecord {
  int LineDeviceID = kNoDeviceId;
  int WaveInID = kNoDeviceId;
  int WaveOutID = kNoDeviceId;
  int DataModemID = kNoDeviceId;
  int PhoneDeviceID = kNoDeviceId;
  tapi::DWORD Caps = 0;
  bool Valid = false;
  int CapsLineID = kNoDeviceId;
  bool WideStrings = false;
  int NumRings = 0;
  int NumLamps = 0;
  int NumDisplayRows = 0;
  int NumDisplayCols = 0;
  tapi::DWORD LineApiVersion = 0;
  tapi::DWORD PhoneApiVersion = 0;
  tapi::DWORD MediaModes = 0;
  tapi::DWORD MonitorMediaModes = 0;
  tapi::DWORD DigitModes = 0;

  void Invalidate() {
    Valid = false;
    WaveInID = WaveOutID = PhoneDeviceID = kNoDeviceId;
  }
};

}  // namespace telvora::telephony
