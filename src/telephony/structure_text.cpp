#include "telephony/structure_text.h"

#include <algorithm>
#include <string_view>

#include "platform/code_page.h"
#include "telephony/tel_types.h"

namespace telvora::telephony {

using namespace tapi;

bool IsWideStringFormat(DWORD string_format) {
  return string_format == STRINGFORMAT_DBCS || string_format == STRINGFORMAT_UNICODE;
}

int TextFromStructure(const TVarBuffer& structure, DWORD offset, DWORD size, bool wide,
                      std::u16string& text) {
  text.clear();
  if (!structure.Valid()) return kResultFailed;
  // The used part only: a provider's offsets are not trusted beyond it.
  const std::size_t used = std::min<std::size_t>(structure.Size(), structure.As<DWORD>()[2]);
  if (static_cast<std::size_t>(offset) + size > used) return kResultFailed;
  const std::uint8_t* bytes = structure.Bytes() + offset;
  if (wide) {
    std::u16string out;
    for (DWORD i = 0; i + 1 < size; i += 2) {
      const char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
      if (c == 0) break;
      out.push_back(c);
    }
    text = std::move(out);
  } else {
    std::string_view raw(reinterpret_cast<const char*>(bytes), size);
    const auto end = raw.find('\0');
    if (end != std::string_view::npos) raw = raw.substr(0, end);
    text = platform::Cp1256ToUtf16(raw);
  }
  return kResultOk;
}

}  // namespace telvora::telephony
