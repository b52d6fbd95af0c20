// Folder operations on Windows, with the ANSI functions the rest of the
// program's paths go through.
#include "system/file_system.h"

#include <windows.h>

bool pathExists(const std::string& path) {
  return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool makeDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != FALSE; }

bool replaceFile(const std::string& from, const std::string& to) {
  // Unlike rename() on Windows, this replaces a file that exists.
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}
