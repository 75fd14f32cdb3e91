#pragma once
// TExtDev: the settings of one hook-switch device of the line's phone (the
// handset or the auxiliary speaker): microphone gain and speaker volume as
// levels 0..10 (initially 10) and the hook-switch state last asked for (0 on
// hook, 1 microphone, 2 speaker, 3 both; initially 0). The component applies
// them each time its phone device opens; a level written while the phone is
// open is sent at once. A level outside 0..10 is refused with a message
// through the application's message service and the old value stays.
//
// Invariants: both levels are always within 0..10; the state within 0..3.
//
// Threads: GUI thread only. Owned by its TelPhone, which outlives it.

#include <cstdint>

#include "tapi/tapi_constants.h"

namespace telvora::telephony {

class TelPhone;

inline constexpr int kExtDevMaxLevel = 10;
inline constexpr tapi::DWORD kTapiMaxLevel = 65535;
inline constexpr std::uint8_t kHookStateMax = 3;

class TExtDev {
 public:
  TExtDev(TelPhone* owner, tapi::DWORD hook_switch_device) : owner_(owner), device_(hook_switch_device) {}

  int MicGain() const { return mic_gain_; }
  void SetMicGain(int value);
  int SpeakerVolume() const { return speaker_volume_; }
  void SetSpeakerVolume(int value);
  std::uint8_t State() const { return state_; }
  tapi::DWORD Device() const { return device_; }

  // The hook-switch state (0..3): read from the phone, or asked for (the
  // change completes asynchronously). Result codes as TelPhone's.
  int GetMicSpeakerState(std::uint8_t& State);
  int SetMicSpeakerState(std::uint8_t State);

  // Copies the published values (form streaming).
  void Assign(const TExtDev& other) {
    mic_gain_ = other.mic_gain_;
    speaker_volume_ = other.speaker_volume_;
  }

  // The TAPI mode of the state (PHONEHOOKSWITCHMODE_).
  tapi::DWORD HookSwitchMode() const { return ModeOfState(state_); }
  static tapi::DWORD ModeOfState(std::uint8_t state);
  // A level as TAPI takes it: level / 10 * 65535, to the nearest, ties to even.
  static tapi::DWORD TapiLevel(int level);

 private:
  friend class TelPhone;

  TelPhone* owner_;
  tapi::DWORD device_;
  int mic_gain_ = kExtDevMaxLevel;
  int speaker_volume_ = kExtDevMaxLevel;
  std::uint8_t state_ = 0;
};

}  // namespace telvora::telephony
