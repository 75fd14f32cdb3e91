#pragma once
// The telephony service: the line and phone functions of the Windows
// Telephony API, with its names, arguments and conventions, over the devices
// of our providers (modem, lab; see device_configuration.h).
//
// Conventions, as on Windows:
// - A function returns 0 (or, for an asynchronous one, a positive request
//   id) on success and a negative LINEERR_/PHONEERR_ code on failure. An
//   asynchronous request ends with LINE_REPLY/PHONE_REPLY (param1 = the
//   request id, param2 = 0 or the error), delivered with the callback
//   instance of the line or phone it was made on.
// - Queries fill variable-size structures (tapi_structures.h).
// - Notifications reach the callback given to lineInitialize*/
//   phoneInitialize*, on the thread that called it, in order, while that
//   thread runs a Qt event loop. Handle cells (lineMakeCall's lphCall, ...)
//   are written just before the LINE_REPLY that completes them is delivered.
// - Any thread may call the functions.
//
// The set of devices is fixed when the first application initialises and
// stays until the last one shuts down.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "tapi/line_device.h"
#include "tapi/phone_device.h"
#include "tapi/tapi_constants.h"
#include "tapi/tapi_structures.h"

namespace telvora::tapi {

// ---- Line functions ----
LONG lineInitializeExW(HLINEAPP* lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                       const char16_t* lpszFriendlyAppName, DWORD* lpdwNumDevs,
                       DWORD* lpdwAPIVersion, LINEINITIALIZEEXPARAMS* lpLineInitializeExParams);
LONG lineInitialize(HLINEAPP* lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                    const char* lpszAppName, DWORD* lpdwNumDevs);
LONG lineShutdown(HLINEAPP hLineApp);
LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                             DWORD dwAPIHighVersion, DWORD* lpdwAPIVersion,
                             LINEEXTENSIONID* lpExtensionID);
LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                    LINEDEVCAPS* lpLineDevCaps);
LONG lineGetDevCapsW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                     LINEDEVCAPS* lpLineDevCaps);
LONG lineGetAddressCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAddressID, DWORD dwAPIVersion,
                        DWORD dwExtVersion, LINEADDRESSCAPS* lpAddressCaps);
LONG lineGetAddressCapsW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAddressID,
                         DWORD dwAPIVersion, DWORD dwExtVersion, LINEADDRESSCAPS* lpAddressCaps);
LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE* lphLine, DWORD dwAPIVersion,
              DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
              DWORD dwMediaModes, const LINECALLPARAMS* lpCallParams);
LONG lineClose(HLINE hLine);
LONG lineGetID(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect, VARSTRING* lpDeviceID,
               const char* lpszDeviceClass);
LONG lineSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates);
LONG lineGetDevConfig(DWORD dwDeviceID, VARSTRING* lpDeviceConfig, const char* lpszDeviceClass);
LONG lineSetDevConfig(DWORD dwDeviceID, const void* lpDeviceConfig, DWORD dwSize,
                      const char* lpszDeviceClass);
LONG lineConfigDialog(DWORD dwDeviceID, HWND hwndOwner, const char* lpszDeviceClass);
LONG lineMakeCall(HLINE hLine, HCALL* lphCall, const char* lpszDestAddress, DWORD dwCountryCode,
                  const LINECALLPARAMS* lpCallParams);
LONG lineDial(HCALL hCall, const char* lpszDestAddress, DWORD dwCountryCode);
LONG lineDrop(HCALL hCall, const char* lpsUserUserInfo, DWORD dwSize);
LONG lineDeallocateCall(HCALL hCall);
LONG lineGetCallInfo(HCALL hCall, LINECALLINFO* lpCallInfo);
LONG lineGetCallStatus(HCALL hCall, LINECALLSTATUS* lpCallStatus);
LONG lineAnswer(HCALL hCall, const char* lpsUserUserInfo, DWORD dwSize);
LONG lineHold(HCALL hCall);
LONG lineUnhold(HCALL hCall);
LONG lineSetCallParams(HCALL hCall, DWORD dwBearerMode, DWORD dwMinRate, DWORD dwMaxRate,
                       const LINEDIALPARAMS* lpDialParams);
LONG lineBlindTransfer(HCALL hCall, const char* lpszDestAddress, DWORD dwCountryCode);
LONG lineSetupTransfer(HCALL hCall, HCALL* lphConsultCall, const LINECALLPARAMS* lpCallParams);
LONG lineCompleteTransfer(HCALL hCall, HCALL hConsultCall, HCALL* lphConfCall,
                          DWORD dwTransferMode);
