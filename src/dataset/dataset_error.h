#pragma once
// The dataset layer's own failures: fixed message texts, raised as
// storage::EDatabaseError, and EAbort, the silent exception that ends an
// operation without a message (an error event answering daAbort).
//
// Pure functions; any thread.

#include <exception>
#include <string>
#include <string_view>

#include "storage/database_error.h"

namespace telvora::dataset {

using storage::EDatabaseError;

// Ends an operation quietly: the application's error handler shows nothing
// for it.
class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

// Messages of the table component.
inline constexpr std::string_view kMissingTableName = "Missing table name.";
inline constexpr std::string_view kCreateHandleFailed = "Error creating table handle.";
inline constexpr std::string_view kNotEditing = "Table is not in edit or insert mode.";
inline constexpr std::string_view kNotIndexField = "Field %s is not in the current index.";
inline constexpr std::string_view kFieldReadOnly = "Field %s cannot be modified.";
inline constexpr std::string_view kFieldNotFound = "Field '%s' not found";
inline constexpr std::string_view kFieldRequired = "Field '%s' must have a value";
inline constexpr std::string_view kDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr std::string_view kDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr std::string_view kDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr std::string_view kDataSetClosed = "Cannot perform this operation on a closed dataset";

// Messages of index selection, searches, master-detail links and BLOB
// streams.
inline constexpr std::string_view kNoIndexForFields = "No index for fields '%s'";
inline constexpr std::string_view kFieldIndexOutOfRange = "Field index out of range.";
inline constexpr std::string_view kIndexFieldMissing = "Cannot access index field %s.";
inline constexpr std::string_view kCircularDataLink = "Circular data links are not allowed.";

// Messages of sessions and databases.
inline constexpr std::string_view kSessionActive = "Cannot perform this operation on an active session.";
inline constexpr std::string_view kAutoSessionActive = "Cannot perform this operation on the active auto-session.";
inline constexpr std::string_view kDuplicateSessionName = "Session name %s already exists.";
inline constexpr std::string_view kInvalidSessionName = "Session name %s is not valid.";
inline constexpr std::string_view kSessionNameMissing = "Session name is missing.";
inline constexpr std::string_view kAutoSessionExclusive = "The active auto-session can be the only active session.";
inline constexpr std::string_view kAutoSessionExists = "This auto-session already exists.";
inline constexpr std::string_view kDatabaseNameMissing = "Database name is missing.";
inline constexpr std::string_view kInvalidDatabaseName = "Database name %s is not valid.";
inline constexpr std::string_view kDuplicateDatabaseName = "Database name %s already exists.";
inline constexpr std::string_view kDatabaseOpen = "Cannot perform this operation on an open database.";
inline constexpr std::string_view kDatabaseClosed = "Cannot perform this operation on a closed database.";
inline constexpr std::string_view kNoActiveTransaction = "Database %s has no active transaction.";
inline constexpr std::string_view kActiveTransaction = "Database %s already has an active transaction.";

// The template with its first "%s" replaced by the argument (inserted
// literally: a '%' in the argument is never read as a placeholder).
std::string FormatMessage(std::string_view message_template, const std::string& argument);

[[noreturn]] void DatabaseError(std::string_view message);
[[noreturn]] void DatabaseErrorFmt(std::string_view message_template, const std::string& argument);

}  // namespace telvora::dataset
