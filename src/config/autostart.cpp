// What "systemstart" asks of the autostart entry; the entry itself is the
// platform's business.
#include "config/autostart.h"

#include "config/ini_file.h"
#include "system/executable_path.h"
#include "system/program_folder.h"

void applyAutostart(const IniFile& ini) {
  const std::string systemstart = ini.getValue("main", "systemstart");
  if (systemstart.empty()) return;
  if (systemstart[0] == '1') {
    const std::string executable = executablePath();
    // Started again at the next session, it must find the same settings.
    std::vector<std::string> arguments;
    if (programFolderChosen()) {
      // Without its separator, which Windows would read as escaping the quote.
      std::string folder = programFolder();
      if (folder.size() > 1) folder.pop_back();
      arguments = {"--folder", folder};
    }
    if (!executable.empty()) writeAutostartEntry(executable, arguments);
  } else if (systemstart[0] == '0') {
    removeAutostartEntry();
  }
}
