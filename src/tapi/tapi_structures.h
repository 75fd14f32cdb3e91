#pragma once
// The telephony service's structures, laid out field for field as the
// Windows Telephony API lays them out (all 32-bit fields, no padding), so the
// sizes callers allocate from (LINEDEVCAPS 268, LINEADDRESSCAPS 228,
// LINECALLINFO 324, LINECALLPARAMS 176, PHONECAPS 180, PHONESTATUS 104,
// VARSTRING 24) fit exactly.
//
// Structures with a size header are variable-size: the caller sets
// dwTotalSize to the bytes it allocated; the service fills the fixed part,
// sets dwNeededSize to what everything would take and dwUsedSize to what it
// wrote. Strings and other variable data follow the fixed part and are
// named by a (size, offset) pair, offsets counted from the structure's start.
// A dwTotalSize below the fixed part yields LINEERR_STRUCTURETOOSMALL (or the
// PHONEERR_ one) with dwNeededSize set when the header itself fits.

#include <cstddef>

#include "tapi/tapi_constants.h"

namespace telvora::tapi {

struct GUID32 {
  DWORD data[4];
};

struct VARSTRING {
  DWORD dwTotalSize, dwNeededSize, dwUsedSize;
  DWORD dwStringFormat, dwStringSize, dwStringOffset;
};
static_assert(sizeof(VARSTRING) == 24);

struct LINEDIALPARAMS {
  DWORD dwDialPause, dwDialSpeed, dwDigitDuration, dwWaitForDialtone;
};
static_assert(sizeof(LINEDIALPARAMS) == 16);

struct LINEEXTENSIONID {
  DWORD dwExtensionID0, dwExtensionID1, dwExtensionID2, dwExtensionID3;
};
using PHONEEXTENSIONID = LINEEXTENSIONID;

// The handle union of the Windows structure is a 32-bit field here, which
// keeps the structure at its documented 24 bytes.
struct LINEINITIALIZEEXPARAMS {
  DWORD dwTotalSize, dwNeededSize, dwUsedSize;
  DWORD dwOptions;
  DWORD hEvent;
  DWORD dwCompletionKey;
};
static_assert(sizeof(LINEINITIALIZEEXPARAMS) == 24);
using PHONEINITIALIZEEXPARAMS = LINEINITIALIZEEXPARAMS;

struct LINEDEVCAPS {
  DWORD dwTotalSize, dwNeededSize, dwUsedSize;
  DWORD dwProviderInfoSize, dwProviderInfoOffset;
  DWORD dwSwitchInfoSize, dwSwitchInfoOffset;
  DWORD dwPermanentLineID;
  DWORD dwLineNameSize, dwLineNameOffset;
  DWORD dwStringFormat, dwAddressModes, dwNumAddresses, dwBearerModes, dwMaxRate, dwMediaModes;
  DWORD dwGenerateToneModes, dwGenerateToneMaxNumFreq, dwGenerateDigitModes;
  DWORD dwMonitorToneMaxNumFreq, dwMonitorToneMaxNumEntries, dwMonitorDigitModes;
  DWORD dwGatherDigitsMinTimeout, dwGatherDigitsMaxTimeout;
  DWORD dwMedCtlDigitMaxListSize, dwMedCtlMediaMaxListSize, dwMedCtlToneMaxListSize,
      dwMedCtlCallStateMaxListSize;
  DWORD dwDevCapFlags, dwMaxNumActiveCalls, dwAnswerMode, dwRingModes, dwLineStates;
  DWORD dwUUIAcceptSize, dwUUIAnswerSize, dwUUIMakeCallSize, dwUUIDropSize,
      dwUUISendUserUserInfoSize, dwUUICallInfoSize;
  LINEDIALPARAMS MinDialParams, MaxDialParams, DefaultDialParams;
  DWORD dwNumTerminals, dwTerminalCapsSize, dwTerminalCapsOffset;
  DWORD dwTerminalTextEntrySize, dwTerminalTextSize, dwTerminalTextOffset;
  DWORD dwDevSpecificSize, dwDevSpecificOffset;
  DWORD dwLineFeatures;                                               // 1.4
  DWORD dwSettableDevStatus, dwDeviceClassesSize, dwDeviceClassesOffset;  // 2.0
  GUID32 PermanentLineGuid;                                           // 2.2
};
static_assert(sizeof(LINEDEVCAPS) == 268);

struct LINEADDRESSCAPS {
  DWORD dwTotalSize, dwNeededSize, dwUsedSize;
  DWORD dwLineDeviceID;
  DWORD dwAddressSize, dwAddressOffset;
  DWORD dwDevSpecificSize, dwDevSpecificOffset;
  DWORD dwAddressSharing, dwAddressStates, dwCallInfoStates;
  DWORD dwCallerIDFlags, dwCalledIDFlags, dwConnectedIDFlags, dwRedirectionIDFlags,
      dwRedirectingIDFlags;
  DWORD dwCallStates, dwDialToneModes, dwBusyModes, dwSpecialInfo, dwDisconnectModes;
  DWORD dwMaxNumActiveCalls, dwMaxNumOnHoldCalls, dwMaxNumOnHoldPendingCalls;
  DWORD dwMaxNumConference, dwMaxNumTransConf;
  DWORD dwAddrCapFlags, dwCallFeatures, dwRemoveFromConfCaps, dwRemoveFromConfState;
  DWORD dwTransferModes, dwParkModes, dwForwardModes, dwMaxForwardEntries,
      dwMaxSpecificEntries, dwMinFwdNumRings, dwMaxFwdNumRings;
  DWORD dwMaxCallCompletions, dwCallCompletionConds, dwCallCompletionModes,
      dwNumCompletionMessages, dwCompletionMsgTextEntrySize, dwCompletionMsgTextSize,
      dwCompletionMsgTextOffset;
  DWORD dwAddressFeatures;  // 1.4
  DWORD dwPredictiveAutoTransferStates, dwNumCallTreatments, dwCallTreatmentListSize,
      dwCallTreatmentListOffset, dwDeviceClassesSize, dwDeviceClassesOffset,
      dwMaxCallDataSize, dwCallFeatures2, dwMaxNoAnswerTimeout, dwConnectedModes,
      dwOfferingModes, dwAvailableMediaModes;  // 2.0
};
static_assert(sizeof(LINEADDRESSCAPS) == 228);

struct LINECALLPARAMS {
  DWORD dwTotalSize;
  DWORD dwBearerMode, dwMinRate, dwMaxRate, dwMediaMode, dwCallParamFlags;
  DWORD dwAddressMode, dwAddressID;
  LINEDIALPARAMS DialParams;
  DWORD dwOrigAddressSize, dwOrigAddressOffset;
  DWORD dwDisplayableAddressSize, dwDisplayableAddressOffset;
  DWORD dwCalledPartySize, dwCalledPartyOffset;
  DWORD dwCommentSize, dwCommentOffset;
  DWORD dwUserUserInfoSize, dwUserUserInfoOffset;
  DWORD dwHighLevelCompSize, dwHighLevelCompOffset;
  DWORD dwLowLevelCompSize, dwLowLevelCompOffset;
  DWORD dwDevSpecificSize, dwDevSpecificOffset;
  // 2.0
  DWORD dwPredictiveAutoTransferStates;
  DWORD dwTargetAddressSize, dwTargetAddressOffset;
  DWORD dwSendingFlowspecSize, dwSendingFlowspecOffset;
  DWORD dwReceivingFlowspecSize, dwReceivingFlowspecOffset;
  DWORD dwDeviceClassSize, dwDeviceClassOffset;
  DWORD dwDeviceConfigSize, dwDeviceConfigOffset;
  DWORD dwCallDataSize, dwCallDataOffset;
  DWORD dwNoAnswerTimeout;
  DWORD dwCallingPartyIDSize, dwCallingPartyIDOffset;
};
static_assert(sizeof(LINECALLPARAMS) == 176);
// The fields every caller's block must hold (those of API version 1.x).
inline constexpr std::size_t kMinCallParamsSize = offsetof(LINECALLPARAMS, dwPredictiveAutoTransferStates);

struct LINECALLINFO {
  DWORD dwTotalSize, dwNeededSize, dwUsedSize;
  HLINE hLine;
  DWORD dwLineDeviceID, dwAddressID;
  DWORD dwBearerMode, dwRate, dwMediaMode, dwAppSpecific, dwCallID, dwRelatedCallID;
  DWORD dwCallParamFlags, dwCallStates, dwMonitorDigitModes, dwMonitorMediaModes;
  LINEDIALPARAMS DialParams;
  DWORD dwOrigin, dwReason, dwCompletionID, dwNumOwners, dwNumMonitors, dwCountryCode, dwTrunk;
  DWORD dwCallerIDFlags, dwCallerIDSize, dwCallerIDOffset, dwCallerIDNameSize,
      dwCallerIDNameOffset;
  DWORD dwCalledIDFlags, dwCalledIDSize, dwCalledIDOffset, dwCalledIDNameSize,
      dwCalledIDNameOffset;
  DWORD dwConnectedIDFlags, dwConnectedIDSize, dwConnectedIDOffset, dwConnectedIDNameSize,
      dwConnectedIDNameOffset;
  DWORD dwRedirectionIDFlags, dwRedirectionIDSize, dwRedirectionIDOffset,
      dwRedirectionIDNameSize, dwRedirectionIDNameOffset;
  DWORD dwRedirectingIDFlags, dwRedirectingIDSize, dwRedirectingIDOffset,
      dwRedirectingIDNameSize, dwRedirectingIDNameOffset;
  DWORD dwAppNameSize, dwAppNameOffset;
  DWORD dwDisplayableAddressSize, dwDisplayableAddressOffset;
  DWORD dwCalledPartySize, dwCalledPartyOffset;
  DWORD dwCommentSize, dwCommentOffset;
  DWORD dwDisplaySize, dwDisplayOffset;
  DWORD dwUserUserInfoSize, dwUserUserInfoOffset;
  DWORD dwHighLevelCompSize, dwHighLevelCompOffset;
  DWORD dwLowLevelCompSize, dwLowLevelCompOffset;
  DWORD dwChargingInfoSize, dwChargingInfoOffset;
  DWORD dwTerminalModesSize, dwTerminalModesOffset;
  DWORD dwDevSpecificSize, dwDevSpecificOffset;
  // 2.0
  DWORD dwCallTreatment, dwCallDataSize, dwCallDataOffset;
  DWORD dwSendingFlowspecSize, dwSendingFlowspecOffset;
  DWORD dwReceivingFlowspecSize, dwReceivingFlowspecOffset;
};
static_assert(sizeof(LINECALLINFO) == 324);

struct SYSTEMTIME16 {
  WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

struct LINECALLSTATUS {
  DWORD dwTotalSize, dwNeededSize, dwUsedSize;
  DWORD dwCallState, dwCallStateMode, dwCallPrivilege, dwCallFeatures;
  DWORD dwDevSpecificSize, dwDevSpecificOffset;
  DWORD dwCallFeatures2;  // 2.0
  SYSTEMTIME16 tStateEntryTime;
};
static_assert(sizeof(LINECALLSTATUS) == 56);

struct LINEMONITORTONE {
  DWORD_PTR dwAppSpecific;
  DWORD dwDuration, dwFrequency1, dwFrequency2, dwFrequency3;
};

struct PHONECAPS {
  DWORD dwTotalSize, dwNeededSize, dwUsedSize;
  DWORD dwProviderInfoSize, dwProviderInfoOffset;
  DWORD dwPhoneInfoSize, dwPhoneInfoOffset;
  DWORD dwPermanentPhoneID;
  DWORD dwPhoneNameSize, dwPhoneNameOffset;
  DWORD dwStringFormat, dwPhoneStates, dwHookSwitchDevs;
  DWORD dwHandsetHookSwitchModes, dwSpeakerHookSwitchModes, dwHeadsetHookSwitchModes;
  DWORD dwVolumeFlags, dwGainFlags;
  DWORD dwDisplayNumRows, dwDisplayNumColumns, dwNumRingModes, dwNumButtonLamps;
  DWORD dwButtonModesSize, dwButtonModesOffset;
  DWORD dwButtonFunctionsSize, dwButtonFunctionsOffset;
  DWORD dwLampModesSize, dwLampModesOffset;
  DWORD dwNumSetData, dwSetDataSize, dwSetDataOffset;
  DWORD dwNumGetData, dwGetDataSize, dwGetDataOffset;
  DWORD dwDevSpecificSize, dwDevSpecificOffset;
  // 2.0
  DWORD dwDeviceClassesSize, dwDeviceClassesOffset;
  DWORD dwPhoneFeatures;
  DWORD dwSettableHandsetHookSwitchModes, dwSettableSpeakerHookSwitchModes,
      dwSettableHeadsetHookSwitchModes;
  DWORD dwMonitoredHandsetHookSwitchModes, dwMonitoredSpeakerHookSwitchModes,
      dwMonitoredHeadsetHookSwitchModes;
};
static_assert(sizeof(PHONECAPS) == 180);

struct PHONESTATUS {
  DWORD dwTotalSize, dwNeededSize, dwUsedSize;
  DWORD dwStatusFlags, dwNumOwners, dwNumMonitors;
  DWORD dwRingMode, dwRingVolume;
  DWORD dwHandsetHookSwitchMode, dwHandsetVolume, dwHandsetGain;
  DWORD dwSpeakerHookSwitchMode, dwSpeakerVolume, dwSpeakerGain;
  DWORD dwHeadsetHookSwitchMode, dwHeadsetVolume, dwHeadsetGain;
  DWORD dwDisplaySize, dwDisplayOffset;
  DWORD dwLampModesSize, dwLampModesOffset;
  DWORD dwOwnerNameSize, dwOwnerNameOffset;
  DWORD dwDevSpecificSize, dwDevSpecificOffset;
  DWORD dwPhoneFeatures;  // 2.0
};
static_assert(sizeof(PHONESTATUS) == 104);

// Fixed-part sizes by negotiated API version: a caller that negotiated an
// older version may pass the smaller structure of that version.
inline constexpr std::size_t LineDevCapsFixedSize(DWORD version) {
  return version >= kApiVersion22   ? sizeof(LINEDEVCAPS)
         : version >= kApiVersion20 ? offsetof(LINEDEVCAPS, PermanentLineGuid)
         : version >= kApiVersion14 ? offsetof(LINEDEVCAPS, dwSettableDevStatus)
                                    : offsetof(LINEDEVCAPS, dwLineFeatures);
}
inline constexpr std::size_t LineAddressCapsFixedSize(DWORD version) {
  return version >= kApiVersion20   ? sizeof(LINEADDRESSCAPS)
         : version >= kApiVersion14 ? offsetof(LINEADDRESSCAPS, dwPredictiveAutoTransferStates)
                                    : offsetof(LINEADDRESSCAPS, dwAddressFeatures);
}
inline constexpr std::size_t LineCallInfoFixedSize(DWORD version) {
  return version >= kApiVersion20 ? sizeof(LINECALLINFO) : offsetof(LINECALLINFO, dwCallTreatment);
}
inline constexpr std::size_t LineCallStatusFixedSize(DWORD version) {
  return version >= kApiVersion20 ? sizeof(LINECALLSTATUS) : offsetof(LINECALLSTATUS, dwCallFeatures2);
}
inline constexpr std::size_t PhoneCapsFixedSize(DWORD version) {
  return version >= kApiVersion20 ? sizeof(PHONECAPS) : offsetof(PHONECAPS, dwDeviceClassesSize);
}
inline constexpr std::size_t PhoneStatusFixedSize(DWORD version) {
  return version >= kApiVersion20 ? sizeof(PHONESTATUS) : offsetof(PHONESTATUS, dwPhoneFeatures);
}

}  // namespace telvora::tapi
