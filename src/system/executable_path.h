// Where the running program lives and how this platform separates folders in
// a path. Settings file, default stats folder and autostart entry build on it.
#pragma once

#include <string>

// Full path of the running executable; empty if it cannot be found.
std::string executablePath();

// '\\' on Windows, '/' elsewhere.
char pathSeparator();

// The executable's path cut after its last separator (the separator is kept).
std::string executableFolder();
