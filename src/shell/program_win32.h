// Process-wide values of the Windows program that its window procedures,
// dialogs and launcher share. GUI thread only.
#pragma once

#include <windows.h>

#include <memory>

class IniFile;

// The module instance, kept for loading resources and dialogs.
HINSTANCE appInstance();
void setAppInstance(HINSTANCE instance);

// The one settings file model: loaded at start-up, freed without saving when
// the tray window is destroyed. Null outside that span.
IniFile* settingsFile();
void setSettingsFile(std::unique_ptr<IniFile> file);
void freeSettingsFile();
