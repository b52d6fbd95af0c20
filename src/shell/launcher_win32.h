// Starting the simulator from the tray menu or at start-up.
#pragma once

#include <windows.h>

// Starts the simulator named by [main] lfs with [main] lfsparameters ("[INSIM]"
// expanded with the server port). Asks for the executable first when the path
// names nothing, and stores the choice. Does nothing when the simulator's
// window already exists. owner may be null.
void launchSimulator(HWND owner);
