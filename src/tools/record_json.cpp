#include "tools/record_json.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "engine/value_text_conversion.h"
#include "storage/bcd_value.h"
#include "storage/date_time_values.h"
#include "storage/engine_error.h"
#include "storage/field_types.h"
#include "storage/record_image.h"
#include "storage/value_text.h"
#include "tools/table_text.h"

namespace telvora::tools {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;
using storage::TFieldDescriptor;
using storage::TFieldLayout;
using storage::TRecordImage;

// Read chunk of BLOB values.
constexpr std::size_t kBlobChunk = 65536;

std::string FoldAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool IsTextBlob(const TFieldDescriptor& f) {
  return f.Type() == storage::kTypeBlob &&
         (f.Subtype() == storage::kSubtypeMemo || f.Subtype() == storage::kSubtypeFormattedMemo);
}

std::string Hex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string DateText(std::int32_t day_number) {
  const storage::CalendarDate d = storage::DateFromDayNumber(day_number);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d.year, d.month, d.day);
  return buffer;
}

std::string TimeText(std::int32_t ms) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60,
                ms % 1000);
  return buffer;
}

std::string TimeStampText(double value) {
  const double day = std::floor(value / storage::kMillisecondsPerDay);
  const auto ms = static_cast<std::int32_t>(std::llround(value - day * storage::kMillisecondsPerDay));
  // A time-only timestamp lies on day 0, before the first calendar day.
  const std::string date = day >= 1 ? DateText(static_cast<std::int32_t>(day)) : "0000-00-00";
  return date + " " + TimeText(ms);
}

// Reads a whole BLOB value through the cursor.
std::string ReadBlobValue(engine::TDataCursor& cursor, std::uint16_t number, std::span<std::uint8_t> record) {
  std::size_t size = 0;
  RaiseBlobResult(cursor, cursor.OpenBlob(number, record, engine::kBlobModeRead, false, size));
  std::string bytes(size, '\0');
  std::uint16_t code = 0;
  for (std::size_t at = 0; at < size && code == 0;) {
    std::size_t read = 0;
    code = cursor.ReadBlob(number, record, at, std::min(kBlobChunk, size - at),
                           reinterpret_cast<std::uint8_t*>(bytes.data()) + at, read);
    at += read;
  }
  const std::uint16_t closed = cursor.CloseBlob(number, record);
  RaiseBlobResult(cursor, code != 0 ? code : closed);
  return bytes;
}

class FieldInput {
 public:
  FieldInput(const RecordFields& fields, std::uint16_t number, const json& value)
      : field_(fields.fields[number - 1u]), name_(FieldName(fields, number)), value_(value) {}

  [[noreturn]] void Fail(const std::string& what) const {
    throw RecordValueError("field '" + name_ + "': " + what);
  }
  const std::string& String(const char* form) const {
    if (!value_.is_string()) Fail(std::string("expected ") + form);
    return value_.get_ref<const std::string&>();
  }
  std::int64_t Whole(std::int64_t minimum, std::int64_t maximum) const {
    std::int64_t n = 0;
    if (value_.is_number_integer() && !value_.is_number_unsigned()) {
      n = value_.get<std::int64_t>();
    } else if (value_.is_number_unsigned()) {
      const auto u = value_.get<std::uint64_t>();
      if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) OutOfRange(minimum, maximum);
      n = static_cast<std::int64_t>(u);
    } else if (value_.is_number_float()) {
      const double d = value_.get<double>();
      if (d != std::floor(d)) Fail("expected a whole number, got " + value_.dump());
      if (!(d >= -9.2e18 && d <= 9.2e18)) OutOfRange(minimum, maximum);
      n = static_cast<std::int64_t>(d);
    } else {
      Fail("expected a number, got " + value_.dump());
    }
    if (n < minimum || n > maximum) OutOfRange(minimum, maximum);
    return n;
  }
  double Number() const {
    if (!value_.is_number()) Fail("expected a number, got " + value_.dump());
    return value_.get<double>();
  }
  std::string Bytes() const {
    const std::string& text = String("a hex string");
    if (text.size() % 2 != 0) Fail("hex string of odd length");
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
      const int high = HexDigit(text[i]);
      const int low = HexDigit(text[i + 1]);
      if (high < 0 || low < 0) Fail("not a hex string");
      bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
  }
  // The text in the table's code page.
  std::string TableText(std::uint16_t language) const {
    const std::string& text = String("a string");
    auto encoded = Utf8ToTableText(language, text);
    if (!encoded) Fail("the text holds a character the table's code page cannot store");
    if (encoded->find('\0') != std::string::npos) Fail("the text holds a zero character");
    return *encoded;
  }
  const TFieldDescriptor& field() const { return field_; }

 private:
  [[noreturn]] void OutOfRange(std::int64_t minimum, std::int64_t maximum) const {
    Fail(value_.dump() + " is outside " + std::to_string(minimum) + " .. " + std::to_string(maximum));
  }

  const TFieldDescriptor& field_;
  std::string name_;
  const json& value_;
};

}  // namespace

