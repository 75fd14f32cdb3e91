#pragma once
// The mapping from operating system error numbers (Windows numbering, as
// platform/last_error.h reports them) to engine codes, used where a failed
// file operation on a table becomes an engine error.
//
//   2, 3 (file or path not found)          -> 11010 VORA_OSENOENT
//   4 (too many open files)                -> 11012 VORA_OSEMFILE
//   5, 32, 65 (access denied, sharing
//              violation, network denied)  -> 11013 VORA_OSEACCES
//   6 (invalid handle)                     -> 11014 VORA_OSEBADF
//   8 (not enough memory)                  -> 11016 VORA_OSENOMEM
//   15 (invalid drive)                     -> 11023 VORA_OSENODEV
//   17 (not the same device)               -> 11025 VORA_OSENOTSAM
//   any other                              -> 11047 VORA_OSUNKNOWN
//
// Stateless; any thread may call.

#include <cstdint>
#include <string>

namespace telvora::storage {

std::uint16_t EngineCodeForSystemError(std::uint32_t windows_error);

// Raises the engine code of `windows_error` with `table` as the table text.
// `windows_error` is first recorded as the calling thread's last system
// error, so the exception's SystemErrorNumber is the number the code was
// mapped from, and for 11047 that same number is what the message shows
// ("An unknown operating system error 112 occurred with the table ...").
[[noreturn]] void RaiseSystemError(std::uint32_t windows_error, const std::string& table);

}  // namespace telvora::storage
