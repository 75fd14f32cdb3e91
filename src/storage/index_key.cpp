#include "storage/index_key.h"

#include <algorithm>
#include <bit>
#include <limits>

#include "storage/byte_image.h"
#include "storage/field_types.h"
#include "storage/index_file_header.h"
#include "storage/storage_errors.h"

namespace telvora::storage {
namespace {

constexpr std::uint8_t kKeyHasValue = 1;
constexpr std::uint8_t kKeyNull = 0;
constexpr std::uint64_t kDoubleSignBit = std::uint64_t{1} << 63;
constexpr std::size_t kBcdSignOffset = 1;
constexpr std::uint8_t kBcdNegativeBit = 0x80;

// The ten-thousandths of a BCD field. A value outside the 64-bit range (or a
// damaged record) keys as the extreme of its sign, so that it still sorts
// beyond every value that fits.
std::int64_t BcdKeyValue(const TRecordImage& record, const TFieldLayout& layout) {
  const BcdRecord bcd = record.GetBcd(layout);
  if (auto scaled = ScaledFromBcd(bcd)) return *scaled;
  return (bcd[kBcdSignOffset] & kBcdNegativeBit) != 0 ? std::numeric_limits<std::int64_t>::min()
                                                      : std::numeric_limits<std::int64_t>::max();
}

void EncodeString(const TIndexKeyDefinition& definition, const TRecordImage& record,
                  const TKeyField& field, const KeyUpperCase& upper_case, std::span<std::uint8_t> out) {
  std::fill(out.begin(), out.end(), 0);
  if (record.IsNull(field.layout)) return;
  // The characters end at the terminator; what follows it in the record
  // carries no meaning and must not reach the key.
  const std::span<const std::uint8_t> value = record.ValueBytes(field.layout);
  const auto end = std::find(value.begin(), value.end(), 0);
  const std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(end - value.begin()), out.size());
  std::copy_n(value.begin(), length, out.begin());
  if (definition.case_insensitive && upper_case && length > 0) {
    upper_case(reinterpret_cast<char*>(out.data()), length);
  }
}

void EncodeValue(const TIndexKeyDefinition& definition, const TRecordImage& record, const TKeyField& field,
                 const KeyUpperCase& upper_case, std::span<std::uint8_t> out) {
  const TFieldLayout& layout = field.layout;
  const bool null = record.IsNull(layout);
  switch (layout.type) {
    case kTypeString:
      EncodeString(definition, record, field, upper_case, out);
      return;
    case kTypeSmallInt:
      EncodeSignedKey(null ? 0 : record.GetSmallInt(layout), out);
      return;
    case kTypeInteger:
      EncodeSignedKey(null ? 0 : record.GetInteger(layout), out);
      return;
    case kTypeDate:
      EncodeSignedKey(null ? 0 : record.GetDate(layout), out);
      return;
    case kTypeTime:
      EncodeSignedKey(null ? 0 : record.GetTime(layout), out);
      return;
    case kTypeLargeInt:
      EncodeSignedKey(null ? 0 : record.GetLargeInt(layout), out);
      return;
    case kTypeWord:
      EncodeUnsignedKey(null ? 0 : record.GetWord(layout), out);
      return;
    case kTypeBoolean:
      // The stored word, not its truth: a damaged 5 keys as 5, as stored.
      EncodeUnsignedKey(null ? 0 : LoadLittle<std::uint16_t>(record.ValueBytes(layout), 0), out);
      return;
    case kTypeFloat:
    case kTypeTimeStamp:
      EncodeDoubleKey(null ? 0.0 : LoadDouble(record.ValueBytes(layout), 0), out.first<8>());
      return;
    case kTypeBcd:
      EncodeSignedKey(null ? 0 : BcdKeyValue(record, layout), out);
      return;
    default: {
      const std::span<const std::uint8_t> value = record.ValueBytes(layout);
      std::fill(out.begin(), out.end(), 0);
      std::copy_n(value.begin(), std::min(value.size(), out.size()), out.begin());
      return;
    }
  }
}

}  // namespace

void EncodeSignedKey(std::int64_t value, std::span<std::uint8_t> out) {
  const std::size_t width = out.size();
  const std::uint64_t sign = std::uint64_t{1} << (8 * width - 1);
  const std::uint64_t bits = static_cast<std::uint64_t>(value) ^ sign;
  for (std::size_t i = 0; i < width; ++i) {
    out[i] = static_cast<std::uint8_t>(bits >> (8 * (width - 1 - i)));
  }
}

void EncodeUnsignedKey(std::uint64_t value, std::span<std::uint8_t> out) {
  const std::size_t width = out.size();
  for (std::size_t i = 0; i < width; ++i) {
    out[i] = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
  }
}

