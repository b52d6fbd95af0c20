// The 6-second tick that ties the threads together: watch the simulator,
// start the network thread when needed, and hand every saved stats file to
// the upload worker (which uploads it, or logs it when no FTP address is set).
// Runs on the GUI thread on Windows and on the main thread on Linux.
#pragma once

void onTimerTick();

// Hands every saved stats file still waiting to the upload worker, oldest
// first. The tick does this each time; the stop sequence once more.
void handlePendingStatsFiles();
