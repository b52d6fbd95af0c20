// Stop signals stay blocked in every thread and are taken synchronously with
// sigtimedwait by the main loop, so no handler ever runs inside other code.
#include "shell/stop_signals_posix.h"

#include <cerrno>
#include <ctime>

namespace {

sigset_t stopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

StopSignals::StopSignals() {
  sigset_t set = stopSet();
  pthread_sigmask(SIG_BLOCK, &set, &previousMask_);
}

StopSignals::~StopSignals() { pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr); }

bool StopSignals::waitFor(std::chrono::milliseconds period) {
  if (received_ == 0) received_ = takeSignal(period);
  return received_ != 0;
}

bool StopSignals::waitForAnother(std::chrono::milliseconds period) {
  if (receivedAgain_ == 0) receivedAgain_ = takeSignal(period);
  return receivedAgain_ != 0;
}

int StopSignals::takeSignal(std::chrono::milliseconds period) {
  sigset_t set = stopSet();
  auto deadline = std::chrono::steady_clock::now() + period;
  for (;;) {
    auto left =
        std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() < 0) left = std::chrono::nanoseconds(0);
    timespec timeout;
    timeout.tv_sec = static_cast<time_t>(left.count() / 1000000000);
    timeout.tv_nsec = static_cast<long>(left.count() % 1000000000);
    int signal = sigtimedwait(&set, nullptr, &timeout);
    if (signal > 0) return signal;
    // EINTR: another signal (for instance a stopped and continued
    // process) cut the wait short; wait for the rest of the period.
    if (errno != EINTR || left.count() == 0) return 0;
  }
}
