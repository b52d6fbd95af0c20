// The InSim link: one network thread that exists while the simulator runs.
#pragma once

class SocketLogSink;

// Where the network layer's error reports go from the next network thread on
// (none: they are dropped). The sink must outlive every network thread and be
// safe to call from one. GUI/main thread only, before the first tick.
void setNetworkLogSink(SocketLogSink* sink);

// For the timer tick, which takes the saved stats files between the two. The
// first stores whether the simulator runs; the second starts a network thread
// when it runs and none does (a finished earlier thread is joined first).
// GUI/main thread only.
void updateSimulatorRunning();
void startNetworkThreadIfNeeded();

// The network thread's body for the text protocol: opens the links, introduces the program to the
// simulator and runs the socket loop while SimulatorRunning is set; then the
// race in memory is written one last time and NetworkThreadRunning cleared.
void NetworkThreadMain();

// Blocks until the last network thread started has ended (after the caller
// cleared SimulatorRunning). Used when the program closes, so the race in
// memory is written before the process ends.
void waitForNetworkThread();
