// The race report: its texts (colour codes, escapes, character set, times,
// penalties), the page drawn for known races read back with a real XML
// parser, and the report file written beside a saved stats file.
#include "config/settings.h"
#include "config/shared_state.h"
#include "support/file_size_limit.h"
#include "output/html_report.h"
#include "output/report_charts.h"
#include "output/report_file.h"
#include "output/report_from_race.h"
#include "output/report_text.h"
#include "output/stats_document.h"
#include "output/stats_file.h"
#include "support/report_races.h"
#include "system/clock.h"
#include "support/scratch_folder.h"
#include "support/xml_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;

struct TextCase {
  const char* name;
  const char* html;
};

TEST(ReportText, NamesShowColoursAndDecodedEscapesAndAreEscaped) {
  const TextCase cases[] = {
      {"^1Red^7White", "<span class=\"c1\">Red</span><span class=\"c7\">White</span>"},
      {"^0a^2b^3c^4d^5e^6f",
       "<span class=\"c0\">a</span><span class=\"c2\">b</span><span class=\"c3\">c</span>"
       "<span class=\"c4\">d</span><span class=\"c5\">e</span><span class=\"c6\">f</span>"},
      {"^1x^8y^9z", "<span class=\"c1\">x</span>yz"},  // ^8 and ^9: the default colour
      {"a^vb^ac^cd^de^sf^qg^th^li^rj^hk^^l", "a|b*c:d\\e/f?g&quot;h&lt;i&gt;j#k^l"},
      {"^^1x", "^<span class=\"c1\">x</span>"},  // colours are read before escapes
      {"^", "^"},
      {"x^", "x^"},
      {"^z^V", "^z^V"},              // unknown codes stay as they are
      {"^Lcaf\xE9", "caf\xC3\xA9"},  // code page switch hidden, Latin-1 as UTF-8
      {"\xA9\xFF", "\xC2\xA9\xC3\xBF"},
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"&amp;", "&amp;amp;"},
      {"'a'", "&#39;a&#39;"},
      {"a\x01\tb\x7F", "ab"},  // control characters HTML does not allow
      {"^\x01"
       "1x",
       "<span class=\"c1\">x</span>"},  // ... are gone before codes are read
      {"^1", ""},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(colouredName(c.name), c.html);
  }
  EXPECT_EQ(plainName("^1D\xE4^7n^v^^"), "D\xE4n|^");
}

