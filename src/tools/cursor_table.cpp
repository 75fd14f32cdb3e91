#include "tools/cursor_table.h"

#include <array>
#include <stdexcept>

#include "storage/byte_image.h"

namespace telvora::tools {

CursorTable::CursorTable(const TableArgument& table, bool natural_order, const std::string& password) {
  session_.AddPassword(password);
  directory_ = &session_.OpenDirectory("", table.folder);
  try {
    cursor_ = std::make_unique<engine::TDataCursor>(*directory_);
    cursor_->SetTableName(table.name);
    cursor_->SetOpenInNaturalOrder(natural_order);
    cursor_->OpenCursor();
  } catch (...) {
    cursor_.reset();
    session_.CloseDirectory(*directory_);
    throw;
  }
}

CursorTable::~CursorTable() {
  // The cursor closes (errors ignored) and releases its record lock.
  cursor_.reset();
  session_.CloseDirectory(*directory_);
}

void CreateTableAt(const TableArgument& table, const engine::TTableDescription& description, bool overwrite) {
  engine::TDataSession session;
  engine::TDataDirectory& directory = session.OpenDirectory("", table.folder);
  try {
    engine::TDataCursor creator(directory);
    creator.SetTableName(table.name);
    creator.SetExclusive(true);
    creator.CreateTable(description, overwrite);
  } catch (...) {
    session.CloseDirectory(directory);
    throw;
  }
  session.CloseDirectory(directory);
}

void PositionOnSlot(engine::TDataCursor& cursor, std::int32_t recno) {
  if (!cursor.NaturalOrder()) cursor.SelectIndexNumber(engine::TDataCursor::kNaturalOrder);
  std::array<std::uint8_t, engine::TDataCursor::kNaturalBookmarkSize> bookmark{};
  storage::StoreLittle<std::int32_t>(bookmark, 0, recno);
  // Without nearest the move succeeds only on that very slot, and only an
  // active record is visible in natural order.
  if (recno < 1 || !cursor.GotoBookmark(bookmark, false)) {
    throw std::runtime_error("record " + std::to_string(recno) + " is not an active record of the table");
  }
}

}  // namespace telvora::tools
