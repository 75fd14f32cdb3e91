#pragma once
// telvora-db create TABLE --schema FILE [--force] and
// telvora-db create-phonebook DIR [--force]: new tables through the
// engine's table creation, every check applying with its code.

#include "tools/db_tool.h"

namespace telvora::tools {

DbCommand CreateCommand();
DbCommand CreatePhoneBookCommand();

}  // namespace telvora::tools
