#include "telephony/ext_dev.h"

#include <cmath>

namespace telvora::telephony {

using namespace tapi;

DWORD TExtDev::HookSwitchMode() const {
  switch (state_) {
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
