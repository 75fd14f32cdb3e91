#pragma once
// Folders the tests use, fixed when the tests are built. An environment
// variable of the same name overrides each, for running a test binary by
// hand from elsewhere.

#include <filesystem>

namespace telvora::testing {

// The top of the source tree (TELVORA_SOURCE_DIR).
std::filesystem::path SourceDir();
// Where tests make their temporary folders (TELVORA_TEST_TMP).
std::filesystem::path TestTmpDir();
// The shared folder beside the source tree, holding the table checker.
std::filesystem::path SharedDir();

}  // namespace telvora::testing
