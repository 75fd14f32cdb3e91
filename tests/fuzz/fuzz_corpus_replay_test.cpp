// Every fuzz target over every input of its checked-in corpus: the smoke run
// of the targets and the regression test of what fuzzing once found. A fault
// aborts the program (the targets' own checks) or raises something other
// than the reader's refusal, which fails the case here.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "fuzz_target_list.h"
#include "support/test_paths.h"

namespace telvora::fuzz {

// Names the target in test listings instead of dumping its bytes.
void PrintTo(const FuzzTarget& target, std::ostream* os) { *os << target.name; }

namespace {

namespace fs = std::filesystem;

class FuzzCorpusReplayTest : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(FuzzCorpusReplayTest, EveryInputRunsWithoutAFault) {
  const FuzzTarget target = GetParam();
  const fs::path folder = telvora::testing::SourceDir() / "fuzz" / "corpus" / std::string(target.name);
  std::vector<fs::path> inputs;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file()) inputs.push_back(entry.path());
  }
  ASSERT_FALSE(inputs.empty()) << "no seed inputs in " << folder;
  for (const fs::path& input : inputs) {
    std::ifstream in(input, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    SCOPED_TRACE(input.filename().string());
    EXPECT_NO_THROW(target.run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpusReplayTest, ::testing::ValuesIn(FuzzTargets()),
                         [](const ::testing::TestParamInfo<FuzzTarget>& target) { return std::string(target.param.name); });

}  // namespace
}  // namespace telvora::fuzz
