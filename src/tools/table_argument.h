#pragma once
// A TABLE argument of the command-line tools: a path to a table, a folder
// and a table name with or without ".dat" ("data/PhoneBook",
// "data/PhoneBook.dat"); a bare name lies in the current folder.

#include <string>

namespace telvora::tools {

struct TableArgument {
  std::string folder;  // empty: the current folder
  std::string name;    // as given, ".dat" and all: the engine resolves it
};

// A UsageError for an empty argument or one that names a folder only.
TableArgument ParseTableArgument(const std::string& argument);

}  // namespace telvora::tools
