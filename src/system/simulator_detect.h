// Is the simulator running on this machine? On Windows its window is looked
// for; on Linux its process (the simulator runs under Wine, named after its
// executable).
#pragma once

// Windows: a window of class "LFS" titled "Live for Speed", or of class
// "LFS_DEDI" titled "Live for Speed DEDI". Linux: a process named "LFS.exe"
// or "DCon.exe".
bool simulatorWindowExists();
