// Until the phone book's windows exist, the program proves that the stack
// it stands on works end to end.
#include <cstdio>

#include "storage/engine_error.h"
#include "storage/engine_error_codes.h"

int main() {
  std::puts("Telvora: the phone book is not built yet.");
  try {
    telvora::storage::RaiseEngineError(telvora::storage::VORA_OSENOENT, {.table = "PhoneBook"});
  } catch (const telvora::storage::EVoraEngineError& e) {
    std::puts(e.what());
  }
  return 0;
}
