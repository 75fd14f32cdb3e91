// TEXTSEARCH in a filter: answered from the text index it keeps exactly the
// records that reading every record keeps. Two tables hold the same random
// texts; one indexes them in its text index, the other has no text index.
// Random searches (whole words, beginnings of words with '*', any case,
// with stop words mixed in, under NOT, AND and OR) are set on both and the
// visible sets compared. The seed is printed with every failure;
// TELVORA_FILTER_SEED repeats one.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "cp1256_text.h"
#include "engine/data_cursor.h"
#include "engine/filter.h"
#include "filter_test_table.h"
#include "storage/field_types.h"
#include "storage/text_index_parameters.h"

namespace telvora::engine {
namespace {

using testing::FilterTables;

constexpr std::uint16_t kId = 1;
constexpr std::uint16_t kNotes = 2;
constexpr std::uint16_t kCode = 3;
constexpr int kRecords = 400;
constexpr int kFilters = 150;
constexpr std::uint16_t kFarsi = 0x0429;

const std::vector<storage::testing::FieldDef>& Fields() {
  static const std::vector<storage::testing::FieldDef> fields = {{"Id", storage::kTypeInteger, 0, 0, 0},
                                                                 {"Notes", storage::kTypeString, 0, 60, 0},
                                                                 {"Code", storage::kTypeSmallInt, 0, 0, 0}};
  return fields;
}

std::uint64_t Seed() {
  const char* text = std::getenv("TELVORA_FILTER_SEED");
  return text != nullptr ? std::strtoull(text, nullptr, 10) : std::random_device{}();
}

struct TableCase {
  const char* label;
  std::uint16_t language_id;
  // Words of the records; the searches use them, their beginnings and
  // other cases of them.
  std::vector<std::string> words;
  // A stop word of the table's own list instead of the default one.
  const char* own_stop_word;
};

TTableDescription Description(const TableCase& c, bool text_indexed) {
  TTableDescription d = testing::MakeDescription(c.language_id, Fields(), {"", {kId}, true}, {});
  if (text_indexed) d.text_index_fields = {kNotes};
  if (c.own_stop_word != nullptr) {
    storage::TTextIndexParameters parameters = storage::TTextIndexParameters::Defaults();
    parameters.stop_words = {c.own_stop_word};
    d.text_index_parameters = parameters;
  }
  return d;
}

class TRandomTexts {
 public:
  TRandomTexts(std::uint64_t seed, const std::vector<std::string>& words) : random_(seed), words_(words) {}

  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  std::string Word() { return words_[static_cast<std::size_t>(Below(static_cast<int>(words_.size())))]; }

  // 0 to 4 words between separators ("" is NULL).
  std::string Text() {
    static const char* kSeparators[] = {" ", ", ", "-", "  "};
    std::string text;
    const int count = Below(5);
    for (int i = 0; i < count; ++i) {
      if (i > 0) text += kSeparators[Below(4)];
      text += Word();
    }
    return text;
  }

  // A word as a search asks for it: other case, or its beginning and '*'.
  std::string SearchWord() {
    std::string word = Word();
    if (Below(3) == 0) {
      for (char& ch : word) {
        if (ch >= 'a' && ch <= 'z' && Below(2) == 0) ch = static_cast<char>(ch - 'a' + 'A');
      }
    }
    if (Below(3) == 0) word = word.substr(0, static_cast<std::size_t>(Below(static_cast<int>(word.size())))) + "*";
    return word;
  }

  std::string Search() {
    // One word at least is not a stop word: a search of stop words only is
    // answered differently (see below).
    std::string text;
    do {
      text = SearchWord();
    } while (IsStopWord(text));
    if (Below(2) == 0) text += " " + SearchWord();
    if (Below(4) == 0) text += " the";
    return "TEXTSEARCH('" + Quoted(text) + "' IN Notes)";
  }

  std::string Filter() {
    switch (Below(6)) {
      case 0: return "NOT " + Search();
      case 1: return Search() + " AND Code > 0";
      case 2: return Search() + " OR " + Search();
      case 3: return Search() + " = TRUE";
      default: return Search();
    }
  }

 private:
  static bool IsStopWord(std::string word) {
    for (char& ch : word) {
      if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    }
    return word == "THE" || word == "A" || word == "BANANA";
  }

  static std::string Quoted(const std::string& text) {
    std::string quoted;
    for (const char ch : text) {
      quoted += ch;
      if (ch == '\'') quoted += ch;
    }
    return quoted;
  }

