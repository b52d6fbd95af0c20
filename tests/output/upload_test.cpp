// Uploading a stats file: the address rules, the report link, the log entry,
// and real uploads to an FTP server on 127.0.0.1 with their outcome and log.
#include "config/settings.h"
#include "config/shared_state.h"
#include "output/report_link.h"
#include "output/upload.h"
#include "system/clock.h"
#include "support/ftp_server.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

namespace fs = std::filesystem;

struct SplitCase {
  const char* address;
  const char* host;
  const char* directory;
};

TEST(SplitFtpAddress, HostAndFolder) {
  const SplitCase cases[] = {
      {"ftp://h/a/b/", "h", "a/b"},
      {"h/a", "h", "a"},
      {"ftp://h/a", "h", "a"},
      {"FTP://h/a", "FTP:", "/h/a"},  // only the lower-case prefix is known
      {"ftp://h/", "h", ""},          // no folder: the login folder
      {"ftp://h", "h", ""},
      {"h//a//", "h", "/a/"},  // only one trailing "/" is dropped
      {"", "", ""},
  };
  for (const SplitCase& c : cases) {
    FtpAddressParts parts = splitFtpAddress(c.address);
    EXPECT_EQ(parts.host, c.host) << c.address;
    EXPECT_EQ(parts.directory, c.directory) << c.address;
  }
}

TEST(EncodeHttpAddress, DropsTheSchemeAndEncodesEverySlash) {
  const struct {
    const char* address;
    const char* encoded;
  } cases[] = {
      {"http://h/stats/", "h%2Fstats%2F"},
      {"http://www.example.com/a b&c/", "www.example.com%2Fa b&c%2F"},  // nothing else is encoded
      {"www.example.com/stats/", "mple.com%2Fstats%2F"},  // seven characters go, whatever they are
      {"http://", ""},
      {"http:/", ""},
      {"", ""},
      {"http://h/1/2/3/4/5/6/7/8/9/10/11/12/", "h%2F1%2F2%2F3%2F4%2F5%2F6%2F7%2F8%2F9%2F10%2F11%2F12%2F"},
  };
  for (const auto& c : cases) EXPECT_EQ(encodeHttpAddress(c.address), c.encoded) << c.address;
}

// Settings, a fixed clock, a clean outcome and a current folder of its own
// (the log goes there) for every test.
class UploadSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    setFixedLocalTime(LocalTime{2006, 11, 21, 12, 6, 46});
    takeUploadOutcome();
    useSettings("", "http://h/stats/");
  }
  void TearDown() override {
    setFixedLocalTime(std::nullopt);
    replaceSettings(Settings());
  }

  void useSettings(const std::string& ftpaddr, const std::string& httpaddr, const std::string& user = "",
                   const std::string& password = "") {
    Settings settings;
    settings.ftpaddr = ftpaddr;
    settings.httpaddr = httpaddr;
    settings.ftpuser = user;
    settings.ftppw = password;
    replaceSettings(settings);
  }

  std::string log() const { return readFileBytes(folder.path() / "log.txt"); }

  ScratchFolder folder{ScratchFolder::MakeCurrent};
};

TEST_F(UploadSettings, ReportLinkCarriesTheFilesWebAddress) {
  EXPECT_EQ(reportLink("f.xml"),
            "http://lfsreport.example.com/lfsreport/index.php?qfile=&rfile=h%2Fstats%2Ff.xml");
  EXPECT_EQ(std::string(kReportSiteAddress), "http://lfsreport.example.com/lfsreport/");
}

TEST_F(UploadSettings, UploadEntryHasStampAddressAndLink) {
  writeUploadEntry("f.xml");
  EXPECT_EQ(
      log(),
      asTextFile("21.11 12:06:46\n"
                 "http://h/stats/f.xml\n"
                 "http://lfsreport.example.com/lfsreport/index.php?qfile=&rfile=h%2Fstats%2Ff.xml\n\n"));
}

