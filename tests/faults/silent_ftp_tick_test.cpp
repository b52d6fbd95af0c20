// An FTP server that accepts the connection and then never answers: the
// tick's upload step gives up within the connect time-out, so the tick comes
// back, the failure is logged and announced, and the stats file stays where
// it was saved.
#include "config/settings.h"
#include "config/shared_state.h"
#include "net/socket_library.h"
#include "output/ftp_upload.h"
#include "shell/timer_tick.h"
#include "silent_ftp_port.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace {

TEST(SilentFtpServer, TheTickComesBackWithinTheConnectTimeOut) {
  SocketLibrary library;
  ASSERT_TRUE(library.started());
  SilentFtpPort server;
  if (!server.listening()) GTEST_SKIP() << "port 21 of 127.0.0.1 cannot be taken here";

  ScratchFolder folder(ScratchFolder::MakeCurrent);
  const std::filesystem::path stats = folder.path() / "stats_061121_1206_BL1_race5.xml";
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

  const auto start = std::chrono::steady_clock::now();
  handlePendingStatsFiles();
  const auto waited = std::chrono::steady_clock::now() - start;

  const std::chrono::seconds limit = FtpUploadOptions().connectTimeout;
  EXPECT_LT(waited, limit + std::chrono::seconds(10));
  EXPECT_EQ(takeUploadOutcome(), UploadFailed);
  EXPECT_NE(readFileBytes("log.txt").find("Couldn\xB4t log into ftp"), std::string::npos) << readFileBytes("log.txt");
  EXPECT_EQ(readFileBytes(stats), "<TRBKSTATS/>");
  replaceSettings(Settings());
}

}  // namespace
