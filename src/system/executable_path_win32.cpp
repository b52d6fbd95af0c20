// Executable path on Windows: GetModuleFileNameA into a MAX_PATH buffer.
#include "system/executable_path.h"

#include <windows.h>

std::string executablePath() {
  char buffer[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return std::string(buffer, length);
}

char pathSeparator() { return '\\'; }
