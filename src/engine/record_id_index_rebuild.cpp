#include "engine/record_id_index_rebuild.h"

#include "storage/engine_error_codes.h"
#include "storage/index_key.h"
#include "storage/index_tree.h"
#include "storage/record_image.h"
#include "storage/storage_errors.h"

namespace telvora::engine {

void RebuildRecordIdIndex(storage::TDataTable& table) {
  if (!table.index_rebuilt() || table.read_only()) return;
  table.WriteLock();
  try {
    storage::TIndexFile& index = table.index_file();
    storage::TDataFile& data = table.data_file();
    // Set when the file was recreated; repeated so that a table never shows
    // an index order built from the lost file's definitions.
    if (!index.PrimaryIndexUnavailable()) index.SetPrimaryIndexUnavailable(true);
    storage::TIndexTree tree = table.IndexTree(storage::kRecordIdIndexSlot);
    const std::int64_t slots = data.PhysicalRecordCount();
    for (std::int32_t n = 1; n <= slots; ++n) {
      storage::TRecord* record = data.GetRecord(n);
      // Under the write lock no other writer can change the table, so a
      // record that cannot be obtained is a failed read.
      if (record == nullptr) storage::RaiseTableError(storage::VORA_READERR, table.table_name());
      const bool deleted = record->Deleted();
      const std::int32_t record_id = record->AutoIncWord();
      data.ReleaseRecord(record);
      if (!deleted) index.IncrementActiveRecordCount();
      tree.AddKey(storage::RecordIdIndexKey(deleted, record_id).data(), n);
    }
    table.Flush({.force_index_header = true});
  } catch (...) {
    try {
      // Nothing half-built may reach the file later: the next try starts
      // from the file as it was.
      table.DropCaches();
      table.index_file().RereadHeader();
      table.WriteUnlock();
    } catch (...) {
      // The first failure is the one to report.
    }
    throw;
  }
  table.WriteUnlock();
  table.set_index_rebuilt(false);
}

}  // namespace telvora::engine
