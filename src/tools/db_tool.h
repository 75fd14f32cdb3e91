#pragma once
// telvora-db: the phone book's companion program. Each command is one
// DbCommand; RunDbTool dispatches, prints errors as one line on stderr
// ("telvora-db: " + message) and turns outcomes into the exit codes scripts
// rely on: 0 success, 1 a check found problems, 2 any error.

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "tools/command_line.h"

namespace telvora::tools {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitCheckFailed = 1;
inline constexpr int kExitError = 2;

struct DbCommand {
  std::string name;
  std::string usage;    // the argument synopsis after the command name
  std::string summary;  // one line for the command list
  std::string help;     // the rest of `telvora-db NAME --help`
  // Runs the command on its arguments (without the command name); returns
  // the exit code. Throws UsageError for wrong words, anything else for
  // failures.
  std::function<int(const std::vector<std::string>& args, std::ostream& out)> run;
};

// Every command telvora-db knows, in the order `--help` lists them.
const std::vector<DbCommand>& DbCommands();

int RunDbTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace telvora::tools
