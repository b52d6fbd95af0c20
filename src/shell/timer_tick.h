// The 6-second tick that ties the threads together: watch the simulator,
// start the network thread when needed, and upload or log saved stats files.
// Runs on the GUI thread on Windows and on the main thread on Linux.
#pragma once

void onTimerTick();

// Uploads (or, without an FTP address, logs) every saved stats file still
// waiting, oldest first. The tick does this each time; the Linux program
// also does it once more when it stops.
void handlePendingStatsFiles();
