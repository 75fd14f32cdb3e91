#include "telephony/ext_dev.h"

#include <cmath>

#include "tapi/tapi.h"
#include "telephony/message_service.h"
#include "telephony/tel_phone.h"

namespace telvora::telephony {

using namespace tapi;

namespace {

constexpr char kMicGainRange[] = "MicGain property must be set to a value ranging from 0 to 10";
constexpr char kSpeakerVolumeRange[] = "SpeakerVolume property must be set to a value ranging from 0 to 10";

bool IsLevel(int value) { return value >= 0 && value <= kExtDevMaxLevel; }

}  // namespace

void TExtDev::SetMicGain(int value) {
  if (value == mic_gain_) return;
  if (!IsLevel(value)) {
    ShowApplicationMessage(kMicGainRange);
    return;
  }
  mic_gain_ = value;
  if (owner_ != nullptr && owner_->phone_ != 0) phoneSetGain(owner_->phone_, device_, TapiLevel(value));
}

void TExtDev::SetSpeakerVolume(int value) {
  if (value == speaker_volume_) return;
  if (!IsLevel(value)) {
    ShowApplicationMessage(kSpeakerVolumeRange);
    return;
  }
  speaker_volume_ = value;
  if (owner_ != nullptr && owner_->phone_ != 0) phoneSetVolume(owner_->phone_, device_, TapiLevel(value));
}

int TExtDev::GetMicSpeakerState(std::uint8_t& State) { return owner_->ReadHookState(*this, State); }

int TExtDev::SetMicSpeakerState(std::uint8_t State) { return owner_->WriteHookState(*this, State); }

DWORD TExtDev::ModeOfState(std::uint8_t state) {
  switch (state) {
    case 1: return PHONEHOOKSWITCHMODE_MIC;
    case 2: return PHONEHOOKSWITCHMODE_SPEAKER;
    case 3: return PHONEHOOKSWITCHMODE_MICSPEAKER;
    default: return PHONEHOOKSWITCHMODE_ONHOOK;
  }
}

DWORD TExtDev::TapiLevel(int level) {
  // nearbyint rounds ties to even in the default rounding mode.
  return static_cast<DWORD>(std::nearbyint(static_cast<double>(level) * kTapiMaxLevel / kExtDevMaxLevel));
}

}  // namespace telvora::telephony
