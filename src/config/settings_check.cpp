// The network settings checked against what loadSettings makes of them.
#include "config/settings_check.h"

#include "config/ini_file.h"
#include "config/settings.h"

#include <cstdint>

namespace {

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The text is white space, digits and white space, nothing else.
bool isPlainNumber(const std::string& text) {
  std::string::size_type pos = 0;
  while (pos < text.size() && isSpace(text[pos])) ++pos;
  const std::string::size_type digits = pos;
  while (pos < text.size() && isDigit(text[pos])) ++pos;
  if (pos == digits) return false;
  while (pos < text.size() && isSpace(text[pos])) ++pos;
  return pos == text.size();
}

// The leading number's value, saturated above 65535 (the scan itself wraps
// past 32 bits, which would hide a huge number).
std::uint32_t leadingNumberUpToLimit(const std::string& text) {
  std::string::size_type pos = 0;
  while (pos < text.size() && isSpace(text[pos])) ++pos;
  std::uint32_t number = 0;
  for (; pos < text.size() && isDigit(text[pos]); ++pos) {
    number = number * 10u + static_cast<std::uint32_t>(text[pos] - '0');
    if (number > 65535u) return 65536u;
  }
  return number;
}

std::string portProblem(const IniSection& network, const std::string& key, const std::string& fileName) {
  const IniEntry* entry = IniFile::findEntry(network, key);
  const std::string text = entry ? entry->value : std::string();
  // The port used is what serverPort() and clientPort() give: the low 16 bits.
  const std::string used = std::to_string(scanSettingNumber(text, 0) & 0xFFFFu);
  const std::string named = fileName + ": " + key + " \"" + text + "\" ";
  if (entry == nullptr) return fileName + ": " + key + " is missing from [network]; using " + used;
  if (!isPlainNumber(text)) return named + "is not a port number; using " + used;
  const std::uint32_t number = leadingNumberUpToLimit(text);
  if (number == 0) return named + "is port 0, which cannot be used; using 0";
  if (number > 65535u) return named + "is out of range (1 to 65535); using " + used;
  return std::string();
}

}  // namespace

std::vector<std::string> networkSettingProblems(const IniFile& ini, const std::string& fileName) {
  const IniSection* network = ini.findSection("network");
  if (network == nullptr) {
    return {fileName + ": there is no [network] section; using serverip \"\", serverport 0 and clientport 0"};
  }
  std::vector<std::string> problems;
  for (const std::string key : {"serverport", "clientport"}) {
    std::string problem = portProblem(*network, key, fileName);
    if (!problem.empty()) problems.push_back(problem);
  }
  return problems;
}
