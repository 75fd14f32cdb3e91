#pragma once
// The interface between the telephony service and a provider's phone device
// (hook switches, volume and gain, ringer, lamps, display). Same thread and
// lock rules as LineDevice (line_device.h).

#include <string>
#include <vector>

#include "tapi/tapi_constants.h"

namespace telvora::tapi {

struct PhoneDeviceCaps {
  std::string name;
  std::string provider_info;
  DWORD string_format = STRINGFORMAT_ASCII;
  DWORD hook_switch_devs = 0;
  DWORD handset_modes = 0;
  DWORD speaker_modes = 0;
  DWORD headset_modes = 0;
  DWORD volume_flags = 0;  // PHONEHOOKSWITCHDEV_ bits whose volume can be set
  DWORD gain_flags = 0;
  DWORD display_rows = 0;
  DWORD display_columns = 0;
  DWORD ring_modes = 0;
  DWORD lamps = 0;
};

// A snapshot of the phone's state for phoneGetStatus and the getters.
struct PhoneState {
  DWORD handset_mode = PHONEHOOKSWITCHMODE_ONHOOK;
  DWORD speaker_mode = PHONEHOOKSWITCHMODE_ONHOOK;
  DWORD headset_mode = PHONEHOOKSWITCHMODE_ONHOOK;
  DWORD handset_volume = 0, handset_gain = 0;
  DWORD speaker_volume = 0, speaker_gain = 0;
  DWORD headset_volume = 0, headset_gain = 0;
  DWORD ring_mode = 0, ring_volume = 0;
  std::vector<DWORD> lamp_modes;
  std::vector<std::uint8_t> display;  // rows x columns bytes as last written
};

class PhoneEventSink {
 public:
  virtual ~PhoneEventSink() = default;
  virtual void CompleteRequest(DWORD request_id, LONG result) = 0;
  // PHONESTATE_ bits that changed.
  virtual void StateChanged(DWORD states) = 0;
  virtual void DeviceRemoved() = 0;
};

class PhoneDevice {
 public:
  virtual ~PhoneDevice() = default;
  virtual PhoneDeviceCaps Caps() const = 0;
  virtual LONG Open(PhoneEventSink* sink) = 0;
  virtual void Close() = 0;
  virtual PhoneState State() const = 0;

  // Asynchronous (0 accepted, completed through the sink; negative: refused).
  // The service has checked the arguments against the capabilities.
  virtual LONG SetHookSwitch(DWORD request, DWORD devs, DWORD mode) = 0;
  virtual LONG SetRing(DWORD request, DWORD ring_mode, DWORD volume) = 0;
  virtual LONG SetLamp(DWORD request, DWORD lamp, DWORD mode) = 0;
  virtual LONG SetDisplay(DWORD request, DWORD row, DWORD column,
                          const std::vector<std::uint8_t>& text) = 0;
  // Synchronous.
  virtual LONG SetVolume(DWORD dev, DWORD volume) = 0;
  virtual LONG SetGain(DWORD dev, DWORD gain) = 0;
};

}  // namespace telvora::tapi
