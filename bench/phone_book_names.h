#pragma once
// Names for the benchmark: what a phone book's Name field holds, in code page
// 1256: mostly Persian given name and family name (sometimes a double family
// name), some Latin ones, drawn with a skew so that common names repeat as
// they do among real people. The same seed always gives the same names.
//
// Pure; any thread.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace telvora::bench {

// count names, each at most max_length bytes of code page 1256.
std::vector<std::string> MakePhoneBookNames(std::size_t count, std::size_t max_length, std::uint64_t seed);

}  // namespace telvora::bench
