#pragma once
// Text inside a TAPI structure, named by an offset and a size in bytes: the
// bytes up to the first terminator within the size (a 16-bit zero for 16-bit
// strings, else an 8-bit zero), 16-bit strings taken as UTF-16 and 8-bit ones
// decoded from the ANSI code page (1256, the application's). A string that
// does not lie inside the structure yields -1 and no text.
//
// Pure; any thread.

#include <string>

#include "tapi/tapi_constants.h"
#include "telephony/variable_query.h"

namespace telvora::telephony {

int TextFromStructure(const TVarBuffer& structure, tapi::DWORD offset, tapi::DWORD size, bool wide,
                      std::u16string& text);

// True for the string formats whose strings are 16-bit (DBCS, Unicode).
bool IsWideStringFormat(tapi::DWORD string_format);

}  // namespace telvora::telephony
