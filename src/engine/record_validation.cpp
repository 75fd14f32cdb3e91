#include "engine/record_validation.h"

#include <optional>
#include <string>
#include <vector>

#include "engine/locale_collation.h"
#include "engine/value_text_conversion.h"
#include "storage/bcd_value.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"
#include "storage/field_types.h"
#include "storage/record_image.h"

namespace telvora::engine {
namespace {

using storage::TFieldLayout;
using storage::TRecordImage;

bool HasRange(std::uint8_t type) {
  switch (type) {
    case storage::kTypeString:
    case storage::kTypeDate:
    case storage::kTypeTime:
    case storage::kTypeTimeStamp:
    case storage::kTypeSmallInt:
    case storage::kTypeInteger:
    case storage::kTypeWord:
    case storage::kTypeLargeInt:
    case storage::kTypeFloat:
    case storage::kTypeBcd:
      return true;
    default:
      return false;
  }
}

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

std::int64_t BcdScaled(const TRecordImage& image, const TFieldLayout& layout) {
  // A null BCD field has all its bytes zero, which is no well-formed record:
  // it counts as zero like every other null value.
  if (image.IsNull(layout)) return 0;
  const storage::BcdRecord bcd = image.GetBcd(layout);
  return storage::ScaledFromBcd(bcd).value_or(0);
}

// The order of the field's value in a against its value in b. Null values
// have zero bytes, which read as the zero value of every type but BCD.
int CompareField(const TFieldLayout& layout, const Locale& locale, const TRecordImage& a, const TRecordImage& b) {
  switch (layout.type) {
    case storage::kTypeString: {
      const std::string sa = a.GetString(layout);
      const std::string sb = b.GetString(layout);
      const int r = CompareStrings(locale, sa.c_str(), sb.c_str(), false);
      return Order(r, 0);
    }
    case storage::kTypeDate: return Order(a.GetDate(layout), b.GetDate(layout));
    case storage::kTypeTime: return Order(a.GetTime(layout), b.GetTime(layout));
    case storage::kTypeTimeStamp: return Order(a.GetTimeStamp(layout), b.GetTimeStamp(layout));
    case storage::kTypeSmallInt: return Order(a.GetSmallInt(layout), b.GetSmallInt(layout));
    case storage::kTypeInteger: return Order(a.GetInteger(layout), b.GetInteger(layout));
    case storage::kTypeWord: return Order(a.GetWord(layout), b.GetWord(layout));
    case storage::kTypeLargeInt: return Order(a.GetLargeInt(layout), b.GetLargeInt(layout));
    case storage::kTypeFloat: return Order(a.GetFloat(layout), b.GetFloat(layout));
    case storage::kTypeBcd: return Order(BcdScaled(a, layout), BcdScaled(b, layout));
    default: return 0;
  }
}

}  // namespace

bool HasValidityChecks(std::span<const storage::TFieldDescriptor> fields) {
  for (const storage::TFieldDescriptor& field : fields) {
    if (field.Required() || !field.MinimumText().empty() || !field.MaximumText().empty()) return true;
  }
  return false;
}

void ValidateRecord(std::span<const storage::TFieldDescriptor> fields, const Locale& locale,
                    std::span<const std::uint8_t> record, const std::string& table_name) {
  // The image view needs mutable bytes; the record is only read through it.
  std::vector<std::uint8_t> copy(record.begin(), record.end());
  const TRecordImage image(copy);
  std::vector<std::uint8_t> bound_bytes(record.size());
  TRecordImage bound(bound_bytes);
  for (const storage::TFieldDescriptor& field : fields) {
    const TFieldLayout layout = TFieldLayout::Of(field);
    const std::string name = field.Name();
    if (field.Required() && !layout.IsAutoInc() && image.IsNull(layout)) {
      storage::RaiseEngineError(storage::VORA_REQDERR, {.table = table_name, .field = name});
    }
    if (!HasRange(layout.type) || layout.IsAutoInc()) continue;
    const std::string minimum = field.MinimumText();
    if (!minimum.empty()) {
      bound.SetNull(layout);
      StoreValueText(field, minimum, locale, bound);
      if (CompareField(layout, locale, image, bound) < 0) {
        storage::RaiseEngineError(storage::VORA_MINVALERR, {.table = table_name, .field = name});
      }
    }
    const std::string maximum = field.MaximumText();
    if (!maximum.empty()) {
      bound.SetNull(layout);
      StoreValueText(field, maximum, locale, bound);
      if (CompareField(layout, locale, image, bound) > 0) {
        storage::RaiseEngineError(storage::VORA_MAXVALERR, {.table = table_name, .field = name});
      }
    }
  }
}

}  // namespace telvora::engine
