#pragma once
// The call-parameter block of an outgoing call (LINECALLPARAMS, 176 bytes):
//
//   dwTotalSize          176
//   dwBearerMode         VOICE; PASSTHROUGH for mmFax
//   dwMinRate, dwMaxRate 28800, 57600
//   dwMediaMode          mmVoice: UNKNOWN when the line has it, plus
//                        AUTOMATEDVOICE when it has it, else INTERACTIVEVOICE;
//                        mmData, mmFax: DATAMODEM
//   dwCallParamFlags     IDLE
//   dwAddressMode        ADDRESSID, dwAddressID = AddressID
//   DialParams.dwWaitForDialtone  4 when waiting for dial tone, else 0
//   everything else      0
//
// Pure; any thread.

#include "tapi/tapi_structures.h"
#include "telephony/tel_types.h"

namespace telvora::telephony {

inline constexpr tapi::DWORD kCallMinRate = 28800;
inline constexpr tapi::DWORD kCallMaxRate = 57600;
inline constexpr tapi::DWORD kWaitForDialToneValue = 4;

tapi::LINECALLPARAMS BuildCallParams(TMediaMode mode, tapi::DWORD line_media_modes, int address_id,
                                     bool wait_for_dial_tone);

// The bearer mode a call keeps for pass-through switching, by media mode.
tapi::DWORD BearerModeOf(TMediaMode mode);

}  // namespace telvora::telephony
