#pragma once
// TTextWordSource: how the expression evaluator cuts a text into words and
// tells stop words, for TEXTSEARCH and TEXTOCCURS read from a record.
//
// The evaluator takes it as two function objects so that the text index's
// own word cutting can stand in for the plain one made here.
// MakeTextWordSource cuts words by the text index's own rule (CutTextWords
// of text_index_words.h), in text order with repeats. A stop
// word is one of the list, compared under the table's locale without regard
// to case.
//
// The returned functions hold copies of their inputs and may be called from
// any thread.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/locale.h"
#include "storage/text_index_parameters.h"

namespace telvora::engine {

struct TTextWordSource {
  std::function<std::vector<std::string>(std::string_view text, bool star_is_word_character)> cut_words;
  std::function<bool(std::string_view word)> is_stop_word;
};

TTextWordSource MakeTextWordSource(const storage::TTextIndexParameters& parameters, const Locale& locale);

}  // namespace telvora::engine
