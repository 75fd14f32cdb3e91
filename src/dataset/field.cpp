#include "dataset/field.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>

#include "dataset/dataset_error.h"
#include "dataset/vora_data_set.h"
#include "engine/value_text_conversion.h"
#include "storage/bcd_value.h"
#include "storage/date_time_values.h"
#include "storage/field_types.h"
#include "storage/value_text.h"

namespace telvora::dataset {
namespace {

using namespace storage;

constexpr std::int32_t kMillisecondsPerDay = 86'400'000;
// The day number of 30 December 1899, day 0 of date-time values.
constexpr std::int32_t kDateTimeEpochDay = 693'594;
// Ten-thousandths per unit in a BCD value read as a number.
constexpr double kBcdScale = 10'000.0;

std::string FloatText(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string TwoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

std::string DateText(std::int32_t day_number) {
  const CalendarDate date = DateFromDayNumber(day_number);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
  return text;
}

std::string TimeText(std::int32_t milliseconds) {
  const int ms = milliseconds % 1000;
  const int seconds = milliseconds / 1000;
  std::string text = TwoDigits(seconds / 3600) + ":" + TwoDigits(seconds / 60 % 60) + ":" + TwoDigits(seconds % 60);
  if (ms != 0) {
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", ms);
    text += fraction;
  }
  return text;
}

// A date-time value (days since 1899-12-30) as day number and milliseconds.
void SplitDateTime(double value, std::int32_t& day_number, std::int32_t& milliseconds) {
  const double days = std::floor(value);
  day_number = static_cast<std::int32_t>(days) + kDateTimeEpochDay;
  milliseconds = static_cast<std::int32_t>(std::lround((value - days) * kMillisecondsPerDay));
  if (milliseconds >= kMillisecondsPerDay) {
    ++day_number;
    milliseconds -= kMillisecondsPerDay;
  }
}

// The engine type code a calculated field of this data type is kept as.
std::uint8_t EngineTypeOf(TFieldType type) {
  switch (type) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar: return kTypeString;
    case TFieldType::ftDate: return kTypeDate;
    case TFieldType::ftBoolean: return kTypeBoolean;
    case TFieldType::ftSmallint: return kTypeSmallInt;
    case TFieldType::ftInteger:
    case TFieldType::ftAutoInc: return kTypeInteger;
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency: return kTypeFloat;
    case TFieldType::ftBCD: return kTypeBcd;
    case TFieldType::ftTime: return kTypeTime;
    case TFieldType::ftDateTime: return kTypeTimeStamp;
    case TFieldType::ftWord: return kTypeWord;
    case TFieldType::ftLargeint: return kTypeLargeInt;
    default: return kTypeNone;
  }
}

}  // namespace

TField::TField(platform::TComponent* AOwner) : TComponent(AOwner) {}

TField::~TField() {
  if (dataset_ != nullptr) dataset_->RemoveField(this);
}

void TField::SetDataSet(TVoraDataSet* value) {
  if (value == dataset_) return;
  if (value != nullptr) value->CheckInactive();
  if (dataset_ != nullptr) {
    dataset_->CheckInactive();
    dataset_->RemoveField(this);
  }
  dataset_ = nullptr;
  if (value != nullptr) {
    value->AddField(this);
    dataset_ = value;
  }
}

void TField::SetFieldName(const std::string& value) {
  if (dataset_ != nullptr) dataset_->CheckInactive();
  field_name_ = value;
}

void TField::SetFieldKind(TFieldKind value) {
  if (dataset_ != nullptr) dataset_->CheckInactive();
  kind_ = value;
}

void TField::BindData(const TFieldDef& def, const TFieldDescriptor& descriptor) {
  field_no_ = def.FieldNo;
  data_type_ = def.DataType;
  size_ = def.Size;
  // A persistent field keeps a Required the window definition gave it.
  required_ = required_ || def.Required;
  descriptor_ = descriptor;
  layout_ = TFieldLayout::Of(descriptor);
  bound_ = true;
}

void TField::BindCalculated(std::uint16_t offset) {
  field_no_ = 0;
  TFieldDescriptor d;
  d.SetType(EngineTypeOf(data_type_));
  if (HasDeclaredSize(d.Type())) d.SetDeclaredSize(static_cast<std::uint8_t>(size_));
  d.RecomputeStoredLength();
  d.SetFieldOffset(offset);
  descriptor_ = d;
  layout_ = TFieldLayout::Of(d);
  bound_ = true;
}

void TField::Unbind() { bound_ = false; }

int TField::CalculatedSize() const {
  const std::uint8_t type = EngineTypeOf(data_type_);
  const auto stored = StoredLengthOf(type, static_cast<std::uint8_t>(HasDeclaredSize(type) ? size_ : 0));
  return 1 + (type == kTypeNone ? 0 : stored.value_or(0));
}

// --- Reading ---

TVariant TField::ReadValue(const TRecordImage& image) const {
  if (layout_.IsAutoInc()) return static_cast<std::int64_t>(image.GetInteger(layout_));
  if (image.IsNull(layout_)) return {};
  switch (layout_.type) {
    case kTypeString: return image.GetString(layout_);
    case kTypeDate: return DateTimeFromDayAndMilliseconds(image.GetDate(layout_), 0);
    case kTypeTime: return static_cast<double>(image.GetTime(layout_)) / kMillisecondsPerDay;
    case kTypeTimeStamp: {
      const double stamp = image.GetTimeStamp(layout_);
      const double day = std::floor(stamp / kMillisecondsPerDay);
      return DateTimeFromDayAndMilliseconds(static_cast<std::int32_t>(day),
                                            static_cast<std::int32_t>(stamp - day * kMillisecondsPerDay));
    }
    case kTypeBoolean: return image.GetBoolean(layout_);
    case kTypeSmallInt: return static_cast<std::int64_t>(image.GetSmallInt(layout_));
    case kTypeInteger: return static_cast<std::int64_t>(image.GetInteger(layout_));
    case kTypeWord: return static_cast<std::int64_t>(image.GetWord(layout_));
    case kTypeLargeInt: return image.GetLargeInt(layout_);
    case kTypeFloat: return image.GetFloat(layout_);
    case kTypeBcd: {
      const BcdRecord bcd = image.GetBcd(layout_);
      const auto scaled = ScaledFromBcd(bcd);
      if (!scaled) return {};
      return static_cast<double>(*scaled) / kBcdScale;
    }
    case kTypeBlob: return dataset_->ReadBlobValue(*this, image.Bytes());
    default: {
      const auto bytes = image.ValueBytes(layout_);
      return std::string(bytes.begin(), bytes.end());
    }
  }
}

bool TField::IsNull() const { return VarIsNull(Value()); }

TVariant TField::Value() const {
  if (dataset_ == nullptr || !bound_) return {};
  const auto bytes = dataset_->FieldImage(*this);
  if (bytes.empty()) return {};
  return ReadValue(TRecordImage(bytes));
}

std::string TField::AsString() const {
  if (dataset_ == nullptr || !bound_) return {};
  const auto bytes = dataset_->FieldImage(*this);
  if (bytes.empty()) return {};
  const TRecordImage image(bytes);
  if (!layout_.IsAutoInc() && image.IsNull(layout_)) return {};
  switch (layout_.type) {
    case kTypeDate: return DateText(image.GetDate(layout_));
    case kTypeTime: return TimeText(image.GetTime(layout_));
    case kTypeTimeStamp: {
      const double stamp = image.GetTimeStamp(layout_);
      const auto day = static_cast<std::int32_t>(std::floor(stamp / kMillisecondsPerDay));
      const auto ms = static_cast<std::int32_t>(stamp - static_cast<double>(day) * kMillisecondsPerDay);
      return DateText(day) + " " + TimeText(ms);
    }
    case kTypeBcd: return TextFromBcd(image.GetBcd(layout_)).value_or(std::string());
    default: break;
  }
  const TVariant value = ReadValue(image);
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* whole = std::get_if<std::int64_t>(&value)) return std::to_string(*whole);
  if (const auto* number = std::get_if<double>(&value)) return FloatText(*number);
  if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "True" : "False";
  return {};
}

