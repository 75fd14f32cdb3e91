#include "tools/table_schema.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "storage/field_types.h"
#include "tools/table_info.h"
#include "tools/table_text.h"

namespace telvora::tools {
namespace {

using nlohmann::json;

// The longest value text (minimum, maximum, default) a descriptor holds.
constexpr std::size_t kMaxValueText = 50;

struct TypeCode {
  std::uint8_t type;
  std::uint8_t subtype;
};

std::map<std::string, TypeCode> TypeNames() {
  std::map<std::string, TypeCode> names;
  for (std::uint8_t code = 1; code < 32; ++code) {
    const std::string name = FieldTypeName(code);
    if (!name.empty()) names[name] = {code, storage::kSubtypePlain};
  }
  names["autoinc"] = {storage::kTypeInteger, storage::kSubtypeAutoInc};
  names["money"] = {storage::kTypeFloat, storage::kSubtypeMoney};
  names["memo"] = {storage::kTypeBlob, storage::kSubtypeMemo};
  names["graphic"] = {storage::kTypeBlob, storage::kSubtypeGraphic};
  return names;
}

// One JSON object of the schema, read key by key; a key it does not know
// is an error, so that a misspelt key is not silently a default.
class SchemaObject {
 public:
  SchemaObject(const json& object, std::string where, std::set<std::string> keys) : object_(object), where_(std::move(where)) {
    if (!object.is_object()) Fail("expected a JSON object");
    for (const auto& item : object.items()) {
      if (!keys.count(item.key())) Fail("unknown key \"" + item.key() + "\"");
    }
  }
  [[noreturn]] void Fail(const std::string& what) const { throw SchemaError(where_ + ": " + what); }

  // Missing or null: nullptr.
  const json* Get(const char* key) const {
    auto it = object_.find(key);
    return it == object_.end() || it->is_null() ? nullptr : &*it;
  }
  std::int64_t Whole(const char* key, std::int64_t fallback, std::int64_t minimum, std::int64_t maximum) const {
    const json* v = Get(key);
    if (v == nullptr) return fallback;
    if (!v->is_number_integer()) Fail(std::string("\"") + key + "\" must be a whole number");
    const auto n = v->is_number_unsigned() ? static_cast<std::int64_t>(std::min<std::uint64_t>(
                                                 v->get<std::uint64_t>(), std::numeric_limits<std::int64_t>::max()))
                                           : v->get<std::int64_t>();
    if (n < minimum || n > maximum) {
      Fail(std::string("\"") + key + "\" must lie in " + std::to_string(minimum) + " .. " + std::to_string(maximum));
    }
    return n;
  }
  bool Flag(const char* key) const {
    const json* v = Get(key);
    if (v == nullptr) return false;
    if (!v->is_boolean()) Fail(std::string("\"") + key + "\" must be true or false");
    return v->get<bool>();
  }
  std::string Text(const char* key) const {
    const json* v = Get(key);
    if (v == nullptr) return {};
    if (!v->is_string()) Fail(std::string("\"") + key + "\" must be a string");
    return v->get<std::string>();
  }
  // The text in the table's code page.
  std::string TableText(const char* key, std::uint16_t language) const {
    const auto text = Utf8ToTableText(language, Text(key));
    if (!text) Fail(std::string("\"") + key + "\" holds a character the table's code page cannot store");
    return *text;
  }
  const json& Array(const char* key) const {
    static const json empty = json::array();
    const json* v = Get(key);
    if (v == nullptr) return empty;
    if (!v->is_array()) Fail(std::string("\"") + key + "\" must be an array");
    return *v;
  }

