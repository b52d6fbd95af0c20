// The race report read back from a saved stats file: the same numbers and the
// same page as the report built from the race model at save time, older files
// without the newer elements, and the refusals of files that are not stats
// documents.
#include "output/html_report.h"
#include "output/report_from_race.h"
#include "output/stats_document.h"
#include "output/stats_reader.h"
#include "support/report_races.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// The values a reader of the report compares, one line per player.
std::string numbers(const RaceReport& report) {
  std::ostringstream text;
  for (const ReportPlayer& player : report.players) {
    text << player.name << " pos=" << player.overallPosition.value_or(0) << " laps=" << player.laps.size()
         << " best=" << (player.bestLap ? formatRaceTime(*player.bestLap) : "-") << " total="
         << (player.result ? std::to_string(player.result->totalTimeLead) + ":" +
                                 formatRaceTime(player.result->totalTime)
                           : "-")
         << " lapTimes=";
    for (const ReportLap& lap : player.laps) {
      text << lap.number << "@" << lap.position << "=" << formatRaceTime(lap.time) << "/" << lap.splits.size()
           << ",";
    }
    text << "\n";
  }
  return text.str();
}

class StatsReader : public ::testing::Test {
 protected:
  std::filesystem::path write(const std::string& name, const std::string& bytes) {
    const auto path = folder.path() / name;
    writeFileBytes(path, bytes);
    return path;
  }
  ScratchFolder folder;
};

TEST_F(StatsReader, TheFileGivesTheNumbersAndThePageOfTheModel) {
  const struct {
    const char* name;
    ModelRace (*make)();
  } races[] = {
      {"small race", smallRace},
      {"qualifying", qualifying},
      {"hostile names", hostileRace},
      {"40 players", [] { return bigRace(40, 100); }},
  };
  for (const auto& race : races) {
    SCOPED_TRACE(race.name);
    ModelRace model = race.make();
    const RaceReport fromModel = buildRaceReport(model.players, model.info, "2006-11-21 12:06");
    std::ostringstream document;
    writeStatsDocument(document, model.players, model.info);

    RaceReport fromFile;
    std::string error;
    ASSERT_TRUE(readStatsFile(write("stats.xml", document.str()).string(), fromFile, error)) << error;
    fromFile.savedAt = fromModel.savedAt;
    EXPECT_EQ(numbers(fromFile), numbers(fromModel));
    EXPECT_EQ(renderHtmlReport(fromFile), renderHtmlReport(fromModel));
  }
}

TEST_F(StatsReader, KnownValuesOfTheSmallRace) {
  ModelRace model = smallRace();
  std::ostringstream document;
  writeStatsDocument(document, model.players, model.info);
  RaceReport report;
  std::string error;
  ASSERT_TRUE(readStatsFile(write("stats.xml", document.str()).string(), report, error)) << error;
  ASSERT_TRUE(report.info);
  EXPECT_EQ(report.info->track, "BL1");
  EXPECT_EQ(report.info->host, "^7Tarnbeck ^1demo");
  EXPECT_EQ(
      numbers(report),
      "Bob pos=1 laps=3 best=00:01:04:40 total=0:00:03:14:70 "
      "lapTimes=1@2=00:01:05:70/2,2@1=00:01:04:60/2,3@1=00:01:04:40/2,\n"
      "Alice pos=2 laps=3 best=00:01:05:10 total=0:00:03:15:70 "
      "lapTimes=1@1=00:01:05:20/2,2@2=00:01:05:40/2,3@2=00:01:05:10/2,\n"
      "Carol pos=3 laps=3 best=00:01:06:20 total=0:00:03:59:80 "
      "lapTimes=1@3=00:01:07:10/2,2@3=00:00:00:00/1,3@3=00:01:06:20/2,\n"
      "^1D\xE4^7n^v^^ pos=4 laps=2 best=00:01:13:90 total=- lapTimes=1@4=00:01:14:00/2,2@4=00:01:13:90/2,\n");
  EXPECT_EQ(report.players[2].result->pitStops, 1u);
  EXPECT_EQ(report.players[2].result->penaltyFlags, 16u);
}

