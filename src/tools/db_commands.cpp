// The commands of telvora-db, in the order its help lists them.
#include "tools/db_create_command.h"
#include "tools/db_dump_command.h"
#include "tools/db_info_command.h"
#include "tools/db_insert_command.h"
#include "tools/db_record_edit_commands.h"
#include "tools/db_repair_command.h"
#include "tools/db_verify_command.h"
#include "tools/db_tool.h"

namespace telvora::tools {

const std::vector<DbCommand>& DbCommands() {
  static const std::vector<DbCommand> commands = {
      InfoCommand(),
      CreateCommand(),
      InsertCommand(),
      DumpCommand(),
      DeleteCommand(),
      UpdateCommand(),
      VerifyCommand(),
      RepairCommand(),
      CreatePhoneBookCommand(),
  };
  return commands;
}

}  // namespace telvora::tools