TEST_F(UploadSettings, AnAddressWithoutSchemeIsWrittenWholeButLosesSevenCharactersInTheLink) {
  useSettings("", "www.example.com/stats/");
  writeUploadEntry("f.xml");
  EXPECT_EQ(
      log(),
      asTextFile(
          "21.11 12:06:46\n"
          "www.example.com/stats/f.xml\n"
          "http://lfsreport.example.com/lfsreport/index.php?qfile=&rfile=mple.com%2Fstats%2Ff.xml\n\n"));
}

TEST_F(UploadSettings, FtpIsConfiguredByAnyAddress) {
  EXPECT_FALSE(isFtpConfigured());
  useSettings("h", "");
  EXPECT_TRUE(isFtpConfigured());
}

// Uploads against the real server. The server runs for the whole suite; each
// test clears its folder.
class Upload : public UploadSettings {
 protected:
  static void SetUpTestSuite() { server = std::make_unique<FtpServer>(); }
  static void TearDownTestSuite() { server.reset(); }

  void SetUp() override {
    UploadSettings::SetUp();
    ASSERT_TRUE(server->running()) << server->failure();
    for (const fs::directory_entry& entry : fs::directory_iterator(server->root()))
      fs::remove_all(entry.path());
    fs::create_directory(remote("stats"));
    statsFile = folder.path() / "stats_061121_1206_BL1_race5.xml";
    // Written in text mode, as the stats files are.
    std::ofstream(statsFile) << kDocument;
  }

  void useServer(const std::string& ftpaddr, const std::string& password) {
    useSettings(ftpaddr, "http://h/stats/", server->user(), password);
  }

  fs::path remote(const std::string& relative) const {
    return fs::path(server->root()) / fs::u8path(relative);
  }

  static std::string uploadEntry() {
    return asTextFile(
        "21.11 12:06:46\n"
        "http://h/stats/stats_061121_1206_BL1_race5.xml\n"
        "http://lfsreport.example.com/lfsreport/index.php?qfile=&rfile="
        "h%2Fstats%2Fstats_061121_1206_BL1_race5.xml\n\n");
  }
  // A failure names the file that stays behind, not uploaded.
  static std::string failureEntry(const fs::path& file) {
    return asTextFile("21.11 12:06:46 Couldn\xB4t log into ftp; " + file.string() + " was not uploaded\n\n");
  }

  // The server stores ASCII transfers with its own line ends (LF): the CR LF
  // of a Windows text file and the LF of a Linux one both arrive as LF.
  static constexpr const char* kDocument =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<TRBKSTATS output=\"1.0\"><TRACK/></TRBKSTATS>\n";

  static std::unique_ptr<FtpServer> server;
  fs::path statsFile;
};

std::unique_ptr<FtpServer> Upload::server;

TEST_F(Upload, TheFileArrivesInTheRemoteFolderUnderItsOwnName) {
  useServer("ftp://127.0.0.1/stats/", server->password());
  uploadStatsFile(statsFile.string(), FtpUploadOptions{server->port()});
  EXPECT_EQ(readFileBytes(remote("stats/stats_061121_1206_BL1_race5.xml")), kDocument);
  EXPECT_EQ(takeUploadOutcome(), UploadSucceeded);
  EXPECT_EQ(log(), uploadEntry());
}

TEST_F(Upload, AFileOfTheSameNameIsReplaced) {
  writeFileBytes(remote("stats/stats_061121_1206_BL1_race5.xml"),
                 "an older upload, longer than the new one........");
  useServer("127.0.0.1/stats", server->password());
  uploadStatsFile(statsFile.string(), FtpUploadOptions{server->port()});
  EXPECT_EQ(readFileBytes(remote("stats/stats_061121_1206_BL1_race5.xml")), kDocument);
  EXPECT_EQ(takeUploadOutcome(), UploadSucceeded);
}

TEST_F(Upload, ANestedFolderIsEnteredInOneStep) {
  fs::create_directories(remote("stats/2006/november"));
  useServer("ftp://127.0.0.1/stats/2006/november/", server->password());
  uploadStatsFile(statsFile.string(), FtpUploadOptions{server->port()});
  EXPECT_EQ(readFileBytes(remote("stats/2006/november/stats_061121_1206_BL1_race5.xml")), kDocument);
  EXPECT_EQ(takeUploadOutcome(), UploadSucceeded);
}

