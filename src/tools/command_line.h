#pragma once
// The argument list of one command of a command-line tool: positional
// arguments and `--name value` / `--flag` options, checked against what the
// command accepts so that a misspelt option is an error, not ignored.

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace telvora::tools {

// A usage error: the words of the call are wrong. Tools report it and exit 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class CommandLine {
 public:
  // `valued` options take the next argument as their value; `flags` take
  // none. Anything else starting with "--" is a UsageError.
  CommandLine(const std::vector<std::string>& args, const std::set<std::string>& valued,
              const std::set<std::string>& flags);

  const std::vector<std::string>& positional() const { return positional_; }
  bool Has(const std::string& name) const;
  std::optional<std::string> Value(const std::string& name) const;
  // The value of a required option; a UsageError names it when missing.
  std::string Require(const std::string& name) const;
  // The positional arguments must number exactly `count`; `what` names them.
  void ExpectPositional(std::size_t count, const std::string& what) const;

 private:
  std::vector<std::string> positional_;
  std::map<std::string, std::string> values_;
  std::set<std::string> flags_;
};

}  // namespace telvora::tools
