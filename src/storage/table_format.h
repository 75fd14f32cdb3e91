#pragma once
// Constants shared by the headers of all three table files.

#include <cstdint>

namespace telvora::storage {

// The format version byte (offset 8) of the data, index and BLOB file
// headers; any other value is refused with 12035.
inline constexpr std::uint8_t kFormatVersion = 5;

}  // namespace telvora::storage
