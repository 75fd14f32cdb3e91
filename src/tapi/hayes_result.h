#pragma once
// The result codes a Hayes-compatible modem answers with, verbose ("OK",
// "CONNECT 33600", "NO DIALTONE") or numeric ("0", "1", "6"; a numeric code
// ends in a bare CR). Anything else (echo, garbage, information text) is no
// result.
//
// Pure functions; any thread.

#include <string_view>

namespace telvora::tapi {

enum class HayesResult {
  kNone, kOk, kConnect, kRing, kNoCarrier, kError, kNoDialtone, kBusy, kNoAnswer, kDelayed,
  kBlacklisted,
};

// One line, without its CR/LF.
HayesResult ParseHayesResult(std::string_view line);

}  // namespace telvora::tapi
