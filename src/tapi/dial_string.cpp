#include "tapi/dial_string.h"

#include <cctype>
#include <cstring>

namespace telvora::tapi {
namespace {

constexpr const char* kDialable = "0123456789*#,WPT!@";
constexpr const char* kDropped = " \t-.()";

}  // namespace

std::optional<std::string> NormalizeDialString(const std::string& number,
                                               const std::string& international_prefix) {
  std::string out;
  bool first = true;
  for (char raw : number) {
    if (std::strchr(kDropped, raw) != nullptr && raw != '\0') continue;
    if (raw == '+' && first) {
      out += international_prefix;
      first = false;
      continue;
    }
    first = false;
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(raw)));
    if (c == '\0' || std::strchr(kDialable, c) == nullptr) return std::nullopt;
    out += c;
  }
  // The prefix comes from configuration; it must be digits as well.
  for (char c : out) {
    if (std::strchr(kDialable, c) == nullptr) return std::nullopt;
  }
  return out;
}

std::optional<std::string> DialCommand(const std::string& number,
                                       const std::string& international_prefix, bool pulse,
                                       bool voice) {
  std::optional<std::string> digits = NormalizeDialString(number, international_prefix);
  if (!digits) return std::nullopt;
  std::string command = std::string(pulse ? "ATDP" : "ATDT") + *digits + (voice ? ";" : "");
  if (command.size() > kModemCommandMaxLength) return std::nullopt;
  return command;
}

}  // namespace telvora::tapi
