#include "engine/text_word_source.h"

#include "engine/key_compare.h"
#include "engine/locale_collation.h"

namespace telvora::engine {

TTextWordSource MakeTextWordSource(const storage::TTextIndexParameters& parameters, const Locale& locale) {
  TTextWordSource source;
  source.cut_words = [parameters](std::string_view text, bool star_is_word_character) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
      const auto byte = static_cast<std::uint8_t>(c);
      const bool word_character = storage::InCharacterSet(parameters.word_characters, byte) ||
                                  (star_is_word_character && c == '*');
      if (word_character) {
        if (word.size() < kTextKeyWordLength) word.push_back(c);
      } else if (storage::InCharacterSet(parameters.separators, byte)) {
        if (!word.empty()) words.push_back(std::move(word));
        word.clear();
      }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
  };
  source.is_stop_word = [stop_words = parameters.stop_words, locale](std::string_view word) {
    const std::string text(word);
    for (const std::string& stop_word : stop_words) {
      if (CompareStrings(locale, text.c_str(), stop_word.c_str(), true) == 0) return true;
    }
    return false;
  };
  return source;
}

}  // namespace telvora::engine
