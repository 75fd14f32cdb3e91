#pragma once
// telvora-db import TABLE FILE [--format csv|vcard] [--strict] and
// telvora-db export TABLE --format csv|vcard [--out FILE]: the phone book's
// contacts to and from CSV and vCard files, through the table component.

#include "tools/db_tool.h"

namespace telvora::tools {

DbCommand ImportCommand();
DbCommand ExportCommand();

}  // namespace telvora::tools