  std::mt19937_64 random_;
  std::vector<std::string> words_;
};

std::vector<bool> Shown(TDataCursor& cursor) {
  const TRecordsBitmap& set = cursor.VisibleSet();
  std::vector<bool> shown(static_cast<std::size_t>(set.Size()) + 1, false);
  for (std::int32_t n = 1; n <= set.Size(); ++n) shown[static_cast<std::size_t>(n)] = set.Test(n);
  return shown;
}

class FilterTextSearchTest : public ::testing::TestWithParam<TableCase> {
 protected:
  void SetUp() override {
    const TableCase& c = GetParam();
    tables_.Create("Indexed", Description(c, true));
    tables_.Create("Plain", Description(c, false));
  }

  // Both tables filled with the same random texts.
  void Fill(TRandomTexts& random) {
    TDataCursor& indexed = tables_.Open("Indexed");
    TDataCursor& plain = tables_.Open("Plain");
    for (int i = 1; i <= kRecords; ++i) {
      const std::string notes = random.Text();
      const std::string code = std::to_string(random.Below(5) - 2);
      for (TDataCursor* cursor : {&indexed, &plain}) {
        std::vector<std::uint8_t> record =
            testing::MakeRecord(*cursor, {{kId, std::to_string(i)}, {kNotes, notes}, {kCode, code}});
        cursor->InsertRecord(record, false);
      }
    }
    tables_.CloseAll();
  }

  FilterTables tables_;
};

TEST_P(FilterTextSearchTest, TheTextIndexAndRecordReadsGiveTheSameRecords) {
  const TableCase& c = GetParam();
  const std::uint64_t seed = Seed();
  SCOPED_TRACE("seed " + std::to_string(seed) + " (TELVORA_FILTER_SEED)");
  TRandomTexts random(seed, c.words);
  Fill(random);
  TDataCursor& indexed = tables_.Open("Indexed");
  TDataCursor& plain = tables_.Open("Plain");
  int found_some = 0;
  for (int i = 0; i < kFilters; ++i) {
    const std::string text = random.Filter();
    SCOPED_TRACE(text);
    TFilterSwitches switches;
    switches.cost_estimates = random.Below(2) == 0;
    TFilter* a = indexed.AddFilter(text, switches);
    TFilter* b = plain.AddFilter(text, switches);
    EXPECT_NE(a->OptimizationLevel(), olNone);
    EXPECT_EQ(b->OptimizationLevel(), olNone);
    indexed.ActivateFilter(a);
    plain.ActivateFilter(b);
    EXPECT_EQ(Shown(indexed), Shown(plain));
    const std::int32_t count = indexed.GetRecordCount();
    if (count > 0 && count < kRecords) ++found_some;
    indexed.DropFilter(a);
    plain.DropFilter(b);
    if (::testing::Test::HasFailure()) return;
  }
  // Searches that keep all or nothing would prove little.
  EXPECT_GT(found_some, kFilters / 3);
  tables_.CloseAll();
  EXPECT_TABLE_SOUND(tables_.Table("Indexed"));
}

TEST_P(FilterTextSearchTest, ASearchOfStopWordsOnlyKeepsNothingFromTheIndex) {
  const TableCase& c = GetParam();
  TRandomTexts random(1, c.words);
  Fill(random);
  // Stop words have no entries in the text index, so the index has no
  // record to give; read record by record, every word of such a search is
  // skipped and every record passes.
  const std::string stop_word = c.own_stop_word != nullptr ? c.own_stop_word : "the";
  const std::string text = "TEXTSEARCH('" + stop_word + "' IN Notes)";
  TDataCursor& indexed = tables_.Open("Indexed");
  TDataCursor& plain = tables_.Open("Plain");
  indexed.ActivateFilter(indexed.AddFilter(text, {}));
  plain.ActivateFilter(plain.AddFilter(text, {}));
  EXPECT_EQ(indexed.GetRecordCount(), 0);
  EXPECT_EQ(plain.GetRecordCount(), kRecords);
}

const TableCase kTables[] = {
    {"ByteOrder", 0, {"apple", "Apple", "apply", "banana", "band", "the", "a", "x_y", "it's", "Zebra"}, nullptr},
    {"ByteOrderOwnStopWord", 0, {"apple", "apply", "banana", "band", "the", "zebra"}, "BANANA"},
    {"Farsi",
     kFarsi,
     {testing::Cp1256("سلام"), testing::Cp1256("سَلام"), testing::Cp1256("کتاب"), testing::Cp1256("کتابخانه"),
      testing::Cp1256("دوست"), "the", "Apple", "apple"},
     nullptr},
};

INSTANTIATE_TEST_SUITE_P(Tables, FilterTextSearchTest, ::testing::ValuesIn(kTables),
                         [](const auto& param_info) { return std::string(param_info.param.label); });

}  // namespace
}  // namespace telvora::engine
