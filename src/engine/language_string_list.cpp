#include "engine/language_string_list.h"

#include "engine/locale_collation.h"

namespace telvora::engine {

std::size_t TLanguageStringList::Add(const std::string& text) {
  std::size_t index = 0;
  if (!Find(text, index)) strings_.insert(strings_.begin() + static_cast<std::ptrdiff_t>(index), text);
  return index;
}

bool TLanguageStringList::Find(const std::string& text, std::size_t& index) const {
  return FindPartial(text, 0, index);
}

bool TLanguageStringList::FindPartial(const std::string& text, int count,
                                      std::size_t& index) const {
  // Lower bound: the first entry not less than text, so that among equal
  // entries (several share a prefix) the first is found.
  std::size_t low = 0;
  std::size_t high = strings_.size();
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (CompareStrings(locale_, strings_[middle].c_str(), text.c_str(), true, count) < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  index = low;
  return low < strings_.size() &&
         CompareStrings(locale_, strings_[low].c_str(), text.c_str(), true, count) == 0;
}

}  // namespace telvora::engine
