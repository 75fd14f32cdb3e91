#pragma once
// Inserting records from JSON lines through the table component, all or
// nothing.
//
// Each non-blank line is one JSON object mapping field names to values
// (record_json.h); missing fields take their defaults. Every line is read,
// converted and validated (required, minimum, maximum) before the first
// record is appended, so that a bad line is reported without writing
// anything. The records are then appended in one transaction of the table's
// database: a line that still fails while posting (a duplicate key, a
// record locked by another program...) rolls the transaction back, so the
// table is as it was.
//
// REQUIRES: the table is open in natural order and its database is in no
// transaction. One thread.

#include <cstdint>
#include <iosfwd>
#include <stdexcept>

#include "dataset/vora_table.h"

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
std::int64_t InsertJsonLines(dataset::TVoraTable& table, std::istream& lines);

}  // namespace telvora::tools
