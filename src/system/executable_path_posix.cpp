// Executable path on Linux: the target of /proc/self/exe.
#include "system/executable_path.h"

#include <limits.h>
#include <unistd.h>

std::string executablePath() {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

char pathSeparator() { return '/'; }
