// A table's three files as another program (or a damaged disk) could have
// left them. The input holds the data file's length and the index file's
// length (32-bit little-endian each), then the data file, the index file and
// the BLOB file (the rest); a length past the end of the input is cut to
// what is there. The files are written into a scratch folder (in /dev/shm
// when there is one, so that runs stay fast), opened through a cursor
// exclusively and read-only, every order is walked from end to end, and the
// verify command's check runs over every structure.

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "fuzz_targets.h"
#include "engine/open_blob_values.h"
#include "storage/data_table.h"
#include "storage/field_types.h"
#include "storage/engine_error.h"
#include "storage/index_file.h"
#include "storage/index_file_header.h"
#include "storage/table_file_names.h"
#include "tools/table_verify.h"

namespace telvora::fuzz {
namespace {

namespace fs = std::filesystem;

constexpr char kTable[] = "Fuzz";
constexpr std::size_t kLengthBytes = 4;
// Walking an order stops after this many moves: a damaged index may claim
// more entries than a run should spend time on.
constexpr int kMostMoves = 2000;
constexpr std::size_t kBlobPiece = 4096;
constexpr std::size_t kMostBlobBytes = 1 << 20;

std::size_t LengthAt(const std::uint8_t* p) {
  return static_cast<std::size_t>(p[0]) | static_cast<std::size_t>(p[1]) << 8 |
         static_cast<std::size_t>(p[2]) << 16 | static_cast<std::size_t>(p[3]) << 24;
}

const fs::path& ScratchFolder() {
  static const fs::path folder = [] {
    const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    fs::path made = base / ("telvora-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(made);
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(ScratchFolder(), ignored);
    });
    return made;
  }();
  return folder;
}

void WriteFile(const std::string& path, const std::uint8_t* bytes, std::size_t length) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(length));
}

// Reads the record's BLOB values through the cursor, as a grid showing memo
// fields would, in pieces and no further than kMostBlobBytes each.
void ReadBlobs(engine::TDataCursor& cursor, std::vector<std::uint8_t>& record) {
  std::vector<std::uint8_t> piece(kBlobPiece);
  for (const storage::TFieldDescriptor& field : cursor.Fields()) {
    if (field.Type() != storage::kTypeBlob) continue;
    const auto number = static_cast<std::uint16_t>(field.FieldNumber());
    std::size_t size = 0;
    if (cursor.OpenBlob(number, record, engine::kBlobModeRead, false, size) != 0) continue;
    for (std::size_t offset = 0; offset < std::min(size, kMostBlobBytes); offset += kBlobPiece) {
      std::size_t read = 0;
      if (cursor.ReadBlob(number, record, offset, kBlobPiece, piece.data(), read) != 0 || read == 0) break;
    }
    cursor.CloseBlob(number, record);
  }
}

void Walk(engine::TDataCursor& cursor, bool blobs) {
  std::vector<std::uint8_t> record(cursor.RecordSize());
  cursor.MoveFirst();
  for (int moves = 0; moves < kMostMoves; ++moves) {
    if (cursor.MoveNext(record) != engine::TDataCursor::kOk) break;
    if (blobs) ReadBlobs(cursor, record);
  }
  cursor.MoveLast();
  for (int moves = 0; moves < kMostMoves; ++moves) {
    if (cursor.MovePrior(record) != engine::TDataCursor::kOk) break;
  }
  cursor.GetRecordCount();
}

}  // namespace

int FuzzTableFiles(const std::uint8_t* data, std::size_t size) {
  if (size < 2 * kLengthBytes) return 0;
  const std::uint8_t* end = data + size;
  const std::uint8_t* at = data + 2 * kLengthBytes;
  const std::size_t data_length = std::min(LengthAt(data), static_cast<std::size_t>(end - at));
  const std::uint8_t* index_at = at + data_length;
  const std::size_t index_length = std::min(LengthAt(data + kLengthBytes), static_cast<std::size_t>(end - index_at));
  const std::uint8_t* blob_at = index_at + index_length;

  const fs::path& folder = ScratchFolder();
  const storage::TableFileNames files = storage::MakeTableFileNames(folder.string(), kTable);
  WriteFile(files.data, at, data_length);
  WriteFile(files.index, index_at, index_length);
  // No BLOB bytes: no BLOB file, as for a table without BLOB fields.
  if (blob_at < end) {
    WriteFile(files.blob, blob_at, static_cast<std::size_t>(end - blob_at));
  } else {
    std::error_code ignored;
    fs::remove(files.blob, ignored);
  }

  engine::TDataSession session;
  engine::TDataDirectory& directory = session.OpenDirectory("", folder.string());
  try {
    engine::TDataCursor cursor(directory);
    cursor.SetTableName(kTable);
    cursor.SetExclusive(true);
    cursor.SetReadOnly(true);
    cursor.SetOpenInNaturalOrder(true);
    cursor.OpenCursor();
    Walk(cursor, /*blobs=*/true);
    const int indexes = 1 + cursor.table().index_file().Header().SecondaryIndexCount();
    for (int index = 0; index < indexes; ++index) {
      try {
        cursor.SelectIndexNumber(static_cast<std::uint8_t>(index));
        Walk(cursor, /*blobs=*/false);
      } catch (const storage::EVoraEngineError&) {
      }
    }
    tools::VerifyTable(cursor.table());
  } catch (const storage::EVoraEngineError&) {
  }
  session.CloseDirectory(directory);
  return 0;
}

}  // namespace telvora::fuzz
