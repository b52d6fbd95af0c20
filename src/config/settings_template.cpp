// Writing the embedded template out as a new settings file.
#include "config/settings_template.h"

#include <cstdio>
#include <fstream>

bool createSettingsFile(const std::string& path) {
  std::string bytes = settingsTemplate();
  if (bytes.empty()) return false;
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (file) return true;
  }
  std::remove(path.c_str());
  return false;
}
