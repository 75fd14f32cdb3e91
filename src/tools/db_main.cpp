// telvora-db: see tools/db_tool.h.
#include <iostream>
#include <string>
#include <vector>

#include "tools/db_tool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const int status = telvora::tools::RunDbTool(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
