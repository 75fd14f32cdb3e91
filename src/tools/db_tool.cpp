#include "tools/db_tool.h"

#include <algorithm>
#include <exception>
#include <ostream>

#include "platform/code_page.h"
#include "storage/engine_error.h"
#include "tools/utf8_text.h"

namespace telvora::tools {
namespace {

constexpr const char* kProgram = "telvora-db";

void PrintOverview(std::ostream& out) {
  out << "Usage: " << kProgram << " COMMAND [ARGS...]\n\nCommands:\n";
  for (const DbCommand& c : DbCommands()) out << "  " << c.name << " " << c.usage << "\n      " << c.summary << "\n";
  out << "\nEvery command takes --help. Exit status: 0 success, 1 a check found problems, 2 error.\n";
}

void PrintCommandHelp(const DbCommand& c, std::ostream& out) {
  out << "Usage: " << kProgram << " " << c.name << " " << c.usage << "\n\n" << c.summary << "\n";
  if (!c.help.empty()) out << "\n" << c.help << "\n";
}

// Errors are one line: a message with line breaks would break scripts that
// read stderr line by line. Engine messages quote table and field names as
// the table stores them, in its code page; stderr carries UTF-8 like the
// rest of the output, so such a message is decoded (code page 1256, the
// phone book's) rather than written as broken UTF-8.
std::string OneLine(std::string text) {
  if (FindInvalidUtf8(text)) text = platform::CodePage::Arabic().DecodeToUtf8(text);
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text;
}

}  // namespace

int RunDbTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kProgram << ": no command given; try '" << kProgram << " --help'\n";
    return kExitError;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintOverview(out);
    return kExitSuccess;
  }
  const auto& commands = DbCommands();
  auto it = std::find_if(commands.begin(), commands.end(),
                         [&](const DbCommand& c) { return c.name == args[0]; });
  if (it == commands.end()) {
    err << kProgram << ": unknown command '" << OneLine(args[0]) << "'; try '" << kProgram << " --help'\n";
    return kExitError;
  }
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (std::find(rest.begin(), rest.end(), "--help") != rest.end()) {
    PrintCommandHelp(*it, out);
    return kExitSuccess;
  }
  try {
    return it->run(rest, out);
  } catch (const UsageError& e) {
    err << kProgram << ": " << OneLine(e.what()) << "; usage: " << kProgram << " " << it->name << " "
        << it->usage << "\n";
  } catch (const std::exception& e) {
    err << kProgram << ": " << OneLine(e.what()) << "\n";
  }
  return kExitError;
}

}  // namespace telvora::tools
