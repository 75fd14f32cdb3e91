#pragma once
// TExtDev: the settings of one hook-switch device of the line's phone (the
// handset or the auxiliary speaker): microphone gain and speaker volume as
// levels 0..10 (initially 10) and the hook-switch state last asked for (0 on
// hook, 1 microphone, 2 speaker, 3 both; initially 0). The component applies
// them each time its phone device opens.
//
// Threads: GUI thread only.

#include <cstdint>

#include "tapi/tapi_constants.h"

namespace telvora::telephony {

inline constexpr int kExtDevMaxLevel = 10;
inline constexpr tapi::DWORD kTapiMaxLevel = 65535;

class TExtDev {
 public:
  explicit TExtDev(tapi::DWORD hook_switch_device) : device_(hook_switch_device) {}

  int MicGain() const { return mic_gain_; }
  void SetMicGain(int value) {
    if (value >= 0 && value <= kExtDevMaxLevel) mic_gain_ = value;
  }
  int SpeakerVolume() const { return speaker_volume_; }
  void SetSpeakerVolume(int value) {
    if (value >= 0 && value <= kExtDevMaxLevel) speaker_volume_ = value;
  }
  std::uint8_t State() const { return state_; }
  tapi::DWORD Device() const { return device_; }

  // Copies the published values (form streaming).
  void Assign(const TExtDev& other) {
    mic_gain_ = other.mic_gain_;
    speaker_volume_ = other.speaker_volume_;
  }

  // The TAPI mode of the state (PHONEHOOKSWITCHMODE_).
  tapi::DWORD HookSwitchMode() const;
  // A level as TAPI takes it: level / 10 * 65535, to the nearest, ties to even.
  static tapi::DWORD TapiLevel(int level);

 private:
  tapi::DWORD device_;
  int mic_gain_ = kExtDevMaxLevel;
  int speaker_volume_ = kExtDevMaxLevel;
  std::uint8_t state_ = 0;
};

}  // namespace telvora::telephony
