#include "engine/filter_text_search.h"

#include <algorithm>
#include <cstring>

#include "engine/expression_types.h"
#include "engine/index_reader.h"
#include "engine/locale_case.h"
#include "engine/locale_collation.h"
#include "engine/text_index_words.h"
#include "storage/index_file_header.h"
#include "storage/index_key.h"

namespace telvora::engine {

namespace {

constexpr char kStar = '*';

// Returns a set to the pool when it goes.
struct TPooledSet {
  std::unique_ptr<TRecordsBitmap> set;
  ~TPooledSet() { TRecordsBitmapStack::Instance().Release(std::move(set)); }
};

const TExpToken* TextSearchCall(const TExpToken& node) {
  if (node.kind == ekFunction && node.code == ecTextSearch) return &node;
  // TEXTSEARCH(...) = TRUE
  if (node.kind == ekBinary && node.code == ecEqual && node.left && node.right &&
      node.left->kind == ekFunction && node.left->code == ecTextSearch && node.right->kind == ekConstant &&
      !node.right->is_null && node.right->type == storage::kTypeBoolean && node.right->integer_value != 0) {
    return node.left.get();
  }
  return nullptr;
}

// The word of a text index key: its 61-byte area up to the first zero.
std::string KeyWord(const std::uint8_t* key) {
  const char* word = reinterpret_cast<const char*>(key + storage::kTextKeyWordOffset);
  return std::string(word, strnlen(word, storage::kTextKeyWordLength));
}

}  // namespace

std::vector<std::uint16_t> TextIndexFields(storage::TDataTable& table) {
  const storage::TIndexDescriptor text = table.index_file().Header().Descriptor(storage::kTextIndexSlot);
  std::vector<std::uint16_t> fields;
  for (int i = 0; i < std::min<int>(text.KeyFieldCount(), storage::kMaxKeyFields); ++i) {
    fields.push_back(text.KeyFieldNumber(i));
  }
  return fields;
}

std::optional<TTextSearchTest> RecogniseTextSearch(const TExpToken& node,
                                                   const std::vector<std::uint16_t>& text_fields) {
  const TExpToken* call = TextSearchCall(node);
  if (call == nullptr || call->arguments.size() != 2) return std::nullopt;
  const TExpToken* search = call->arguments[0].get();
  const TExpToken* column = call->arguments[1].get();
  if (search == nullptr || search->kind != ekConstant || search->is_null ||
      !IsStringType(search->type, search->subtype)) {
    return std::nullopt;
  }
  if (column == nullptr || column->kind != ekColumn) return std::nullopt;
  const auto field = static_cast<std::uint16_t>(column->field_number);
  if (std::find(text_fields.begin(), text_fields.end(), field) == text_fields.end()) return std::nullopt;
  return TTextSearchTest{&node, field, search->string_value};
}

TTextIndexSearch::TTextIndexSearch(storage::TDataTable& table, const Locale& locale, std::string table_name)
    : table_(table),
      locale_(locale),
      table_name_(std::move(table_name)),
      parameters_(storage::ReadTextIndexParameters(table.OpenIndex(storage::kTextIndexSlot))
                      .value_or(storage::TTextIndexParameters::Defaults())) {}

void TTextIndexSearch::Narrow(const TTextSearchTest& test, TRecordsBitmap& set) {
  std::vector<std::string> words;
  for (std::string& word : CutTextWords(test.search_text, parameters_, true)) {
    if (IsStopWord(word, parameters_, locale_)) continue;
    UpperCase(locale_, word);
    if (std::find(words.begin(), words.end(), word) == words.end()) words.push_back(std::move(word));
  }
  if (words.empty()) {
    set.ClearAll();
    return;
  }
  TPooledSet found{TRecordsBitmapStack::Instance().Take()};
  for (const std::string& word : words) {
    found.set->SetSize(set.Size());
    found.set->ClearAll();
    WordRecords(test.field_number, word, *found.set);
    set.And(*found.set);
  }
}

void TTextIndexSearch::WordRecords(std::uint16_t field_number, const std::string& word, TRecordsBitmap& found) {
  const bool prefix = !word.empty() && word.back() == kStar;
  const std::string wanted = prefix ? word.substr(0, word.find_last_not_of(kStar) + 1) : word;
  const auto key = storage::TextIndexKey(field_number, wanted, 0);
  // Byte order: the leading bytes every entry of the word shares; under a
  // locale: only the field's.
  std::size_t shared = storage::kTextKeyWordOffset;
  if (locale_.byte_order()) {
    shared += prefix ? std::min(wanted.size(), storage::kTextKeyWordLength) : storage::kTextKeyWordLength;
  }
  const auto matches = [&](const std::uint8_t* entry) {
    if (locale_.byte_order()) return true;
    const std::string entry_word = KeyWord(entry);
    if (prefix) {
      if (wanted.empty()) return true;
      return entry_word.size() >= wanted.size() &&
             CompareStrings(locale_, entry_word.c_str(), wanted.c_str(), true, static_cast<int>(wanted.size())) == 0;
    }
    return CompareStrings(locale_, entry_word.c_str(), wanted.c_str(), true) == 0;
  };
  const storage::TIndexKeyDefinition definition = table_.IndexKey(storage::kTextIndexSlot);
  TIndexReader reader(table_.OpenIndex(storage::kTextIndexSlot), table_.KeyOrder(definition).compare, table_name_);
  const std::int32_t slots = found.Size();
  reader.ForEachFrom(key.data(), shared, [&](const std::uint8_t* entry, std::int32_t record) {
    if (std::memcmp(entry, key.data(), shared) != 0) return false;
    if (record >= 1 && record <= slots && matches(entry)) found.Set(record);
    return true;
  });
}

}  // namespace telvora::engine
