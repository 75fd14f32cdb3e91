#pragma once
// Every fuzz target by the name of its corpus folder.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace telvora::fuzz {

// A target and the name of its corpus folder, fuzz/corpus/<name>/.
struct FuzzTarget {
  std::string_view name;
  int (*run)(const std::uint8_t* data, std::size_t size);
};

// Every target, for the libFuzzer programs and the corpus replay.
const std::vector<FuzzTarget>& FuzzTargets();

}  // namespace telvora::fuzz
