#pragma once
// telvora-db delete TABLE --recno N and
// telvora-db update TABLE --recno N --set JSON: one record, found by its
// slot number, deleted or changed through the cursor as the table component
// does it (edit start with the record lock, post, or delete), so that every
// engine check applies: key violations, required/minimum/maximum, a record
// another program holds locked.

#include <cstdint>

#include <nlohmann/json.hpp>

#include "engine/data_cursor.h"
#include "tools/db_tool.h"

namespace telvora::tools {

// REQUIRES (both): the cursor is open in natural order.
void DeleteRecordAt(engine::TDataCursor& cursor, std::int32_t recno);
// `values` maps field names to new values (record_json.h).
void UpdateRecordAt(engine::TDataCursor& cursor, std::int32_t recno, const nlohmann::json& values);

DbCommand DeleteCommand();
DbCommand UpdateCommand();

}  // namespace telvora::tools
