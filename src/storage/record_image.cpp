#include "storage/record_image.h"

#include <algorithm>
#include <cassert>

#include "storage/byte_image.h"
#include "storage/field_types.h"

namespace telvora::storage {
namespace {

constexpr char kBlank = ' ';
constexpr std::size_t kBlobKeyOffset = 4;  // within the BLOB value bytes

}  // namespace

TFieldLayout TFieldLayout::Of(const TFieldDescriptor& descriptor) {
  TFieldLayout layout;
  layout.type = descriptor.Type();
  layout.subtype = descriptor.Subtype();
  layout.offset = descriptor.FieldOffset();
  layout.stored_length = descriptor.StoredLength();
  layout.character_case = descriptor.Case();
  return layout;
}

bool TFieldLayout::IsAutoInc() const { return storage::IsAutoInc(type, subtype); }

std::int32_t TRecordImage::RecordNumber() const { return LoadLittle<std::int32_t>(bytes_, kRecordNumberOffset); }

void TRecordImage::SetRecordNumber(std::int32_t value) {
  StoreLittle<std::int32_t>(bytes_, kRecordNumberOffset, value);
}

std::int32_t TRecordImage::RecordId() const { return LoadLittle<std::int32_t>(bytes_, kRecordIdOffset); }

void TRecordImage::SetRecordId(std::int32_t value) { StoreLittle<std::int32_t>(bytes_, kRecordIdOffset, value); }

std::span<std::uint8_t> TRecordImage::Value(const TFieldLayout& field) const {
  assert(!field.IsAutoInc());
  assert(field.offset + 1u + field.stored_length <= bytes_.size());
  return bytes_.subspan(field.offset + 1u, field.stored_length);
}

bool TRecordImage::IsNull(const TFieldLayout& field) const {
  if (field.IsAutoInc()) return false;
  return bytes_[field.offset] == 0;
}

void TRecordImage::SetNull(const TFieldLayout& field) {
  if (field.IsAutoInc()) return;
  bytes_[field.offset] = 0;
  std::span<std::uint8_t> value = Value(field);
  // A BLOB's key bytes belong to the BLOB layer's bookkeeping.
  if (field.type == kTypeBlob) value = value.first(kBlobKeyOffset);
  std::fill(value.begin(), value.end(), 0);
}

std::string TRecordImage::GetString(const TFieldLayout& field) const {
  if (IsNull(field)) return {};
  const std::span<std::uint8_t> value = Value(field);
  const auto end = std::find(value.begin(), value.end(), 0);
  return std::string(value.begin(), end);
}

void TRecordImage::SetString(const TFieldLayout& field, std::string_view value,
                             const CaseMapping& case_mapping) {
  const std::size_t physical_length = field.stored_length;
  std::string text(value.substr(0, std::min(value.size(), physical_length)));
  // Keys and reads end at the first zero byte, so an embedded zero ends the
  // value here too.
  text.resize(std::min(text.size(), text.find('\0')));
  while (!text.empty() && text.back() == kBlank) text.pop_back();
  if (!text.empty() && field.character_case != CharacterCase::Unchanged && case_mapping) {
    text = case_mapping(text, field.character_case);
  }
  const std::size_t max_chars = physical_length == 0 ? 0 : physical_length - 1;
  if (text.size() > max_chars) text.resize(max_chars);
  if (text.empty()) {
    SetNull(field);
    return;
  }
  const std::span<std::uint8_t> out = Value(field);
  std::fill(out.begin(), out.end(), 0);
  std::copy(text.begin(), text.end(), out.begin());
  SetHasValue(field);
}

std::int32_t TRecordImage::GetDate(const TFieldLayout& field) const {
  return LoadLittle<std::int32_t>(Value(field), 0);
}

void TRecordImage::SetDate(const TFieldLayout& field, std::int32_t day_number) {
  StoreLittle<std::int32_t>(Value(field), 0, day_number);
  SetHasValue(field);
}

std::int32_t TRecordImage::GetTime(const TFieldLayout& field) const {
  return LoadLittle<std::int32_t>(Value(field), 0);
}

void TRecordImage::SetTime(const TFieldLayout& field, std::int32_t milliseconds) {
  StoreLittle<std::int32_t>(Value(field), 0, milliseconds);
  SetHasValue(field);
}

double TRecordImage::GetTimeStamp(const TFieldLayout& field) const { return LoadDouble(Value(field), 0); }

void TRecordImage::SetTimeStamp(const TFieldLayout& field, double value) {
  StoreDouble(Value(field), 0, value);
  SetHasValue(field);
}

bool TRecordImage::GetBoolean(const TFieldLayout& field) const {
  return LoadLittle<std::uint16_t>(Value(field), 0) != 0;
}

void TRecordImage::SetBoolean(const TFieldLayout& field, std::uint16_t value) {
  StoreLittle<std::uint16_t>(Value(field), 0, value != 0 ? 1 : 0);
  SetHasValue(field);
}

std::int16_t TRecordImage::GetSmallInt(const TFieldLayout& field) const {
  return LoadLittle<std::int16_t>(Value(field), 0);
}

void TRecordImage::SetSmallInt(const TFieldLayout& field, std::int16_t value) {
  StoreLittle<std::int16_t>(Value(field), 0, value);
  SetHasValue(field);
}

std::int32_t TRecordImage::GetInteger(const TFieldLayout& field) const {
  if (field.IsAutoInc()) return RecordId();
  return LoadLittle<std::int32_t>(Value(field), 0);
}

void TRecordImage::SetInteger(const TFieldLayout& field, std::int32_t value) {
  if (field.IsAutoInc()) {
    SetRecordId(value);
    return;
  }
  StoreLittle<std::int32_t>(Value(field), 0, value);
  SetHasValue(field);
}

double TRecordImage::GetFloat(const TFieldLayout& field) const { return LoadDouble(Value(field), 0); }

void TRecordImage::SetFloat(const TFieldLayout& field, double value) {
  StoreDouble(Value(field), 0, value);
  SetHasValue(field);
}

BcdRecord TRecordImage::GetBcd(const TFieldLayout& field) const {
  BcdRecord bcd{};
  const std::span<std::uint8_t> value = Value(field);
  std::copy_n(value.begin(), std::min(value.size(), bcd.size()), bcd.begin());
  return bcd;
}

void TRecordImage::SetBcd(const TFieldLayout& field, const BcdRecord& bcd) {
  const std::span<std::uint8_t> value = Value(field);
  std::copy_n(bcd.begin(), std::min(value.size(), bcd.size()), value.begin());
  SetHasValue(field);
}

std::uint16_t TRecordImage::GetWord(const TFieldLayout& field) const {
  return LoadLittle<std::uint16_t>(Value(field), 0);
}

void TRecordImage::SetWord(const TFieldLayout& field, std::uint16_t value) {
  StoreLittle<std::uint16_t>(Value(field), 0, value);
  SetHasValue(field);
}

std::int64_t TRecordImage::GetLargeInt(const TFieldLayout& field) const {
  return LoadLittle<std::int64_t>(Value(field), 0);
}

void TRecordImage::SetLargeInt(const TFieldLayout& field, std::int64_t value) {
  StoreLittle<std::int64_t>(Value(field), 0, value);
  SetHasValue(field);
}

std::int32_t TRecordImage::GetBlobFirstBlock(const TFieldLayout& field) const {
  return LoadLittle<std::int32_t>(Value(field), 0);
}

std::int32_t TRecordImage::GetBlobKey(const TFieldLayout& field) const {
  return LoadLittle<std::int32_t>(Value(field), kBlobKeyOffset);
}

void TRecordImage::SetBlobReference(const TFieldLayout& field, std::int32_t first_block, std::int32_t blob_key) {
  const std::span<std::uint8_t> value = Value(field);
  StoreLittle<std::int32_t>(value, 0, first_block);
  StoreLittle<std::int32_t>(value, kBlobKeyOffset, blob_key);
  bytes_[field.offset] = first_block != 0 ? 1 : 0;
}

std::span<const std::uint8_t> TRecordImage::ValueBytes(const TFieldLayout& field) const { return Value(field); }

void TRecordImage::SetValueBytes(const TFieldLayout& field, std::span<const std::uint8_t> value) {
  const std::span<std::uint8_t> out = Value(field);
  std::fill(out.begin(), out.end(), 0);
  std::copy_n(value.begin(), std::min(value.size(), out.size()), out.begin());
  SetHasValue(field);
}

}  // namespace telvora::storage
