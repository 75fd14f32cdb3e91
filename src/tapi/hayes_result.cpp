#include "tapi/hayes_result.h"

#include <cctype>
#include <string>

namespace telvora::tapi {
namespace {

// Numeric codes above those with a meaning of their own are the CONNECT
// codes of the various line speeds; no modem numbers beyond this.
constexpr int kHighestNumericResult = 255;

std::string Upper(std::string_view s) {
  std::string out;
  for (char c : s) out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

HayesResult Numeric(int code) {
  switch (code) {
    case 0: return HayesResult::kOk;
    case 2: return HayesResult::kRing;
    case 3: return HayesResult::kNoCarrier;
    case 4: return HayesResult::kError;
    case 6: return HayesResult::kNoDialtone;
    case 7: return HayesResult::kBusy;
    case 8: return HayesResult::kNoAnswer;
    default: return code <= kHighestNumericResult ? HayesResult::kConnect : HayesResult::kNone;
  }
}

}  // namespace

HayesResult ParseHayesResult(std::string_view line) {
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.remove_prefix(1);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
  if (line.empty()) return HayesResult::kNone;
  if (line.size() <= 3 && std::isdigit(static_cast<unsigned char>(line[0]))) {
    int code = 0;
    for (char c : line) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return HayesResult::kNone;
      code = code * 10 + (c - '0');
    }
    return Numeric(code);
  }
  const std::string u = Upper(line);
  if (u == "OK") return HayesResult::kOk;
  if (u == "CONNECT" || u.rfind("CONNECT ", 0) == 0 || u.rfind("CONNECT/", 0) == 0) {
    return HayesResult::kConnect;
  }
  if (u == "RING") return HayesResult::kRing;
  if (u == "NO CARRIER") return HayesResult::kNoCarrier;
  if (u == "ERROR") return HayesResult::kError;
  if (u == "NO DIALTONE" || u == "NO DIAL TONE") return HayesResult::kNoDialtone;
  if (u == "BUSY") return HayesResult::kBusy;
  if (u == "NO ANSWER") return HayesResult::kNoAnswer;
  if (u == "DELAYED") return HayesResult::kDelayed;
  if (u == "BLACKLISTED") return HayesResult::kBlacklisted;
  return HayesResult::kNone;
}

}  // namespace telvora::tapi
