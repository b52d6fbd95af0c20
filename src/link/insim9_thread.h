// The network thread's body for the binary InSim link (TCP or UDP).
#pragma once

#include "config/settings.h"

class SocketLogSink;

// Connects to serverip:serverport (TCP) or binds clientport and sends there
// (UDP), runs the loop while SimulatorRunning is set and the link lasts, then
// writes the race in memory and clears NetworkThreadRunning.
void InSim9ThreadMain(LinkProtocol protocol, SocketLogSink* sink);