TEST_F(Upload, AMissingRemoteFolderLeavesTheFileInTheLoginFolder) {
  useServer("ftp://127.0.0.1/no-such-folder/", server->password());
  uploadStatsFile(statsFile.string(), FtpUploadOptions{server->port()});
  EXPECT_EQ(readFileBytes(remote("stats_061121_1206_BL1_race5.xml")), kDocument);
  EXPECT_FALSE(fs::exists(remote("no-such-folder")));
  EXPECT_EQ(takeUploadOutcome(), UploadSucceeded);
  EXPECT_EQ(log(), uploadEntry());
}

TEST_F(Upload, AnAddressWithoutFolderUploadsIntoTheLoginFolder) {
  useServer("ftp://127.0.0.1/", server->password());
  uploadStatsFile(statsFile.string(), FtpUploadOptions{server->port()});
  EXPECT_EQ(readFileBytes(remote("stats_061121_1206_BL1_race5.xml")), kDocument);
  EXPECT_EQ(takeUploadOutcome(), UploadSucceeded);
}

TEST_F(Upload, AWrongPasswordFailsTheUpload) {
  useServer("ftp://127.0.0.1/stats/", "not-the-password");
  uploadStatsFile(statsFile.string(), FtpUploadOptions{server->port()});
  EXPECT_FALSE(fs::exists(remote("stats/stats_061121_1206_BL1_race5.xml")));
  EXPECT_EQ(takeUploadOutcome(), UploadFailed);
  EXPECT_EQ(log(), failureEntry(statsFile));
}

TEST_F(Upload, AMissingLocalFileFailsTheUpload) {
  useServer("ftp://127.0.0.1/stats/", server->password());
  uploadStatsFile((folder.path() / "missing.xml").string(), FtpUploadOptions{server->port()});
  EXPECT_FALSE(fs::exists(remote("stats/missing.xml")));
  EXPECT_EQ(takeUploadOutcome(), UploadFailed);
  EXPECT_EQ(log(), failureEntry(folder.path() / "missing.xml"));
}

TEST_F(Upload, AFailureFollowedByASuccessIsAnnouncedAsAFailure) {
  useServer("ftp://127.0.0.1/stats/", server->password());
  const fs::path missing = folder.path() / "missing.xml";
  uploadStatsFile(missing.string(), FtpUploadOptions{server->port()});
  uploadStatsFile(statsFile.string(), FtpUploadOptions{server->port()});
  EXPECT_EQ(readFileBytes(remote("stats/stats_061121_1206_BL1_race5.xml")), kDocument);
  EXPECT_EQ(takeUploadOutcome(), UploadFailed);
  EXPECT_EQ(log().rfind(failureEntry(missing), 0), 0u) << log();
}

TEST_F(Upload, AServerThatIsDownFailsTheUpload) {
  ClosedPort closed;
  ASSERT_NE(closed.port(), 0);
  useServer("ftp://127.0.0.1/stats/", server->password());
  uploadStatsFile(statsFile.string(), FtpUploadOptions{closed.port()});
  EXPECT_EQ(takeUploadOutcome(), UploadFailed);
  EXPECT_EQ(log(), failureEntry(statsFile));
}

TEST_F(Upload, AServerThatNeverAnswersTimesOut) {
  SilentServer silent;
  ASSERT_NE(silent.port(), 0);
  useServer("ftp://127.0.0.1/stats/", server->password());
  FtpUploadOptions options{silent.port(), std::chrono::seconds(1), std::chrono::seconds(1)};
  auto start = std::chrono::steady_clock::now();
  uploadStatsFile(statsFile.string(), options);
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_LT(waited, std::chrono::seconds(10));
  EXPECT_EQ(takeUploadOutcome(), UploadFailed);
  EXPECT_EQ(log(), failureEntry(statsFile));
}

}  // namespace
