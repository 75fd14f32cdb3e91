#include "telephony/device_id_lookup.h"

#include <cstring>

#include "tapi/tapi.h"
#include "telephony/tel_types.h"
#include "telephony/variable_query.h"

namespace telvora::telephony {

using namespace tapi;

namespace {

int MapGetIdError(LONG error) {
  switch (error) {
    case LINEERR_ALLOCATED:
    case LINEERR_RESOURCEUNAVAIL: return kResultAllocated;
    case LINEERR_CALLUNAVAIL: return kResultLineUnavailable;
    case LINEERR_INVALADDRESS: return kResultInvalidNumber;
    case LINEERR_INVALADDRESSID: return kResultAddressId;
    case LINEERR_INVALCALLHANDLE: return kResultBadCallHandle;
    case LINEERR_INVALMEDIAMODE: return kResultMediaMode;
    default: return kResultOk;
  }
}

}  // namespace

int LookupDeviceID(HLINE line, DWORD address_id, HCALL call, DWORD select, const char* device_class,
                   int& id) {
  id = kNoDeviceId;
  TVarBuffer buffer;
  // One spare byte beyond the total size, as the structure's string may be
  // read up to its end.
  const int result = QueryVariable(
      kDeviceIdInitialSize, 1, LINEERR_STRUCTURETOOSMALL,
      [&](void* s) {
        return lineGetID(line, address_id, call, select, static_cast<VARSTRING*>(s), device_class);
      },
      MapGetIdError, buffer);
  if (result != kResultOk || !buffer.Valid()) return result;
  const VARSTRING* v = buffer.As<VARSTRING>();
  if (v->dwStringSize >= sizeof(DWORD) &&
      static_cast<std::size_t>(v->dwStringOffset) + sizeof(DWORD) <= buffer.Size()) {
    DWORD value = 0;
    std::memcpy(&value, buffer.Bytes() + v->dwStringOffset, sizeof value);
    id = static_cast<int>(value);
  }
  return kResultOk;
}

}  // namespace telvora::telephony
