#include "engine/text_word_source.h"

#include "engine/text_index_words.h"

namespace telvora::engine {

TTextWordSource MakeTextWordSource(const storage::TTextIndexParameters& parameters, const Locale& locale) {
  TTextWordSource source;
  source.cut_words = [parameters](std::string_view text, bool star_is_word_character) {
    return CutTextWords(text, parameters, star_is_word_character);
  };
  source.is_stop_word = [parameters, locale](std::string_view word) { return IsStopWord(word, parameters, locale); };
  return source;
}

}  // namespace telvora::engine
