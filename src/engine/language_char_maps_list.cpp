#include "engine/language_char_maps_list.h"

namespace telvora::engine {

TLanguageCharMapsList& TLanguageCharMapsList::Instance() {
  static TLanguageCharMapsList list;
  return list;
}

CharMap TLanguageCharMapsList::Get(const Locale& locale) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Entry& entry : entries_) {
    if (entry.locale == locale) return entry.map;
  }
  const CharMap map = BuildCharMap(locale);
  if (entries_.size() < kCapacity) entries_.push_back({locale, map});
  return map;
}

std::size_t TLanguageCharMapsList::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

}  // namespace telvora::engine
