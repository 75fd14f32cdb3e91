#include <cstdio>
#include <cstdlib>

#include "fuzz_targets.h"

namespace telvora::fuzz {

void FuzzCheckFailed(const char* target, const char* what) {
  std::fprintf(stderr, "%s: %s\n", target, what);
  std::abort();
}

}  // namespace telvora::fuzz
