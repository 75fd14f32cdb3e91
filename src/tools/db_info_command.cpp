#include "tools/db_info_command.h"

#include <array>
#include <ostream>

#include "storage/byte_image.h"
#include "storage/index_file_header.h"
#include "storage/page_image.h"
#include "tools/table_info.h"
#include "tools/tool_table.h"

namespace telvora::tools {
namespace {

// A tree deeper than this is corrupt (the cursor keeps at most 64 levels).
constexpr int kMaxIndexDepth = 64;

int RunInfo(const std::vector<std::string>& args, std::ostream& out) {
  CommandLine line(args, {"password"}, {});
  line.ExpectPositional(1, "one TABLE");
  const TableArgument argument = ParseTableArgument(line.positional()[0]);
  ToolTable opened(argument, /*exclusive=*/false, line.Value("password").value_or(""));
  storage::TDataTable& table = opened.table();

  table.SharedLock();
  const std::vector<storage::TFieldDescriptor> fields(table.data_file().Descriptors().begin(),
                                                      table.data_file().Descriptors().end());
  TableInfoSource source;
  source.name = argument.name;
  source.data = &table.data_file().Header();
  source.fields = &fields;
  source.index = &table.index_file().Header();
  source.index_depth = [&](int slot) { return IndexDepth(table, slot); };
  nlohmann::json info;
  try {
    info = DescribeTable(source);
  } catch (...) {
    table.SharedUnlock();
    throw;
  }
  table.SharedUnlock();
  out << info.dump() << "\n";
  return kExitSuccess;
}

}  // namespace

int IndexDepth(storage::TDataTable& table, int slot) {
  const storage::TIndexDescriptor descriptor = table.index_file().Header().Descriptor(slot);
  const auto key_length = static_cast<std::size_t>(descriptor.KeyLength());
  std::int32_t page = descriptor.RootPage();
  std::array<std::uint8_t, storage::kIndexPageSize> image{};
  int depth = 0;
  while (page != 0 && depth < kMaxIndexDepth) {
    table.index_file().ReadPageImage(page, image);
    ++depth;
    const auto kind = static_cast<storage::PageKind>(image[storage::kPageKindOffset]);
    if (kind != storage::PageKind::RootBranch && kind != storage::PageKind::Branch) break;
    // A branch entry is the child's first key followed by the child's page.
    page = storage::LoadLittle<std::int32_t>(image, storage::kPageHeaderSize + key_length);
  }
  return depth;
}

DbCommand InfoCommand() {
  return DbCommand{
      "info", "TABLE [--password P]", "Print the table's header, fields, indexes and counts as one JSON object.",
      "TABLE is a folder and a table name, with or without .dat (data/PhoneBook).\n"
      "--password P  the password of an encrypted table.\n"
      "\"version\" is the table's format version; texts are UTF-8.",
      RunInfo};
}

}  // namespace telvora::tools
