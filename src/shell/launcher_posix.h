// Starting the simulator from the Linux program (the "-startlfs" option).
#pragma once

#include <string>
#include <vector>

class IniFile;

// Starts the program named by [main] lfs, detached, in its own folder, with
// [main] lfsparameters ("[INSIM]" expanded with the server port) as its
// arguments; a Windows executable (".exe") runs through Wine when Wine is
// installed. Then clears SimulatorRunning, so a running link starts afresh.
// When [main] lfs names nothing, says so on the error output, naming the key
// and the settings file, and starts nothing. Does nothing while the simulator
// already runs. False when nothing was started.
bool launchSimulator(const IniFile& ini);

// Splits a parameter text into arguments the way a shell would: blanks
// separate, single quotes keep everything, double quotes keep everything but
// a backslash before '"' or '\\', and a backslash outside quotes makes the
// next character literal.
std::vector<std::string> splitArguments(const std::string& text);

// The command line for the simulator at path: through wine (the path of the
// wine loader, or empty when Wine is missing) when path ends in ".exe" in any
// letter case, else path itself; then the arguments.
std::vector<std::string> simulatorCommand(const std::string& path, const std::vector<std::string>& arguments,
                                          const std::string& wine);
