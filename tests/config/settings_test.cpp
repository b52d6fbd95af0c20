// The embedded settings template and the Settings record loaded from a
// settings file.
#include "config/ini_file.h"
#include "config/settings.h"
#include "config/settings_check.h"
#include "config/settings_template.h"

#include "temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace {

std::string joinLines(const std::vector<std::string>& lines, const std::string& lineEnd) {
  std::string text;
  for (const std::string& line : lines) {
    if (!text.empty()) text += lineEnd;
    text += line;
  }
  return text;
}

TEST(SettingsTemplate, EmbeddedBytesEqualTheTemplateFile) {
  const std::string file = readBytes(TEMPLATE_SOURCE_FILE);
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(settingsTemplate(), file);
}

TEST(SettingsTemplate, HasItsTextWithWindowsLineEndsAndNoneAfterTheLastLine) {
  const std::string expected = joinLines(
      {
          "[main]",
          ";path to lfs.exe",
          "lfs = \"\"",
          ";if tarnbeck should start with windows",
          "systemstart = 0",
          ";name with optional tags for the race stats file",
          "outputname = stats_[DATE]_[TIME]_[TRACK]_[MODE+].xml",
          ";path for xml outputfiles. If it is empty the default one .\\xmlstats will be used",
          "outputpath = \"\"",
          ";parameters wanted to give to lfs",
          "lfsparameters = [INSIM]",
          "",
          "[network]",
          ";IP LFS is used on (mostly localhost, if not using as a dedicated server",
          "serverip = \"127.0.0.1\"",
          ";port tarnbeck will send to",
          "serverport = 35743",
          ";port tarnbeck will listen to ",
          "clientport = 35742",
          ";password needed if set in lfs",
          "adminpw = \"\"",
          "",
          "[extra]",
          ";optional ftp address the race stats should automatically send to example "
          "ftp.example.com/stats",
          "ftpaddr = \"\"",
          ";the 3 following are only needed/used if ftpaddr is set",
          ";http address in wich the stats will be found (could be nearly the same like ftpaddr) "
          "example http://www.example.com/stats/",
          "httpaddr = \"\"",
          ";user for ftp account",
          "ftpuser = \"\"",
          ";password for the ftp account",
          "ftppw = \"\"",
      },
      "\r\n");
  EXPECT_EQ(settingsTemplate(), expected);
}

class SettingsFile : public testing::Test {
 protected:
  IniFile loaded(const std::string& bytes) {
    writeBytes(path, bytes);
    IniFile ini;
    ini.load(path);
    return ini;
  }

  TempFolder folder;
  const std::string path = folder.file("trbk.ini");
};

TEST_F(SettingsFile, TemplateReadAndSavedOnceLosesCommentsAndQuotes) {
  writeBytes(path, settingsTemplate());
  IniFile ini;
  EXPECT_TRUE(ini.load(path));
  ASSERT_TRUE(ini.save());
  EXPECT_EQ(readBytes(path), withTextLineEnds("[main]\n"
                                              "lfs = \"\"\n"
                                              "systemstart = 0\n"
                                              "outputname = stats_[DATE]_[TIME]_[TRACK]_[MODE+].xml\n"
                                              "outputpath = \"\"\n"
                                              "lfsparameters = [INSIM]\n"
                                              "\n"
                                              "[network]\n"
                                              "serverip = 127.0.0.1\n"
                                              "serverport = 35743\n"
                                              "clientport = 35742\n"
                                              "adminpw = \"\"\n"
                                              "\n"
                                              "[extra]\n"
                                              "ftpaddr = \"\"\n"
                                              "httpaddr = \"\"\n"
                                              "ftpuser = \"\"\n"
                                              "ftppw = \"\""));
}

