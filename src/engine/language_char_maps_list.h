#pragma once
// TLanguageCharMapsList: the process-wide cache of CharMaps, one per
// (language id, sort id), shared by every cursor and thread.
//
// Invariants: at most kCapacity maps are kept, each at most once, and a
// kept map never changes. Every method takes the list's own mutex (no other
// lock is taken under it), so any thread may call any method at any time.
// A map is copied out to the caller, who never sees the list's storage.
//
// A miss builds the map under the mutex, so a map is built once even when
// several threads ask for it together. When the list is full the map is
// built and returned without being kept.

#include <cstddef>
#include <mutex>
#include <vector>

#include "engine/char_map.h"
#include "engine/locale.h"

namespace telvora::engine {

class TLanguageCharMapsList {
 public:
  static constexpr std::size_t kCapacity = 256;

  // The list every cursor of the process uses.
  static TLanguageCharMapsList& Instance();

  TLanguageCharMapsList() = default;
  TLanguageCharMapsList(const TLanguageCharMapsList&) = delete;
  TLanguageCharMapsList& operator=(const TLanguageCharMapsList&) = delete;

  // The locale's CharMap, built on the first request.
  CharMap Get(const Locale& locale);

  // How many maps are kept.
  std::size_t Count() const;

 private:
  struct Entry {
    Locale locale;
    CharMap map;
  };

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

}  // namespace telvora::engine
