// Until the phone book's windows exist, the program proves that the stack
// it stands on works end to end: an engine error message and a collation.
#include <cstdio>

#include "platform/national_language.h"
#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"

int main() {
  std::puts("Telvora: the phone book is not built yet.");
  try {
    telvora::storage::RaiseEngineError(telvora::storage::VORA_OSENOENT, {.table = "PhoneBook"});
  } catch (const telvora::storage::EVoraEngineError& e) {
    std::puts(e.what());
  }
  // "Mohammad" in code page 1256, without and with its vowel marks, under Farsi (0x0429).
  namespace nls = telvora::platform;
  const int farsi = nls::CompareStringA(0x0429, nls::kSortStringSort | nls::kNormIgnoreNonSpace,
                                        "\xE3\xCD\xE3\xCF", -1, "\xE3\xF5\xCD\xF3\xE3\xF8\xCF", -1);
  std::printf("Farsi collation: a name with and without vowel marks compares %s.\n",
              farsi == nls::kCompareEqual ? "equal" : "different");
  return 0;
}
