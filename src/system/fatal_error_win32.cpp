// Fatal network failures on Windows: a message box, then exit code 1.
#include "system/fatal_error.h"

#include <windows.h>

#include <cstdlib>

void failNetwork(const char* text) {
  MessageBoxA(nullptr, text, "Network Error", MB_ICONHAND | MB_OK);
  // The GUI thread is still running: end the process without running static
  // destructors under it.
  std::_Exit(1);
}
