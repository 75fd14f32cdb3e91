#include "tools/db_dump_command.h"

#include <ostream>

#include <nlohmann/json.hpp>

#include "storage/field_types.h"
#include "tools/cursor_table.h"
#include "tools/record_json.h"

namespace telvora::tools {
namespace {

// A record buffer holding a range bound's values in the current index's
// key fields; returns the number of fields given.
int RangeBound(engine::TDataCursor& cursor, const std::string& option, const std::string& text,
               std::vector<std::uint8_t>& buffer) {
  nlohmann::json values;
  try {
    values = nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception& e) {
    throw UsageError("--" + option + " is not JSON: " + e.what());
  }
  if (!values.is_array()) values = nlohmann::json::array({values});
  const storage::TIndexDescriptor index = cursor.table().index_file().Header().Descriptor(cursor.CurrentIndex());
  if (values.empty() || values.size() > index.KeyFieldCount()) {
    throw UsageError("--" + option + " must give 1 to " + std::to_string(index.KeyFieldCount()) +
                     " values of the index fields");
  }
  const RecordFields fields = FieldsOf(cursor);
  buffer.assign(cursor.RecordSize(), 0);
  std::vector<BlobValue> no_blobs;
  for (std::size_t i = 0; i < values.size(); ++i) {
    SetFieldFromJson(fields, index.KeyFieldNumber(static_cast<int>(i)), values[i], buffer, no_blobs);
  }
  return static_cast<int>(values.size());
}

int RunDump(const std::vector<std::string>& args, std::ostream& out) {
  const DumpOptions options = ParseDumpOptions(args);
  CursorTable opened(options.table, /*natural_order=*/false, options.password);
  DumpRecords(opened.cursor(), options, out);
  return kExitSuccess;
}

}  // namespace

DumpOptions ParseDumpOptions(const std::vector<std::string>& args) {
  CommandLine line(args, {"index", "range-start", "range-end", "password"}, {});
  line.ExpectPositional(1, "one TABLE");
  DumpOptions options;
  options.table = ParseTableArgument(line.positional()[0]);
  options.password = line.Value("password").value_or("");
  options.index = line.Value("index");
  options.range_start = line.Value("range-start");
  options.range_end = line.Value("range-end");
  if (options.range_start.has_value() != options.range_end.has_value()) {
    throw UsageError("--range-start and --range-end go together");
  }
  return options;
}

void DumpRecords(engine::TDataCursor& cursor, const DumpOptions& options, std::ostream& out) {
  if (options.index) cursor.SelectIndex(*options.index);
  if (options.range_start) {
    if (cursor.NaturalOrder()) throw UsageError("a range needs an index: the table has no primary key; give --index");
    std::vector<std::uint8_t> start, end;
    const int start_fields = RangeBound(cursor, "range-start", *options.range_start, start);
    const int end_fields = RangeBound(cursor, "range-end", *options.range_end, end);
    cursor.SetRange(false, start, start_fields, end, end_fields);
  }
  std::vector<std::uint8_t> record(cursor.RecordSize());
  cursor.MoveFirst();
  while (cursor.MoveNext(record) == engine::TDataCursor::kOk) {
    nlohmann::ordered_json line = {{"recno", cursor.PhysicalRecNo()}, {"fields", RecordToJson(cursor, record)}};
    out << line.dump() << "\n";
  }
}

DbCommand DumpCommand() {
  return DbCommand{
      "dump", "TABLE [--index NAME] [--range-start JSON --range-end JSON] [--password P]",
      "Print the visible records in the cursor's order, one JSON object per line.",
      "Each line: {\"recno\": the record's slot number, \"fields\": {name: value, ...}}.\n"
      "--index NAME   the order of that index (default: the primary index, else slot order).\n"
      "--range-start, --range-end  bounds of the index fields' values: a JSON array of the\n"
      "               first fields' values, or one value.",
      RunDump};
}

}  // namespace telvora::tools
