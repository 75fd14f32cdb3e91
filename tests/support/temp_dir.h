#pragma once
// A fresh folder for one test, under $TELVORA_TEST_TMP (set by the test
// run) or the system's temporary folder. Removed when the test passes; kept
// when it fails, so that the files a failing test wrote can be looked at.

#include <filesystem>
#include <string>

namespace telvora::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace telvora::testing
