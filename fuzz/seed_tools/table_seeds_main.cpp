// Writes the seed inputs of the table_files fuzz target: small tables made
// by the engine itself, each packed as the target reads its input (the data
// and index files' lengths, then the data, index and BLOB files).
//   telvora-fuzz-table-seeds OUTPUT_FOLDER

#include <cstdint>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iostream>
#include <initializer_list>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "engine/data_cursor.h"
#include "engine/data_directory.h"
#include "engine/data_session.h"
#include "engine/open_blob_values.h"
#include "engine/table_creation_checks.h"
#include "storage/field_descriptor.h"
#include "storage/field_specs.h"
#include "storage/field_types.h"
#include "storage/record_image.h"
#include "storage/table_file_names.h"

namespace {

namespace fs = std::filesystem;
using namespace telvora;

std::vector<storage::TFieldDescriptor> Fields(std::initializer_list<storage::TFieldSpec> specs) {
  return storage::DescribeFields(std::span(specs.begin(), specs.size()));
}

storage::TIndexDescriptor Index(const char* name, std::uint16_t field, bool unique) {
  return storage::SingleFieldIndex(name, field, unique);
}

std::vector<char> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Pack(const fs::path& folder, const std::string& table, const fs::path& out) {
  const storage::TableFileNames files = storage::MakeTableFileNames(folder.string(), table);
  const std::vector<char> data = Bytes(files.data), index = Bytes(files.index), blob = Bytes(files.blob);
  std::ofstream o(out, std::ios::binary);
  for (const std::size_t length : {data.size(), index.size()}) {
    for (int i = 0; i < 4; ++i) o.put(static_cast<char>(length >> (8 * i)));
  }
  o.write(data.data(), static_cast<std::streamsize>(data.size()));
  o.write(index.data(), static_cast<std::streamsize>(index.size()));
  o.write(blob.data(), static_cast<std::streamsize>(blob.size()));
}

storage::TFieldLayout Layout(engine::TDataCursor& c, int n) {
  return storage::TFieldLayout::Of(c.Fields()[static_cast<std::size_t>(n - 1)]);
}

void Make(engine::TDataDirectory& directory, const std::string& name, const engine::TTableDescription& description,
          int records, int deleted, const std::function<void(engine::TDataCursor&, std::vector<std::uint8_t>&, int)>& fill) {
  {
    engine::TDataCursor creator(directory);
    creator.SetTableName(name);
    creator.SetExclusive(true);
    creator.CreateTable(description, true);
  }
  engine::TDataCursor cursor(directory);
  cursor.SetTableName(name);
  cursor.OpenCursor();
  std::vector<std::uint8_t> buffer(cursor.RecordSize());
  for (int i = 1; i <= records; ++i) {
    cursor.InitRecord(buffer);
    fill(cursor, buffer, i);
  }
  cursor.MoveFirst();
  for (int i = 0; i < deleted && cursor.MoveNext(buffer) == 0; ++i) cursor.DeleteRecord(buffer, false);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: telvora-fuzz-table-seeds OUTPUT_FOLDER\n";
    return 2;
  }
  const fs::path out = argv[1];
  const fs::path work = fs::temp_directory_path() / "telvora-table-seeds";
  fs::remove_all(work);
  fs::create_directories(work);
  fs::create_directories(out);
  engine::TDataSession session;
  engine::TDataDirectory& directory = session.OpenDirectory("", work.string());

  // The phone book's six fields, an auto-increment key and an index on the
  // family name; CP1256 texts.
  engine::TTableDescription contacts;
  contacts.fields = Fields({{"Id", storage::kTypeInteger, storage::kSubtypeAutoInc, 0},
                            {"Name", storage::kTypeString, 0, 60},
                            {"Family", storage::kTypeString, 0, 70},
                            {"Tel1", storage::kTypeString, 0, 12},
                            {"Tel2", storage::kTypeString, 0, 12},
                            {"Mobile", storage::kTypeString, 0, 16},
                            {"Address", storage::kTypeString, 0, 65}});
  contacts.indexes = {Index("", 1, true), Index("ByFamily", 3, false)};
  Make(directory, "Contacts", contacts, 6, 1, [](engine::TDataCursor& c, std::vector<std::uint8_t>& b, int i) {
    storage::TRecordImage image(b);
    image.SetString(Layout(c, 2), "\xda\xe1\xed " + std::to_string(i), {});
    image.SetString(Layout(c, 3), i % 2 ? "\xd1\xd6\xc7\xed\xed" : "Smith", {});
    image.SetString(Layout(c, 4), "021" + std::to_string(1000 + i), {});
    if (i % 3 == 0) image.SetString(Layout(c, 6), "0912" + std::to_string(i), {});
    image.SetString(Layout(c, 7), "Tehran", {});
    c.InsertRecord(b, false);
  });
  Pack(work, "Contacts", out / "contacts");

  // Memo values of one, two and several blocks.
  engine::TTableDescription notes;
  notes.fields = Fields({{"Id", storage::kTypeInteger, 0, 0},
                         {"Name", storage::kTypeString, 0, 20},
                         {"Notes", storage::kTypeBlob, storage::kSubtypeMemo, 0}});
  notes.indexes = {Index("", 1, true)};
  Make(directory, "Notes", notes, 4, 1, [](engine::TDataCursor& c, std::vector<std::uint8_t>& b, int i) {
    storage::TRecordImage image(b);
    image.SetInteger(Layout(c, 1), i);
    image.SetString(Layout(c, 2), "note" + std::to_string(i), {});
    const std::string text(static_cast<std::size_t>(i * i * 150), static_cast<char>('a' + i));
    std::size_t size = 0;
    c.OpenBlob(3, b, engine::kBlobModeWrite, false, size);
    c.TruncateBlob(3, b, 0);
    c.WriteBlob(3, b, 0, text.size(), reinterpret_cast<const std::uint8_t*>(text.data()));
    c.InsertRecord(b, false);
    c.CloseBlob(3, b);
  });
  Pack(work, "Notes", out / "blob_values");

  // Enough records for branch pages in both indexes, some deleted.
  engine::TTableDescription many;
  many.fields = Fields({{"Id", storage::kTypeInteger, 0, 0}, {"Value", storage::kTypeInteger, 0, 0}});
  many.indexes = {Index("", 1, true), Index("ByValue", 2, false)};
  Make(directory, "Many", many, 700, 40, [](engine::TDataCursor& c, std::vector<std::uint8_t>& b, int i) {
    storage::TRecordImage image(b);
    image.SetInteger(Layout(c, 1), i * 7 % 1000);
    image.SetInteger(Layout(c, 2), i % 50);
    c.InsertRecord(b, false);
  });
  Pack(work, "Many", out / "branch_pages");

  // No records at all.
  Make(directory, "Empty", contacts, 0, 0, [](engine::TDataCursor&, std::vector<std::uint8_t>&, int) {});
  Pack(work, "Empty", out / "empty");

  session.CloseDirectory(directory);
  fs::remove_all(work);
  return 0;
}
