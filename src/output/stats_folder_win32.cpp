// Folder operations on Windows, with the ANSI functions the rest of the
// program's paths go through.
#include "output/stats_folder.h"

#include <windows.h>

bool pathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool makeDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != FALSE; }
