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

std::vector<std::string> CutTextWords(std::string_view text, const storage::TTextIndexParameters& parameters,
                                      bool star_is_word_character) {
  std::vector<std::string> words;
  std::string current;
  const auto finish = [&] {
    if (!current.empty()) words.push_back(std::move(current));
    current.clear();
  };
  for (const char c : text) {
    const auto byte = static_cast<std::uint8_t>(c);
    const bool star = star_is_word_character && c == '*';
    if (!star && storage::InCharacterSet(parameters.separators, byte)) {
      finish();
    } else if (star || storage::InCharacterSet(parameters.word_characters, byte)) {
      if (current.size() < storage::kTextKeyWordLength) current.push_back(c);
    }
  }
  finish();
  return words;
}

bool IsStopWord(std::string_view word, const storage::TTextIndexParameters& parameters, const Locale& locale) {
  return Contains(parameters.stop_words, std::string(word), locale);
}

std::vector<std::string> TextIndexWords(std::string_view text, const storage::TTextIndexParameters& parameters,
                                        const Locale& locale) {
  std::vector<std::string> words;
  for (std::string& word : CutTextWords(text, parameters, false)) {
    UpperCase(locale, word);
    if (!Contains(words, word, locale) && !IsStopWord(word, parameters, locale)) {
      words.push_back(std::move(word));
    }
  }
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
