#pragma once
// The scrambling of encrypted tables.
//
// The transform runs over one image from its first byte: each byte becomes
// byte XOR a XOR b, then a is incremented and b decremented (modulo 256). It
// undoes itself, and every image starts again from the key, so records,
// the field descriptor block, headers, pages and blocks are scrambled each
// on its own. An image whose length has zero low 16 bits (a multiple of
// 65,536 bytes, or empty) is left as it is; the only such image of the
// engine is the descriptor block of a table with 256, 512, 768 or 1,024
// fields, which is therefore stored plain even in an encrypted table.
//
// Pure function; the keys are constants of every table this engine writes.

#include <cstdint>
#include <span>

namespace telvora::storage {

struct ScrambleKey {
  std::uint8_t a;
  std::uint8_t b;
};

// The two keys built into the engine. They must never change: every
// encrypted table ever written depends on them. The data key covers record
// images, the descriptor block, the index and BLOB file headers, index pages
// and BLOB blocks; the text key covers the characters (not the length byte)
// of the stored password and description.
inline constexpr ScrambleKey kDataKey{0x6B, 0x3D};
inline constexpr ScrambleKey kTextKey{0x27, 0xB4};

void Scramble(std::span<std::uint8_t> image, ScrambleKey key);

}  // namespace telvora::storage
