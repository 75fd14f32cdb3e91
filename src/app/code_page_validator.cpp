#include "app/code_page_validator.h"

#include <optional>

#include "app/cp1256_text.h"

namespace telvora::app {

TCodePageValidator::TCodePageValidator(QObject* parent) : QValidator(parent) {}

QValidator::State TCodePageValidator::validate(QString& input, int& pos) const {
  const std::optional<QString> converted = ThroughCp1256(input);
  if (!converted) return Invalid;
  // The fallbacks map one UTF-16 unit onto one character (a surrogate pair
  // has no fallback and is refused above), so the cursor keeps its place.
  input = *converted;
  if (pos > input.size()) pos = static_cast<int>(input.size());
  return Acceptable;
}

void TCodePageValidator::fixup(QString& input) const {
  if (const std::optional<QString> converted = ThroughCp1256(input)) input = *converted;
}

}  // namespace telvora::app
