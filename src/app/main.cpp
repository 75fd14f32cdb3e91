// Until the phone book's windows exist, the program proves that the stack
// it stands on works end to end.
#include <cstdio>

#include "platform/national_language.h"

int main() {
  std::puts("Telvora: the phone book is not built yet.");
  // "Mohammad" in code page 1256, without and with its vowel marks, under Farsi (0x0429).
  namespace nls = telvora::platform;
  const int farsi = nls::CompareStringA(0x0429, nls::kSortStringSort | nls::kNormIgnoreNonSpace, "\xE3\xCD\xE3\xCF", -1, "\xE3\xF5\xCD\xF3\xE3\xF8\xCF", -1);
  std::printf("Farsi collation: a name with and without vowel marks compares %s.\n", farsi == nls::kCompareEqual ? "equal" : "different");
  return 0;
}
