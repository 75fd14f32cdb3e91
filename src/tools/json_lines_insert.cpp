#include "tools/json_lines_insert.h"

#include <istream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/record_validation.h"
#include "storage/record_image.h"
#include "tools/cursor_table.h"
#include "tools/record_json.h"

namespace telvora::tools {
namespace {

struct PreparedRecord {
  int line = 0;
  std::vector<std::uint8_t> buffer;
  std::vector<BlobValue> blobs;
};

std::vector<PreparedRecord> PrepareRecords(engine::TDataCursor& cursor, std::istream& lines) {
  const RecordFields fields = FieldsOf(cursor);
  std::vector<PreparedRecord> records;
  std::string text;
  int line = 0;
  while (std::getline(lines, text)) {
    ++line;
    if (text.find_first_not_of(" \t\r") == std::string::npos) continue;
    PreparedRecord record{line, std::vector<std::uint8_t>(cursor.RecordSize()), {}};
    try {
      cursor.InitRecord(record.buffer);
      record.blobs =
          SetFieldsFromJson(fields, nlohmann::json::parse(text), record.buffer, AutoIncValue::Ignore);
      if (engine::HasValidityChecks(fields.fields)) {
        engine::ValidateRecord(fields.fields, fields.locale, record.buffer, cursor.TableName());
      }
    } catch (const std::exception& e) {
      throw InsertLineError(line, e.what());
    }
    records.push_back(std::move(record));
  }
  if (lines.bad()) throw std::runtime_error("reading the records failed");
  return records;
}

// Deletes the records this call inserted, newest first. Returns how many
// could not be deleted (another program changed or locked them meanwhile).
int DeleteInserted(engine::TDataCursor& cursor, const std::vector<std::int32_t>& slots) {
  int left = 0;
  std::vector<std::uint8_t> buffer(cursor.RecordSize());
  for (auto it = slots.rbegin(); it != slots.rend(); ++it) {
    try {
      PositionOnSlot(cursor, *it);
      if (cursor.GetCurrentRecord(buffer) != 0) throw std::runtime_error("record gone");
      cursor.DeleteRecord(buffer, false);
    } catch (const std::exception&) {
      ++left;
    }
  }
  return left;
}

}  // namespace

std::int64_t InsertJsonLines(engine::TDataCursor& cursor, std::istream& lines) {
  std::vector<PreparedRecord> records = PrepareRecords(cursor, lines);
  std::vector<std::int32_t> inserted;
  inserted.reserve(records.size());
  for (PreparedRecord& record : records) {
    try {
      {
        TBlobValueWrites blobs(cursor, record.buffer, record.blobs);
        cursor.InsertRecord(record.buffer, false);
      }
      inserted.push_back(storage::TRecordImage(record.buffer).RecordNumber());
    } catch (const std::exception& e) {
      const int left = DeleteInserted(cursor, inserted);
      std::string message = e.what();
      if (left > 0) {
        message += " (" + std::to_string(left) + " of the " + std::to_string(inserted.size()) +
                   " records inserted before could not be removed again)";
      } else {
        message += " (nothing inserted)";
      }
      throw InsertLineError(record.line, message);
    }
  }
  return static_cast<std::int64_t>(inserted.size());
}

}  // namespace telvora::tools
