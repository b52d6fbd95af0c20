// The settings file library over any file: what save writes from a model
// read from a file must read back completely into the same model, and saving
// that model again must give the same bytes.
#include "config/ini_file.h"
#include "fuzz_support.h"

#include <string>

namespace {

std::string describe(const IniFile& ini) {
  std::string text;
  for (const IniSection& section : ini.sections()) {
    text += "section " + std::to_string(section.name.size()) + ":" + section.name + "\n";
    for (const IniEntry& entry : section.entries) {
      text += "  " + std::to_string(entry.key.size()) + ":" + entry.key + " = " +
              std::to_string(entry.value.size()) + ":" + entry.value + "\n";
    }
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = scratchFolder() + "/trbk.ini";
  const std::string original(reinterpret_cast<const char*>(data), size);
  writeWholeFile(path, original);

  IniFile first;
  first.load(path);
  for (const IniSection& section : first.sections()) {
    FUZZ_CHECK(!section.entries.empty(), "a section without entries");
    // A name in brackets is looked up exactly, so every stored section answers its own name.
    FUZZ_CHECK(first.findSection(section.name) == &section, "a stored section is not found by its own name");
    for (const IniEntry& entry : section.entries) {
      FUZZ_CHECK(entry.value.find('"') == std::string::npos, "a value holding a double quote");
    }
  }
  FUZZ_CHECK(first.save(), "the model cannot be written back");
  const std::string saved = readWholeFile(path);

  IniFile second;
  const bool complete = second.load(path);
  FUZZ_CHECK(describe(second) == describe(first), "the written file reads back differently\nfirst:\n" +
                                                      describe(first) + "second:\n" + describe(second) +
                                                      "written:\n" + saved);
  FUZZ_CHECK(complete, "a written file does not read back completely:\n" + saved);
  FUZZ_CHECK(second.save(), "the model cannot be written back a second time");
  FUZZ_CHECK(readWholeFile(path) == saved, "a second save gives other bytes");
  return 0;
}
