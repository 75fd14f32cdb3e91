#include "engine/table_creation_checks.h"

#include <algorithm>
#include <set>

#include "engine/locale.h"
#include "engine/locale_names.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "storage/field_types.h"
#include "storage/index_file_header.h"
#include "storage/index_key.h"
#include "storage/record_image.h"
#include "storage/value_text.h"

namespace telvora::engine {
namespace {

using storage::TFieldDescriptor;
using storage::TIndexDescriptor;

constexpr std::size_t kMaxPasswordLength = 15;
constexpr std::size_t kMaxIndexDescriptors = 32;
constexpr std::size_t kMaxNameLength = 30;
constexpr std::uint16_t kFirstFieldOffset = 9;
constexpr std::uint8_t kFirstHighNameByte = 128;
constexpr std::uint8_t kLastHighNameByte = 254;

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string FoldCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool ValidNameStart(const std::string& name) {
  if (name.empty()) return false;
  const auto c = static_cast<std::uint8_t>(name[0]);
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
         (c >= kFirstHighNameByte && c <= kLastHighNameByte);
}

class TCheck {
 public:
  explicit TCheck(std::string table_name) : table_(std::move(table_name)) {}
  [[noreturn]] void Fail(std::uint16_t code) const { storage::RaiseEngineError(code, {.table = table_}); }
  [[noreturn]] void FailField(std::uint16_t code, const std::string& field) const {
    storage::RaiseEngineError(code, {.table = table_, .field = field});
  }
  [[noreturn]] void FailIndex(std::uint16_t code, const std::string& index) const {
    storage::RaiseEngineError(code, {.table = table_, .index = index});
  }

 private:
  std::string table_;
};

void CheckFields(std::vector<TFieldDescriptor>& fields, const TCheck& check) {
  std::set<std::string> names;
  std::set<std::uint16_t> numbers;
  std::uint16_t offset = kFirstFieldOffset;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    TFieldDescriptor& field = fields[i];
    std::string name = Trim(field.Name()).substr(0, kMaxNameLength);
    name = Trim(name);
    if (!ValidNameStart(name) || !names.insert(FoldCase(name)).second) {
      check.FailField(storage::VORA_INVALIDFIELDNAME, name);
    }
    field.SetName(name);
    // Every later check of the table needs field n at position n.
    if (field.FieldNumber() != i + 1 || !numbers.insert(field.FieldNumber()).second) {
      check.FailField(storage::VORA_INVALIDFLDTYPE, name);
    }
    const std::uint8_t type = field.Type();
    if (type == storage::kTypeNone) check.FailField(storage::VORA_INVALIDFLDTYPE, name);
    if (storage::HasDeclaredSize(type)) {
      if (field.DeclaredSize() > storage::kMaxDeclaredSize) check.FailField(storage::VORA_INVALIDFLDTYPE, name);
    } else {
      field.SetDeclaredSize(0);
    }
    if (type != storage::kTypeBcd) field.SetDecimals(0);
    if (!field.RecomputeStoredLength()) check.FailField(storage::VORA_INVALIDFLDTYPE, name);
    for (const std::string& text : {field.DefaultText(), field.MinimumText(), field.MaximumText()}) {
      if (!storage::IsValidValueText(type, text)) check.FailField(storage::VORA_INVALIDVCHKSTRUCT, name);
    }
    if (field.IsAutoInc()) {
      field.SetFieldOffset(static_cast<std::uint16_t>(storage::TRecordImage::kRecordIdOffset));
    } else {
      field.SetFieldOffset(offset);
      offset = static_cast<std::uint16_t>(offset + field.StoredLength() + 1);
    }
  }
}

void CheckIndexKey(TIndexDescriptor& index, bool primary, const std::vector<TFieldDescriptor>& fields,
                   const TCheck& check) {
  const std::string name = index.Name();
  const int count = index.KeyFieldCount();
  if (count > storage::kMaxKeyFields) check.FailIndex(storage::VORA_INVALIDIDXDESC, name);
  for (int i = 0; i < storage::kMaxKeyFields; ++i) {
    const std::uint16_t number = index.KeyFieldNumber(i);
    const bool inside = i < count;
    if (inside != (number != 0) || number > fields.size()) check.FailIndex(storage::VORA_INVALIDIDXDESC, name);
  }
  std::size_t length = 0;
  for (int i = 0; i < count; ++i) {
    const TFieldDescriptor& field = fields[index.KeyFieldNumber(i) - 1u];
    if (field.Type() == storage::kTypeBlob) check.FailIndex(storage::VORA_SEARCHCOLREQD, name);
    length += storage::KeyLengthOf(field.Type(), field.DeclaredSize()).value_or(0) + storage::kKeyFlagLength;
  }
  if (length > storage::kMaxKeyFieldsLength || (!primary && count == 0)) {
    check.FailIndex(storage::VORA_INVALIDKEY, name);
  }
  if (primary) index.SetUnique(true);
  if (!index.Unique()) length += storage::kRecordIdSuffixLength;
  index.SetKeyLength(static_cast<std::int16_t>(length));
}

}  // namespace

