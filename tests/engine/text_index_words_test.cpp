// Cutting texts into the words of the text index.

#include "engine/text_index_words.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cp1256_text.h"

namespace telvora::engine {
namespace {

using Words = std::vector<std::string>;

TEST(TextIndexWordsTest, DefaultParametersCutDistinctUpperCasedWordsWithoutStopWords) {
  struct Case {
    std::string text;
    Words words;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"The quick, brown fox.", {"QUICK", "BROWN", "FOX"}},
      {"Fox fox FOX", {"FOX"}},
      {"don't", {"DONT"}},             // the quote neither ends nor joins
      {"a-b;c:d", {"B", "C", "D"}},     // "A" is a stop word
      {"x_1 2", {"X_1", "2"}},
      {"tab\there\nnow", {"TAB", "HERE", "NOW"}},
      {std::string(70, 'a'), {std::string(61, 'A')}},
      {"what WHY when", {}},
  };
  const storage::TTextIndexParameters parameters = storage::TTextIndexParameters::Defaults();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(TextIndexWords(c.text, parameters, Locale{}), c.words);
  }
}

TEST(TextIndexWordsTest, PersianLettersAreWordCharacters) {
  const std::string hello = testing::Cp1256("سلام");
  const std::string world = testing::Cp1256("دنیا");
  const Locale farsi{0x0429, 0};
  EXPECT_EQ(TextIndexWords(hello + " " + world + " " + hello, storage::TTextIndexParameters::Defaults(), farsi),
            (Words{hello, world}));
}

TEST(TextIndexWordsTest, GivenParametersDecide) {
  storage::TTextIndexParameters parameters;
  parameters.stop_words = {"FOO"};
  storage::AddToCharacterSet(parameters.separators, ' ');
  for (char c = 'a'; c <= 'z'; ++c) storage::AddToCharacterSet(parameters.word_characters, static_cast<std::uint8_t>(c));
  // ',' and digits are neither: skipped inside a word.
  EXPECT_EQ(TextIndexWords("foo bar,baz q1x foo", parameters, Locale{}), (Words{"BARBAZ", "QX"}));
}

TEST(TextIndexWordsTest, WordsNotInComparesWithoutCase) {
  EXPECT_EQ(WordsNotIn({"ALPHA", "BETA", "GAMMA"}, {"beta", "DELTA"}, Locale{}), (Words{"ALPHA", "GAMMA"}));
  EXPECT_EQ(WordsNotIn({}, {"X"}, Locale{}), Words{});
}

}  // namespace
}  // namespace telvora::engine
