#pragma once
// The names of the telephony component's enumeration values, as the
// telephony command line prints them ("csDialing", "lsActivated").
// Pure; any thread.

#include <string>

#include "telephony/tel_types.h"

namespace telvora::tools {

std::string CallStateName(telephony::TCallState state);
std::string LineStateName(telephony::TLineState state);

}  // namespace telvora::tools
