#pragma once
// The short form in which the table-file codecs raise engine errors.
//
// Every header, descriptor and record codec of this folder reports a failure
// through RaiseTableError with one of the codes below and the table name (and
// the field or index name where the message names one); it raises the
// engine's EVoraEngineError. StorageErrorCode reads the code of a caught
// exception.

#include <cstdint>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"

namespace telvora::storage {

// Engine error codes raised by the table-file codecs.
inline constexpr std::uint16_t kHeaderCorrupt = VORA_HEADERCORRUPT;
inline constexpr std::uint16_t kReadError = VORA_READERR;
inline constexpr std::uint16_t kWriteError = VORA_WRITEERR;
inline constexpr std::uint16_t kRecordTooBig = VORA_RECTOOBIG;
inline constexpr std::uint16_t kFieldLimit = VORA_FLDLIMIT;
inline constexpr std::uint16_t kBlobLimit = VORA_BLOBLIMIT;
inline constexpr std::uint16_t kInvalidFieldDefinition = VORA_INVALIDFLDTYPE;
inline constexpr std::uint16_t kOldVersion = VORA_OLDVERSION;
inline constexpr std::uint16_t kCannotLoadLanguageDriver = VORA_CANNOTLOADLDDRV;

[[noreturn]] inline void RaiseTableError(std::uint16_t code, const std::string& table,
                                         const std::string& field = {}, const std::string& index = {}) {
  RaiseEngineError(code, {.table = table, .field = field, .index = index});
}

// The engine error code an exception raised by RaiseTableError carries;
// nullopt for any other exception.
inline std::optional<std::uint16_t> StorageErrorCode(const std::exception& e) {
  if (const auto* error = dynamic_cast<const EVoraEngineError*>(&e)) {
    return static_cast<std::uint16_t>(error->EngineCode);
  }
  return std::nullopt;
}

}  // namespace telvora::storage
