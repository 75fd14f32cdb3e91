#include "tools/table_info.h"

#include "storage/field_types.h"
#include "storage/index_descriptor.h"
#include "tools/table_text.h"

namespace telvora::tools {
namespace {

using nlohmann::json;
using storage::TFieldDescriptor;
using storage::TIndexDescriptor;

const char* CompressionName(std::uint8_t compression) {
  switch (compression) {
    case 1: return "leading";
    case 2: return "trailing";
    case 3: return "full";
    default: return "none";
  }
}

const char* CaseName(storage::CharacterCase c) {
  switch (c) {
    case storage::CharacterCase::Lower: return "lower";
    case storage::CharacterCase::Upper: return "upper";
    default: return "none";
  }
}

// A value text of the descriptor, null when empty.
json OptionalText(std::uint16_t language, const std::string& text) {
  if (text.empty()) return nullptr;
  return TableTextToUtf8(language, text);
}

json DescribeField(std::uint16_t language, const TFieldDescriptor& f) {
  return json{{"number", f.FieldNumber()},
              {"name", TableTextToUtf8(language, f.Name())},
              {"type", FieldTypeName(f.Type())},
              {"subtype", f.Subtype()},
              {"size", f.DeclaredSize()},
              {"decimals", f.Decimals()},
              {"offset", f.FieldOffset()},
              {"required", f.Required()},
              {"min", OptionalText(language, f.MinimumText())},
              {"max", OptionalText(language, f.MaximumText())},
              {"default", OptionalText(language, f.DefaultText())},
              {"case", CaseName(f.Case())}};
}

json KeyFieldNames(std::uint16_t language, const TIndexDescriptor& index,
                   const std::vector<TFieldDescriptor>& fields) {
  json names = json::array();
  for (int i = 0; i < index.KeyFieldCount(); ++i) {
    const std::uint16_t number = index.KeyFieldNumber(i);
    if (number >= 1 && number <= fields.size()) {
      names.push_back(TableTextToUtf8(language, fields[number - 1].Name()));
    } else {
      names.push_back(number);  // a dangling number is shown as it is stored
    }
  }
  return names;
}

json DescribeIndex(const TableInfoSource& s, int slot) {
  const std::uint16_t language = s.data->LanguageId();
  const TIndexDescriptor d = s.index->Descriptor(slot);
  return json{{"name", TableTextToUtf8(language, d.Name())},
              {"fields", KeyFieldNames(language, d, *s.fields)},
              {"unique", d.Unique()},
              {"descending", d.Descending()},
              {"caseInsensitive", d.CaseInsensitive()},
              {"compression", CompressionName(d.Compression())},
              {"keyLength", d.KeyLength()},
              {"depth", s.index_depth ? s.index_depth(slot) : 0},
              // Every index holds one entry per active record.
              {"entries", s.index->ActiveRecordCount()}};
}

}  // namespace

std::string FieldTypeName(std::uint8_t type) {
  switch (type) {
    case storage::kTypeString: return "string";
    case storage::kTypeDate: return "date";
    case storage::kTypeBlob: return "blob";
    case storage::kTypeBoolean: return "boolean";
    case storage::kTypeSmallInt: return "smallint";
    case storage::kTypeInteger: return "integer";
    case storage::kTypeFloat: return "float";
    case storage::kTypeBcd: return "bcd";
    case storage::kTypeBytes: return "bytes";
    case storage::kTypeTime: return "time";
    case storage::kTypeTimeStamp: return "timestamp";
    case storage::kTypeWord: return "word";
    case storage::kTypeVarBytes: return "varbytes";
    case storage::kTypeLargeInt: return "largeint";
    default: return "";
  }
}

json DescribeTable(const TableInfoSource& s) {
  const storage::TDataFileHeader& h = *s.data;
  const std::uint16_t language = h.LanguageId();
  json fields = json::array();
  for (const TFieldDescriptor& f : *s.fields) fields.push_back(DescribeField(language, f));

  json primary = nullptr;
  if (!s.index->PrimaryIndexUnavailable() && s.index->Descriptor(storage::kPrimaryIndexSlot).KeyFieldCount() > 0) {
    primary = DescribeIndex(s, storage::kPrimaryIndexSlot);
  }
  json indexes = json::array();
  for (int slot = 1; slot <= s.index->SecondaryIndexCount(); ++slot) indexes.push_back(DescribeIndex(s, slot));

  const TIndexDescriptor text = s.index->Descriptor(storage::kTextIndexSlot);
  json text_fields = KeyFieldNames(language, text, *s.fields);

  // The last auto-increment value wraps to 0 after 2,147,483,647, so the
  // next one issued is 1 there.
  const std::int32_t last = h.LastAutoIncValue();
  const std::int64_t next_auto_inc = last == 2147483647 ? 1 : std::int64_t{last} + 1;

  return json{{"name", s.name},
              {"language", language},
              {"sort", h.SortId()},
              {"description", TableTextToUtf8(language, h.Description())},
              {"encrypted", h.Encrypted()},
              {"version", h.Version()},
              {"recordSize", h.RecordSize()},
              {"physicalRecords", h.PhysicalRecordCount()},
              {"activeRecords", s.index->ActiveRecordCount()},
              {"nextAutoInc", next_auto_inc},
              {"blobBlockSize", h.BlobBlockSize()},
              {"fields", fields},
              {"primaryIndex", primary},
              {"indexes", indexes},
              {"textIndexFields", text_fields}};
}

}  // namespace telvora::tools
