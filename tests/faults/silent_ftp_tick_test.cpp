// An FTP server that accepts the connection and then never answers. The tick
// hands the file to the upload worker and comes back at once; the upload gives
// up within the connect time-out, is logged with the file's name and
// announced; a stop abandons it within a second. The stats file stays where it
// was saved either way.
#include "config/settings.h"
#include "config/shared_state.h"
#include "link/link_thread.h"
#include "net/socket_library.h"
#include "output/ftp_upload.h"
#include "shell/timer_tick.h"
#include "shell/upload_worker.h"
#include "silent_ftp_port.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace {

using std::chrono::seconds;
using std::chrono::steady_clock;

class SilentFtpServer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library.started());
    if (!server.listening()) GTEST_SKIP() << "port 21 of 127.0.0.1 cannot be taken here";
    writeFileBytes(stats, "<TRBKSTATS/>");
    Settings settings;
    settings.ftpaddr = "127.0.0.1/stats";
    settings.httpaddr = "http://127.0.0.1/stats/";
    settings.ftpuser = "user";
    settings.ftppw = "password";
    replaceSettings(settings);
    takeUploadOutcome();
    while (takePendingStatsFile()) {
    }
    setPendingStatsFile(stats.string());
  }
  void TearDown() override {
    replaceSettings(Settings());
    // A simulator running on this machine would have been linked by the tick.
    setSimulatorRunning(false);
    waitForNetworkThread();
  }

  std::string log() const { return readFileBytes("log.txt"); }

  SocketLibrary library;
  SilentFtpPort server;
  ScratchFolder folder{ScratchFolder::MakeCurrent};
  const std::filesystem::path stats = folder.path() / "stats_061121_1206_BL1_race5.xml";
};

TEST_F(SilentFtpServer, TheTickComesBackAtOnceAndTheUploadGivesUpWithinTheConnectTimeOut) {
  const auto start = steady_clock::now();
  onTimerTick();
  EXPECT_LT(steady_clock::now() - start, seconds(1));

  const seconds limit = FtpUploadOptions().connectTimeout;
  ASSERT_TRUE(uploadWorker().waitUntilDone(limit + seconds(10)));
  EXPECT_EQ(takeUploadOutcome(), UploadFailed);
  EXPECT_NE(log().find("Couldn\xB4t log into ftp; " + stats.string() + " was not uploaded"),
            std::string::npos)
      << log();
  EXPECT_EQ(readFileBytes(stats), "<TRBKSTATS/>");
}

TEST_F(SilentFtpServer, AStopAbandonsTheStalledUploadAtOnce) {
  const std::filesystem::path second = folder.path() / "second.xml";
  writeFileBytes(second, "<TRBKSTATS/>");
  onTimerTick();
  setPendingStatsFile(second.string());
  handlePendingStatsFiles();
  EXPECT_FALSE(uploadWorker().waitUntilDone(std::chrono::milliseconds(500))) << "the server never answers";

  const auto start = steady_clock::now();
  uploadWorker().abandon();
  ASSERT_TRUE(uploadWorker().waitUntilDone(seconds(3)));
  EXPECT_LT(steady_clock::now() - start, seconds(3));
  EXPECT_NE(log().find(stats.string() + " was not uploaded"), std::string::npos) << log();
  EXPECT_NE(log().find("Stats file " + second.string() + " was not uploaded: the program stopped"),
            std::string::npos)
      << log();
  EXPECT_EQ(readFileBytes(stats), "<TRBKSTATS/>");
  EXPECT_EQ(readFileBytes(second), "<TRBKSTATS/>");
}

}  // namespace
