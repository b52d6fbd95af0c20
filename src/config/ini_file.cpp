// Reading and writing the settings file. Both directions go through text-mode
// streams, so the file carries the platform's own line ends.
#include "config/ini_file.h"

#include <fstream>

namespace {

bool sectionMatches(const std::string& stored, const std::string& name) {
  if (!name.empty() && name[0] == '[') return stored == name;
  // A stored name too short to have an inner part ("[") answers no bare name.
  if (stored.size() < 2) return false;
  const std::string inner = stored.substr(1, stored.size() - 2);
  return name.compare(0, inner.size(), inner) == 0;
}

std::string::size_type skipSpaces(const std::string& line, std::string::size_type pos) {
  while (pos < line.size() && line[pos] == ' ') ++pos;
  return pos;
}

// Splits an entry line into key and value. The key ends at the first space or
// '='; false when the line has no key or no '=' after it.
bool parseEntry(const std::string& line, std::string& key, std::string& value) {
  const std::string::size_type keyEnd = line.find_first_of(" =");
  if (keyEnd == std::string::npos || keyEnd == 0) return false;
  std::string::size_type pos = skipSpaces(line, keyEnd);
  if (pos >= line.size() || line[pos] != '=') return false;
  pos = skipSpaces(line, pos + 1);
  if (pos < line.size() && line[pos] == '"') ++pos;
  const std::string::size_type valueEnd = line.find('"', pos);
  key = line.substr(0, keyEnd);
  value = line.substr(pos, valueEnd == std::string::npos ? std::string::npos : valueEnd - pos);
  return true;
}

}  // namespace

bool IniFile::load(const std::string& path) {
  path_ = path;
  sections_.clear();
  skipped_.clear();

  std::ifstream in(path);
  if (!in.is_open()) return false;

  bool complete = true;
  bool inSection = false;
  std::string currentSection;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    // A file written on Windows reads the same here: the CRs ending a line
    // belong to its line end, also where line ends were converted twice
    // (CR CR LF) and on a last line without LF. A CR kept in a value would
    // turn into a line end when the file is saved and read again.
    while (!line.empty() && line.back() == '\r') line.pop_back();

    if (line.empty() || line[0] == ' ' || line[0] == ';') continue;
    if (line[0] == '[') {
      // A CR ends the name too: kept, it would end the header line once saved.
      currentSection = line.substr(0, line.find_first_of(" \r"));
      inSection = true;
      continue;
    }
    std::string key;
    std::string value;
    // A line that cannot be read is passed over so that the settings after it
    // still count; the result tells that a save would drop it.
    if (!inSection || !parseEntry(line, key, value)) {
      complete = false;
      skipped_.push_back(
          {number, line, inSection ? "not a \"key = value\" line" : "before the first [section]"});
      continue;
    }
    addEntry(currentSection, key, value);
  }
  return complete;
}

const IniSection* IniFile::findSection(const std::string& name) const {
  for (const IniSection& section : sections_) {
    if (sectionMatches(section.name, name)) return &section;
  }
  return nullptr;
}

IniSection* IniFile::findSection(const std::string& name) {
  return const_cast<IniSection*>(static_cast<const IniFile*>(this)->findSection(name));
}

const IniEntry* IniFile::findEntry(const IniSection& section, const std::string& key) {
  for (const IniEntry& entry : section.entries) {
    if (entry.key == key) return &entry;
  }
  return nullptr;
}

IniEntry* IniFile::findEntry(IniSection& section, const std::string& key) {
  return const_cast<IniEntry*>(findEntry(static_cast<const IniSection&>(section), key));
}

std::string IniFile::getValue(const std::string& sectionName, const std::string& key) const {
  const IniSection* section = findSection(sectionName);
  const IniEntry* entry = section ? findEntry(*section, key) : nullptr;
  return entry ? entry->value : std::string();
}

bool IniFile::setValue(const std::string& sectionName, const std::string& key, const std::string& value) {
  IniSection* section = findSection(sectionName);
  IniEntry* entry = section ? findEntry(*section, key) : nullptr;
  if (!entry) return false;
  entry->value = value;
  return true;
}

bool IniFile::save() const {
  std::ofstream out(path_, std::ios::out | std::ios::trunc);
  if (!out.is_open()) return false;
  bool first = true;
  for (const IniSection& section : sections_) {
    if (!first) out << "\n\n";
    first = false;
    out << section.name;
    for (const IniEntry& entry : section.entries) {
      out << '\n' << entry.key << " = ";
      // Reading skips the spaces after "=" and the CRs ending a line: a value
      // that begins with a space or ends with a CR keeps them only inside
      // quotes, as it came (a value never holds a quote).
      if (entry.value.empty() || entry.value.front() == ' ' || entry.value.back() == '\r') {
        out << '"' << entry.value << '"';
      } else {
        out << entry.value;
      }
    }
  }
  out.close();
  return !out.fail();
}

void IniFile::addEntry(const std::string& sectionText, const std::string& key, const std::string& value) {
  for (IniSection& section : sections_) {
    if (section.name == sectionText) {
      section.entries.push_back({key, value});
      return;
    }
  }
  sections_.push_back({sectionText, {{key, value}}});
}
