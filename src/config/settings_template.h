// The settings file's template, embedded in the program and written out byte
// for byte when the settings file is missing.
#pragma once

#include <string>

// The template's bytes (CR LF between lines, none after the last one); empty
// only if the program was built without it.
std::string settingsTemplate();

// Writes the template as the settings file at `path`, byte for byte (no
// line-end translation). A file that could not be written whole is removed,
// so the next start tries again. False when nothing usable was written.
bool createSettingsFile(const std::string& path);
