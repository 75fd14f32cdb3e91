#include "engine/text_index_words.h"

#include <algorithm>

#include "engine/locale_case.h"
#include "engine/locale_collation.h"
#include "storage/index_key.h"

namespace telvora::engine {
namespace {

bool Contains(const std::vector<std::string>& words, const std::string& word, const Locale& locale) {
  return std::any_of(words.begin(), words.end(), [&](const std::string& w) {
    return CompareStrings(locale, w.c_str(), word.c_str(), true) == 0;
  });
}

}  // namespace

std::vector<std::string> TextIndexWords(std::string_view text, const storage::TTextIndexParameters& parameters,
                                        const Locale& locale) {
  std::vector<std::string> words;
  std::string current;
  const auto finish = [&] {
    if (current.empty()) return;
    UpperCase(locale, current);
    if (!Contains(words, current, locale) && !Contains(parameters.stop_words, current, locale)) {
      words.push_back(current);
    }
    current.clear();
  };
  for (const char c : text) {
    const auto byte = static_cast<std::uint8_t>(c);
    if (storage::InCharacterSet(parameters.separators, byte)) {
      finish();
    } else if (storage::InCharacterSet(parameters.word_characters, byte)) {
      if (current.size() < storage::kTextKeyWordLength) current.push_back(c);
    }
  }
  finish();
  return words;
}

std::vector<std::string> WordsNotIn(const std::vector<std::string>& words, const std::vector<std::string>& others,
                                    const Locale& locale) {
  std::vector<std::string> result;
  for (const std::string& word : words) {
    if (!Contains(others, word, locale)) result.push_back(word);
  }
  return result;
}

}  // namespace telvora::engine
