#pragma once
// Reading and writing the fields of a fixed-layout byte image: little-endian
// integers, IEEE doubles and short strings.
//
// Every integer in the table files is little-endian whatever the host order;
// a short string is one length byte followed by that many single-byte
// characters inside a field of fixed width (the bytes after the characters
// are zero in images we write). These helpers take an explicit offset into
// the image so that each header class can name its offsets once.
//
// Pure functions; callers keep offsets inside the image (checked in debug
// builds only, since the offsets are constants of the formats).

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace telvora::storage {

template <typename T>
T LoadLittle(std::span<const std::uint8_t> image, std::size_t offset) {
  static_assert(std::is_integral_v<T>);
  assert(offset + sizeof(T) <= image.size());
  using U = std::make_unsigned_t<T>;
  U value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    value |= static_cast<U>(static_cast<U>(image[offset + i]) << (8 * i));
  }
  return static_cast<T>(value);
}

template <typename T>
void StoreLittle(std::span<std::uint8_t> image, std::size_t offset, T value) {
  static_assert(std::is_integral_v<T>);
  assert(offset + sizeof(T) <= image.size());
  using U = std::make_unsigned_t<T>;
  const U bits = static_cast<U>(value);
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    image[offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
  }
}

inline double LoadDouble(std::span<const std::uint8_t> image, std::size_t offset) {
  return std::bit_cast<double>(LoadLittle<std::uint64_t>(image, offset));
}

inline void StoreDouble(std::span<std::uint8_t> image, std::size_t offset, double value) {
  StoreLittle<std::uint64_t>(image, offset, std::bit_cast<std::uint64_t>(value));
}

// A short string of `width` bytes: the length byte (clamped to width - 1 when
// a damaged image claims more) and the characters.
inline std::string LoadShortString(std::span<const std::uint8_t> image, std::size_t offset,
                                   std::size_t width) {
  assert(offset + width <= image.size() && width >= 1);
  std::size_t length = image[offset];
  if (length > width - 1) length = width - 1;
  return std::string(reinterpret_cast<const char*>(image.data() + offset + 1), length);
}

// Stores at most width - 1 characters and zeroes the rest of the field.
inline void StoreShortString(std::span<std::uint8_t> image, std::size_t offset, std::size_t width,
                             std::string_view text) {
  assert(offset + width <= image.size() && width >= 1);
  const std::size_t length = text.size() < width - 1 ? text.size() : width - 1;
  std::memset(image.data() + offset, 0, width);
  image[offset] = static_cast<std::uint8_t>(length);
  std::memcpy(image.data() + offset + 1, text.data(), length);
}

}  // namespace telvora::storage
