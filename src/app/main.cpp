// Until the phone book's windows exist, the program proves that the stack
// it stands on works end to end.
#include <cstdio>

int main() {
  std::puts("Telvora: the phone book is not built yet.");
  return 0;
}
