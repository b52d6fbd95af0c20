// The Settings record, filled from the settings file, and its locked getters.
#include "config/settings.h"

#include "config/ini_file.h"
#include "config/shared_state.h"

namespace {
Settings current;

std::string copyText(const std::string Settings::*field) {
  std::lock_guard<std::mutex> lock(StatsLock);
  return current.*field;
}
}  // namespace

std::uint32_t scanSettingNumber(const std::string& text, std::uint32_t fallback) {
  std::string::size_type pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) ++pos;
  if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return fallback;
  std::uint32_t number = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    number = number * 10u + static_cast<std::uint32_t>(text[pos] - '0');
  }
  return number;
}

void loadSettings(const IniFile& ini) {
  Settings loaded;
  loaded.outputname = ini.getValue("main", "outputname");
  loaded.outputpath = ini.getValue("main", "outputpath");
  loaded.serverip = ini.getValue("network", "serverip");
  loaded.adminpw = ini.getValue("network", "adminpw");
  loaded.clientport = scanSettingNumber(ini.getValue("network", "clientport"), loaded.clientport);
  loaded.serverport = scanSettingNumber(ini.getValue("network", "serverport"), loaded.serverport);
  loaded.ftpaddr = ini.getValue("extra", "ftpaddr");
  loaded.httpaddr = ini.getValue("extra", "httpaddr");
  loaded.ftpuser = ini.getValue("extra", "ftpuser");
  loaded.ftppw = ini.getValue("extra", "ftppw");
  loaded.insimversion = ini.getValue("network", "insimversion");
  loaded.transport = ini.getValue("network", "transport");
  // Absent from the template: absent, empty or 0 keeps the report off.
  loaded.htmlreport = scanSettingNumber(ini.getValue("output", "htmlreport"), 0) != 0;
  replaceSettings(loaded);
}

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

LinkProtocol linkProtocol() {
  const std::string version = copyText(&Settings::insimversion);
  const std::string transport = copyText(&Settings::transport);
  if (version.empty()) return LinkProtocol::TextUdp;
  if (version != "9") return LinkProtocol::Unusable;
  if (transport.empty() || transport == "tcp") return LinkProtocol::BinaryTcp;
  if (transport == "udp") return LinkProtocol::BinaryUdp;
  return LinkProtocol::Unusable;
}

std::string linkProtocolProblem() {
  const std::string version = copyText(&Settings::insimversion);
  const std::string transport = copyText(&Settings::transport);
  if (!version.empty() && version != "9") {
    return "insimversion \"" + version +
           "\" is not a protocol this program speaks (leave it empty for the text protocol, or set 9); "
           "the program does not link to the simulator";
  }
  if (version == "9" && !transport.empty() && transport != "tcp" && transport != "udp") {
    return "transport \"" + transport +
           "\" is neither tcp nor udp; the program does not link to the simulator";
  }
  return std::string();
}

bool htmlReport() {
  std::lock_guard<std::mutex> lock(StatsLock);
  return current.htmlreport;
}
