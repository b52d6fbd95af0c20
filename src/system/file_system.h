// The file-system questions the program asks the platform. Any thread.
#pragma once

#include <string>

// True when something exists at path; an empty path never exists. A path
// ending in a folder separator only exists as a folder.
bool pathExists(const std::string& path);

// Creates one folder; its parent must exist. True when it was created.
bool makeDirectory(const std::string& path);

// Puts the file at `from` in place of the one at `to` in one step: a reader
// of `to` sees the old file or the new one, never a mix. Both paths must be
// in one folder. False, with both files as they were, when it cannot.
bool replaceFile(const std::string& from, const std::string& to);
