#include "engine/record_defaults.h"

#include <algorithm>
#include <string>

#include "engine/value_text_conversion.h"
#include "storage/record_image.h"

namespace telvora::engine {

void InitRecord(std::span<const storage::TFieldDescriptor> fields, const Locale& locale,
                std::span<std::uint8_t> buffer) {
  std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
  storage::TRecordImage image(buffer);
  for (const storage::TFieldDescriptor& field : fields) {
    const std::string text = field.DefaultText();
    if (text.empty()) continue;
    StoreValueText(field, text, locale, image);
  }
}

}  // namespace telvora::engine
