#include "tools/json_lines_insert.h"

#include <istream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "dataset/field.h"
#include "dataset/vora_database.h"
#include "engine/record_validation.h"
#include "storage/field_types.h"
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

// The component's field object for each engine field number (nullptr where
// it has none, which a table component opened with its default fields does
// not leave).
std::vector<dataset::TField*> FieldObjects(dataset::TVoraTable& table, std::size_t engine_fields) {
  std::vector<dataset::TField*> objects(engine_fields + 1, nullptr);
  for (int i = 0; i < table.FieldCount(); ++i) {
    dataset::TField* field = table.Fields(i);
    if (!field->Calculated() && field->FieldNo() > 0 && static_cast<std::size_t>(field->FieldNo()) <= engine_fields) {
      objects[static_cast<std::size_t>(field->FieldNo())] = field;
    }
  }
  return objects;
}

// Puts one prepared record into the table's new record: every non-BLOB
// field's value as converted (missing ones hold the defaults the new record
// has too), then the BLOB values given.
void FillNewRecord(const RecordFields& fields, const std::vector<dataset::TField*>& objects,
                   const PreparedRecord& record) {
  for (std::size_t number = 1; number <= fields.fields.size(); ++number) {
    const storage::TFieldLayout layout = storage::TFieldLayout::Of(fields.fields[number - 1]);
    if (layout.type == storage::kTypeBlob || layout.IsAutoInc() || objects[number] == nullptr) continue;
    objects[number]->CopyValueFrom(record.buffer);
  }
  for (const BlobValue& blob : record.blobs) {
    if (dataset::TField* field = objects[blob.field]) field->SetAsString(blob.bytes);
  }
}

}  // namespace

std::int64_t InsertJsonLines(dataset::TVoraTable& table, std::istream& lines) {
  engine::TDataCursor& cursor = *table.Handle();
  const std::vector<PreparedRecord> records = PrepareRecords(cursor, lines);
  if (records.empty()) return 0;
  const RecordFields fields = FieldsOf(cursor);
  const std::vector<dataset::TField*> objects = FieldObjects(table, fields.fields.size());

  dataset::TVoraDatabase& database = *table.Database();
  database.StartTransaction();
  const PreparedRecord* current = nullptr;
  try {
    for (const PreparedRecord& record : records) {
      current = &record;
      table.Append();
      FillNewRecord(fields, objects, record);
      table.Post();
    }
    database.Commit();
  } catch (const std::exception& e) {
    if (table.State() != dataset::TDataSetState::Browsing) table.Cancel();
    database.Rollback();
    throw InsertLineError(current != nullptr ? current->line : 0, std::string(e.what()) + " (nothing inserted)");
  }
  return static_cast<std::int64_t>(records.size());
}

}  // namespace telvora::tools
