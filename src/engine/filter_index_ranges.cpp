#include "engine/filter_index_ranges.h"

#include <algorithm>
#include <limits>

#include "engine/expression_types.h"
#include "engine/filter_prepare.h"
#include "engine/index_reader.h"
#include "engine/key_bounds.h"
#include "engine/locale_case.h"
#include "storage/field_types.h"
#include "storage/index_file_header.h"
#include "storage/index_key.h"
#include "storage/record_image.h"

namespace telvora::engine {

namespace {

using Range = std::pair<std::int64_t, std::int64_t>;

// Sorted, disjoint, non-empty ranges covering the same places.
std::vector<Range> Merged(std::vector<Range> ranges) {
  ranges.erase(std::remove_if(ranges.begin(), ranges.end(), [](const Range& r) { return r.first > r.second; }),
               ranges.end());
  std::sort(ranges.begin(), ranges.end());
  std::vector<Range> merged;
  for (const Range& r : ranges) {
    if (!merged.empty() && r.first <= merged.back().second + 1) {
      merged.back().second = std::max(merged.back().second, r.second);
    } else {
      merged.push_back(r);
    }
  }
  return merged;
}

bool Fits(std::int64_t value, std::int64_t low, std::int64_t high) { return value >= low && value <= high; }

// Stores a non-NULL constant in the field of the image exactly as a record
// would hold it; false when the stored value would not be the constant.
bool StoreExactly(const storage::TFieldLayout& field, const TExpToken& constant, storage::TRecordImage& image) {
  const std::int64_t v = constant.integer_value;
  constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
  if (field.type == storage::kTypeString) {
    if (!IsStringType(constant.type, constant.subtype)) return false;
    image.SetString(field, constant.string_value, {});
    return !image.IsNull(field) && image.GetString(field) == constant.string_value;
  }
  if (constant.type != field.type) return false;
  switch (field.type) {
    case storage::kTypeSmallInt:
      if (!Fits(v, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max())) return false;
      image.SetSmallInt(field, static_cast<std::int16_t>(v));
      return true;
    case storage::kTypeWord:
      if (!Fits(v, 0, std::numeric_limits<std::uint16_t>::max())) return false;
      image.SetWord(field, static_cast<std::uint16_t>(v));
      return true;
    case storage::kTypeInteger:
      if (!Fits(v, kInt32Min, kInt32Max)) return false;
      if (field.IsAutoInc()) {
        image.SetRecordId(static_cast<std::int32_t>(v));
      } else {
        image.SetInteger(field, static_cast<std::int32_t>(v));
      }
      return true;
    case storage::kTypeLargeInt:
      image.SetLargeInt(field, v);
      return true;
    case storage::kTypeDate:
      if (!Fits(v, kInt32Min, kInt32Max)) return false;
      image.SetDate(field, static_cast<std::int32_t>(v));
      return true;
    case storage::kTypeTime:
      if (!Fits(v, kInt32Min, kInt32Max)) return false;
      image.SetTime(field, static_cast<std::int32_t>(v));
      return true;
    case storage::kTypeBoolean:
      if (v != 0 && v != 1) return false;
      image.SetBoolean(field, static_cast<std::uint16_t>(v));
      return true;
    case storage::kTypeFloat:
      // Zero and minus zero are equal values with different keys.
      if (constant.real_value == 0.0) return false;
      image.SetFloat(field, constant.real_value);
      return true;
    case storage::kTypeTimeStamp:
      if (constant.real_value == 0.0) return false;
      image.SetTimeStamp(field, constant.real_value);
      return true;
    default:
      // BCD keys hold a rounded value; bytes have no order of their own here.
      return false;
  }
}

struct TIndexAccess {
  storage::TIndexKeyDefinition definition;
  storage::TIndexKeyOrder order;
};

}  // namespace

struct TFilterIndexRanges::TKeyPrefix {
  std::vector<std::uint8_t> key;  // K bytes
  std::size_t length = 0;         // the leading bytes that count
  std::size_t field_length = 0;   // the first field's flag and value bytes
};

std::int64_t TIndexPlaces::Count() const {
  std::int64_t count = 0;
  for (const Range& r : Merged(ranges)) count += r.second - r.first + 1;
  return count;
}

TFilterIndexRanges::TFilterIndexRanges(storage::TDataTable& table, const Locale& locale, const CharMap& map,
                                       std::span<const storage::TFieldDescriptor> fields, std::string table_name)
    : table_(table), locale_(locale), map_(map), fields_(fields.begin(), fields.end()), table_name_(std::move(table_name)) {}

std::optional<int> TFilterIndexRanges::FindIndex(const TColumnTest& test) const {
  const storage::TIndexFileHeader& header = table_.index_file().Header();
  const bool want_insensitive = test.NeedsCaseInsensitiveIndex();
  const auto fits = [&](int slot) {
    const storage::TIndexDescriptor index = header.Descriptor(slot);
    if (index.KeyFieldCount() == 0 || index.KeyFieldNumber(0) != test.field_number) return false;
    return !test.string_column || index.CaseInsensitive() == want_insensitive;
  };
  const bool primary = !header.PrimaryIndexUnavailable() && header.Descriptor(0).KeyFieldCount() > 0;
  if (primary && fits(0)) return 0;
  for (int slot = 1; slot <= header.SecondaryIndexCount(); ++slot) {
    if (fits(slot)) return slot;
  }
  return std::nullopt;
}

std::size_t TFilterIndexRanges::KeyLength(int slot) const { return table_.IndexKey(slot).key_length; }

std::optional<TFilterIndexRanges::TKeyPrefix> TFilterIndexRanges::KeyOf(const TColumnTest& test,
                                                                        const TExpToken& constant, int slot) const {
  const storage::TFieldDescriptor& descriptor = fields_[static_cast<std::size_t>(test.field_number - 1)];
  const storage::TFieldLayout field = storage::TFieldLayout::Of(descriptor);
  std::vector<std::uint8_t> bytes(table_.data_file().RecordSize(), 0);
  storage::TRecordImage image(bytes);
  if (test.upper) {
    std::string upper = constant.string_value;
    UpperCase(locale_, upper);
    // UPPER(x) = 'abc' holds for no record; the key of ABC would find some.
    if (upper != constant.string_value) return std::nullopt;
  }
  if (!StoreExactly(field, constant, image)) return std::nullopt;
  const storage::TIndexKeyDefinition definition = table_.IndexKey(slot);
  const storage::TIndexKeyOrder order = table_.KeyOrder(definition);
  TKeyPrefix prefix;
  prefix.key = storage::BuildKey(definition, image, order.upper_case);
  const std::size_t value_length = definition.fields.front().key_length;
  std::size_t compared = value_length;
  if (test.option_compare && test.partial_length > 0) {
    if (static_cast<std::size_t>(test.partial_length) > value_length) return std::nullopt;
    compared = static_cast<std::size_t>(test.partial_length);
  }
  prefix.length = storage::kKeyFlagLength + compared;
  prefix.field_length = storage::kKeyFlagLength + value_length;
  return prefix;
}

std::optional<TIndexPlaces> TFilterIndexRanges::Places(const TColumnTest& test, int slot) {
  const storage::TIndexKeyDefinition definition = table_.IndexKey(slot);
  if (definition.fields.empty()) return std::nullopt;
  const storage::TIndexKeyOrder order = table_.KeyOrder(definition);
  TIndexReader reader(table_.OpenIndex(slot), order.compare, table_name_);
  TIndexPlaces places;
  places.slot = slot;
  places.key_length = definition.key_length;
  places.entries = reader.Count();
  places.negated = test.Negated();
  places.superset = test.option_compare && test.partial_length > 0 && locale_.language_id != 0;
  const bool reversed = definition.descending || definition.fields.front().descending;

  // The null keys of the first field: one end of the index.
  std::vector<std::uint8_t> null_bytes(table_.data_file().RecordSize(), 0);
  const std::vector<std::uint8_t> null_key =
      storage::BuildKey(definition, storage::TRecordImage(null_bytes), order.upper_case);
  const Range nulls{reader.LowerBound(null_key.data(), storage::kKeyFlagLength),
                    reader.UpperBound(null_key.data(), storage::kKeyFlagLength)};
  const auto without_nulls = [&](Range r) {
    if (test.string_column || nulls.first > nulls.second) return r;
    if (nulls.first == 1) {
      r.first = std::max(r.first, nulls.second + 1);
    } else {
      r.second = std::min(r.second, nulls.first - 1);
    }
    return r;
  };
  // The places whose first field compares with the constant as `code` asks.
  const auto range_of = [&](TExpCode code, const TExpToken& constant) -> std::optional<Range> {
    if (constant.is_null) {
      // = NULL is the null keys (IS NULL); ordered tests of NULL are left
      // to the evaluator.
      if (code != ecEqual || test.upper) return std::nullopt;
      return nulls;
    }
    const std::optional<TKeyPrefix> prefix = KeyOf(test, constant, slot);
    if (!prefix) return std::nullopt;
    if (places.superset) {
      // From the constant itself to the constant padded with the highest
      // character, whole first fields compared.
      std::vector<std::uint8_t> padded = prefix->key;
      const std::uint8_t highest = HighestKeyByte(locale_, map_, true);
      std::fill(padded.begin() + static_cast<std::ptrdiff_t>(prefix->length),
                padded.begin() + static_cast<std::ptrdiff_t>(prefix->field_length), highest);
      const std::uint8_t* from = reversed ? padded.data() : prefix->key.data();
      const std::uint8_t* to = reversed ? prefix->key.data() : padded.data();
      return Range{reader.LowerBound(from, prefix->field_length), reader.UpperBound(to, prefix->field_length)};
    }
    const std::int64_t low = reader.LowerBound(prefix->key.data(), prefix->length);
    const std::int64_t high = reader.UpperBound(prefix->key.data(), prefix->length);
    switch (reversed ? MirroredComparison(code) : code) {
      case ecEqual: return Range{low, high};
      case ecGreater: return without_nulls({high + 1, places.entries});
      case ecGreaterOrEqual: return without_nulls({low, places.entries});
      case ecLess: return without_nulls({1, low - 1});
      case ecLessOrEqual: return without_nulls({1, high});
      default: return std::nullopt;
    }
  };

  switch (test.code) {
    case ecEqual:
    case ecNotEqual:
    case ecInList:
    case ecNotInList:
      for (const TExpToken* constant : test.constants) {
        const std::optional<Range> r = range_of(ecEqual, *constant);
        if (!r) return std::nullopt;
        places.ranges.push_back(*r);
      }
      break;
    case ecGreater:
    case ecLess:
    case ecGreaterOrEqual:
    case ecLessOrEqual: {
      const std::optional<Range> r = range_of(test.code, *test.constants[0]);
      if (!r) return std::nullopt;
      places.ranges.push_back(*r);
      break;
    }
    case ecBetween:
    case ecNotBetween: {
      const std::optional<Range> from = range_of(ecGreaterOrEqual, *test.constants[0]);
      const std::optional<Range> to = range_of(ecLessOrEqual, *test.constants[1]);
      if (!from || !to) return std::nullopt;
      places.ranges.push_back({std::max(from->first, to->first), std::min(from->second, to->second)});
      break;
    }
    default:
      return std::nullopt;
  }
  return places;
}

std::optional<std::int64_t> TFilterIndexRanges::Estimate(const TColumnTest& test, int slot) {
  if (test.code == ecInList || test.code == ecNotInList || test.code == ecBetween || test.code == ecNotBetween) {
    std::optional<std::int64_t> smallest;
    for (std::size_t i = 0; i < test.constants.size(); ++i) {
      TColumnTest one = test;
      one.constants = {test.constants[i]};
      const bool in_list = test.code == ecInList || test.code == ecNotInList;
      one.code = in_list ? ecEqual : (i == 0 ? ecGreaterOrEqual : ecLessOrEqual);
      const std::optional<TIndexPlaces> places = Places(one, slot);
      if (!places) return std::nullopt;
      smallest = std::min(smallest.value_or(places->Count()), places->Count());
    }
    return smallest;
  }
  const std::optional<TIndexPlaces> places = Places(test, slot);
  if (!places) return std::nullopt;
  return places->Count();
}

void TFilterIndexRanges::FillSet(const TIndexPlaces& places, bool complement_ranges, std::int32_t slots,
                                 TRecordsBitmap& set) {
  set.SetSize(slots);
  set.ClearAll();
  std::vector<Range> inside = Merged(places.ranges);
  for (Range& r : inside) {
    r.first = std::max<std::int64_t>(r.first, 1);
    r.second = std::min(r.second, places.entries);
  }
  inside = Merged(inside);
  std::int64_t inside_count = 0;
  for (const Range& r : inside) inside_count += r.second - r.first + 1;
  const bool mark_outside = complement_ranges && locale_.language_id == 0 && inside_count > places.entries / 2;
  std::vector<Range> marked = inside;
  if (mark_outside) {
    marked.clear();
    std::int64_t next = 1;
    for (const Range& r : inside) {
      if (r.first > next) marked.push_back({next, r.first - 1});
      next = r.second + 1;
    }
    if (next <= places.entries) marked.push_back({next, places.entries});
  }
  if (!marked.empty()) {
    const storage::TIndexKeyDefinition definition = table_.IndexKey(places.slot);
    const storage::TIndexKeyOrder order = table_.KeyOrder(definition);
    TIndexReader reader(table_.OpenIndex(places.slot), order.compare, table_name_);
    for (const Range& r : marked) {
      const TIndexEntry first = reader.EntryAt(r.first);
      std::int64_t left = r.second - r.first + 1;
      reader.ForEachFrom(first.key.data(), first.key.size(), [&](const std::uint8_t*, std::int32_t record) {
        if (record >= 1 && record <= slots) set.Set(record);
        return --left > 0;
      });
    }
  }
  if (mark_outside != places.negated) set.Not();
}

}  // namespace telvora::engine