void EncodeDoubleKey(double value, std::span<std::uint8_t, 8> out) {
  std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  // -0.0 counts as >= 0 and so keys exactly as 0.0.
  bits = value >= 0.0 ? (bits | kDoubleSignBit) : ~bits;
  if (value == 0.0) bits = kDoubleSignBit;
  EncodeUnsignedKey(bits, out);
}

TIndexKeyDefinition DefineIndexKey(const TIndexDescriptor& index, int slot,
                                   std::span<const TFieldDescriptor> fields, bool byte_order,
                                   bool primary_unavailable, const std::string& table_name) {
  TIndexKeyDefinition definition;
  definition.slot = slot;
  definition.unique = index.Unique();
  definition.descending = index.Descending();
  definition.case_insensitive = index.CaseInsensitive();
  definition.byte_order = byte_order;
  const std::string index_name = index.Name();
  const int count = std::min<int>(index.KeyFieldCount(), kMaxKeyFields);
  std::size_t length = 0;
  for (int i = 0; i < count; ++i) {
    const std::uint16_t number = index.KeyFieldNumber(i);
    if (number == 0) break;
    const auto found = std::find_if(fields.begin(), fields.end(),
                                    [&](const TFieldDescriptor& f) { return f.FieldNumber() == number; });
    if (found == fields.end()) {
      if (slot == kPrimaryIndexSlot && primary_unavailable) break;
      RaiseTableError(kHeaderCorrupt, table_name, {}, index_name);
    }
    if (found->Type() == kTypeBlob) RaiseTableError(VORA_SEARCHCOLREQD, table_name, found->Name(), index_name);
    const auto key_bytes = KeyLengthOf(found->Type(), found->DeclaredSize());
    if (!key_bytes) RaiseTableError(kHeaderCorrupt, table_name, found->Name(), index_name);
    TKeyField field;
    field.layout = TFieldLayout::Of(*found);
    field.field_number = number;
    field.key_length = *key_bytes;
    field.descending = index.KeyFieldDescending(i);
    definition.fields.push_back(field);
    length += kKeyFlagLength + field.key_length;
  }
  const bool may_be_empty = slot == kPrimaryIndexSlot && primary_unavailable;
  if (length > kMaxKeyFieldsLength || (length == 0 && !may_be_empty)) {
    RaiseTableError(VORA_INVALIDKEY, table_name, {}, index_name);
  }
  definition.key_length = length + (definition.HasRecordIdSuffix() ? kRecordIdSuffixLength : 0);
  return definition;
}

void BuildKey(const TIndexKeyDefinition& definition, const TRecordImage& record,
              const KeyUpperCase& upper_case, std::span<std::uint8_t> out) {
  std::size_t position = 0;
  for (const TKeyField& field : definition.fields) {
    const std::span<std::uint8_t> part = out.subspan(position, kKeyFlagLength + field.key_length);
    part[0] = record.IsNull(field.layout) ? kKeyNull : kKeyHasValue;
    EncodeValue(definition, record, field, upper_case, part.subspan(kKeyFlagLength));
    if (definition.byte_order && !definition.descending && field.descending) {
      // A string's last byte is the room of its terminator: it stays zero so
      // that the field still ends there.
      const std::size_t inverted = field.layout.type == kTypeString ? part.size() - 1 : part.size();
      for (std::size_t i = 0; i < inverted; ++i) part[i] = static_cast<std::uint8_t>(~part[i]);
    }
    position += part.size();
  }
  if (definition.HasRecordIdSuffix()) {
    EncodeSignedKey(record.RecordId(), out.subspan(position, kRecordIdSuffixLength));
  }
}

std::vector<std::uint8_t> BuildKey(const TIndexKeyDefinition& definition, const TRecordImage& record,
                                   const KeyUpperCase& upper_case) {
  std::vector<std::uint8_t> key(definition.key_length);
  BuildKey(definition, record, upper_case, key);
  return key;
}

std::array<std::uint8_t, 5> RecordIdIndexKey(bool deleted, std::int32_t record_id) {
  std::array<std::uint8_t, 5> key{};
  key[0] = deleted ? 1 : 0;
  EncodeSignedKey(record_id, std::span<std::uint8_t>(key).subspan(1));
  return key;
}

std::array<std::uint8_t, 68> TextIndexKey(std::uint16_t field_number, std::string_view word,
                                          std::int32_t record_id) {
  std::array<std::uint8_t, 68> key{};
  const std::span<std::uint8_t> view(key);
  key[kTextKeyFlagOffset] = kTextKeyFlag;
  EncodeUnsignedKey(field_number, view.subspan(kTextKeyFieldNumberOffset, 2));
  std::copy_n(word.begin(), std::min(word.size(), kTextKeyWordLength), key.begin() + kTextKeyWordOffset);
  EncodeSignedKey(record_id, view.subspan(kTextKeyRecordIdOffset, kRecordIdSuffixLength));
  return key;
}

}  // namespace telvora::storage
