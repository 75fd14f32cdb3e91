#pragma once
// EVoraEngineError: the one exception the table engine raises, and the
// routines through which engine code raises it.
//
// An engine error carries its engine code, the operating system's and the
// socket layer's last error numbers of the moment it was raised, and seven
// context texts naming the things involved. Its message is
//   "Vora Engine Error # " + code in unsigned decimal + " " + message text,
// where the message text is the code's template filled from the context.
//
// Raising goes through one process-wide error context guarded by one mutex
// (separate from every table and session lock): the context is cleared,
// filled and turned into the exception under the lock, which is released as
// the exception leaves the raise routine. Any thread may raise; each
// exception owns a copy of its context, so concurrent raises never mix.

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "storage/database_error.h"

namespace telvora::storage {

// Longest context text kept; longer texts are cut.
inline constexpr std::size_t kMaxErrorContextText = 255;
// Longest message text (the filled-in template) kept; longer ones are cut.
inline constexpr std::size_t kMaxErrorMessageText = 254;

inline constexpr std::string_view kEngineErrorMessagePrefix = "Vora Engine Error # ";
inline constexpr std::string_view kUnknownEngineErrorText = "An unknown error occurred";

// The seven context texts of an engine error, in the raise routine's order.
struct ErrorContextTexts {
  std::string server;
  std::string user;
  std::string database;
  std::string table;
  std::string field;
  std::string index;
  std::string detail;
};

// Everything an engine error is built from.
struct EngineErrorContext {
  std::uint16_t code = 0;
  std::uint32_t system_error_number = 0;
  std::uint32_t socket_error_number = 0;
  ErrorContextTexts texts;
};

class EVoraEngineError : public EDatabaseError {
 public:
  // Builds the exception, its message included, from a filled context.
  explicit EVoraEngineError(const EngineErrorContext& context);

  std::uint32_t EngineCode;  // a 16-bit engine code
  std::uint32_t SystemErrorNumber;
  std::uint32_t SocketErrorNumber;
  std::string ContextServer;
  std::string ContextUser;
  std::string ContextDatabase;
  std::string ContextTable;
  std::string ContextField;
  std::string ContextIndex;
  std::string ContextDetail;
};

// The one routine through which engine code fails. Reads the calling
// thread's last system and socket error numbers (platform/last_error.h),
// cuts each text to kMaxErrorContextText characters, and throws
// EVoraEngineError.
[[noreturn]] void RaiseEngineError(std::uint16_t code, const std::string& server, const std::string& user,
                                   const std::string& database, const std::string& table,
                                   const std::string& field, const std::string& index,
                                   const std::string& detail);

// The same, with the texts named: RaiseEngineError(code, {.table = name}).
[[noreturn]] void RaiseEngineError(std::uint16_t code, const ErrorContextTexts& texts);

// For the table cursor and the dataset layer: nothing when `code` is 0,
// otherwise raises `code` with the cursor's database and table names and
// `text` as the detail text (RaiseForCursor) or as the field name
// (RaiseForCursorField). Server, user and index stay empty.
void RaiseForCursor(std::uint16_t code, const std::string& database, const std::string& table,
                    const std::string& text);
void RaiseForCursorField(std::uint16_t code, const std::string& database, const std::string& table,
                         const std::string& text);

// EngineCode of an EVoraEngineError; VORA_OSUNKNOWN (11047) for any other
// exception, so that callers can treat every failure as an engine code.
std::uint16_t EngineErrorCodeOf(const std::exception& error);

// The code's template filled with the context (the operating system error
// number in decimal), cut to kMaxErrorMessageText characters. Context texts
// are inserted literally: a '%' in a table name is never read as a
// placeholder. A code that is unknown or has no template gives
// kUnknownEngineErrorText.
std::string EngineErrorMessageText(std::uint16_t code, const EngineErrorContext& context);

// The code's symbolic name ("VORA_KEYVIOL"), empty for an unknown code.
std::string_view EngineErrorName(std::uint16_t code);

}  // namespace telvora::storage
