// The Settings record and its locked getters.
#include "config/settings.h"

#include "config/shared_state.h"

namespace {
Settings current;

std::string copyText(const std::string Settings::*field) {
  std::lock_guard<std::mutex> lock(StatsLock);
  return current.*field;
}
}  // namespace

void replaceSettings(const Settings& settings) {
  std::lock_guard<std::mutex> lock(StatsLock);
  current = settings;
}

std::uint16_t serverPort() {
  std::lock_guard<std::mutex> lock(StatsLock);
  return static_cast<std::uint16_t>(current.serverport & 0xFFFFu);
}

std::uint16_t clientPort() {
  std::lock_guard<std::mutex> lock(StatsLock);
  return static_cast<std::uint16_t>(current.clientport & 0xFFFFu);
}

std::string serverIp() { return copyText(&Settings::serverip); }
std::string adminPassword() { return copyText(&Settings::adminpw); }
std::string outputName() { return copyText(&Settings::outputname); }
std::string outputPath() { return copyText(&Settings::outputpath); }
std::string ftpAddress() { return copyText(&Settings::ftpaddr); }
std::string httpAddress() { return copyText(&Settings::httpaddr); }
std::string ftpUser() { return copyText(&Settings::ftpuser); }
std::string ftpPassword() { return copyText(&Settings::ftppw); }
