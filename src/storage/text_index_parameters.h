#pragma once
// The parameters of a table's text index (stop words and two character
// sets), stored in the text index's chain of data pages (kind 4, linked
// through the right-sibling link, the first named by descriptor offset 96).
//
// The pages' data areas (4,083 bytes each) hold a stream of units:
//   4-byte count of stop words
//   per stop word: 4-byte length, then its characters
//   4-byte length (32), then the 32-byte separator set
//   4-byte length (32), then the 32-byte word-character set
// A unit (a length word or a run of bytes) never straddles two pages: one
// that would end beyond byte 4,083 of a data area starts at the next page of
// the chain, which is made when the chain has none. A character set holds
// byte value c as bit c % 8 of its byte c / 8.
//
// Not thread-safe: under the table's write lock.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "storage/index_page_cache.h"

namespace telvora::storage {

inline constexpr std::size_t kCharacterSetSize = 32;
using TCharacterSet = std::array<std::uint8_t, kCharacterSetSize>;

struct TTextIndexParameters {
  std::vector<std::string> stop_words;
  TCharacterSet separators{};
  TCharacterSet word_characters{};

  // The parameters that apply while none are stored.
  static TTextIndexParameters Defaults();

  friend bool operator==(const TTextIndexParameters&, const TTextIndexParameters&) = default;
};

bool InCharacterSet(const TCharacterSet& set, std::uint8_t c);
void AddToCharacterSet(TCharacterSet& set, std::uint8_t c);

// Stores the parameters in the chain of the text index (cache of slot 32),
// starting the chain when the index has none. Raises 8965 when a page of
// the chain is not a data page, 9479 when the file is full.
void WriteTextIndexParameters(TIndexPageCache& cache, const TTextIndexParameters& parameters);
// The stored parameters; nullopt when the text index has no data page.
// Raises 8965 for a chain that ends early or holds lengths that cannot be;
// throws ETableChanged (storage/table_changed.h) when reading a page of the
// chain found the table changed by another program.
std::optional<TTextIndexParameters> ReadTextIndexParameters(TIndexPageCache& cache);

}  // namespace telvora::storage
