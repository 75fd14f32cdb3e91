#pragma once
// CharMap: the 256 byte values arranged in a locale's order.
//
// Position 0 holds the lowest-collating byte, position 255 the highest; the
// map is a permutation of 0..255. Under the byte order (language id 0) it is
// the identity. Under a locale the bytes are sorted with CompareCharacters;
// many bytes compare equal there (controls, joiners, tatweel and vowel
// marks are ignorable and equal to each other), and equal bytes keep their
// byte-value order, so the map is the same on every build.
//
// The cursor uses the map to build the lowest and highest keys and the
// neighbours of a key (key_bounds.h). Building one costs a few thousand
// comparisons; TLanguageCharMapsList keeps the maps once built.

#include <array>
#include <cstdint>

#include "engine/locale.h"

namespace telvora::engine {

inline constexpr int kCharMapSize = 256;

using CharMap = std::array<std::uint8_t, kCharMapSize>;

// Any thread may call this at any time.
CharMap BuildCharMap(const Locale& locale);

// The position of byte in the map (the inverse permutation).
using CharMapPositions = std::array<std::uint8_t, kCharMapSize>;
CharMapPositions PositionsOf(const CharMap& map);

}  // namespace telvora::engine