TEST_F(SettingsFile, TemplateGivesItsDefaults) {
  loadSettings(loaded(settingsTemplate()));
  EXPECT_EQ(outputName(), "stats_[DATE]_[TIME]_[TRACK]_[MODE+].xml");
  EXPECT_EQ(outputPath(), "");
  EXPECT_EQ(serverIp(), "127.0.0.1");
  EXPECT_EQ(serverPort(), 35743);
  EXPECT_EQ(clientPort(), 35742);
  EXPECT_EQ(adminPassword(), "");
  EXPECT_EQ(ftpAddress(), "");
  EXPECT_EQ(httpAddress(), "");
  EXPECT_EQ(ftpUser(), "");
  EXPECT_EQ(ftpPassword(), "");
  EXPECT_FALSE(htmlReport());
}

TEST_F(SettingsFile, HtmlReportIsOnlyOnWhenItsKeySaysSo) {
  const struct {
    const char* text;
    bool on;
  } cases[] = {
      {"[output]\nhtmlreport = 1\n", true},       {"[output]\nhtmlreport = \"1\"\n", true},
      {"[output]\nhtmlreport = 0\n", false},      {"[output]\nhtmlreport = \"\"\n", false},
      {"[output]\nhtmlreport = off\n", false},    {"[extra]\nhtmlreport = 1\n", false},  // only in [output]
      {"[main]\noutputname = race.xml\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    loadSettings(loaded(c.text));
    EXPECT_EQ(htmlReport(), c.on);
  }
}

TEST_F(SettingsFile, EveryKeyReachesItsField) {
  loadSettings(
      loaded("[main]\noutputname = race.xml\noutputpath = C:\\stats\n"
             "[network]\nserverip = 10.0.0.2\nserverport = 29999\n"
             "clientport = 30000\nadminpw = secret\n"
             "[extra]\nftpaddr = ftp.example.com/stats\n"
             "httpaddr = http://www.example.com/stats/\nftpuser = racer\nftppw = pw\n"));
  EXPECT_EQ(outputName(), "race.xml");
  EXPECT_EQ(outputPath(), "C:\\stats");
  EXPECT_EQ(serverIp(), "10.0.0.2");
  EXPECT_EQ(serverPort(), 29999);
  EXPECT_EQ(clientPort(), 30000);
  EXPECT_EQ(adminPassword(), "secret");
  EXPECT_EQ(ftpAddress(), "ftp.example.com/stats");
  EXPECT_EQ(httpAddress(), "http://www.example.com/stats/");
  EXPECT_EQ(ftpUser(), "racer");
  EXPECT_EQ(ftpPassword(), "pw");
}

TEST_F(SettingsFile, MissingNetworkSectionGivesEmptyTextsAndPortsZero) {
  loadSettings(loaded(settingsTemplate()));
  loadSettings(loaded("[main]\noutputname = race.xml\n[extra]\nftpaddr = host/dir\n"));
  EXPECT_EQ(serverIp(), "");
  EXPECT_EQ(adminPassword(), "");
  EXPECT_EQ(serverPort(), 0);
  EXPECT_EQ(clientPort(), 0);
  EXPECT_EQ(outputName(), "race.xml");
  EXPECT_EQ(ftpAddress(), "host/dir");
}

struct PortCase {
  std::string text;
  std::uint16_t port;
};

void PrintTo(const PortCase& c, std::ostream* out) {
  *out << "\"";
  for (char ch : c.text) *out << (ch == '\t' ? std::string("\\t") : std::string(1, ch));
  *out << "\"";
}

class SettingsPort : public SettingsFile, public testing::WithParamInterface<PortCase> {};

TEST_P(SettingsPort, ScannedAsUnsignedAndUsedAsLow16Bits) {
  const PortCase& c = GetParam();
  loadSettings(loaded("[network]\nserverport = " + c.text + "\nclientport = " + c.text + "\n"));
  EXPECT_EQ(serverPort(), c.port);
  EXPECT_EQ(clientPort(), c.port);
}

INSTANTIATE_TEST_SUITE_P(Texts, SettingsPort,
                         testing::Values(PortCase{"35743abc", 35743}, PortCase{"\"\"", 0},
                                         PortCase{"70000", 4464}, PortCase{"65536", 0},
                                         PortCase{"\t 8080 9", 8080}, PortCase{"abc", 0}, PortCase{"-1", 0},
                                         PortCase{"0035742", 35742}));

struct ProblemCase {
  const char* name;
  std::string file;
  std::vector<std::string> problems;
};

TEST_F(SettingsFile, NetworkProblemsNameTheKeyTheTextAndThePortUsed) {
  const std::string network = "[network]\nserverip = 127.0.0.1\n";
  const ProblemCase cases[] = {
      {"template", settingsTemplate(), {}},
      {"plain ports, the highest too", network + "serverport = 65535\nclientport = 1\n", {}},
      {"white space around the digits", network + "serverport = \t29999 \nclientport = 030000\n", {}},
      {"not a number",
       network + "serverport = 29999\nclientport = abc\n",
       {"trbk.ini: clientport \"abc\" is not a port number; using 0"}},
      {"digits with a tail",
       network + "serverport = 35743abc\nclientport = 35742\n",
       {"trbk.ini: serverport \"35743abc\" is not a port number; using 35743"}},
      {"two numbers",
       network + "serverport = 8080 9\nclientport = 35742\n",
       {"trbk.ini: serverport \"8080 9\" is not a port number; using 8080"}},
      {"negative",
       network + "serverport = 1\nclientport = -1\n",
       {"trbk.ini: clientport \"-1\" is not a port number; using 0"}},
      {"empty, quoted",
       network + "serverport = \"\"\nclientport = 2\n",
       {"trbk.ini: serverport \"\" is not a port number; using 0"}},
      {"zero",
       network + "serverport = 0\nclientport = 000\n",
       {"trbk.ini: serverport \"0\" is port 0, which cannot be used; using 0",
        "trbk.ini: clientport \"000\" is port 0, which cannot be used; using 0"}},
      {"out of range, as the low 16 bits",
       network + "serverport = 70000\nclientport = 65536\n",
       {"trbk.ini: serverport \"70000\" is out of range (1 to 65535); using 4464",
        "trbk.ini: clientport \"65536\" is out of range (1 to 65535); using 0"}},
      {"beyond 32 bits, which the reading wraps",
       network + "serverport = 4294967297\nclientport = 5\n",
       {"trbk.ini: serverport \"4294967297\" is out of range (1 to 65535); using 1"}},
      {"missing key",
       network + "clientport = 35742\n",
       {"trbk.ini: serverport is missing from [network]; using 0"}},
      {"no network section",
       "[main]\noutputname = race.xml\n[extra]\nftpaddr = \"\"\n",
       {"trbk.ini: there is no [network] section; using serverip \"\", serverport 0 and clientport 0"}},
      {"empty file",
       "",
       {"trbk.ini: there is no [network] section; using serverip \"\", serverport 0 and clientport 0"}},
  };
  for (const ProblemCase& c : cases) {
    SCOPED_TRACE(c.name);
    const IniFile ini = loaded(c.file);
    EXPECT_THAT(networkSettingProblems(ini, "trbk.ini"), testing::ElementsAreArray(c.problems));
    // The values are read as they always were: the port named is the port used.
    loadSettings(ini);
    for (const std::string& problem : c.problems) {
      const std::string used = problem.substr(problem.rfind(' ') + 1);
      if (problem.find("serverport \"") != std::string::npos ||
          problem.find("serverport is") != std::string::npos) {
        EXPECT_EQ(std::to_string(serverPort()), used);
      }
      if (problem.find("clientport \"") != std::string::npos ||
          problem.find("clientport is") != std::string::npos) {
        EXPECT_EQ(std::to_string(clientPort()), used);
      }
    }
  }
}

}  // namespace
