// The two folder operations the stats file needs from the platform.
#pragma once

#include <string>

// True when something exists at path. A path ending in a folder separator
// only exists as a folder.
bool pathExists(const std::string& path);

// Creates one folder; its parent must exist. True when it was created.
bool makeDirectory(const std::string& path);
