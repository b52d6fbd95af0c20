// The timer tick: with no simulator it starts no link; every stats file saved
// since the last tick is handled, oldest first, logged when no FTP address is
// set and uploaded (here: failing, nothing listens) when one is.
#include "shell/timer_tick.h"

#include "config/settings.h"
#include "config/shared_state.h"
#include "link/link_thread.h"
#include "shell/upload_worker.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>

namespace {

class TimerTickTest : public testing::Test {
 protected:
  void SetUp() override {
    while (takePendingStatsFile()) {
    }
    takeUploadOutcome();
    setSimulatorRunning(false);
  }
  void TearDown() override {
    setSimulatorRunning(false);
    waitForNetworkThread();
  }

  static void useFtpAddress(const std::string& address) {
    Settings settings;
    settings.ftpaddr = address;
    settings.ftpuser = "nobody-here";
    settings.ftppw = "not-a-password";
    replaceSettings(settings);
  }

  // The log's entries as "message" texts, time stamps checked and removed.
  static std::vector<std::string> logMessages() {
    std::string log = readFileBytes("log.txt");
    std::vector<std::string> messages;
    const std::string entryEnd = textLineBreak() + textLineBreak();
    const std::regex stamp("^\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d ");
    for (std::string::size_type start = 0; start < log.size();) {
      std::string::size_type end = log.find(entryEnd, start);
      if (end == std::string::npos) {
        ADD_FAILURE() << "an entry without its empty line: " << log.substr(start);
        break;
      }
      std::string entry = log.substr(start, end - start);
      EXPECT_TRUE(std::regex_search(entry, stamp)) << entry;
      messages.push_back(entry.size() > 15 ? entry.substr(15) : entry);
      start = end + entryEnd.size();
    }
    return messages;
  }
};

TEST_F(TimerTickTest, WithoutASimulatorNoLinkStarts) {
  ScratchFolder folder(ScratchFolder::MakeCurrent);
  useFtpAddress("");
  setSimulatorRunning(true);  // stale from an earlier tick
  onTimerTick();
  EXPECT_FALSE(simulatorRunning());
  EXPECT_FALSE(networkThreadRunning());
  EXPECT_TRUE(logMessages().empty());
}

TEST_F(TimerTickTest, EveryWaitingFileIsLoggedOldestFirst) {
  ScratchFolder folder(ScratchFolder::MakeCurrent);
  useFtpAddress("");
  setPendingStatsFile("first.xml");
  setPendingStatsFile("second.xml");
  setPendingStatsFile("third.xml");
  onTimerTick();
  ASSERT_TRUE(uploadWorker().waitUntilDone(std::chrono::seconds(10)));
  EXPECT_EQ(logMessages(),
            (std::vector<std::string>{"Stats file first.xml was saved", "Stats file second.xml was saved",
                                      "Stats file third.xml was saved"}));
  EXPECT_FALSE(takePendingStatsFile().has_value());

  // A quiet tick adds nothing.
  onTimerTick();
  ASSERT_TRUE(uploadWorker().waitUntilDone(std::chrono::seconds(10)));
  EXPECT_EQ(logMessages().size(), 3u);
  EXPECT_EQ(takeUploadOutcome(), UploadNone);
}

TEST_F(TimerTickTest, WithAnFtpAddressEveryWaitingFileIsUploaded) {
  ScratchFolder folder(ScratchFolder::MakeCurrent);
  writeFileBytes(folder.path() / "a.xml", "<a/>");
  writeFileBytes(folder.path() / "b.xml", "<b/>");
  // Nobody listens on this loopback address's FTP port, so each upload fails
  // and says so.
  useFtpAddress("127.0.0.1/stats");
  setPendingStatsFile((folder.path() / "a.xml").string());
  setPendingStatsFile((folder.path() / "b.xml").string());
  onTimerTick();
  ASSERT_TRUE(uploadWorker().waitUntilDone(std::chrono::seconds(30)));
  const std::string failed = "Couldn\xB4t log into ftp; ";
  EXPECT_EQ(logMessages(),
            (std::vector<std::string>{failed + (folder.path() / "a.xml").string() + " was not uploaded",
                                      failed + (folder.path() / "b.xml").string() + " was not uploaded"}));
  EXPECT_EQ(takeUploadOutcome(), UploadFailed);
  EXPECT_FALSE(takePendingStatsFile().has_value());
}

TEST_F(TimerTickTest, FilesLeftAtTheEndAreHandledToo) {
  ScratchFolder folder(ScratchFolder::MakeCurrent);
  useFtpAddress("");
  setPendingStatsFile("late.xml");
  setPendingStatsFile("later.xml");
  handlePendingStatsFiles();
  ASSERT_TRUE(uploadWorker().waitUntilDone(std::chrono::seconds(10)));
  EXPECT_EQ(logMessages(),
            (std::vector<std::string>{"Stats file late.xml was saved", "Stats file later.xml was saved"}));
}

}  // namespace
