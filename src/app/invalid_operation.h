#pragma once
// EInvalidOperation: raised by the windows' components when they are used
// in a way they refuse (a second TEnterMove on one window). Its message is
// code page 1256 text, shown by the application's default error handler.

#include <stdexcept>
#include <string>

namespace telvora::app {

class EInvalidOperation : public std::runtime_error {
 public:
  explicit EInvalidOperation(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace telvora::app
