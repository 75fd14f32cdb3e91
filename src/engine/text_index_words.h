#pragma once
// Cutting a text into the words the text index holds: the one word rule of
// the engine, used by the index writer, by TEXTSEARCH and TEXTOCCURS read
// from a record, and by TEXTSEARCH answered from the text index.
//
// A separator character ends the current word; a word character is
// appended to it (characters after the 61st are dropped); any other
// character is skipped without ending the word. A search text may count '*'
// as a word character whatever the two sets say (a word ending in '*'
// matches every word it begins). For the index, each distinct word counts
// once and stop words are not indexed, both compared under the table's
// locale without regard to case. The words come back upper-cased under the
// locale, in the order of their first appearance: the form the text index
// keys hold.
//
// Pure functions; any thread.
#include <string>
#include <string_view>
#include <vector>

#include "engine/locale.h"
#include "storage/text_index_parameters.h"

namespace telvora::engine {

// The words of the text in text order, repeats kept, as written (not
// upper-cased, stop words kept).
std::vector<std::string> CutTextWords(std::string_view text, const storage::TTextIndexParameters& parameters,
                                      bool star_is_word_character);

// Whether the word is one of the parameters' stop words (under the locale,
// without regard to case).
bool IsStopWord(std::string_view word, const storage::TTextIndexParameters& parameters, const Locale& locale);

std::vector<std::string> TextIndexWords(std::string_view text, const storage::TTextIndexParameters& parameters,
                                        const Locale& locale);

// The words of `words` that `others` does not hold (both as TextIndexWords
// returns them), compared under the locale without regard to case.
std::vector<std::string> WordsNotIn(const std::vector<std::string>& words, const std::vector<std::string>& others,
                                    const Locale& locale);

}  // namespace telvora::engine
