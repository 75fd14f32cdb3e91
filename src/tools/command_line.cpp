#include "tools/command_line.h"

namespace telvora::tools {

CommandLine::CommandLine(const std::vector<std::string>& args, const std::set<std::string>& valued,
                         const std::set<std::string>& flags) {
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
      positional_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    std::string name = arg.substr(2);
    std::optional<std::string> inline_value;
    if (auto eq = name.find('='); eq != std::string::npos) {
      inline_value = name.substr(eq + 1);
      name.resize(eq);
    }
    if (valued.count(name)) {
      if (inline_value) {
        values_[name] = *inline_value;
      } else if (i + 1 < args.size()) {
        values_[name] = args[++i];
      } else {
        throw UsageError("option --" + name + " needs a value");
      }
    } else if (flags.count(name) && !inline_value) {
      flags_.insert(name);
    } else {
      throw UsageError("unknown option --" + name);
    }
  }
}

bool CommandLine::Has(const std::string& name) const {
  return flags_.count(name) > 0 || values_.count(name) > 0;
}

std::optional<std::string> CommandLine::Value(const std::string& name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::string CommandLine::Require(const std::string& name) const {
  auto value = Value(name);
  if (!value) throw UsageError("option --" + name + " is required");
  return *value;
}

void CommandLine::ExpectPositional(std::size_t count, const std::string& what) const {
  if (positional_.size() != count) throw UsageError("expected " + what);
}

}  // namespace telvora::tools
