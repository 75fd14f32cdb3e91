#pragma once
// The one place where the table-file codecs raise engine errors.
//
// Every header, descriptor and record codec of this folder reports a failure
// through RaiseTableError with one of the codes below and the table name (and
// the field or index name where the message names one). The engine's error
// object lives in its own unit; this adapter keeps the codecs independent of
// how that object is built.
//
// StorageErrorCode is how callers and tests read the code of a caught
// exception without depending on its type. Everything is in this header so
// that switching to the engine's error type is one edit in one file.

#include <cstdint>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace telvora::storage {

// Engine error codes raised by the table-file codecs.
inline constexpr std::uint16_t kHeaderCorrupt = 8961;           // VORA_HEADERCORRUPT
inline constexpr std::uint16_t kReadError = 9217;               // VORA_READERR
inline constexpr std::uint16_t kWriteError = 9218;              // VORA_WRITEERR
inline constexpr std::uint16_t kRecordTooBig = 9477;            // VORA_RECTOOBIG
inline constexpr std::uint16_t kFieldLimit = 9492;              // VORA_FLDLIMIT
inline constexpr std::uint16_t kBlobLimit = 9498;               // VORA_BLOBLIMIT
inline constexpr std::uint16_t kInvalidFieldDefinition = 10000;  // VORA_INVALIDFLDTYPE
inline constexpr std::uint16_t kOldVersion = 12035;             // VORA_OLDVERSION
inline constexpr std::uint16_t kCannotLoadLanguageDriver = 15878;  // VORA_CANNOTLOADLDDRV

// The exception raised until the engine's own error type is wired in. It
// carries the code and the context names the message template needs.
class TableError : public std::runtime_error {
 public:
  TableError(std::uint16_t code, std::string table, std::string field, std::string index)
      : std::runtime_error("engine error " + std::to_string(code) + " in the table '" + table + "'"),
        code_(code),
        table_(std::move(table)),
        field_(std::move(field)),
        index_(std::move(index)) {}

  std::uint16_t code() const { return code_; }
  const std::string& table() const { return table_; }
  const std::string& field() const { return field_; }
  const std::string& index() const { return index_; }

 private:
  std::uint16_t code_;
  std::string table_;
  std::string field_;
  std::string index_;
};

[[noreturn]] inline void RaiseTableError(std::uint16_t code, const std::string& table,
                                         const std::string& field = {}, const std::string& index = {}) {
  throw TableError(code, table, field, index);
}

// The engine error code an exception raised by RaiseTableError carries;
// nullopt for any other exception.
inline std::optional<std::uint16_t> StorageErrorCode(const std::exception& e) {
  if (const auto* error = dynamic_cast<const TableError*>(&e)) return error->code();
  return std::nullopt;
}

}  // namespace telvora::storage
