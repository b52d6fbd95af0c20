// The Windows program's process-wide values.
#include "shell/program_win32.h"

#include "config/ini_file.h"

namespace {
HINSTANCE instance = nullptr;
std::unique_ptr<IniFile> iniFile;
}  // namespace

HINSTANCE appInstance() { return instance; }
void setAppInstance(HINSTANCE value) { instance = value; }

IniFile* settingsFile() { return iniFile.get(); }
void setSettingsFile(std::unique_ptr<IniFile> file) { iniFile = std::move(file); }
void freeSettingsFile() { iniFile.reset(); }
