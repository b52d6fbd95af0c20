// Folder operations on Linux.
#include "output/stats_folder.h"

#include <sys/stat.h>

bool pathExists(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0;
}

bool makeDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }
