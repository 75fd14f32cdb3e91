#pragma once
// Runs telvora-db's commands in-process, as the program's main does, and
// small helpers for the files they read and the JSON lines they print.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/db_tool.h"

namespace telvora::tools::testing {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

inline Outcome RunTool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = RunDbTool(args, out, err);
  return {status, out.str(), err.str()};
}

inline std::string WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
  return path.string();
}

// One JSON value per line of a command's output.
inline std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

// The "fields" of each dumped record.
inline std::vector<nlohmann::json> DumpedFields(const std::string& table, const std::vector<std::string>& options = {}) {
  std::vector<std::string> args = {"dump", table};
  args.insert(args.end(), options.begin(), options.end());
  const Outcome r = RunTool(args);
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<nlohmann::json> fields;
  for (const auto& line : JsonLines(r.out)) fields.push_back(line.at("fields"));
  return fields;
}

}  // namespace telvora::tools::testing