LONG lineSetupConference(HCALL hCall, HLINE hLine, HCALL* lphConfCall, HCALL* lphConsultCall,
                         DWORD dwNumParties, const LINECALLPARAMS* lpCallParams);
LONG lineAddToConference(HCALL hConfCall, HCALL hConsultCall);
LONG lineGenerateDigits(HCALL hCall, DWORD dwDigitMode, const char* lpszDigits, DWORD dwDuration);
LONG lineMonitorDigits(HCALL hCall, DWORD dwDigitModes);
LONG lineMonitorMedia(HCALL hCall, DWORD dwMediaModes);
LONG lineMonitorTones(HCALL hCall, const LINEMONITORTONE* lpToneList, DWORD dwNumEntries);

// ---- Phone functions ----
LONG phoneInitializeExW(HPHONEAPP* lphPhoneApp, HINSTANCE hInstance, PHONECALLBACK lpfnCallback,
                        const char16_t* lpszFriendlyAppName, DWORD* lpdwNumDevs,
                        DWORD* lpdwAPIVersion, PHONEINITIALIZEEXPARAMS* lpPhoneInitializeExParams);
LONG phoneInitialize(HPHONEAPP* lphPhoneApp, HINSTANCE hInstance, PHONECALLBACK lpfnCallback,
                     const char* lpszAppName, DWORD* lpdwNumDevs);
LONG phoneShutdown(HPHONEAPP hPhoneApp);
LONG phoneNegotiateAPIVersion(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                              DWORD dwAPIHighVersion, DWORD* lpdwAPIVersion,
                              PHONEEXTENSIONID* lpExtensionID);
LONG phoneGetDevCaps(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                     DWORD dwExtVersion, PHONECAPS* lpPhoneCaps);
LONG phoneOpen(HPHONEAPP hPhoneApp, DWORD dwDeviceID, HPHONE* lphPhone, DWORD dwAPIVersion,
               DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivilege);
LONG phoneClose(HPHONE hPhone);
LONG phoneSetStatusMessages(HPHONE hPhone, DWORD dwPhoneStates, DWORD dwButtonModes,
                            DWORD dwButtonStates);
LONG phoneSetHookSwitch(HPHONE hPhone, DWORD dwHookSwitchDevs, DWORD dwHookSwitchMode);
LONG phoneGetHookSwitch(HPHONE hPhone, DWORD* lpdwHookSwitchDevs);
LONG phoneGetStatus(HPHONE hPhone, PHONESTATUS* lpPhoneStatus);
// Synchronous here: 0 or a PHONEERR_ code.
LONG phoneSetVolume(HPHONE hPhone, DWORD dwHookSwitchDev, DWORD dwVolume);
LONG phoneSetGain(HPHONE hPhone, DWORD dwHookSwitchDev, DWORD dwGain);
LONG phoneSetRing(HPHONE hPhone, DWORD dwRingMode, DWORD dwVolume);
LONG phoneGetRing(HPHONE hPhone, DWORD* lpdwRingMode, DWORD* lpdwVolume);
LONG phoneSetLamp(HPHONE hPhone, DWORD dwButtonLampID, DWORD dwLampMode);
LONG phoneGetLamp(HPHONE hPhone, DWORD dwButtonLampID, DWORD* lpdwLampMode);
LONG phoneSetDisplay(HPHONE hPhone, DWORD dwRow, DWORD dwColumn, const char* lpsDisplay,
                     DWORD dwSize);
LONG phoneGetDisplay(HPHONE hPhone, VARSTRING* lpDisplay);

// ---- Platform side ----

// The devices of one service lifetime.
struct DeviceSet {
  std::vector<std::unique_ptr<LineDevice>> lines;
  std::vector<std::unique_ptr<PhoneDevice>> phones;
};
using DeviceFactory = std::function<DeviceSet()>;

// Replaces where devices come from (by default the platform configuration,
// device_configuration.h). Takes effect at the next first initialisation;
// an empty function restores the default. Tests install lab devices here.
void SetDeviceFactory(DeviceFactory factory);

// The line configuration dialog: given the device, the owner window and the
// device's configuration block, returns 0 (the block, possibly changed, is
// stored) or a LINEERR_ code. Without one, lineConfigDialog reports
// LINEERR_OPERATIONUNAVAIL (this layer has no windows).
using ConfigDialogHandler = std::function<LONG(DWORD device_id, HWND owner,
                                               std::vector<std::uint8_t>& config)>;
void SetConfigDialogHandler(ConfigDialogHandler handler);

}  // namespace telvora::tapi
