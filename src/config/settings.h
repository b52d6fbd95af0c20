// The settings copied from the settings file at start-up, read by both threads
// through getters that take StatsLock for the copy.
#pragma once

#include <cstdint>
#include <string>

class IniFile;

struct Settings {
  std::string outputname;
  std::string outputpath;
  std::string serverip;
  std::string adminpw;
  std::uint32_t clientport = 0;
  std::uint32_t serverport = 0;
  std::string ftpaddr;
  std::string httpaddr;
  std::string ftpuser;
  std::string ftppw;
  // [output] htmlreport: a race report page beside every stats file.
  bool htmlreport = false;
};

// Copies every setting from the loaded settings file (missing keys read as
// empty texts; port texts without digits leave the port at 0).
void loadSettings(const IniFile& ini);

// Replaces the whole record at once (start-up and tests).
void replaceSettings(const Settings& settings);

// Ports are used as 16-bit values: the low 16 bits of the stored number.
std::uint16_t serverPort();
std::uint16_t clientPort();
std::string serverIp();
std::string adminPassword();
std::string outputName();
std::string outputPath();
std::string ftpAddress();
std::string httpAddress();
std::string ftpUser();
std::string ftpPassword();
bool htmlReport();
