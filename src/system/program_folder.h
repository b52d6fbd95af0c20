// The program's folder: where the settings file, the single-instance lock
// and the default stats folder live. Chosen once at start-up on the main
// thread before any other thread exists, then only read (from both threads).
#pragma once

#include <string>

// Makes folder the program's folder (a separator is added when it lacks
// one). An empty folder goes back to the executable's folder.
void setProgramFolder(const std::string& folder);

// The folder set at start-up, ending in a separator; without one, the
// executable's folder as executableFolder() gives it.
std::string programFolder();

// True when start-up chose a folder other than the executable's.
bool programFolderChosen();
