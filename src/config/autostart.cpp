// What "systemstart" asks of the autostart entry; the entry itself is the
// platform's business.
#include "config/autostart.h"

#include "config/ini_file.h"
#include "system/executable_path.h"

void applyAutostart(const IniFile& ini) {
  const std::string systemstart = ini.getValue("main", "systemstart");
  if (systemstart.empty()) return;
  if (systemstart[0] == '1') {
    const std::string executable = executablePath();
    if (!executable.empty()) writeAutostartEntry(executable);
  } else if (systemstart[0] == '0') {
    removeAutostartEntry();
  }
}
