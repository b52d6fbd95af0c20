// Starting the program when the user's session begins, as the settings key
// "systemstart" asks: the Run value on Windows, an XDG autostart entry on Linux.
#pragma once

#include <string>
#include <vector>

class IniFile;

// By the first character of [main] systemstart: '1' registers the running
// executable, '0' removes the entry, anything else (or nothing) leaves it
// alone. Failures are silent: autostart is a convenience, not a duty.
void applyAutostart(const IniFile& ini);

// The platform's entry. The command is always the executable's path in
// quotes, so a path with spaces cannot start another program, followed by
// each argument quoted the same way (a program folder chosen at start-up
// comes back as "--folder" DIR). Removing an entry that does not exist
// succeeds.
bool writeAutostartEntry(const std::string& executable, const std::vector<std::string>& arguments = {});
bool removeAutostartEntry();
