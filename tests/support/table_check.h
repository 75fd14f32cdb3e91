#pragma once
// Runs the independent table checker (shared/tools/tablecheck.py, written
// from the file-format description, not from our code) on a table that a
// test wrote. Every test that writes a table calls ExpectTableSound on it.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace telvora::testing {

struct TableCheckResult {
  int exit_code = -1;  // 0 sound, 1 not sound, 2 usage error
  std::string output;  // what the checker printed (stdout and stderr)
};

// Where the checker lives: the shared folder beside the source tree.
std::filesystem::path TableCheckerPath();

// `table` is a folder and a table name, with or without ".dat".
TableCheckResult RunTableCheck(const std::filesystem::path& table,
                               const std::string& extra_args = "");

// gtest assertion: the checker finds the table sound.
::testing::AssertionResult TableIsSound(const std::filesystem::path& table);

// The bytes of a table's data, index and BLOB files, in that order (empty
// for a missing file): tests compare them to prove a failed write changed
// nothing.
std::vector<std::vector<char>> TableFileBytes(const std::filesystem::path& folder, const std::string& table);

}  // namespace telvora::testing

#define EXPECT_TABLE_SOUND(table) EXPECT_TRUE(::telvora::testing::TableIsSound(table))
