#include "support/table_check.h"

#include "storage/scrambler.h"
#include "storage/table_file_names.h"
#include "support/test_paths.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

namespace telvora::testing {
namespace fs = std::filesystem;

namespace {

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

// The engine's fixed scrambling keys, so that encrypted tables are checked
// whole rather than only their plain header.
std::string KeyArgument(const storage::ScrambleKey& key) {
  return std::to_string(key.a) + "," + std::to_string(key.b);
}

}  // namespace

fs::path TableCheckerPath() {
  return SharedDir() / "tools" / "tablecheck.py";
}

TableCheckResult RunTableCheck(const fs::path& table, const std::string& extra_args) {
  TableCheckResult result;
  std::string command = "python3 " + ShellQuote(TableCheckerPath().string()) + " " +
                        ShellQuote(table.string()) + " --data-key " + KeyArgument(storage::kDataKey) +
                        " --text-key " + KeyArgument(storage::kTextKey) + " " + extra_args + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer{};
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
    result.output.append(buffer.data(), n);
  }
  int status = ::pclose(pipe);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

::testing::AssertionResult TableIsSound(const fs::path& table) {
  if (!fs::exists(TableCheckerPath())) {
    return ::testing::AssertionFailure() << "table checker not found at " << TableCheckerPath();
  }
  TableCheckResult r = RunTableCheck(table);
  if (r.exit_code == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "tablecheck.py " << table << " exited " << r.exit_code
                                       << ":\n" << r.output;
}

std::vector<std::vector<char>> TableFileBytes(const std::filesystem::path& folder, const std::string& table) {
  const storage::TableFileNames files = storage::MakeTableFileNames(folder.string(), table);
  std::vector<std::vector<char>> bytes;
  for (const std::string& path : {files.data, files.index, files.blob}) {
    std::ifstream in(path, std::ios::binary);
    bytes.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return bytes;
}

}  // namespace telvora::testing
