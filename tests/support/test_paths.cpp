#include "support/test_paths.h"

#include <cstdlib>

namespace telvora::testing {
namespace {

std::filesystem::path FromEnvOr(const char* name, const char* built_in) {
  const char* value = std::getenv(name);
  return std::filesystem::path(value != nullptr && *value ? value : built_in);
}

}  // namespace

std::filesystem::path SourceDir() { return FromEnvOr("TELVORA_SOURCE_DIR", TELVORA_SOURCE_DIR); }
std::filesystem::path TestTmpDir() { return FromEnvOr("TELVORA_TEST_TMP", TELVORA_TEST_TMP); }
std::filesystem::path SharedDir() { return SourceDir().parent_path() / "shared"; }

}  // namespace telvora::testing

// Leak checking in the sanitizer build: Qt's and fontconfig's process-wide
// caches stay allocated until exit by design. Only those libraries are named.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libQt6Gui.so\n";
}
