#include "tools/db_record_edit_commands.h"

#include <limits>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "storage/engine_error.h"
#include "tools/cursor_table.h"
#include "tools/record_json.h"

namespace telvora::tools {
namespace {

std::int32_t RecordNumberOption(const CommandLine& line) {
  const std::string text = line.Require("recno");
  std::size_t used = 0;
  long long n = 0;
  try {
    n = std::stoll(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || n < 1 || n > std::numeric_limits<std::int32_t>::max()) {
    throw UsageError("--recno must be a record number from 1, not '" + text + "'");
  }
  return static_cast<std::int32_t>(n);
}

// The record as the cursor reads it now, as a table component holds it
// before an edit or a delete.
std::vector<std::uint8_t> ReadCurrent(engine::TDataCursor& cursor, std::int32_t recno) {
  std::vector<std::uint8_t> buffer(cursor.RecordSize());
  if (cursor.GetCurrentRecord(buffer) != engine::TDataCursor::kOk) {
    throw std::runtime_error("record " + std::to_string(recno) + " is not an active record of the table");
  }
  return buffer;
}

int RunDelete(const std::vector<std::string>& args, std::ostream&) {
  CommandLine line(args, {"recno", "password"}, {});
  line.ExpectPositional(1, "one TABLE");
  const std::int32_t recno = RecordNumberOption(line);
  CursorTable opened(ParseTableArgument(line.positional()[0]), /*natural_order=*/true,
                     line.Value("password").value_or(""));
  DeleteRecordAt(opened.cursor(), recno);
  return kExitSuccess;
}

int RunUpdate(const std::vector<std::string>& args, std::ostream&) {
  CommandLine line(args, {"recno", "set", "password"}, {});
  line.ExpectPositional(1, "one TABLE");
  const std::int32_t recno = RecordNumberOption(line);
  nlohmann::json values;
  try {
    values = nlohmann::json::parse(line.Require("set"));
  } catch (const nlohmann::json::exception& e) {
    throw UsageError(std::string("--set is not JSON: ") + e.what());
  }
  if (!values.is_object()) throw UsageError("--set must be a JSON object of field names and values");
  CursorTable opened(ParseTableArgument(line.positional()[0]), /*natural_order=*/true,
                     line.Value("password").value_or(""));
  UpdateRecordAt(opened.cursor(), recno, values);
  return kExitSuccess;
}

}  // namespace

void DeleteRecordAt(engine::TDataCursor& cursor, std::int32_t recno) {
  PositionOnSlot(cursor, recno);
  const std::vector<std::uint8_t> buffer = ReadCurrent(cursor, recno);
  cursor.DeleteRecord(buffer, false);
}

void UpdateRecordAt(engine::TDataCursor& cursor, std::int32_t recno, const nlohmann::json& values) {
  PositionOnSlot(cursor, recno);
  std::vector<std::uint8_t> buffer = ReadCurrent(cursor, recno);
  // The edit start: the record is locked (pessimistic protocol), or the
  // post compares it (optimistic).
  const int started = cursor.GetCurrentRecord(buffer, true);
  if (started != engine::TDataCursor::kOk) storage::RaiseEngineError(static_cast<std::uint16_t>(started), {.table = cursor.TableName()});
  try {
    const std::vector<BlobValue> blobs = SetFieldsFromJson(FieldsOf(cursor), values, buffer, AutoIncValue::Refuse);
    TBlobValueWrites writes(cursor, buffer, blobs);
    cursor.ModifyRecord(buffer, /*edit_locked=*/true, false);
  } catch (...) {
    cursor.CancelEdit();
    throw;
  }
}

DbCommand DeleteCommand() {
  return DbCommand{"delete", "TABLE --recno N [--password P]", "Delete the record in slot N.",
                   "N is the record's slot number, as dump prints it in \"recno\".", RunDelete};
}

DbCommand UpdateCommand() {
  return DbCommand{"update", "TABLE --recno N --set JSON [--password P]",
                   "Change fields of the record in slot N.",
                   "JSON is an object mapping field names to new values (null clears a field);\n"
                   "other fields keep their values. N is the slot number dump prints in \"recno\".",
                   RunUpdate};
}

}  // namespace telvora::tools
