// The simulator launcher on Windows: ShellExecuteA in the simulator's folder.
#include "shell/launcher_win32.h"

#include "config/ini_file.h"
#include "config/settings.h"
#include "config/shared_state.h"
#include "shell/launcher.h"
#include "shell/program_win32.h"
#include "shell/settings_dialog_win32.h"
#include "system/file_system.h"
#include "system/simulator_detect.h"

#include <shellapi.h>

namespace {}  // namespace

void launchSimulator(HWND owner) {
  IniFile* ini = settingsFile();
  if (ini == nullptr) return;

  std::string path = ini->getValue("main", "lfs");
  if (!pathExists(path)) {
    std::string chosen;
    if (!browseForSimulator(owner, chosen)) return;
    // A file without an "lfs" key cannot store the choice; it is still used
    // for this launch.
    if (ini->setValue("main", "lfs", chosen)) ini->save();
    path = chosen;
  }

  if (simulatorWindowExists()) return;

  std::string folder = simulatorWorkingFolder(path);
  std::string parameters = ini->getValue("main", "lfsparameters");
  expandInsimTag(parameters, serverPort());
  // No folder in the path: the simulator starts in the current folder.
  ShellExecuteA(owner, "open", path.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                folder.empty() ? nullptr : folder.c_str(), SW_SHOW);

  // A running link belongs to the simulator that was there before; the next
  // tick links up anew once the new window appears.
  setSimulatorRunning(false);
}
