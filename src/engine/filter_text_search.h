#pragma once
// TEXTSEARCH in a filter, answered from the text index.
//
// RecogniseTextSearch reads TEXTSEARCH(text IN column), alone or compared
// = TRUE, whose search text is a constant and whose column is one of the
// text index's fields; any other node gives nullopt.
//
// TTextIndexSearch narrows a record set to the records whose field holds
// every searched word. The search text is cut by the text index's own word
// rule with '*' counted as a word character; stop words and repeats are
// skipped; each remaining word, upper-cased under the table's locale as the
// index keys hold it, names the index entries of the field with that word
// (a word ending in '*': every word that begins with the characters before
// the '*'). When no word is left to search for, the set is emptied: the
// index holds no entries for stop words.
//
// Under the byte order the entries of one word, or of one beginning of a
// word, stand together in the index and are found by one descent. Under a
// locale the evaluator matches words by the locale's comparison, which may
// call words of different bytes equal (a vowel mark is ignored), so every
// entry of the field is read and its word compared the same way: the answer
// stays the one a reading of the records gives.
//
// Reads index pages only; ETableChanged passes through to the caller. Used
// by the cursor's thread.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/exp_token.h"
#include "engine/locale.h"
#include "engine/records_bitmap.h"
#include "storage/data_table.h"
#include "storage/text_index_parameters.h"

namespace telvora::engine {

struct TTextSearchTest {
  const TExpToken* node = nullptr;
  std::uint16_t field_number = 0;
  std::string search_text;
};

// The field numbers the table's text index covers.
std::vector<std::uint16_t> TextIndexFields(storage::TDataTable& table);

std::optional<TTextSearchTest> RecogniseTextSearch(const TExpToken& node,
                                                   const std::vector<std::uint16_t>& text_fields);

class TTextIndexSearch {
 public:
  TTextIndexSearch(storage::TDataTable& table, const Locale& locale, std::string table_name);

  // S becomes the records of S that hold every searched word.
  void Narrow(const TTextSearchTest& test, TRecordsBitmap& set);

 private:
  // The records with an entry of the word (or of its beginning) in the
  // field, into `found` (sized like S).
  void WordRecords(std::uint16_t field_number, const std::string& word, TRecordsBitmap& found);

  storage::TDataTable& table_;
  Locale locale_;
  std::string table_name_;
  storage::TTextIndexParameters parameters_;
};

}  // namespace telvora::engine
