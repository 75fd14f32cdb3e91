#include "tools/table_argument.h"

#include "tools/command_line.h"

namespace telvora::tools {

TableArgument ParseTableArgument(const std::string& argument) {
  const auto slash = argument.find_last_of('/');
  TableArgument result;
  if (slash == std::string::npos) {
    result.name = argument;
  } else {
    result.folder = argument.substr(0, slash + 1);
    result.name = argument.substr(slash + 1);
  }
  if (result.name.find_first_not_of(' ') == std::string::npos) {
    throw UsageError("TABLE must name a table, not only a folder: '" + argument + "'");
  }
  return result;
}

}  // namespace telvora::tools
