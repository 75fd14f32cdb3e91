#pragma once
// Inserting records from JSON lines, all or nothing.
//
// Each non-blank line is one JSON object mapping field names to values
// (record_json.h); missing fields take their defaults. Every line is read,
// converted and validated (required, minimum, maximum) before the first
// insert, so that a bad line leaves the table untouched. A line that still
// fails while inserting (a duplicate key, a record locked by another
// program...) makes the records this call inserted be deleted again, so
// that the table's records and indexes are as they were.
//
// REQUIRES: the cursor is open in natural order. One thread.

#include <cstdint>
#include <iosfwd>
#include <stdexcept>

#include "engine/data_cursor.h"

namespace telvora::tools {

// A line that stopped the insert: "line N: " + the reason (the engine's
// message for engine errors).
class InsertLineError : public std::runtime_error {
 public:
  InsertLineError(int line, const std::string& message)
      : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

// Returns the number of records inserted.
std::int64_t InsertJsonLines(engine::TDataCursor& cursor, std::istream& lines);

}  // namespace telvora::tools