TEST_F(StatsReader, AnOlderFileWithoutHostVersionAndSplitsIsRead) {
  const std::string old =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<TRBKSTATS><TRACK><TRACKNAME>FE1</TRACKNAME>"
      "<TOTALLAPS>2</TOTALLAPS></TRACK><PLAYERS><PLAYER><NAME>J\xF6rg</NAME><OVERALLPOS>1</OVERALLPOS>"
      "<BESTLAP>00:01:10:00</BESTLAP><LAPS><LAP><LAPNUMBER>1</LAPNUMBER><LAPTIME>00:01:10:00</LAPTIME></"
      "LAP></LAPS>"
      "</PLAYER></PLAYERS></TRBKSTATS>";
  RaceReport report;
  std::string error;
  ASSERT_TRUE(readStatsFile(write("old.xml", old).string(), report, error)) << error;
  ASSERT_TRUE(report.info);
  EXPECT_EQ(report.info->host, "");
  ASSERT_EQ(report.players.size(), 1u);
  EXPECT_EQ(report.players[0].name, "J\xF6rg");  // the parser's UTF-8 back in ISO-8859-1
  EXPECT_EQ(report.players[0].laps.size(), 1u);
  EXPECT_FALSE(report.players[0].result);
}

TEST_F(StatsReader, FilesThatAreNoStatsDocumentsAreRefusedWithOneLine) {
  const struct {
    const char* name;
    const char* bytes;
    const char* reason;
  } cases[] = {
      {"empty", "", "not well-formed XML"},
      {"text", "hello", "not well-formed XML"},
      {"cut short", "<?xml version=\"1.0\"?>\n<TRBKSTATS><PLAYERS><PLAYER><NAME>a", "not well-formed XML"},
      {"other root", "<html><body/></html>", "not a stats file"},
      {"no players", "<TRBKSTATS><TRACK/></TRBKSTATS>", "not a stats file"},
      {"bad time", "<TRBKSTATS><PLAYERS><PLAYER><BESTLAP>1:2</BESTLAP></PLAYER></PLAYERS></TRBKSTATS>",
       "BESTLAP"},
      {"time field too big",
       "<TRBKSTATS><PLAYERS><PLAYER><BESTLAP>00:01:300:00</BESTLAP></PLAYER></PLAYERS></TRBKSTATS>",
       "BESTLAP"},
      {"bad number",
       "<TRBKSTATS><PLAYERS><PLAYER><LAPS><LAP><LAPNUMBER>x1</LAPNUMBER></LAP></LAPS></PLAYER></PLAYERS></"
       "TRBKSTATS>",
       "LAPNUMBER"},
      {"negative number",
       "<TRBKSTATS><PLAYERS><PLAYER><PITCOUNT>-1</PITCOUNT><TOTALTIME>00:00:01:00:00</TOTALTIME></PLAYER></"
       "PLAYERS>"
       "</TRBKSTATS>",
       "PITCOUNT"},
      {"external entity",
       "<!DOCTYPE TRBKSTATS [<!ENTITY x SYSTEM \"/etc/passwd\">]><TRBKSTATS><PLAYERS><PLAYER><NAME>&x;</NAME>"
       "</PLAYER></PLAYERS></TRBKSTATS>",
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RaceReport report;
    std::string error;
    const bool read = readStatsFile(write("bad.xml", c.bytes).string(), report, error);
    if (c.reason == nullptr) {
      // Entities are not loaded: the name stays empty, nothing from the file system comes in.
      ASSERT_TRUE(read) << error;
      EXPECT_EQ(report.players.at(0).name, "");
      continue;
    }
    EXPECT_FALSE(read);
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
  RaceReport report;
  std::string error;
  EXPECT_FALSE(readStatsFile((folder.path() / "missing.xml").string(), report, error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
