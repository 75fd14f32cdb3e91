#include "engine/phone_book_table.h"

#include <vector>

#include "storage/field_types.h"

namespace telvora::engine {
namespace {

struct PhoneBookField {
  const char* name;
  std::uint8_t size;  // characters
  const char* index;  // the search index on the field, or nullptr
};

constexpr PhoneBookField kFields[] = {
    {"Name", 60, "ByName"},   {"Family", 70, "ByFamily"}, {"Tel1", 12, "ByTel1"},
    {"Tel2", 12, nullptr},    {"Mobile", 16, "ByMobile"}, {"Address", 65, "ByAddress"},
};

}  // namespace

TTableDescription PhoneBookTableDescription() {
  TTableDescription description;
  description.language_id = kPhoneBookLanguageId;
  // Slot 0 without key fields: no primary key, natural order.
  description.indexes.emplace_back();
  std::uint16_t number = 1;
  for (const PhoneBookField& f : kFields) {
    storage::TFieldDescriptor field;
    field.SetFieldNumber(number);
    field.SetName(f.name);
    field.SetType(storage::kTypeString);
    field.SetDeclaredSize(f.size);
    description.fields.push_back(field);
    if (f.index != nullptr) {
      storage::TIndexDescriptor index;
      index.SetName(f.index);
      index.SetKeyFieldCount(1);
      index.SetKeyFieldNumber(0, number);
      description.indexes.push_back(index);
    }
    ++number;
  }
  return description;
}

}  // namespace telvora::engine
