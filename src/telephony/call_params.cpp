#include "telephony/call_params.h"

namespace telvora::telephony {

using namespace tapi;

LINECALLPARAMS BuildCallParams(TMediaMode mode, DWORD line_media_modes, int address_id,
                               bool wait_for_dial_tone) {
  LINECALLPARAMS p{};
  p.dwTotalSize = sizeof(LINECALLPARAMS);
  p.dwBearerMode = mode == mmFax ? LINEBEARERMODE_PASSTHROUGH : LINEBEARERMODE_VOICE;
  p.dwMinRate = kCallMinRate;
  p.dwMaxRate = kCallMaxRate;
  if (mode == mmVoice) {
    DWORD media = 0;
    if (line_media_modes & LINEMEDIAMODE_UNKNOWN) media |= LINEMEDIAMODE_UNKNOWN;
    media |= (line_media_modes & LINEMEDIAMODE_AUTOMATEDVOICE) ? LINEMEDIAMODE_AUTOMATEDVOICE
                                                               : LINEMEDIAMODE_INTERACTIVEVOICE;
    p.dwMediaMode = media;
  } else {
    p.dwMediaMode = LINEMEDIAMODE_DATAMODEM;
  }
  p.dwCallParamFlags = LINECALLPARAMFLAGS_IDLE;
  p.dwAddressMode = LINEADDRESSMODE_ADDRESSID;
  p.dwAddressID = static_cast<DWORD>(address_id);
  p.DialParams.dwWaitForDialtone = wait_for_dial_tone ? kWaitForDialToneValue : 0;
  return p;
}

DWORD BearerModeOf(TMediaMode mode) {
  switch (mode) {
    case mmData: return LINEBEARERMODE_DATA;
    case mmFax: return LINEBEARERMODE_PASSTHROUGH;
    default: return LINEBEARERMODE_VOICE;
  }
}

}  // namespace telvora::telephony
