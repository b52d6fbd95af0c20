// Stopping the Linux program: SIGINT (Ctrl+C), SIGTERM (service stop) and
// SIGHUP (terminal closed) end the main loop instead of the process, so the
// race in memory and the queued stats files are taken care of first.
#pragma once

#include <signal.h>

#include <chrono>

class StopSignals {
 public:
  // Blocks the stop signals in the calling thread and in every thread it
  // starts later: construct it first thing in main.
  StopSignals();
  // Restores the previous signal mask.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Sleeps for period unless a stop signal comes first. True when one came
  // (now or before the call).
  bool waitFor(std::chrono::milliseconds period);
  // After the loop has stopped: sleeps for period unless another stop signal
  // comes first. True when one came (now or before the call).
  bool waitForAnother(std::chrono::milliseconds period);

  // The signal that stopped the loop, 0 while none has.
  int received() const { return received_; }

 private:
  // Takes one stop signal within period; 0 when none came.
  int takeSignal(std::chrono::milliseconds period);

  int received_ = 0;
  int receivedAgain_ = 0;
  sigset_t previousMask_;
};
