// Starting the simulator: how its parameters and working folder are built from
// the settings. The platform launchers (Windows tray, Linux console) share it.
#pragma once

#include <string>

// Replaces, in place, every "[INSIM]" (exactly, case-sensitive) in parameters
// by "/insim=" followed by port in decimal, so the simulator opens the InSim
// port the program sends to.
void expandInsimTag(std::string& parameters, unsigned port);

// The folder the simulator is started in: its path up to, not including, the
// last folder separator ('\\' or '/'). Empty when the path names no folder;
// the launcher then keeps the current folder.
std::string simulatorWorkingFolder(const std::string& path);

// Whether the command line asks for the simulator to be started: it begins
// with "-startlfs" (case-sensitive; anything may follow).
bool wantsSimulatorStart(const std::string& commandLine);
