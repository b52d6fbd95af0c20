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
  // [network] keys the template does not have: the protocol ("" the text
  // protocol, "9" the binary one) and its transport ("tcp", the default, or "udp").
  std::string insimversion;
  std::string transport;
  // [output] htmlreport: a race report page beside every stats file.
  bool htmlreport = false;
};

// How the program talks to the simulator, from insimversion and transport.
enum class LinkProtocol : std::uint8_t { TextUdp, BinaryTcp, BinaryUdp, Unusable };
LinkProtocol linkProtocol();
// Why the protocol settings cannot work, naming the key and its value;
// empty when they can. With such settings the program does not link.
std::string linkProtocolProblem();

// Copies every setting from the loaded settings file (missing keys read as
// empty texts; port texts without digits leave the port at 0).
void loadSettings(const IniFile& ini);

// A number as the settings file has always been read ("%u"): white space
// skipped, then decimal digits up to the first other character, wrapping
// past 32 bits; no digits give fallback.
std::uint32_t scanSettingNumber(const std::string& text, std::uint32_t fallback);

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
