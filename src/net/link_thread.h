// The InSim link: one network thread that exists while the simulator runs.
#pragma once

// Stores whether the simulator runs in SimulatorRunning and starts a network
// thread when it runs and none does. GUI/main thread only.
void WatchSimulator();

// WatchSimulator's two halves, for the timer tick, which takes the saved
// stats files between them. The first stores whether the simulator runs;
// the second starts a network thread when it runs and none does (a finished
// earlier thread is joined first).
void updateSimulatorRunning();
void startNetworkThreadIfNeeded();

// The network thread's body: opens the links, introduces the program to the
// simulator and runs the socket loop while SimulatorRunning is set; then the
// race in memory is written one last time and NetworkThreadRunning cleared.
void NetworkThreadMain();

// Blocks until the last network thread started has ended (after the caller
// cleared SimulatorRunning). Used when the program closes, so the race in
// memory is written before the process ends.
void waitForNetworkThread();
