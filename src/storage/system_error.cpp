#include "storage/system_error.h"

#include "platform/last_error.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"

namespace telvora::storage {

std::uint16_t EngineCodeForSystemError(std::uint32_t windows_error) {
  switch (windows_error) {
    case platform::kErrorFileNotFound:
    case platform::kErrorPathNotFound: return VORA_OSENOENT;
    case platform::kErrorTooManyOpenFiles: return VORA_OSEMFILE;
    case platform::kErrorAccessDenied:
    case platform::kErrorSharingViolation:
    case platform::kErrorNetworkAccessDenied: return VORA_OSEACCES;
    case platform::kErrorInvalidHandle: return VORA_OSEBADF;
    case platform::kErrorNotEnoughMemory: return VORA_OSENOMEM;
    case platform::kErrorInvalidDrive: return VORA_OSENODEV;
    case platform::kErrorNotSameDevice: return VORA_OSENOTSAM;
    default: return VORA_OSUNKNOWN;
  }
}

void RaiseSystemError(std::uint32_t windows_error, const std::string& table) {
  platform::SetLastSystemError(windows_error);
  RaiseEngineError(EngineCodeForSystemError(windows_error), ErrorContextTexts{.table = table});
}

}  // namespace telvora::storage
