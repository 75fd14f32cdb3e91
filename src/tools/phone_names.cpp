#include "tools/phone_names.h"

#include <iterator>

namespace telvora::tools {
namespace {

constexpr const char* kCallStates[] = {
    "csDisconnected", "csConnected", "csProceeding", "csDialing", "csRemotePartyDisconnected",
    "csBusy", "csOffering", "csRing", "csError", "csOfferedCallDropped", "csWaitingDisconnection",
    "csNoDialTone", "csDialTone", "csRingBack", "csOnHold", "csUnhold", "csInConference",
    "csRemovedFromConference", "csWaitingForFaxCommand",
};
constexpr const char* kLineStates[] = {"lsActivated", "lsDeactivated", "lsError"};

static_assert(std::size(kCallStates) == telephony::csWaitingForFaxCommand + 1);

}  // namespace

std::string CallStateName(telephony::TCallState state) {
  return state < std::size(kCallStates) ? kCallStates[state] : std::to_string(state);
}

std::string LineStateName(telephony::TLineState state) {
  return state < std::size(kLineStates) ? kLineStates[state] : std::to_string(state);
}

}  // namespace telvora::tools