RecordFields FieldsOf(engine::TDataCursor& cursor) {
  const auto& header = cursor.table().data_file().Header();
  return RecordFields{cursor.Fields(), engine::Locale{header.LanguageId(), header.SortId()}};
}

std::uint16_t FindField(const RecordFields& fields, const std::string& utf8_name) {
  const auto name = Utf8ToTableText(fields.locale.language_id, utf8_name);
  if (!name) return 0;
  const std::string folded = FoldAscii(*name);
  for (const TFieldDescriptor& f : fields.fields) {
    if (FoldAscii(f.Name()) == folded) return f.FieldNumber();
  }
  return 0;
}

std::string FieldName(const RecordFields& fields, std::uint16_t number) {
  return TableTextToUtf8(fields.locale.language_id, fields.fields[number - 1u].Name());
}

ordered_json FieldToJson(const RecordFields& fields, std::uint16_t number, std::span<std::uint8_t> record) {
  const TFieldDescriptor& f = fields.fields[number - 1u];
  const TFieldLayout layout = TFieldLayout::Of(f);
  const TRecordImage image(record);
  if (!layout.IsAutoInc() && image.IsNull(layout)) return nullptr;
  switch (f.Type()) {
    case storage::kTypeString: return TableTextToUtf8(fields.locale.language_id, image.GetString(layout));
    case storage::kTypeDate: return DateText(image.GetDate(layout));
    case storage::kTypeTime: return TimeText(image.GetTime(layout));
    case storage::kTypeTimeStamp: return TimeStampText(image.GetTimeStamp(layout));
    case storage::kTypeBoolean: return image.GetBoolean(layout);
    case storage::kTypeSmallInt: return image.GetSmallInt(layout);
    case storage::kTypeInteger: return image.GetInteger(layout);
    case storage::kTypeWord: return image.GetWord(layout);
    case storage::kTypeLargeInt: return image.GetLargeInt(layout);
    case storage::kTypeFloat: return image.GetFloat(layout);
    case storage::kTypeBcd: {
      const storage::BcdRecord bcd = image.GetBcd(layout);
      const auto text = storage::TextFromBcd(bcd);
      return text ? ordered_json(*text) : ordered_json("invalid BCD " + Hex(bcd));
    }
    default: return Hex(image.ValueBytes(layout));
  }
}

ordered_json RecordToJson(engine::TDataCursor& cursor, std::span<std::uint8_t> record) {
  const RecordFields fields = FieldsOf(cursor);
  ordered_json object = ordered_json::object();
  for (const TFieldDescriptor& f : fields.fields) {
    const std::uint16_t number = f.FieldNumber();
    ordered_json value;
    if (f.Type() == storage::kTypeBlob) {
      const TFieldLayout layout = TFieldLayout::Of(f);
      if (TRecordImage(record).IsNull(layout)) {
        value = nullptr;
      } else {
        const std::string bytes = ReadBlobValue(cursor, number, record);
        value = IsTextBlob(f) ? ordered_json(TableTextToUtf8(fields.locale.language_id, bytes))
                              : ordered_json(Hex({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}));
      }
    } else {
      value = FieldToJson(fields, number, record);
    }
    object[FieldName(fields, number)] = std::move(value);
  }
  return object;
}

