#include "storage/scrambler.h"

namespace telvora::storage {

void Scramble(std::span<std::uint8_t> image, ScrambleKey key) {
  // The length is taken as the 32-bit count the format was built around; the
  // test looks only at its low 16 bits.
  constexpr std::uint32_t kUnscrambledLengthMask = 0xFFFF;
  if ((static_cast<std::uint32_t>(image.size()) & kUnscrambledLengthMask) == 0) return;
  std::uint8_t a = key.a;
  std::uint8_t b = key.b;
  for (std::uint8_t& byte : image) {
    byte = static_cast<std::uint8_t>(byte ^ a ^ b);
    ++a;
    --b;
  }
}

}  // namespace telvora::storage
