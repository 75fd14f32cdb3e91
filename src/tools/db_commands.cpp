// The commands of telvora-db, in the order its help lists them.
#include "tools/db_info_command.h"
#include "tools/db_repair_command.h"
#include "tools/db_verify_command.h"
#include "tools/db_tool.h"

namespace telvora::tools {

const std::vector<DbCommand>& DbCommands() {
  static const std::vector<DbCommand> commands = {
      InfoCommand(),
      VerifyCommand(),
      RepairCommand(),
  };
  return commands;
}

}  // namespace telvora::tools
