#include "storage/engine_error.h"

#include <mutex>

#include "platform/last_error.h"
#include "storage/engine_error_codes.h"

namespace telvora::storage {
namespace {

// The process-wide error context and its lock. The context only lives
// between the decision to fail and the exception's construction; the lock
// keeps two raising threads from filling it at the same time.
std::mutex error_context_lock;
EngineErrorContext error_context;

std::string Cut(std::string_view text, std::size_t limit) {
  return std::string(text.substr(0, limit));
}

std::string ArgumentText(EngineErrorArgument argument, const EngineErrorContext& context) {
  switch (argument) {
    case EngineErrorArgument::kServer: return context.texts.server;
    case EngineErrorArgument::kUser: return context.texts.user;
    case EngineErrorArgument::kDatabase: return context.texts.database;
    case EngineErrorArgument::kTable: return context.texts.table;
    case EngineErrorArgument::kField: return context.texts.field;
    case EngineErrorArgument::kIndex: return context.texts.index;
    case EngineErrorArgument::kDetail: return context.texts.detail;
    case EngineErrorArgument::kSystemErrorNumber: return std::to_string(context.system_error_number);
    case EngineErrorArgument::kNone: break;
  }
  return {};
}

// Replaces each "%s" of the template, left to right, by the next argument.
// Done by hand rather than with printf so that the texts, which come from
// table files and user input, are never interpreted as format directives.
std::string FillTemplate(const EngineErrorEntry& entry, const EngineErrorContext& context) {
  const std::string_view tmpl = entry.message_template;
  std::string text;
  std::size_t next_argument = 0;
  std::size_t pos = 0;
  while (pos < tmpl.size()) {
    const std::size_t hole = tmpl.find("%s", pos);
    if (hole == std::string_view::npos) break;
    text.append(tmpl.substr(pos, hole - pos));
    if (next_argument < entry.arguments.size()) {
      text += ArgumentText(entry.arguments[next_argument++], context);
    }
    pos = hole + 2;
  }
  text.append(tmpl.substr(pos));
  return text;
}

}  // namespace

std::string EngineErrorMessageText(std::uint16_t code, const EngineErrorContext& context) {
  const EngineErrorEntry* entry = FindEngineErrorEntry(code);
  if (entry == nullptr || entry->message_template.empty()) return std::string(kUnknownEngineErrorText);
  // A template without arguments (10758, 11016, 15001, 15002) is a fixed text.
  if (entry->arguments[0] == EngineErrorArgument::kNone) {
    return Cut(entry->message_template, kMaxErrorMessageText);
  }
  return Cut(FillTemplate(*entry, context), kMaxErrorMessageText);
}

std::string_view EngineErrorName(std::uint16_t code) {
  const EngineErrorEntry* entry = FindEngineErrorEntry(code);
  return entry == nullptr ? std::string_view() : entry->name;
}

EVoraEngineError::EVoraEngineError(const EngineErrorContext& context)
    : EDatabaseError(std::string(kEngineErrorMessagePrefix) + std::to_string(context.code) + " " +
                     EngineErrorMessageText(context.code, context)),
      EngineCode(context.code),
      SystemErrorNumber(context.system_error_number),
      SocketErrorNumber(context.socket_error_number),
      ContextServer(context.texts.server),
      ContextUser(context.texts.user),
      ContextDatabase(context.texts.database),
      ContextTable(context.texts.table),
      ContextField(context.texts.field),
      ContextIndex(context.texts.index),
      ContextDetail(context.texts.detail) {}

void RaiseEngineError(std::uint16_t code, const std::string& server, const std::string& user,
                      const std::string& database, const std::string& table, const std::string& field,
                      const std::string& index, const std::string& detail) {
  std::lock_guard lock(error_context_lock);
  error_context = EngineErrorContext{};
  error_context.code = code;
  error_context.system_error_number = platform::GetLastSystemError();
  error_context.socket_error_number = platform::GetLastSocketError();
  error_context.texts.server = Cut(server, kMaxErrorContextText);
  error_context.texts.user = Cut(user, kMaxErrorContextText);
  error_context.texts.database = Cut(database, kMaxErrorContextText);
  error_context.texts.table = Cut(table, kMaxErrorContextText);
  error_context.texts.field = Cut(field, kMaxErrorContextText);
  error_context.texts.index = Cut(index, kMaxErrorContextText);
  error_context.texts.detail = Cut(detail, kMaxErrorContextText);
  // The exception object is built from the context before the lock guard is
  // destroyed during unwinding, so no other thread can change it meanwhile.
  throw EVoraEngineError(error_context);
}

void RaiseEngineError(std::uint16_t code, const ErrorContextTexts& texts) {
  RaiseEngineError(code, texts.server, texts.user, texts.database, texts.table, texts.field, texts.index,
                   texts.detail);
}

void RaiseForCursor(std::uint16_t code, const std::string& database, const std::string& table,
                    const std::string& text) {
  if (code == 0) return;
  RaiseEngineError(code, ErrorContextTexts{.database = database, .table = table, .detail = text});
}

void RaiseForCursorField(std::uint16_t code, const std::string& database, const std::string& table,
                         const std::string& text) {
  if (code == 0) return;
  RaiseEngineError(code, ErrorContextTexts{.database = database, .table = table, .field = text});
}

std::uint16_t EngineErrorCodeOf(const std::exception& error) {
  if (const auto* engine_error = dynamic_cast<const EVoraEngineError*>(&error)) {
    return static_cast<std::uint16_t>(engine_error->EngineCode);
  }
  return VORA_OSUNKNOWN;
}

}  // namespace telvora::storage