void SetFieldFromJson(const RecordFields& fields, std::uint16_t number, const json& value,
                      std::span<std::uint8_t> record, std::vector<BlobValue>& blobs) {
  const FieldInput in(fields, number, value);
  const TFieldDescriptor& f = in.field();
  const TFieldLayout layout = TFieldLayout::Of(f);
  TRecordImage image(record);
  const std::uint16_t language = fields.locale.language_id;
  if (f.Type() == storage::kTypeBlob) {
    if (value.is_null()) {
      blobs.push_back({number, {}});
    } else {
      blobs.push_back({number, IsTextBlob(f) ? in.TableText(language) : in.Bytes()});
    }
    return;
  }
  if (value.is_null()) {
    image.SetNull(layout);
    return;
  }
  switch (f.Type()) {
    case storage::kTypeString: {
      std::string text = in.TableText(language);
      // The table drops trailing blanks itself; what is left must fit.
      text.erase(text.find_last_not_of(' ') + 1);
      if (text.size() > f.DeclaredSize()) {
        in.Fail("text of " + std::to_string(text.size()) + " characters, at most " +
                std::to_string(f.DeclaredSize()) + " fit");
      }
      image.SetString(layout, text, engine::MakeCaseMapping(fields.locale));
      return;
    }
    case storage::kTypeDate: {
      const auto day = storage::ParseDateText(in.String("a date \"yyyy-mm-dd\""));
      if (!day) in.Fail("not a date \"yyyy-mm-dd\": " + value.dump());
      image.SetDate(layout, *day);
      return;
    }
    case storage::kTypeTime: {
      const auto ms = storage::ParseTimeText(in.String("a time \"hh:mm:ss.zzz\""));
      if (!ms) in.Fail("not a time \"hh:mm:ss.zzz\": " + value.dump());
      image.SetTime(layout, *ms);
      return;
    }
    case storage::kTypeTimeStamp: {
      const auto stamp = storage::ParseTimeStampText(in.String("a timestamp \"yyyy-mm-dd hh:mm:ss.zzz\""));
      if (!stamp) in.Fail("not a timestamp \"yyyy-mm-dd hh:mm:ss.zzz\": " + value.dump());
      image.SetTimeStamp(layout, *stamp);
      return;
    }
    case storage::kTypeBoolean:
      if (!value.is_boolean()) in.Fail("expected true or false, got " + value.dump());
      image.SetBoolean(layout, value.get<bool>() ? 1 : 0);
      return;
    case storage::kTypeSmallInt:
      image.SetSmallInt(layout, static_cast<std::int16_t>(in.Whole(INT16_MIN, INT16_MAX)));
      return;
    case storage::kTypeInteger:
      image.SetInteger(layout, static_cast<std::int32_t>(in.Whole(INT32_MIN, INT32_MAX)));
      return;
    case storage::kTypeWord:
      image.SetWord(layout, static_cast<std::uint16_t>(in.Whole(0, UINT16_MAX)));
      return;
    case storage::kTypeLargeInt:
      image.SetLargeInt(layout, in.Whole(INT64_MIN, INT64_MAX));
      return;
    case storage::kTypeFloat:
      image.SetFloat(layout, in.Number());
      return;
    case storage::kTypeBcd: {
      const auto bcd = storage::BcdFromText(in.String("a decimal string"), f.Decimals());
      if (!bcd) in.Fail("not a decimal number: " + value.dump());
      image.SetBcd(layout, *bcd);
      return;
    }
    default: {
      const std::string bytes = in.Bytes();
      if (bytes.size() > layout.stored_length) {
        in.Fail(std::to_string(bytes.size()) + " bytes, at most " + std::to_string(layout.stored_length) + " fit");
      }
      image.SetValueBytes(layout, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
      return;
    }
  }
}

std::vector<BlobValue> SetFieldsFromJson(const RecordFields& fields, const json& object,
                                         std::span<std::uint8_t> record, AutoIncValue auto_inc) {
  if (!object.is_object()) throw RecordValueError("expected a JSON object of field names and values");
  std::vector<BlobValue> blobs;
  for (const auto& [name, value] : object.items()) {
    const std::uint16_t number = FindField(fields, name);
    if (number == 0) throw RecordValueError("unknown field '" + name + "'");
    if (fields.fields[number - 1u].IsAutoInc()) {
      if (auto_inc == AutoIncValue::Ignore) continue;
      throw RecordValueError("field '" + name + "': an auto-increment value is the record's own and cannot be set");
    }
    SetFieldFromJson(fields, number, value, record, blobs);
  }
  return blobs;
}

void RaiseBlobResult(engine::TDataCursor& cursor, std::uint16_t code) {
  if (code != 0) storage::RaiseEngineError(code, {.table = cursor.TableName()});
}

TBlobValueWrites::TBlobValueWrites(engine::TDataCursor& cursor, std::span<std::uint8_t> record,
                                   const std::vector<BlobValue>& values)
    : cursor_(cursor), record_(record) {
  try {
    for (const BlobValue& v : values) {
      std::size_t size = 0;
      RaiseBlobResult(cursor_, cursor_.OpenBlob(v.field, record_, engine::kBlobModeWrite, false, size));
      open_.push_back(v.field);
      RaiseBlobResult(cursor_, cursor_.TruncateBlob(v.field, record_, 0));
      if (!v.bytes.empty()) {
        RaiseBlobResult(cursor_, cursor_.WriteBlob(v.field, record_, 0, v.bytes.size(),
                                                   reinterpret_cast<const std::uint8_t*>(v.bytes.data())));
      }
    }
  } catch (...) {
    for (std::uint16_t field : open_) cursor_.CloseBlob(field, record_);
    throw;
  }
}

TBlobValueWrites::~TBlobValueWrites() {
  for (std::uint16_t field : open_) cursor_.CloseBlob(field, record_);
}

}  // namespace telvora::tools
