#pragma once
// Long-running tests (the crash and soak tests) take their size from the
// environment, so that a longer run needs no rebuild: the number in the
// variable when it is a positive integer, else the default of make test.

#include <cstdlib>

namespace telvora::testing {

inline int PositiveEnvNumber(const char* name, int fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr) return fallback;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value <= 0 || value > 1'000'000'000) return fallback;
  return static_cast<int>(value);
}

}  // namespace telvora::testing
