#pragma once
// The telephony component's enumerations (ordinal values from 0, in the
// order given), the result-code constants it returns, and its event types.
// Plain enumerations on purpose: their names (`csConnected`, `mmData`) are
// used unqualified, as the component's users know them.

#include <cstdint>
#include <string>

#include "platform/component.h"

namespace telvora::telephony {

enum TMediaMode : std::uint8_t { mmVoice, mmData, mmFax };
enum TLinePrivilege : std::uint8_t { lpOwner, lpMonitor };
enum TLineState : std::uint8_t { lsActivated, lsDeactivated, lsError };
enum TCallState : std::uint8_t {
  csDisconnected, csConnected, csProceeding, csDialing, csRemotePartyDisconnected, csBusy,
  csOffering, csRing, csError, csOfferedCallDropped, csWaitingDisconnection, csNoDialTone,
  csDialTone, csRingBack, csOnHold, csUnhold, csInConference, csRemovedFromConference,
  csWaitingForFaxCommand,
};
enum TConsultCallState : std::uint8_t {
  ccsStarted, ccsProceeding, ccsDialing, ccsConnected, ccsRemotePartyDisconnected, ccsBusy,
  ccsError, ccsWaitingDisconnection, ccsDisconnected, ccsNoDialTone, ccsDialTone, ccsRingBack,
};
enum TTypeOfInfo : std::uint8_t { tiDisplayInfo, tiUserInfo, tiOrigin, tiReason };
enum TExtPhoneState : std::uint8_t { tpsDisplay, tpsLamp, tpsRingMode, tpsRingVolume };

// Result codes the component returns (texts in result_texts.h).
inline constexpr int kResultOk = 0;
inline constexpr int kResultFailed = -1;
inline constexpr int kResultBadArgument = -10;
inline constexpr int kResultNoMemory = -50;
inline constexpr int kResultTapiInit = 99;
inline constexpr int kResultProbeOpen = 100;
inline constexpr int kResultNoLineDevice = 101;
inline constexpr int kResultBadDeviceId = 102;
inline constexpr int kResultVersion = 103;
inline constexpr int kResultLineSetup = 105;
inline constexpr int kResultAllocated = 106;
inline constexpr int kResultLineUnavailable = 107;
inline constexpr int kResultCallFailed = 108;
inline constexpr int kResultAnswerFailed = 109;
inline constexpr int kResultNotOffered = 110;
inline constexpr int kResultHangupFailed = 111;
inline constexpr int kResultCloseFailed = 112;
inline constexpr int kResultTimeOut = 113;
inline constexpr int kResultAddressId = 114;
inline constexpr int kResultBadCallHandle = 115;
inline constexpr int kResultNotOwner = 116;
inline constexpr int kResultNoDeviceName = 150;
inline constexpr int kResultNoSpeakerHookSwitch = 151;
inline constexpr int kResultNoHandsetHookSwitch = 152;
inline constexpr int kResultPartyIdUnknown = 153;
inline constexpr int kResultPartyIdUnavailable = 154;
inline constexpr int kResultInvalidNumber = 155;
inline constexpr int kResultHookSwitchFailed = 156;
inline constexpr int kResultNotActive = 157;
inline constexpr int kResultCallInProgress = 158;
inline constexpr int kResultRequestPending = 160;
inline constexpr int kResultAlreadyDisconnected = 161;
inline constexpr int kResultMediaMode = 162;
inline constexpr int kResultNoSavedConfig = 163;
inline constexpr int kResultPhoneFailed = 164;
inline constexpr int kResultNoConsultation = 170;

using TSender = platform::TComponent*;

using TLineStateEvent = platform::TEvent<void(TSender, TLineState, int)>;
using TCallStateEvent = platform::TEvent<void(TSender, TCallState, int, int, int)>;
using TConsultCallStateEvent = platform::TEvent<void(TSender, TConsultCallState, int, int, int)>;
using TCallEvent = platform::TEvent<void(TSender, int)>;
using TDigitDetectedEvent = platform::TEvent<void(TSender, char, int)>;
using TOnToneDetectedEvent = platform::TEvent<void(TSender, int, int)>;
using TCallerIDEvent =
    platform::TEvent<void(TSender, int, const std::u16string&, const std::u16string&, int)>;
using TCallInfoEvent = platform::TEvent<void(TSender, TTypeOfInfo, const std::u16string&, int, int)>;
using THookStateEvent = platform::TEvent<void(TSender, bool)>;
using TNotifyEvent = platform::TEvent<void(TSender)>;
using TExtPhoneEvent = platform::TEvent<void(TSender, TExtPhoneState)>;

}  // namespace telvora::telephony
