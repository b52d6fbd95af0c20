// Fatal network failures on Linux: the text on the error output, exit code 1.
#include "system/fatal_error.h"

#include <cstdio>
#include <cstdlib>

void failNetwork(const char* text) {
  std::fprintf(stderr, "Network Error: %s\n", text);
  std::fflush(nullptr);
  // The main thread is still running: end the process without running
  // static destructors under it.
  std::_Exit(1);
}
