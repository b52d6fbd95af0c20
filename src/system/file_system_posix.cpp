// Folder operations on Linux.
#include "system/file_system.h"

#include <sys/stat.h>

#include <cstdio>

bool pathExists(const std::string& path) {
  struct stat status;
  return !path.empty() && ::stat(path.c_str(), &status) == 0;
}

bool makeDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool replaceFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}
