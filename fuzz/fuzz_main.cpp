// The libFuzzer entry of one target, chosen when the program is built
// (TELVORA_FUZZ_NAME, the target's corpus name).

#include <cstdio>
#include <cstdlib>

#include "fuzz_target_list.h"

namespace {

int (*Target())(const std::uint8_t*, std::size_t) {
  for (const telvora::fuzz::FuzzTarget& target : telvora::fuzz::FuzzTargets()) {
    if (target.name == TELVORA_FUZZ_NAME) return target.run;
  }
  std::fprintf(stderr, "no fuzz target %s\n", TELVORA_FUZZ_NAME);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto run = Target();
  return run(data, size);
}
