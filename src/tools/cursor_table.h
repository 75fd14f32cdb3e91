#pragma once
// The one way telvora-db's record commands reach a table: an engine cursor
// on the TABLE argument, opened in a session and directory of its own and
// closed (record locks, directory and all) when the object goes. Every
// write through it takes the engine's locks and checks, so the commands
// behave like any other program sharing the table.
//
// Used by one thread.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/table_creation_checks.h"
#include "tools/table_argument.h"

namespace telvora::tools {

class CursorTable {
 public:
  // natural_order: open in the order of the record slots instead of the
  // primary index. `password` is offered when the table is encrypted.
  CursorTable(const TableArgument& table, bool natural_order, const std::string& password = {});
  ~CursorTable();
  CursorTable(const CursorTable&) = delete;
  CursorTable& operator=(const CursorTable&) = delete;

  engine::TDataCursor& cursor() { return *cursor_; }

 private:
  engine::TDataSession session_;
  engine::TDataDirectory* directory_ = nullptr;
  std::unique_ptr<engine::TDataCursor> cursor_;
};

// Creates the table's files from the description through an exclusive
// cursor, every engine check applying; without overwrite an existing table
// is the engine's 13060.
void CreateTableAt(const TableArgument& table, const engine::TTableDescription& description, bool overwrite);

// Puts a cursor in natural order on record slot `recno`. An error ("record
// N is not an active record of the table") when the slot does not exist or
// holds a deleted record.
void PositionOnSlot(engine::TDataCursor& cursor, std::int32_t recno);

}  // namespace telvora::tools
