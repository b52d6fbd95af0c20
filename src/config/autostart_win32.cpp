// Autostart on Windows: the value "Tarnbeck" under the machine-wide Run key.
#include "config/autostart.h"

#include <windows.h>

namespace {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kValueName[] = "Tarnbeck";

class RegistryKey {
 public:
  RegistryKey() = default;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey() {
    if (handle) RegCloseKey(handle);
  }
  HKEY handle = nullptr;
};

}  // namespace

bool writeAutostartEntry(const std::string& executable, const std::vector<std::string>& arguments) {
  RegistryKey run;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &run.handle, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  std::string command = "\"" + executable + "\"";
  for (const std::string& argument : arguments) command += " \"" + argument + "\"";
  return RegSetValueExA(run.handle, kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                        static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS;
}

bool removeAutostartEntry() {
  RegistryKey run;
  const LONG opened = RegOpenKeyA(HKEY_LOCAL_MACHINE, kRunKey, &run.handle);
  if (opened == ERROR_FILE_NOT_FOUND) return true;
  if (opened != ERROR_SUCCESS) return false;
  const LONG deleted = RegDeleteValueA(run.handle, kValueName);
  return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}