std::int64_t TField::AsInteger() const {
  const TVariant value = Value();
  if (const auto* whole = std::get_if<std::int64_t>(&value)) return *whole;
  if (const auto* number = std::get_if<double>(&value)) return static_cast<std::int64_t>(std::llround(*number));
  if (const auto* flag = std::get_if<bool>(&value)) return *flag ? 1 : 0;
  if (const auto* text = std::get_if<std::string>(&value)) {
    std::int64_t result = 0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), result);
    if (ec != std::errc() || end != text->data() + text->size()) {
      throw EDatabaseError("'" + *text + "' is not a valid integer value");
    }
    return result;
  }
  return 0;
}

double TField::AsFloat() const {
  const TVariant value = Value();
  if (const auto* whole = std::get_if<std::int64_t>(&value)) return static_cast<double>(*whole);
  if (const auto* number = std::get_if<double>(&value)) return *number;
  if (const auto* flag = std::get_if<bool>(&value)) return *flag ? 1.0 : 0.0;
  if (const auto* text = std::get_if<std::string>(&value)) {
    double result = 0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), result);
    if (ec != std::errc() || end != text->data() + text->size()) {
      throw EDatabaseError("'" + *text + "' is not a valid floating point value");
    }
    return result;
  }
  return 0;
}

bool TField::AsBoolean() const {
  const TVariant value = Value();
  if (const auto* flag = std::get_if<bool>(&value)) return *flag;
  if (const auto* whole = std::get_if<std::int64_t>(&value)) return *whole != 0;
  if (const auto* text = std::get_if<std::string>(&value)) {
    const auto parsed = ParseBooleanText(*text);
    if (!parsed) throw EDatabaseError("'" + *text + "' is not a valid boolean value");
    return *parsed;
  }
  return false;
}

