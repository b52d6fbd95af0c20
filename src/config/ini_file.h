// The settings file's reader and writer: bracketed section headers and
// "key = value" lines, held in memory as text, written back whole.
#pragma once

#include <string>
#include <vector>

struct IniEntry {
  std::string key;
  std::string value;
};

// A line that held something but could not be taken into the model.
struct IniSkippedLine {
  int number = 0;  // from 1
  std::string text;
  const char* reason = "";
};

struct IniSection {
  // As read from the header line: from the '[' up to the first space, so
  // normally the name with both brackets, e.g. "[main]".
  std::string name;
  // Never empty: a section only comes into being with its first entry.
  std::vector<IniEntry> entries;
};

class IniFile {
 public:
  // Reads the file at path into a fresh model and remembers path for save.
  // Returns false when the file cannot be opened or when a line holding a
  // setting could not be taken into the model (a malformed entry line, or an
  // entry before the first header); every other line is still read.
  bool load(const std::string& path);
  // The lines the last load passed over, in file order.
  const std::vector<IniSkippedLine>& skippedLines() const { return skipped_; }

  // A name beginning with '[' must equal a stored name exactly. A bare name
  // matches the first section whose stored name, without its first and last
  // character, is a prefix of it: "[main]" answers "main" and also "mainly",
  // "[]" answers everything, "[main];x" does not answer "main".
  const IniSection* findSection(const std::string& name) const;
  IniSection* findSection(const std::string& name);

  // The first entry whose key equals key exactly.
  static const IniEntry* findEntry(const IniSection& section, const std::string& key);
  static IniEntry* findEntry(IniSection& section, const std::string& key);

  // Empty when the section or the key does not exist.
  std::string getValue(const std::string& sectionName, const std::string& key) const;

  // Replaces the value of an existing entry. Returns false and changes
  // nothing when the section or the key does not exist: no entry or section
  // is ever added.
  bool setValue(const std::string& sectionName, const std::string& key, const std::string& value);

  // Writes the whole model over the file it was loaded from, with the
  // platform's text line ends. Returns false when it cannot be written.
  bool save() const;

  // Appends an entry to the section whose stored name equals sectionText,
  // or a new section with this first entry at the end of the list.
  void addEntry(const std::string& sectionText, const std::string& key, const std::string& value);

  const std::string& path() const { return path_; }
  const std::vector<IniSection>& sections() const { return sections_; }

 private:
  std::string path_;
  std::vector<IniSection> sections_;
  std::vector<IniSkippedLine> skipped_;
};
