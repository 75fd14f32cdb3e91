#include "engine/index_key_order.h"

#include <utility>

#include "engine/locale_case.h"

namespace telvora::engine {

KeyDescription DescribeIndexKey(const storage::TIndexKeyDefinition& definition, const Locale& locale) {
  KeyDescription description;
  description.slot = definition.slot;
  description.descending = definition.descending;
  description.locale = locale;
  for (const storage::TKeyField& field : definition.fields) {
    description.fields.push_back(KeyFieldDescription{field.layout.type, field.key_length, field.descending});
  }
  return description;
}

storage::KeyComparator MakeKeyComparator(KeyDescription description) {
  return [description = std::move(description)](const std::uint8_t* a, const std::uint8_t* b, std::size_t length) {
    return CompareKeys(description, a, b, length);
  };
}

storage::KeyUpperCase MakeKeyUpperCase(const Locale& locale) {
  return [locale](char* text, std::size_t length) { UpperCase(locale, text, length); };
}

storage::KeyOrderSource MakeTableKeyOrder(const storage::TDataTable& table) {
  return [&table](const storage::TIndexKeyDefinition& definition) {
    const storage::TDataFile& data = table.data_file();
    const Locale locale{.language_id = data.LanguageId(), .sort_id = data.SortId()};
    return storage::TIndexKeyOrder{.compare = MakeKeyComparator(DescribeIndexKey(definition, locale)),
                                   .upper_case = MakeKeyUpperCase(locale)};
  };
}

}  // namespace telvora::engine
