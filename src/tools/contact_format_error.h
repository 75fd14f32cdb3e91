#pragma once
// The error of a contact file that cannot be read: a truncated or binary
// file, a CSV with a wrong header, a vCard without its END. The message
// names the line (and the card) where the reader stopped.

#include <stdexcept>
#include <string>

namespace telvora::tools {

class ContactFormatError : public std::runtime_error {
 public:
  ContactFormatError(int line, const std::string& message)
      : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

}  // namespace telvora::tools
