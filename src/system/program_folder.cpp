// The program's folder, set once at start-up.
#include "system/program_folder.h"

#include "system/executable_path.h"

namespace {
// Written before the network thread starts, read only afterwards: no lock.
std::string chosenFolder;
}  // namespace

void setProgramFolder(const std::string& folder) {
  chosenFolder = folder;
  if (!chosenFolder.empty() && chosenFolder.back() != pathSeparator()) chosenFolder += pathSeparator();
}

std::string programFolder() { return chosenFolder.empty() ? executableFolder() : chosenFolder; }

bool programFolderChosen() { return !chosenFolder.empty(); }