TEST(ReportText, TimesAsPeopleReadThem) {
  const struct {
    std::string text;
    const char* expected;
  } cases[] = {
      {lapTimeText(RaceTime{0, 1, 4, 40}), "1:04.40"},
      {lapTimeText(RaceTime{0, 0, 59, 9}), "0:59.09"},
      {lapTimeText(RaceTime{1, 2, 3, 45}), "1:02:03.45"},
      {totalTimeText(ReportResult{RaceTime{0, 3, 14, 70}, 0, 0, 0}), "3:14.70"},
      {totalTimeText(ReportResult{RaceTime{0, 3, 14, 70}, 2, 0, 0}), "2:3:14.70"},
      {gapText(100), "+1.00"},
      {gapText(5), "+0.05"},
      {gapText(6230), "+1:02.30"},
      {lapsBehindText(1), "+1 lap"},
      {lapsBehindText(3), "+3 laps"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, c.expected);
}

TEST(ReportText, PenaltiesInWords) {
  const struct {
    std::uint32_t flags;
    const char* words;
  } cases[] = {
      {0, ""},
      {1 | 2, ""},  // mentioned and confirmed are no penalty
      {16, "30 s"},
      {32, "45 s"},
      {4, "disqualified: drive-through"},
      {8 | 16, "disqualified: stop-go, 30 s"},
      {64, "disqualified: did not pit"},
  };
  for (const auto& c : cases) EXPECT_EQ(penaltyText(c.flags), c.words) << c.flags;
}

TEST(ReportFile, NamedLikeTheStatsFileWithHtml) {
  const TextCase cases[] = {
      {"/s/stats_061121_1206_BL1_race5.xml", "/s/stats_061121_1206_BL1_race5.html"},
      {"C:\\s\\a.b.xml", "C:\\s\\a.b.html"},
      {"/s/noextension", "/s/noextension.html"},
      {"/s.d/name", "/s.d/name.html"},  // a dot in the folder is no extension
      {"/s/.hidden", "/s/.hidden.html"},
      {"/s/x.html", "/s/x.html.html"},  // never the stats file itself
      {"/s/x.HTML", "/s/x.HTML.html"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(reportPathBeside(c.name), c.html) << c.name;
}

RaceReport reportOf(ModelRace race) { return buildRaceReport(race.players, race.info, "2006-11-21 12:06"); }

// The page is XML as well as HTML, so the real XML parser reads it.
class ReportPage : public ::testing::Test {
 protected:
  void show(ModelRace race) {
    page = renderHtmlReport(reportOf(std::move(race)));
    ASSERT_TRUE(isWellFormedXml(page));
  }
  std::string value(const std::string& expression) {
    return xpathString(page, expression).value_or("<no value>");
  }
  // Cell `kind` of every results row, joined by "|".
  std::string column(const std::string& kind) {
    std::string joined;
    const int rows = std::stoi(value("count(//table[@class='results']/tbody/tr)"));
    for (int row = 1; row <= rows; ++row) {
      joined += (row > 1 ? "|" : "") + value("//table[@class='results']/tbody/tr[" + std::to_string(row) +
                                             "]/td[contains(concat(' ', @class, ' '), ' " + kind + " ')]");
    }
    return joined;
  }
  std::string page;
};

TEST_F(ReportPage, RaceResultsInFinishingOrderWithGapsPitsAndPenalties) {
  show(smallRace());
  EXPECT_EQ(value("/html/head/meta/@charset"), "utf-8");
  EXPECT_EQ(value("normalize-space(//h1)"),
            "BL1 \xE2\x80\x93 Race, 3 laps");  // UTF-8 turned back is '?'-free
  EXPECT_NE(value("//header/p").find("2006-11-21 12:06"), std::string::npos);
  EXPECT_NE(value("//header/p").find("0.7F"), std::string::npos);
  EXPECT_EQ(column("pos"), "1|2|3|4");
  EXPECT_EQ(column("name"), "Bob|Alice|Carol|D\xE4n|^");
  EXPECT_EQ(column("user"), "bob|alice|carol|d\xE4n");
  EXPECT_EQ(column("car"), "XRG|XFG|FBM|UF1");
  EXPECT_EQ(column("laps"), "3|3|3|2");
  EXPECT_EQ(column("total"), "3:14.70|3:15.70|3:59.80|");
  EXPECT_EQ(column("gap"), "|+1.00|+45.10|+1 lap");
  EXPECT_EQ(column("best"), "1:04.40|1:05.10|1:06.20|1:13.90");
  EXPECT_EQ(column("pits"), "0|0|1|");
  EXPECT_EQ(column("pen"), "||30 s|");
  EXPECT_EQ(value("count(//td[contains(@class,'fastest')])"), "1");
  EXPECT_EQ(value("//td[contains(@class,'fastest')]/../td[contains(@class,'name')]"), "Bob");
  EXPECT_EQ(value("//table[@class='results']/tbody/tr[4]/td[2]/span[1]/@class"), "c1");
}

TEST_F(ReportPage, ChartsHaveOneLinePerPlayerAndLeaveGapsForLapsWithoutATime) {
  show(smallRace());
  EXPECT_EQ(value("count(//section[@id='lap-chart']//svg[@class='chart']/path[@class='line'])"), "4");
  EXPECT_EQ(value("count(//section[@id='lap-times']//svg[@class='chart']/path[@class='line'])"), "4");
  EXPECT_EQ(value("count(//section[@id='lap-chart']/ul[@class='legend']/li)"), "4");
  // Carol's lap 2 was closed without a time: her lap-time line is two pieces.
  const std::string carol = value("//section[@id='lap-times']//path[@class='line'][title='Carol']/@d");
  EXPECT_EQ(std::count(carol.begin(), carol.end(), 'M'), 2) << carol;
  EXPECT_NE(carol.find("m-4 0 l8 0"), std::string::npos) << "lap 1 alone is not drawn: " << carol;
  // Her lap chart line runs on: the start, then laps 1 to 3 at position 3.
  const std::string position = value("//section[@id='lap-chart']//path[@class='line'][title='Carol']/@d");
  EXPECT_EQ(std::count(position.begin(), position.end(), 'M'), 1) << position;
  EXPECT_EQ(std::count(position.begin(), position.end(), 'L'), 3) << position;
}

TEST_F(ReportPage, LapTablesMarkBestLapAndBestSplits) {
  show(smallRace());
  const std::string carol = "//section[@class='player'][h3[contains(.,'Carol')]]//tbody";
  EXPECT_EQ(value("count(" + carol + "/tr)"), "3");
  EXPECT_EQ(value(carol + "/tr[2]/td[contains(@class,'time')]"), "no time");
  EXPECT_EQ(value(carol + "/tr[3]/td[contains(@class,'time')]/@class"), "time n best");
  EXPECT_EQ(value(carol + "/tr[2]/td[contains(@class,'split')][1]/@class"), "split n best");  // 0:22.20
  EXPECT_EQ(value(carol + "/tr[2]/td[contains(@class,'split')][2]/@class"), "split n none");
  EXPECT_EQ(value(carol + "/tr[3]/td[contains(@class,'split')][2]/@class"), "split n best");  // 0:44.00
  EXPECT_EQ(value("count(//section[@class='player'])"), "4");
}

TEST_F(ReportPage, QualifyingByBestLapWithGapToPoleAndUntimedPlayersLast) {
  show(qualifying());
  EXPECT_EQ(value("normalize-space(//h1)"), "AS3 \xE2\x80\x93 Qualifying, 20 minutes");
  EXPECT_EQ(column("name"), "Ben|Anna|Cleo|Dora");
  EXPECT_EQ(column("pos"), "1|2|3|");
  EXPECT_EQ(column("gap"), "|+0.50|+0.50|");
  EXPECT_EQ(column("best"), "1:29.50|1:30.00|1:30.00|");
  EXPECT_EQ(value("//table[@class='results']//th[7]"), "Gap to pole");
  EXPECT_EQ(value("count(//section[@id='lap-chart'])"), "0");  // no running order in qualifying
  EXPECT_EQ(value("count(//section[@id='lap-times']//path[@class='line'])"), "4");
}

TEST_F(ReportPage, HostileTextsAreEscapedEverywhere) {
  show(hostileRace());
  EXPECT_EQ(value("count(//script|//i|//u|//h1/*)"), "0");  // the heading has no markup of its own
  EXPECT_EQ(column("name"), "<script>alert(1)</script>|&amp;|\"quoted\" 'single'|<>\"*/");
  EXPECT_EQ(column("car"), "&car;|&car;|&car;|&car;");
  EXPECT_EQ(value("normalize-space(//h1)"), "<b> \xE2\x80\x93 Race, 2 laps");
  EXPECT_EQ(value("//section[@id='lap-chart']//path[@class='line'][1]/title"), "<script>alert(1)</script>");
}

TEST_F(ReportPage, FortyPlayersGetFortyLinesThatDiffer) {
  show(bigRace(40, 100));
  EXPECT_EQ(value("count(//section[@id='lap-chart']//path[@class='line'])"), "40");
  EXPECT_EQ(value("count(//section[@id='lap-times']//path[@class='line'])"), "40");
  EXPECT_EQ(value("count(//table[@class='results']/tbody/tr)"), "40");
  std::set<std::string> styles;
  for (std::size_t i = 0; i < 40; ++i)
    styles.insert(std::string(lineStyle(i).colour) + "/" + lineStyle(i).dashes);
  EXPECT_EQ(styles.size(), 40u);
  // A crash lap (driver 6, lap 41) is far above the scale: drawn at the top edge with a mark.
  EXPECT_EQ(
      value("count(//section[@id='lap-times']//path[@class='off'][contains(title,'Driver 6, lap 41')])"),
      "1");
}

TEST_F(ReportPage, ARaceWithoutInfoOrLapsStillRenders) {
  ModelRace race;
  race.players.emplace_back().name = "Solo";
  show(race);
  EXPECT_EQ(value("normalize-space(//h1)"), "Unknown track \xE2\x80\x93 Session");
  EXPECT_EQ(column("name"), "Solo");
}

// Saving a race with the report switched on and off.
class ReportBesideStatsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    setFixedLocalTime(LocalTime{2006, 11, 21, 12, 6, 46});
    while (takePendingStatsFile()) {
    }
  }
  void TearDown() override {
    setFixedLocalTime(std::nullopt);
    replaceSettings(Settings());
    while (takePendingStatsFile()) {
    }
  }
  void useReport(bool on) {
    Settings settings;
    settings.outputpath = output.path().string();
    settings.outputname = "stats_[TRACK]_[MODE+].xml";
    settings.htmlreport = on;
    replaceSettings(settings);
  }
  fs::path statsPath() const { return output.path() / "stats_BL1_race3.xml"; }
  fs::path reportPath() const { return output.path() / "stats_BL1_race3.html"; }
  ScratchFolder output;
};

TEST_F(ReportBesideStatsFile, OnWritesTheReportOfTheSameRaceAndTheSameStatsFile) {
  useReport(false);
  ModelRace race = smallRace();
  ASSERT_TRUE(writeStats(race.players, race.info));
  const std::string withoutReport = readFileBytes(statsPath());
  EXPECT_FALSE(fs::exists(reportPath()));
  fs::remove(statsPath());

  useReport(true);
  race = smallRace();
  ASSERT_TRUE(writeStats(race.players, race.info));
  EXPECT_EQ(readFileBytes(statsPath()), withoutReport);
  EXPECT_EQ(takePendingStatsFile().value_or(""), statsPath().string());  // the XML is queued, not the report
  race = smallRace();
  EXPECT_EQ(readFileBytes(reportPath()),
            asTextFile(renderHtmlReport(buildRaceReport(race.players, race.info, "2006-11-21 12:06"))));
}

TEST_F(ReportBesideStatsFile, AReportThatCannotBeWrittenLeavesTheSaveAlone) {
  useReport(true);
  ModelRace race = smallRace();
  std::ostringstream document;
  writeStatsDocument(document, race.players, race.info);
  const std::size_t xmlSize = asTextFile(document.str()).size();
  {
    // Room for the stats file, not for the larger report.
    FileSizeLimit limit(xmlSize + 100);
    if (!limit.active()) GTEST_SKIP() << "no file size limit on this platform";
    race = smallRace();
    EXPECT_TRUE(writeStats(race.players, race.info));
  }
  EXPECT_EQ(fs::file_size(statsPath()), xmlSize);
  EXPECT_FALSE(fs::exists(reportPath())) << "a partial report was left";
  EXPECT_TRUE(takePendingStatsFile().has_value());
}

TEST_F(ReportBesideStatsFile, AFolderInTheReportsPlaceLeavesTheSaveAlone) {
  useReport(true);
  fs::create_directory(reportPath());
  ModelRace race = smallRace();
  EXPECT_TRUE(writeStats(race.players, race.info));
  EXPECT_TRUE(isWellFormedXml(readFileBytes(statsPath())));
  EXPECT_TRUE(fs::is_directory(reportPath()));
}

TEST_F(ReportBesideStatsFile, BuildingTheReportLeavesTheModelAsTheDocumentDoes) {
  for (ModelRace (*make)() : {smallRace, qualifying}) {
    ModelRace race = make();
    ModelRace untouched = make();
    buildRaceReport(race.players, race.info, "");
    std::ostringstream afterReport;
    std::ostringstream alone;
    writeStatsDocument(afterReport, race.players, race.info);
    writeStatsDocument(alone, untouched.players, untouched.info);
    EXPECT_EQ(afterReport.str(), alone.str());
  }
}

}  // namespace
