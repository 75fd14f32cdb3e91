// Bytes from a modem cut into lines at CR and LF as the modem line does, each
// line through the result-code parser. A result must not depend on the
// blanks around it or on letter case.

#include <cctype>
#include <string>
#include <string_view>

#include "fuzz_targets.h"
#include "tapi/hayes_result.h"

namespace telvora::fuzz {
namespace {

std::string Lower(std::string_view s) {
  std::string out;
  for (char c : s) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

int FuzzHayesResult(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  while (!input.empty()) {
    const std::size_t end = input.find_first_of("\r\n");
    const std::string_view line = input.substr(0, end);
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    const tapi::HayesResult result = tapi::ParseHayesResult(line);
    if (tapi::ParseHayesResult(" " + std::string(line) + " \t") != result) {
      FuzzCheckFailed("hayes_result", "blanks around a line changed its result");
    }
    if (tapi::ParseHayesResult(Lower(line)) != result) FuzzCheckFailed("hayes_result", "letter case changed a result");
  }
  return 0;
}

}  // namespace telvora::fuzz