TTableDefinition CheckTableDescription(const TTableDescription& description, const std::string& table_name) {
  const TCheck check(table_name);
  TTableDefinition definition;
  storage::TDataFileCreation& creation = definition.creation;

  if (!description.password.empty()) {
    const std::string password = Trim(description.password);
    if (password.empty() || password.size() > kMaxPasswordLength) check.Fail(storage::VORA_INVALIDPASSWORD);
    creation.password = password;
    creation.encrypted = true;
  }
  if (description.language_id != kByteOrderLanguageId &&
      !LocaleInstalled(description.language_id, description.sort_id)) {
    check.Fail(storage::VORA_CANNOTLOADLDDRV);
  }
  creation.language_id = description.language_id;
  creation.sort_id = description.sort_id;
  creation.description = description.description;
  if (description.fields.size() > storage::kMaxFieldCount) check.Fail(storage::VORA_FLDLIMIT);
  if (description.indexes.size() > kMaxIndexDescriptors) check.Fail(storage::VORA_INDEXLIMIT);
  if (description.blob_block_size < storage::kMinBlobBlockSize) check.Fail(storage::VORA_BLOBLIMIT);
  creation.blob_block_size = description.blob_block_size;

  definition.fields = description.fields;
  CheckFields(definition.fields, check);

  std::vector<TIndexDescriptor> indexes = description.indexes;
  if (indexes.empty()) indexes.emplace_back();
  if (indexes.size() - 1 > static_cast<std::size_t>(storage::kMaxSecondaryIndexes)) {
    check.Fail(storage::VORA_INDEXLIMIT);
  }
  std::set<std::string> index_names;
  for (std::size_t i = 1; i < indexes.size(); ++i) {
    const std::string name = indexes[i].Name();
    if (!ValidNameStart(name)) check.FailIndex(storage::VORA_INVALIDINDEXNAME, name);
    if (!index_names.insert(FoldCase(name)).second) check.FailIndex(storage::VORA_INDEXEXISTS, name);
  }
  for (std::size_t i = 0; i < indexes.size(); ++i) CheckIndexKey(indexes[i], i == 0, definition.fields, check);
  definition.primary = indexes[0];
  definition.secondary.assign(indexes.begin() + 1, indexes.end());

  if (description.text_index_fields.size() > static_cast<std::size_t>(storage::kMaxKeyFields)) {
    check.Fail(storage::VORA_SEARCHCOLREQD);
  }
  for (const std::uint16_t number : description.text_index_fields) {
    const bool exists = number >= 1 && number <= definition.fields.size();
    const TFieldDescriptor* field = exists ? &definition.fields[number - 1u] : nullptr;
    const bool text = field != nullptr && (field->Type() == storage::kTypeString ||
                                           (field->Type() == storage::kTypeBlob &&
                                            field->Subtype() == storage::kSubtypeMemo));
    if (!text) check.FailField(storage::VORA_SEARCHCOLREQD, field != nullptr ? field->Name() : std::to_string(number));
  }
  definition.text_index_fields = description.text_index_fields;
  definition.text_index_parameters =
      description.text_index_parameters.value_or(storage::TTextIndexParameters::Defaults());
  return definition;
}

void CreateCheckedTable(TDataDirectory& directory, const std::string& table_name,
                        const TTableDescription& description, bool in_memory, bool overwrite) {
  directory.CreateTable(table_name, CheckTableDescription(description, table_name), in_memory, overwrite);
}

}  // namespace telvora::engine
