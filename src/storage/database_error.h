#pragma once
// EDatabaseError: the database error of the dataset layer, an exception that
// carries nothing but its message text.
//
// It lives down here because the table engine's own error, EVoraEngineError,
// derives from it and every layer from storage upward raises that one; the
// dataset layer raises EDatabaseError itself for its fixed-text failures.
// Like any exception object it is immutable once thrown and may be read from
// any thread that caught it.

#include <stdexcept>
#include <string>

namespace telvora::storage {

class EDatabaseError : public std::runtime_error {
 public:
  explicit EDatabaseError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace telvora::storage
