// The start-up and stop sequence both programs share, run after and before
// the steps that are their own (instance check, window, signals). GUI/main
// thread only.
#pragma once

#include <chrono>
#include <functional>
#include <string>

class IniFile;

// Creates the settings file from the template when it is missing, reads it
// into ini, copies the settings and applies the autostart value. False when
// the missing file could not be created: the caller says "The ini file could
// not be created" and ends with exit code 1 after stopProgram.
bool startProgram(const std::string& settingsPath, IniFile& ini);

// The longest time the stop sequence gives the uploads still to do.
constexpr std::chrono::seconds kStopUploadBudget{30};

// Waits up to the given time for a second request to stop; true when one came.
using SecondStopWait = std::function<bool(std::chrono::milliseconds)>;

// Ends the link and waits for it (its last act writes the race it holds),
// then uploads or logs every stats file saved meanwhile, oldest first, for at
// most kStopUploadBudget. A second request to stop, or the budget running
// out, abandons the uploads left (each logged; the files stay on disk).
void stopProgram(const SecondStopWait& secondStop);