 private:
  const json& object_;
  std::string where_;
};

storage::TFieldDescriptor ReadField(const json& value, std::size_t position, std::uint16_t language) {
  const SchemaObject o(value, "field " + std::to_string(position),
                       {"name", "type", "size", "decimals", "required", "min", "max", "default", "case"});
  static const std::map<std::string, TypeCode> types = TypeNames();
  storage::TFieldDescriptor f;
  f.SetFieldNumber(static_cast<std::uint16_t>(position));
  f.SetName(o.TableText("name", language));
  const std::string type = o.Text("type");
  auto it = types.find(type);
  if (it == types.end()) o.Fail("unknown type \"" + type + "\"");
  f.SetType(it->second.type);
  f.SetSubtype(it->second.subtype);
  // A size the descriptor's byte cannot hold is stored as the largest, so
  // that the engine refuses it as too large rather than a wrapped size
  // being accepted.
  f.SetDeclaredSize(static_cast<std::uint8_t>(
      std::min<std::int64_t>(o.Whole("size", 0, 0, std::numeric_limits<std::int64_t>::max()), 255)));
  f.SetDecimals(static_cast<std::uint8_t>(o.Whole("decimals", 0, 0, 255)));
  f.SetRequired(o.Flag("required"));
  const std::string min = o.TableText("min", language);
  const std::string max = o.TableText("max", language);
  const std::string def = o.TableText("default", language);
  for (const auto& [key, text] : {std::pair{"min", &min}, {"max", &max}, {"default", &def}}) {
    if (text->size() > kMaxValueText) o.Fail(std::string("\"") + key + "\" is longer than 50 characters");
  }
  f.SetMinimumText(min);
  f.SetMaximumText(max);
  f.SetDefaultText(def);
  const std::string character_case = o.Text("case");
  if (character_case == "lower") {
    f.SetCase(storage::CharacterCase::Lower);
  } else if (character_case == "upper") {
    f.SetCase(storage::CharacterCase::Upper);
  } else if (!character_case.empty() && character_case != "none") {
    o.Fail("\"case\" must be none, lower or upper");
  }
  return f;
}

std::string FoldAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// Field numbers of field names (matched without regard to case); a name
// that matches no field becomes a number past the last field, which the
// engine refuses with its code.
std::vector<std::uint16_t> FieldNumbers(const SchemaObject& o, const json& names,
                                        const std::vector<storage::TFieldDescriptor>& fields,
                                        std::uint16_t language) {
  std::vector<std::uint16_t> numbers;
  for (const json& name : names) {
    if (!name.is_string()) o.Fail("field names must be strings");
    const auto text = Utf8ToTableText(language, name.get<std::string>());
    std::uint16_t number = static_cast<std::uint16_t>(fields.size() + 1);
    for (const storage::TFieldDescriptor& f : fields) {
      if (text && FoldAscii(f.Name()) == FoldAscii(*text)) number = f.FieldNumber();
    }
    numbers.push_back(number);
  }
  return numbers;
}

storage::KeyCompression Compression(const SchemaObject& o) {
  const std::string name = o.Text("compression");
  if (name.empty() || name == "none") return storage::KeyCompression::None;
  if (name == "leading") return storage::KeyCompression::Leading;
  if (name == "trailing") return storage::KeyCompression::Trailing;
  if (name == "full") return storage::KeyCompression::Both;
  o.Fail("\"compression\" must be none, leading, trailing or full");
}

storage::TIndexDescriptor ReadIndex(const json& value, const std::string& where, bool primary,
                                    const std::vector<storage::TFieldDescriptor>& fields, std::uint16_t language) {
  std::set<std::string> keys = {"fields", "descending", "caseInsensitive", "compression"};
  if (!primary) keys.insert({"name", "unique"});
  const SchemaObject o(value, where, keys);
  storage::TIndexDescriptor index;
  if (!primary) {
    index.SetName(o.TableText("name", language));
    index.SetUnique(o.Flag("unique"));
  }
  index.SetDescending(o.Flag("descending"));
  index.SetCaseInsensitive(o.Flag("caseInsensitive"));
  index.SetCompression(Compression(o));
  const std::vector<std::uint16_t> numbers = FieldNumbers(o, o.Array("fields"), fields, language);
  // More key fields than an index holds: the count says so and the engine
  // refuses it; only the first ones have room in the descriptor.
  index.SetKeyFieldCount(static_cast<std::uint8_t>(std::min<std::size_t>(numbers.size(), 255)));
  for (std::size_t i = 0; i < numbers.size() && i < storage::kMaxKeyFields; ++i) {
    index.SetKeyFieldNumber(static_cast<int>(i), numbers[i]);
  }
  return index;
}

}  // namespace

engine::TTableDescription TableDescriptionFromSchema(const json& schema) {
  const SchemaObject o(schema, "schema",
                       {"language", "sort", "description", "blobBlockSize", "password", "fields", "primaryIndex",
                        "indexes", "textIndexFields"});
  engine::TTableDescription d;
  d.language_id = static_cast<std::uint16_t>(o.Whole("language", 0, 0, UINT16_MAX));
  d.sort_id = static_cast<std::uint16_t>(o.Whole("sort", 0, 0, UINT16_MAX));
  d.description = o.TableText("description", d.language_id);
  d.blob_block_size =
      static_cast<std::uint16_t>(o.Whole("blobBlockSize", storage::kDefaultBlobBlockSize, 0, UINT16_MAX));
  d.password = o.TableText("password", d.language_id);

  const json& fields = o.Array("fields");
  for (std::size_t i = 0; i < fields.size(); ++i) d.fields.push_back(ReadField(fields[i], i + 1, d.language_id));

  const json* primary = o.Get("primaryIndex");
  const json& indexes = o.Array("indexes");
  if (primary != nullptr) {
    d.indexes.push_back(ReadIndex(*primary, "primaryIndex", true, d.fields, d.language_id));
  } else if (!indexes.empty()) {
    d.indexes.emplace_back();  // no primary key
  }
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    d.indexes.push_back(ReadIndex(indexes[i], "index " + std::to_string(i + 1), false, d.fields, d.language_id));
  }
  d.text_index_fields = FieldNumbers(o, o.Array("textIndexFields"), d.fields, d.language_id);
  return d;
}

}  // namespace telvora::tools
