// The network thread's fatal failures: its ports cannot be set up, so the
// program cannot do its job and ends. Windows shows a message box, Linux
// writes to the error output.
#pragma once

// Shows text ("The serverport could not bind", "The clientport could not
// bind") with the caption "Network Error", then ends the process with exit
// code 1. Safe to call from the network thread.
[[noreturn]] void failNetwork(const char* text);
