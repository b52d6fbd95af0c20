// Stop signals end the Linux program's wait between ticks instead of the
// process: a signal that came earlier is taken at once, one that comes
// during the wait ends it early, and without one the full period passes.
#include "shell/stop_signals_posix.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(StopSignalsTest, WithoutASignalTheWholePeriodPasses) {
  StopSignals signals;
  Clock::time_point start = Clock::now();
  EXPECT_FALSE(signals.waitFor(milliseconds(300)));
  EXPECT_GE(Clock::now() - start, milliseconds(290));
  EXPECT_EQ(signals.received(), 0);
}

class EachStopSignal : public testing::TestWithParam<int> {};

TEST_P(EachStopSignal, ASignalSentBeforeTheWaitIsTakenAtOnce) {
  StopSignals signals;
  kill(getpid(), GetParam());  // blocked: stays pending instead of ending the test
  Clock::time_point start = Clock::now();
  EXPECT_TRUE(signals.waitFor(milliseconds(5000)));
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
  EXPECT_EQ(signals.received(), GetParam());
  // It stays stopped.
  EXPECT_TRUE(signals.waitFor(milliseconds(5000)));
}

INSTANTIATE_TEST_SUITE_P(Signals, EachStopSignal, testing::Values(SIGINT, SIGTERM, SIGHUP));

TEST(StopSignalsTest, ASignalDuringTheWaitEndsItEarly) {
  StopSignals signals;
  // Started after the signals were blocked, as the network thread is.
  std::thread sender([] {
    std::this_thread::sleep_for(milliseconds(200));
    kill(getpid(), SIGTERM);
  });
  Clock::time_point start = Clock::now();
  EXPECT_TRUE(signals.waitFor(milliseconds(10000)));
  EXPECT_LT(Clock::now() - start, milliseconds(5000));
  sender.join();
  EXPECT_EQ(signals.received(), SIGTERM);
}

TEST(StopSignalsTest, OtherSignalsDoNotEndTheWait) {
  StopSignals signals;
  struct sigaction previous;
  struct sigaction quiet = {};
  quiet.sa_handler = [](int) {};
  sigaction(SIGUSR1, &quiet, &previous);
  std::thread sender([] {
    std::this_thread::sleep_for(milliseconds(100));
    kill(getpid(), SIGUSR1);
  });
  Clock::time_point start = Clock::now();
  EXPECT_FALSE(signals.waitFor(milliseconds(400)));
  EXPECT_GE(Clock::now() - start, milliseconds(390));
  sender.join();
  sigaction(SIGUSR1, &previous, nullptr);
}

TEST(StopSignalsTest, TheEarlierMaskComesBackAfterwards) {
  sigset_t before;
  pthread_sigmask(SIG_SETMASK, nullptr, &before);
  { StopSignals signals; }
  sigset_t after;
  pthread_sigmask(SIG_SETMASK, nullptr, &after);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    EXPECT_EQ(sigismember(&before, signal), sigismember(&after, signal)) << signal;
  }
}

}  // namespace
