// The trap texts are part of the library's observable behaviour: hosts' logs match on them.
#include "link/PureVirtualTrap.h"

#include <cstdio>
#include <cstdlib>

void PureVirtualTrap(const char* source, int line) {
  std::fprintf(stderr, "Pure Virtual function called @%s,%d\n", source, line);
  std::fprintf(stderr, "Unable to continue execution\n");
  std::fflush(stderr);
  std::exit(1);
}
