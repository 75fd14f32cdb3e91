#pragma once
// Key bounds: the lowest and highest byte a key position can hold and the
// neighbours of a key, with which the cursor turns a range condition into
// the first and last keys to visit (">" starts at the successor of a key,
// "<" ends at its predecessor).
//
// A string key field under a locale runs in the order of the locale's
// CharMap; every other key byte, and every byte of a byte-order table, runs
// from 0x00 to 0xFF. The key is treated as a number whose digits are its
// positions, the last position the least significant: a neighbour is found
// at the last position that has one, the positions after it wrapping to the
// lowest (successor) or highest (predecessor) value. A key that has no
// neighbour becomes all-highest (successor) or all-lowest (predecessor).
//
// Pure functions: any thread may call them at any time.

#include <cstdint>
#include <span>

#include "engine/char_map.h"
#include "engine/locale.h"

namespace telvora::engine {

inline constexpr std::uint8_t kLowestKeyByte = 0x00;
inline constexpr std::uint8_t kHighestKeyByte = 0xFF;

// The lowest and highest value of one position of a key field: map[0] and
// map[255] for a string field under a locale, else 0x00 and 0xFF.
std::uint8_t LowestKeyByte(const Locale& locale, const CharMap& map, bool string_field);
std::uint8_t HighestKeyByte(const Locale& locale, const CharMap& map, bool string_field);

// Byte keys: +1 and -1 with carry and borrow. They return false when the key
// ran out and became all 0xFF (successor) or all 0x00 (predecessor).
bool ByteKeySuccessor(std::span<std::uint8_t> key);
bool ByteKeyPredecessor(std::span<std::uint8_t> key);

// String keys under the locale whose CharMap map is. A position moves to
// the next byte of the map that does not compare equal to its own
// (CompareCharacters), skipping bytes the locale treats as the same
// character. Under the byte order these are the byte functions above.
// They return false when the key ran out and became all map[255]
// (successor) or all map[0] (predecessor).
// REQUIRES: map is the CharMap of locale.
bool StringKeySuccessor(const Locale& locale, const CharMap& map, std::span<std::uint8_t> key);
bool StringKeyPredecessor(const Locale& locale, const CharMap& map, std::span<std::uint8_t> key);

}  // namespace telvora::engine
