#include "engine/char_map.h"

#include <algorithm>
#include <numeric>

#include "engine/locale_collation.h"

namespace telvora::engine {

CharMap BuildCharMap(const Locale& locale) {
  CharMap map;
  std::iota(map.begin(), map.end(), std::uint8_t{0});
  if (locale.byte_order()) return map;
  // Starting from byte order, a stable sort leaves bytes that compare equal
  // in byte-value order: the order is total and the same on every build.
  std::stable_sort(map.begin(), map.end(), [&locale](std::uint8_t a, std::uint8_t b) {
    return CompareCharacters(locale, static_cast<char>(a), static_cast<char>(b)) < 0;
  });
  return map;
}

CharMapPositions PositionsOf(const CharMap& map) {
  CharMapPositions positions{};
  for (int position = 0; position < kCharMapSize; ++position) {
    positions[map[position]] = static_cast<std::uint8_t>(position);
  }
  return positions;
}

}  // namespace telvora::engine
