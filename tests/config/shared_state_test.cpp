// The cross-thread slots: the pending-file queue, take-and-clear of the
// upload outcome, and the settings getters.
#include "config/settings.h"
#include "config/shared_state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

void drainPendingFiles() {
  while (takePendingStatsFile()) {
  }
}

TEST(PendingStatsFiles, EmptyQueueGivesNothingAndStaysEmpty) {
  drainPendingFiles();
  EXPECT_FALSE(takePendingStatsFile().has_value());
  EXPECT_FALSE(takePendingStatsFile().has_value());
}

TEST(PendingStatsFiles, EverySavedFileIsTakenOldestFirst) {
  drainPendingFiles();
  setPendingStatsFile("first.xml");
  setPendingStatsFile("second.xml");
  setPendingStatsFile("third.xml");
  EXPECT_EQ(takePendingStatsFile(), std::optional<std::string>("first.xml"));
  EXPECT_EQ(takePendingStatsFile(), std::optional<std::string>("second.xml"));
  setPendingStatsFile("fourth.xml");
  EXPECT_EQ(takePendingStatsFile(), std::optional<std::string>("third.xml"));
  EXPECT_EQ(takePendingStatsFile(), std::optional<std::string>("fourth.xml"));
  EXPECT_FALSE(takePendingStatsFile().has_value());
}

TEST(PendingStatsFiles, NoFileIsLostBetweenTwoThreads) {
  drainPendingFiles();
  constexpr int kFiles = 2000;
  std::thread writer([] {
    for (int i = 0; i < kFiles; ++i) setPendingStatsFile(std::to_string(i));
  });
  std::vector<int> taken;
  while (static_cast<int>(taken.size()) < kFiles) {
    if (auto path = takePendingStatsFile()) taken.push_back(std::stoi(*path));
  }
  writer.join();
  ASSERT_EQ(taken.size(), static_cast<size_t>(kFiles));
  for (int i = 0; i < kFiles; ++i) EXPECT_EQ(taken[i], i);  // oldest first
}

TEST(UploadOutcome, TakeReturnsTheOutcomeAndClearsIt) {
  takeUploadOutcome();
  EXPECT_EQ(takeUploadOutcome(), UploadNone);
  recordUploadOutcome(UploadFailed);
  EXPECT_EQ(takeUploadOutcome(), UploadFailed);
  EXPECT_EQ(takeUploadOutcome(), UploadNone);
}

TEST(UploadOutcome, AFailureSinceTheLastAnnouncementIsWhatTheGameHears) {
  struct Case {
    std::vector<std::uint8_t> outcomes;
    std::uint8_t announced;
  };
  const Case cases[] = {
      {{UploadSucceeded, UploadSucceeded}, UploadSucceeded},
      {{UploadFailed, UploadSucceeded}, UploadFailed},
      {{UploadSucceeded, UploadFailed}, UploadFailed},
      {{UploadSucceeded, UploadFailed, UploadSucceeded}, UploadFailed},
      {{7, UploadSucceeded}, 7},
      {{UploadSucceeded, UploadNone}, UploadSucceeded},
  };
  for (const Case& c : cases) {
    takeUploadOutcome();
    for (std::uint8_t outcome : c.outcomes) recordUploadOutcome(outcome);
    EXPECT_EQ(takeUploadOutcome(), c.announced) << ::testing::PrintToString(c.outcomes);
    EXPECT_EQ(takeUploadOutcome(), UploadNone);
  }
}

TEST(PendingStatsFiles, APathAlreadyWaitingIsQueuedOnce) {
  while (takePendingStatsFile()) {
  }
  for (int i = 0; i < 300; ++i) setPendingStatsFile("a.xml");
  setPendingStatsFile("b.xml");
  setPendingStatsFile("a.xml");
  EXPECT_EQ(takePendingStatsFile(), std::optional<std::string>("a.xml"));
  EXPECT_EQ(takePendingStatsFile(), std::optional<std::string>("b.xml"));
  EXPECT_FALSE(takePendingStatsFile());
  setPendingStatsFile("a.xml");  // taken for upload: a later save waits again
  EXPECT_EQ(takePendingStatsFile(), std::optional<std::string>("a.xml"));
}

TEST(UploadOutcome, EveryOutcomeSetByAnotherThreadIsTakenExactlyOnce) {
  takeUploadOutcome();
  // The setter waits until its outcome was taken before it sets the next, so
  // every set must be seen once: a read-then-reset in two steps would lose some.
  constexpr int kRounds = 5000;
  std::atomic<int> taken{0};
  std::thread setter([&] {
    for (int i = 0; i < kRounds; ++i) {
      recordUploadOutcome(static_cast<std::uint8_t>(1 + i % 2));
      while (taken.load() <= i) std::this_thread::yield();
    }
  });
  int seen = 0;
  while (seen < kRounds) {
    std::uint8_t outcome = takeUploadOutcome();
    if (outcome == UploadNone) continue;
    EXPECT_EQ(outcome, 1 + seen % 2);
    ++seen;
    taken.store(seen);
  }
  setter.join();
  EXPECT_EQ(takeUploadOutcome(), UploadNone);
}

TEST(Flags, SimulatorAndNetworkThreadFlagsKeepTheirValues) {
  setSimulatorRunning(true);
  setNetworkThreadRunning(false);
  EXPECT_TRUE(simulatorRunning());
  EXPECT_FALSE(networkThreadRunning());
  setSimulatorRunning(false);
  setNetworkThreadRunning(true);
  EXPECT_FALSE(simulatorRunning());
  EXPECT_TRUE(networkThreadRunning());
  setNetworkThreadRunning(false);
}

TEST(SettingsGetters, PortsAreTheLow16BitsAndTextsAreCopies) {
  Settings s;
  s.serverport = 70000;
  s.clientport = 35742;
  s.serverip = "127.0.0.1";
  s.ftpaddr = "ftp.example.com/stats";
  replaceSettings(s);
  EXPECT_EQ(serverPort(), 4464);
  EXPECT_EQ(clientPort(), 35742);
  EXPECT_EQ(serverIp(), "127.0.0.1");
  EXPECT_EQ(ftpAddress(), "ftp.example.com/stats");
  EXPECT_EQ(ftpUser(), "");
  replaceSettings(Settings{});
}

}  // namespace
