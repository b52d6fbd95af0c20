// The two-page settings sheet and the browse dialogs it and the launcher use.
#pragma once

#include <windows.h>

#include <string>

// Runs the modal "Settings" property sheet ("Main" and "FTP" pages) over the
// settings file. OK writes the shown pages' values back and saves the file.
void showSettingsDialog(HWND owner);

// The open-file dialog for the simulator's executable. path holds the initial
// file name and, on true, the chosen file's full path. False on cancel or error.
bool browseForSimulator(HWND owner, std::string& path);

// The shell's folder browser. On true, path holds the chosen folder (no
// trailing backslash). False on cancel or for a folder without a file path.
bool browseForFolder(HWND owner, std::string& path);
