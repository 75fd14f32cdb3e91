#pragma once
// The device ID of a device class ("wave/in", "wave/out", "comm/datamodem",
// "tapi/phone") belonging to a line, an address of it or a call, through
// lineGetID. The ID starts at -2 (none) and becomes the first 32-bit word of
// the returned string. TAPI's refusal maps to a result code where it means a
// real failure (106, 107, 155, 114, 115, 162); any other failure, as a device
// class the line lacks, gives result 0 with the ID left at -2.
//
// Any thread.

#include "tapi/tapi_constants.h"

namespace telvora::telephony {

inline constexpr int kNoDeviceId = -2;
inline constexpr tapi::DWORD kDeviceIdInitialSize = 24;

int LookupDeviceID(tapi::HLINE line, tapi::DWORD address_id, tapi::HCALL call, tapi::DWORD select,
                   const char* device_class, int& id);

}  // namespace telvora::telephony
