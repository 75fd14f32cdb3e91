#include "dataset/dataset_error.h"

namespace telvora::dataset {

std::string FormatMessage(std::string_view message_template, const std::string& argument) {
  std::string text(message_template);
  const std::size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, argument);
  return text;
}

void DatabaseError(std::string_view message) { throw EDatabaseError(std::string(message)); }

void DatabaseErrorFmt(std::string_view message_template, const std::string& argument) {
  throw EDatabaseError(FormatMessage(message_template, argument));
}

}  // namespace telvora::dataset