// --- Writing ---

void TField::StoreText(const std::string& text, TRecordImage& image) const {
  if (layout_.type == kTypeBlob) {
    dataset_->StoreBlobValue(*this, image.Bytes(), text);
    return;
  }
  if (text.empty() && layout_.type != kTypeString) {
    image.SetNull(layout_);
    return;
  }
  if (layout_.IsAutoInc()) {
    // An auto-increment value lives in the record header's id, not in the
    // field's value bytes (a search key or range on the field sets it).
    std::size_t used = 0;
    long long number = 0;
    try {
      number = std::stoll(text, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != text.size() || number < INT32_MIN || number > INT32_MAX) {
      throw EDatabaseError("'" + text + "' is not a valid integer value");
    }
    image.SetInteger(layout_, static_cast<std::int32_t>(number));
    return;
  }
  try {
    if (!engine::StoreValueText(descriptor_, text, dataset_->TableLocale(), image)) {
      image.SetValueBytes(layout_, std::span<const std::uint8_t>(
                                       reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
  } catch (const engine::EValueConversionError& e) {
    throw EDatabaseError(e.what());
  }
}

void TField::StoreValue(const TVariant& value, TRecordImage& image) const {
  if (VarIsNull(value)) {
    if (layout_.type == kTypeBlob) {
      StoreText(std::string(), image);
    } else {
      image.SetNull(layout_);
    }
    return;
  }
  if (const auto* text = std::get_if<std::string>(&value)) {
    StoreText(*text, image);
    return;
  }
  if (const auto* flag = std::get_if<bool>(&value)) {
    if (layout_.type == kTypeBoolean) {
      image.SetBoolean(layout_, *flag ? 1 : 0);
    } else {
      StoreText(*flag ? "1" : "0", image);
    }
    return;
  }
  if (const auto* whole = std::get_if<std::int64_t>(&value)) {
    if (layout_.type == kTypeFloat) {
      image.SetFloat(layout_, static_cast<double>(*whole));
    } else if (layout_.type == kTypeBoolean) {
      image.SetBoolean(layout_, *whole != 0 ? 1 : 0);
    } else {
      // Through the text form, which checks the type's range.
      StoreText(std::to_string(*whole), image);
    }
    return;
  }
  const double number = std::get<double>(value);
  std::int32_t day = 0;
  std::int32_t ms = 0;
  switch (layout_.type) {
    case kTypeFloat: image.SetFloat(layout_, number); return;
    case kTypeDate:
      SplitDateTime(number, day, ms);
      image.SetDate(layout_, day);
      return;
    case kTypeTime:
      SplitDateTime(number, day, ms);
      image.SetTime(layout_, ms);
      return;
    case kTypeTimeStamp:
      SplitDateTime(number, day, ms);
      image.SetTimeStamp(layout_, TimeStampFromDayAndMilliseconds(day, ms));
      return;
    default: StoreText(FloatText(number), image); return;
  }
}

void TField::WriteValue(const TVariant& value) {
  if (dataset_ == nullptr || !bound_) DatabaseError(kNotEditing);
  dataset_->WriteFieldValue(*this, [&](TRecordImage& image) { StoreValue(value, image); });
}

void TField::SetValue(const TVariant& value) { WriteValue(value); }
void TField::SetAsString(const std::string& value) { WriteValue(value); }
void TField::SetAsInteger(std::int64_t value) { WriteValue(value); }
void TField::SetAsFloat(double value) { WriteValue(value); }
void TField::SetAsBoolean(bool value) { WriteValue(value); }
void TField::Clear() { WriteValue(TVariant()); }

void TField::CopyValueFrom(std::span<const std::uint8_t> image) {
  if (dataset_ == nullptr || !bound_ || Calculated()) DatabaseError(kNotEditing);
  if (layout_.type == kTypeBlob || layout_.IsAutoInc()) DatabaseErrorFmt(kFieldReadOnly, DisplayName());
  const std::size_t begin = layout_.offset;
  const std::size_t end = begin + 1u + layout_.stored_length;
  if (image.size() < end) throw EDatabaseError("The record image is too short for the field '" + DisplayName() + "'");
  dataset_->WriteFieldValue(*this, [&](TRecordImage& target) {
    std::copy(image.begin() + static_cast<std::ptrdiff_t>(begin), image.begin() + static_cast<std::ptrdiff_t>(end),
              target.Bytes().begin() + static_cast<std::ptrdiff_t>(begin));
  });
}

TVariant TField::OldValue() const {
  if (dataset_ == nullptr || !bound_) return {};
  return dataset_->OldValueOf(*this);
}

void TField::FocusControl() {
  if (dataset_ != nullptr) dataset_->DataEvent(TDataEvent::deFocusControl, this);
}

}  // namespace telvora::dataset
