#include "engine/key_compare.h"

#include <algorithm>
#include <cstring>

#include "engine/locale_collation.h"

namespace telvora::engine {
namespace {

int CompareBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t length) {
  if (length == 0) return 0;
  const int result = std::memcmp(a, b, length);
  return result == 0 ? 0 : (result < 0 ? -1 : 1);
}

// Compares count characters of two key strings under the locale.
int CompareKeyStrings(const Locale& locale, const std::uint8_t* a, const std::uint8_t* b,
                      std::size_t count) {
  if (count == 0) return 0;  // a count of 0 would mean "whole strings"
  return CompareStrings(locale, reinterpret_cast<const char*>(a),
                        reinterpret_cast<const char*>(b), false, static_cast<int>(count));
}

int Reversed(int result, bool reverse) { return reverse ? -result : result; }

int CompareTextKeys(const Locale& locale, const std::uint8_t* key1, const std::uint8_t* key2,
                    std::size_t length) {
  std::size_t position = 0;
  auto take = [&](std::size_t width) {
    const std::size_t part = std::min(width, length - position);
    position += part;
    return part;
  };
  const std::size_t head = take(kTextKeyHeadLength);
  if (int result = CompareBytes(key1, key2, head); result != 0) return result;
  const std::size_t word = take(kTextKeyWordLength);
  if (int result = CompareKeyStrings(locale, key1 + head, key2 + head, word); result != 0) {
    return result;
  }
  return CompareBytes(key1 + head + word, key2 + head + word, length - head - word);
}

int CompareFieldKeys(const KeyDescription& index, const std::uint8_t* key1,
                     const std::uint8_t* key2, std::size_t length) {
  std::size_t position = 0;
  for (const KeyFieldDescription& field : index.fields) {
    if (position >= length) return 0;
    const bool reverse = index.descending || field.descending;
    if (key1[position] != key2[position]) {
      return Reversed(key1[position] < key2[position] ? -1 : 1, reverse);
    }
    position += kKeyFieldFlagLength;
    const std::size_t count = std::min(field.key_length, length - position);
    const int result =
        field.field_type == kStringFieldTypeCode
            ? CompareKeyStrings(index.locale, key1 + position, key2 + position, count)
            : CompareBytes(key1 + position, key2 + position, count);
    if (result != 0) return Reversed(result, reverse);
    position += count;
  }
  if (position >= length) return 0;
  return Reversed(CompareBytes(key1 + position, key2 + position, length - position),
                  index.descending);
}

}  // namespace

int CompareKeys(const KeyDescription& index, const std::uint8_t* key1, const std::uint8_t* key2,
                std::size_t length) {
  if (index.slot == kRecordSlotIndexSlot) return CompareBytes(key1, key2, length);
  if (index.slot == kTextIndexSlot) return CompareTextKeys(index.locale, key1, key2, length);
  if (index.locale.byte_order()) {
    return Reversed(CompareBytes(key1, key2, length), index.descending);
  }
  return CompareFieldKeys(index, key1, key2, length);
}

}  // namespace telvora::engine
