// Autostart on Linux: an XDG autostart entry, tarnbeck.desktop, in
// $XDG_CONFIG_HOME/autostart (default ~/.config/autostart).
#include "config/autostart.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

// Relative or empty XDG_CONFIG_HOME is not valid and falls back to the default.
std::string autostartFile() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return std::string(config) + "/autostart/tarnbeck.desktop";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.config/autostart/tarnbeck.desktop";
  return std::string();
}

// One quoted Exec argument. Inside quotes '"', '`', '$' and '\' take a
// backslash, '%' is doubled so it is no field code; then the whole value is
// escaped as a desktop-entry string, which doubles every backslash again.
std::string execArgument(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';

  std::string escaped;
  for (char c : quoted) {
    switch (c) {
      case '\\':
        escaped += "\\\\";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\t':
        escaped += "\\t";
        break;
      case '\r':
        escaped += "\\r";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

}  // namespace

bool writeAutostartEntry(const std::string& executable, const std::vector<std::string>& arguments) {
  const std::filesystem::path file = autostartFile();
  if (file.empty()) return false;
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  if (error) return false;

  std::ofstream out(file, std::ios::out | std::ios::trunc);
  if (!out.is_open()) return false;
  std::string exec = execArgument(executable);
  for (const std::string& argument : arguments) exec += " " + execArgument(argument);
  out << "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Tarnbeck\n"
         "Comment=Records race statistics from Live for Speed\n"
         "Exec="
      << exec
      << "\n"
         "Terminal=false\n";
  out.close();
  return !out.fail();
}

bool removeAutostartEntry() {
  const std::filesystem::path file = autostartFile();
  if (file.empty()) return false;
  std::error_code error;
  std::filesystem::remove(file, error);
  return !error;
}
