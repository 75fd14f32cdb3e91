#include "engine/key_bounds.h"

#include <algorithm>

#include "engine/locale_collation.h"

namespace telvora::engine {
namespace {

bool Differ(const Locale& locale, std::uint8_t a, std::uint8_t b) {
  return CompareCharacters(locale, static_cast<char>(a), static_cast<char>(b)) != 0;
}

// Steps through the key from its last position; step moves one position to
// its neighbour and returns false when it has none (after wrapping it).
template <typename Step>
bool StepKey(std::span<std::uint8_t> key, std::uint8_t run_out_value, Step step) {
  for (std::size_t i = key.size(); i-- > 0;) {
    if (step(key[i])) return true;
  }
  std::fill(key.begin(), key.end(), run_out_value);
  return false;
}

}  // namespace

std::uint8_t LowestKeyByte(const Locale& locale, const CharMap& map, bool string_field) {
  return string_field && !locale.byte_order() ? map[0] : kLowestKeyByte;
}

std::uint8_t HighestKeyByte(const Locale& locale, const CharMap& map, bool string_field) {
  return string_field && !locale.byte_order() ? map[kCharMapSize - 1] : kHighestKeyByte;
}

bool ByteKeySuccessor(std::span<std::uint8_t> key) {
  return StepKey(key, kHighestKeyByte, [](std::uint8_t& byte) {
    if (byte == kHighestKeyByte) {
      byte = kLowestKeyByte;
      return false;
    }
    ++byte;
    return true;
  });
}

bool ByteKeyPredecessor(std::span<std::uint8_t> key) {
  return StepKey(key, kLowestKeyByte, [](std::uint8_t& byte) {
    if (byte == kLowestKeyByte) {
      byte = kHighestKeyByte;
      return false;
    }
    --byte;
    return true;
  });
}

bool StringKeySuccessor(const Locale& locale, const CharMap& map, std::span<std::uint8_t> key) {
  if (locale.byte_order()) return ByteKeySuccessor(key);
  const CharMapPositions positions = PositionsOf(map);
  return StepKey(key, map[kCharMapSize - 1], [&](std::uint8_t& byte) {
    for (int p = positions[byte] + 1; p < kCharMapSize; ++p) {
      if (Differ(locale, map[p], byte)) {
        byte = map[p];
        return true;
      }
    }
    byte = map[0];
    return false;
  });
}

bool StringKeyPredecessor(const Locale& locale, const CharMap& map,
                          std::span<std::uint8_t> key) {
  if (locale.byte_order()) return ByteKeyPredecessor(key);
  const CharMapPositions positions = PositionsOf(map);
  return StepKey(key, map[0], [&](std::uint8_t& byte) {
    for (int p = positions[byte] - 1; p >= 0; --p) {
      if (Differ(locale, map[p], byte)) {
        byte = map[p];
        return true;
      }
    }
    byte = map[kCharMapSize - 1];
    return false;
  });
}

}  // namespace telvora::engine
