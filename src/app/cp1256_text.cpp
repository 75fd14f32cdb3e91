#include "app/cp1256_text.h"

#include "platform/code_page.h"

namespace telvora::app {

QString FromCp1256(std::string_view bytes) {
  const std::u16string text = platform::Cp1256ToUtf16(bytes);
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

std::optional<std::string> ToCp1256(const QString& text) {
  return platform::Utf16ToCp1256(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())));
}

std::optional<QString> ThroughCp1256(const QString& text) {
  const std::optional<std::string> bytes = ToCp1256(text);
  if (!bytes) return std::nullopt;
  return FromCp1256(*bytes);
}

}  // namespace telvora::app
