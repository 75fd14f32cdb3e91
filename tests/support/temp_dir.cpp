#include "support/temp_dir.h"

#include "support/test_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <stdexcept>

namespace telvora::testing {
namespace fs = std::filesystem;

namespace {

std::string SafeTestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "test";
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return name;
}

}  // namespace

TempDir::TempDir() {
  fs::path root = TestTmpDir();
  fs::create_directories(root);
  std::string pattern = (root / (SafeTestName() + ".XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a temporary folder under " + root.string());
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  bool failed = info != nullptr && info->result() != nullptr && info->result()->Failed();
  if (!failed) {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
}

}  // namespace telvora::testing
