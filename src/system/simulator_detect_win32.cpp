// Detects the simulator by its window: a player's copy or a dedicated server.
#include "system/simulator_detect.h"

#include <windows.h>

bool simulatorWindowExists() {
  return FindWindowA("LFS", "Live for Speed") != nullptr ||
         FindWindowA("LFS_DEDI", "Live for Speed DEDI") != nullptr;
}
