// The race report's upload after its stats file, against a real FTP server on
// 127.0.0.1: into the same folder with a log line of its own, a failure that
// leaves the stats file's outcome alone, and nothing new while the report is off.
#include "config/settings.h"
#include "config/shared_state.h"
#include "output/upload.h"
#include "system/clock.h"
#include "support/ftp_server.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace {

namespace fs = std::filesystem;

const char kStatsName[] = "stats_061121_1206_BL1_race5.xml";
const char kReportName[] = "stats_061121_1206_BL1_race5.html";
const char kDocument[] = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<TRBKSTATS><TRACK/></TRBKSTATS>\n";
const char kPage[] = "<!DOCTYPE html>\n<html><body>caf\xC3\xA9</body></html>\n";

class ReportUpload : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server = std::make_unique<FtpServer>(); }
  static void TearDownTestSuite() { server.reset(); }

  void SetUp() override {
    ASSERT_TRUE(server->running()) << server->failure();
    setFixedLocalTime(LocalTime{2006, 11, 21, 12, 6, 46});
    takeUploadOutcome();
    for (const fs::directory_entry& entry : fs::directory_iterator(server->root()))
      fs::remove_all(entry.path());
    fs::create_directory(remote("stats"));
    std::ofstream(folder.path() / kStatsName) << kDocument;
    std::ofstream(folder.path() / kReportName) << kPage;
  }
  void TearDown() override {
    setFixedLocalTime(std::nullopt);
    replaceSettings(Settings());
  }

  void useServer(bool htmlreport, const std::string& password) {
    Settings settings;
    settings.ftpaddr = "ftp://127.0.0.1/stats/";
    settings.httpaddr = "http://h/stats/";
    settings.ftpuser = server->user();
    settings.ftppw = password;
    settings.htmlreport = htmlreport;
    replaceSettings(settings);
  }
  void upload() { uploadStatsFile((folder.path() / kStatsName).string(), FtpUploadOptions{server->port()}); }

  fs::path remote(const std::string& relative) const { return fs::path(server->root()) / relative; }
  std::string log() const { return readFileBytes(folder.path() / "log.txt"); }
  static std::string statsEntry() {
    return asTextFile(std::string("21.11 12:06:46\nhttp://h/stats/") + kStatsName +
                      "\nhttp://lfsreport.example.com/lfsreport/index.php?qfile=&rfile=h%2Fstats%2F" +
                      kStatsName + "\n\n");
  }

  static std::unique_ptr<FtpServer> server;
  ScratchFolder folder{ScratchFolder::MakeCurrent};
};

std::unique_ptr<FtpServer> ReportUpload::server;

TEST_F(ReportUpload, TheReportFollowsItsStatsFileIntoTheSameFolder) {
  useServer(true, server->password());
  upload();
  EXPECT_EQ(readFileBytes(remote(std::string("stats/") + kStatsName)), kDocument);
  EXPECT_EQ(readFileBytes(remote(std::string("stats/") + kReportName)), kPage);
  EXPECT_EQ(takeUploadOutcome(), UploadSucceeded);
  EXPECT_EQ(log(), statsEntry() + asTextFile(std::string("21.11 12:06:46 Race report http://h/stats/") +
                                             kReportName + "\n\n"));
}

TEST_F(ReportUpload, AFailedReportUploadIsLoggedAndTheStatsFileStillSucceeded) {
  // The server cannot store a file where a folder of that name is.
  fs::create_directory(remote(std::string("stats/") + kReportName));
  useServer(true, server->password());
  upload();
  EXPECT_EQ(readFileBytes(remote(std::string("stats/") + kStatsName)), kDocument);
  EXPECT_EQ(takeUploadOutcome(), UploadSucceeded);
  EXPECT_EQ(log(), statsEntry() + asTextFile(std::string("21.11 12:06:46 Race report ") + kReportName +
                                             " could not be uploaded\n\n"));
}

TEST_F(ReportUpload, AFailedStatsUploadIsNotFollowedByTheReport) {
  useServer(true, "not-the-password");
  upload();
  EXPECT_EQ(takeUploadOutcome(), UploadFailed);
  EXPECT_EQ(log(), asTextFile("21.11 12:06:46 Couldn\xB4t log into ftp; " +
                              (folder.path() / kStatsName).string() + " was not uploaded\n\n"));
}

TEST_F(ReportUpload, OffOrWithoutAReportOnlyTheStatsFileGoes) {
  for (bool htmlreport : {false, true}) {
    SCOPED_TRACE(htmlreport ? "on, no report file" : "off");
    fs::remove_all(remote("stats"));
    fs::create_directory(remote("stats"));
    fs::remove(folder.path() / "log.txt");
    if (htmlreport) fs::remove(folder.path() / kReportName);
    useServer(htmlreport, server->password());
    upload();
    EXPECT_TRUE(fs::exists(remote(std::string("stats/") + kStatsName)));
    EXPECT_FALSE(fs::exists(remote(std::string("stats/") + kReportName)));
    EXPECT_EQ(takeUploadOutcome(), UploadSucceeded);
    EXPECT_EQ(log(), statsEntry());
  }
}

}  // namespace
