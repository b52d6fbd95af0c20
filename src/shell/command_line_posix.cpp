// Reading the Linux program's command line; realpath and stat check the
// folder before anything is created in it.
#include "shell/command_line_posix.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

const std::string folderOption = "--folder";

// The absolute form of folder, or the reason it cannot be the program folder.
std::string absoluteFolder(const std::string& folder, std::string& error) {
  const std::string named = "tarnbeck: " + folderOption + " " + folder + ": ";
  char resolved[PATH_MAX];
  if (realpath(folder.c_str(), resolved) == nullptr) {
    error = named + (errno == ENOENT ? std::string("no such folder") : std::strerror(errno));
    return std::string();
  }
  struct stat status;
  if (stat(resolved, &status) != 0 || !S_ISDIR(status.st_mode)) {
    error = named + "not a folder";
    return std::string();
  }
  return resolved;
}

}  // namespace

CommandLine readCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  bool firstSeen = false;
  bool folderSeen = false;
  std::string folder;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool joined = argument.compare(0, folderOption.size() + 1, folderOption + "=") == 0;
    if (argument != folderOption && !joined) {
      if (!firstSeen) line.firstArgument = argument;
      firstSeen = true;
      continue;
    }
    if (folderSeen && line.error.empty()) line.error = "tarnbeck: " + folderOption + " is given twice";
    folderSeen = true;
    if (joined) {
      folder = argument.substr(folderOption.size() + 1);
    } else if (i + 1 < argc) {
      folder = argv[++i];
    } else {
      folder.clear();
    }
    if (folder.empty() && line.error.empty()) {
      line.error = "tarnbeck: " + folderOption + " needs the name of a folder";
    }
  }
  line.help = line.firstArgument == "--help" || line.firstArgument == "-h";
  if (line.help) {
    line.error.clear();
    return line;
  }
  if (line.error.empty() && folderSeen) line.folder = absoluteFolder(folder, line.error);
  return line;
}
