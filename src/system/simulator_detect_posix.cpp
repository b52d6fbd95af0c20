// The simulator check on Linux: Live for Speed runs under Wine, whose process
// takes the executable's name, so a live process named "LFS.exe" (the game)
// or "DCon.exe" (the dedicated server) means the simulator runs.
#include "system/simulator_detect.h"

#include <dirent.h>

#include <cctype>
#include <fstream>
#include <memory>
#include <string>

namespace {

struct DirectoryCloser {
  void operator()(DIR* directory) const { closedir(directory); }
};

bool isProcessId(const char* name) {
  if (*name == '\0') return false;
  for (; *name != '\0'; ++name) {
    if (!std::isdigit(static_cast<unsigned char>(*name))) return false;
  }
  return true;
}

// /proc/PID/stat reads "PID (name) S ...": the name may itself hold spaces
// and brackets, so it runs to the last ')'. The state letter follows it. A
// process that has ended but not been reaped (Z, X) no longer runs.
bool isRunningSimulator(const std::string& stat) {
  std::string::size_type open = stat.find('(');
  std::string::size_type close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return false;
  std::string name = stat.substr(open + 1, close - open - 1);
  if (name != "LFS.exe" && name != "DCon.exe") return false;
  char state = close + 2 < stat.size() ? stat[close + 2] : '?';
  return state != 'Z' && state != 'X' && state != 'x';
}

}  // namespace

bool simulatorWindowExists() {
  std::unique_ptr<DIR, DirectoryCloser> processes(opendir("/proc"));
  if (!processes) return false;
  while (dirent* entry = readdir(processes.get())) {
    if (!isProcessId(entry->d_name)) continue;
    std::ifstream statFile(std::string("/proc/") + entry->d_name + "/stat");
    std::string stat;
    // A process may end between the listing and the read: then nothing is read.
    if (std::getline(statFile, stat) && isRunningSimulator(stat)) return true;
  }
  return false;
}
