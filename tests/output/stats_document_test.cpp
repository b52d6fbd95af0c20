// The stats document: element tree and values, player order, qualifying
// positions, and what building a document leaves in the race model. Every
// document is also read back with xmllint.
#include "output/stats_document.h"

#include "support/xml_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";

// Writes the race's document and checks it with the XML parser: well-formed,
// and one PLAYER element for every player in the race.
std::string checkedDocument(RaceStats& race) {
  std::ostringstream out;
  writeStatsDocument(out, race.players, race.info);
  const std::string document = out.str();
  EXPECT_TRUE(isWellFormedXml(document));
  EXPECT_EQ(xpathString(document, "count(/TRBKSTATS/PLAYERS/PLAYER)"), std::to_string(race.players.size()));
  return document;
}

// The PLAYER elements of a document, in document order, as written.
std::vector<std::string> playerElements(const std::string& document) {
  std::vector<std::string> players;
  const std::string open = "<PLAYER>", close = "</PLAYER>";
  for (std::size_t at = document.find(open); at != std::string::npos; at = document.find(open, at)) {
    const std::size_t end = document.find(close, at);
    if (end == std::string::npos) break;
    players.push_back(document.substr(at, end + close.size() - at));
    at = end;
  }
  return players;
}

PlayerStats& addPlayer(RaceStats& race, std::uint8_t id, const char* name, std::uint8_t startOrder = 0) {
  PlayerStats& player = race.addPlayer(id, name);
  player.startOrder = startOrder;
  return player;
}

LapRecord& addLap(PlayerStats& player, RaceTime time, std::uint8_t position = 0, std::uint16_t speed = 0) {
  LapRecord& lap = player.laps.emplace_back();
  lap.time = time;
  lap.position = position;
  lap.speed = speed;
  return lap;
}

void addSplit(LapRecord& lap, RaceTime time = {}, std::uint8_t position = 0, std::uint16_t speed = 0) {
  lap.splits.push_back(SplitRecord{time, speed, position});
}

ResultRecord& setResult(PlayerStats& player, std::uint8_t position, RaceTime total = {}) {
  player.result = ResultRecord{};
  player.result->position = position;
  player.result->totalTime = total;
  return *player.result;
}

const RaceTime kRunning{};
const std::string kZeroSplit =
    "<SPLIT><SPLITPOSITION>0</SPLITPOSITION><SPLITTIME>00:00:00:00</SPLITTIME><SPLITSPEED>0</SPLITSPEED></"
    "SPLIT>";

TEST(StatsDocument, SmallRaceIsWrittenExactly) {
  RaceStats race;
  race.setRaceInfo("t", 5, 0, 0, 0);
  race.info->setHost("h");
  race.info->setVersion("v");
  PlayerStats& player = addPlayer(race, 3, "n");
  player.setCarName("c");
  player.bestLap = RaceTime{0, 1, 2, 3};
  player.bestSpeed = 90;
  player.firstLap = 1;
  LapRecord& lap = addLap(player, RaceTime{0, 1, 2, 3}, 1, 88);
  addSplit(lap, RaceTime{0, 0, 31, 0}, 1, 120);

  EXPECT_EQ(
      checkedDocument(race),
      kDeclaration +
          "<TRBKSTATS output=\"1.0\" "
          "program=\"1.33b\"><HOST>h</HOST><LFSVERSION>v</LFSVERSION><TRACK><TRACKNAME>t</"
          "TRACKNAME><TOTALLAPS>5</TOTALLAPS><WEATHER>0</WEATHER><WIND>0</WIND><QUALMINS>0</"
          "QUALMINS><PLAYERCOUNT>1</PLAYERCOUNT><SPLITCOUNT>1</SPLITCOUNT></TRACK><PLAYERS><PLAYER><NAME>n</"
          "NAME><UNAME/><STARTORDER>1</STARTORDER><LFSID>3</LFSID><CARNAME>c</CARNAME><TOTALTIME/"
          "><OVERALLPOS>1</OVERALLPOS><BESTLAP>00:01:02:03</BESTLAP><BESTSPEED>90</BESTSPEED><PLLAPCOUNT>1</"
          "PLLAPCOUNT><PITCOUNT/><PENALTYFLAGS/><PLAYERFLAGS>0</PLAYERFLAGS><LAPS><LAP><LAPNUMBER>1</"
          "LAPNUMBER><LAPPOSITION>1</LAPPOSITION><LAPTIME>00:01:02:03</LAPTIME><LAPSPEED>88</"
          "LAPSPEED><SPLITS><SPLIT><SPLITPOSITION>1</SPLITPOSITION><SPLITTIME>00:00:31:00</"
          "SPLITTIME><SPLITSPEED>120</SPLITSPEED></SPLIT></SPLITS></LAP></LAPS></PLAYER></PLAYERS></"
          "TRBKSTATS>");
}

TEST(StatsDocument, EmptyTextsAndAMissingRaceInfo) {
  RaceStats race;
  race.setRaceInfo("BL1", 0, 1, 2, 0);
  PlayerStats& player = addPlayer(race, 0, "");
  EXPECT_EQ(
      checkedDocument(race),
      kDeclaration +
          "<TRBKSTATS output=\"1.0\" program=\"1.33b\"><HOST></HOST><LFSVERSION></LFSVERSION><TRACK>"
          "<TRACKNAME>BL1</TRACKNAME><TOTALLAPS>0</TOTALLAPS><WEATHER>1</WEATHER><WIND>2</WIND>"
          "<QUALMINS>0</QUALMINS><PLAYERCOUNT>1</PLAYERCOUNT><SPLITCOUNT>0</SPLITCOUNT></TRACK><PLAYERS>"
          "<PLAYER><NAME></NAME><UNAME/><STARTORDER>1</STARTORDER><LFSID>0</LFSID><CARNAME></CARNAME>"
          "<TOTALTIME/><OVERALLPOS>1</OVERALLPOS><BESTLAP>00:00:00:00</BESTLAP><BESTSPEED>0</BESTSPEED>"
          "<PLLAPCOUNT>0</PLLAPCOUNT><PITCOUNT/><PENALTYFLAGS/><PLAYERFLAGS>0</PLAYERFLAGS><LAPS/></PLAYER>"
          "</PLAYERS></TRBKSTATS>");

  // Without race info the session is a race: results decide the order.
  race.info.reset();
  player.setUserName("u");
  player.flags = 0x8001;
  PlayerStats& winner = addPlayer(race, 1, "w", 1);
  setResult(winner, 1, RaceTime{1, 2, 3, 4}).totalTimeLead = 7;
  winner.result->pitStops = 2;
  winner.result->penaltyFlags = 300;
  EXPECT_EQ(
      checkedDocument(race),
      kDeclaration +
          "<TRBKSTATS output=\"1.0\" program=\"1.33b\"><TRACK><PLAYERCOUNT>2</PLAYERCOUNT>"
          "<SPLITCOUNT>0</SPLITCOUNT></TRACK><PLAYERS>"
          "<PLAYER><NAME>w</NAME><UNAME/><STARTORDER>2</STARTORDER><LFSID>1</LFSID><CARNAME></CARNAME>"
          "<TOTALTIME>07:01:02:03:04</TOTALTIME><OVERALLPOS>1</OVERALLPOS><BESTLAP>00:00:00:00</BESTLAP>"
          "<BESTSPEED>0</BESTSPEED><PLLAPCOUNT>0</PLLAPCOUNT><PITCOUNT>2</PITCOUNT>"
          "<PENALTYFLAGS>300</PENALTYFLAGS><PLAYERFLAGS>0</PLAYERFLAGS><LAPS/></PLAYER>"
          "<PLAYER><NAME></NAME><UNAME>u</UNAME><STARTORDER>1</STARTORDER><LFSID>0</LFSID>"
          "<CARNAME></CARNAME><TOTALTIME/><OVERALLPOS>2</OVERALLPOS><BESTLAP>00:00:00:00</BESTLAP>"
          "<BESTSPEED>0</BESTSPEED><PLLAPCOUNT>0</PLLAPCOUNT><PITCOUNT/><PENALTYFLAGS/>"
          "<PLAYERFLAGS>32769</PLAYERFLAGS><LAPS/></PLAYER></PLAYERS></TRBKSTATS>");
}

struct DocumentCase {
  const char* what;
  std::function<void(RaceStats&)> build;
  std::vector<std::string> players;  // every PLAYER element, in document order
};

TEST(StatsDocument, PlayersAndLaps) {
  const DocumentCase cases[] = {
      {"qualifying: positions by best lap with a tie, players in list order",
       [](RaceStats& race) {
         race.setRaceInfo("BL1", 0, 0, 0, 20);
         const RaceTime best[] = {{0, 1, 30, 0}, {0, 1, 29, 50}, {0, 1, 30, 0}};
         const char* names[] = {"A", "B", "C"};
         for (std::uint8_t i = 0; i < 3; ++i) {
           PlayerStats& player = addPlayer(race, static_cast<std::uint8_t>(i + 1), names[i], i);
           player.bestLap = best[i];
           addLap(player, best[i]);
           setResult(player, kUnplacedPosition);
         }
       },
       {"<PLAYER><NAME>A</NAME><UNAME/><STARTORDER>1</STARTORDER><LFSID>1</LFSID><CARNAME></CARNAME>"
        "<TOTALTIME>00:00:00:00:00</TOTALTIME><OVERALLPOS>2</OVERALLPOS><BESTLAP>00:01:30:00</BESTLAP>"
        "<BESTSPEED>0</BESTSPEED><PLLAPCOUNT>1</PLLAPCOUNT><PITCOUNT>0</PITCOUNT><PENALTYFLAGS>0</"
        "PENALTYFLAGS>"
        "<PLAYERFLAGS>0</PLAYERFLAGS><LAPS><LAP><LAPNUMBER>0</LAPNUMBER><LAPPOSITION>0</LAPPOSITION>"
        "<LAPTIME>00:01:30:00</LAPTIME><LAPSPEED>0</LAPSPEED><SPLITS/></LAP></LAPS></PLAYER>",
        "<PLAYER><NAME>B</NAME><UNAME/><STARTORDER>2</STARTORDER><LFSID>2</LFSID><CARNAME></CARNAME>"
        "<TOTALTIME>00:00:00:00:00</TOTALTIME><OVERALLPOS>1</OVERALLPOS><BESTLAP>00:01:29:50</BESTLAP>"
        "<BESTSPEED>0</BESTSPEED><PLLAPCOUNT>1</PLLAPCOUNT><PITCOUNT>0</PITCOUNT><PENALTYFLAGS>0</"
        "PENALTYFLAGS>"
        "<PLAYERFLAGS>0</PLAYERFLAGS><LAPS><LAP><LAPNUMBER>0</LAPNUMBER><LAPPOSITION>0</LAPPOSITION>"
        "<LAPTIME>00:01:29:50</LAPTIME><LAPSPEED>0</LAPSPEED><SPLITS/></LAP></LAPS></PLAYER>",
        "<PLAYER><NAME>C</NAME><UNAME/><STARTORDER>3</STARTORDER><LFSID>3</LFSID><CARNAME></CARNAME>"
        "<TOTALTIME>00:00:00:00:00</TOTALTIME><OVERALLPOS>3</OVERALLPOS><BESTLAP>00:01:30:00</BESTLAP>"
        "<BESTSPEED>0</BESTSPEED><PLLAPCOUNT>1</PLLAPCOUNT><PITCOUNT>0</PITCOUNT><PENALTYFLAGS>0</"
        "PENALTYFLAGS>"
        "<PLAYERFLAGS>0</PLAYERFLAGS><LAPS><LAP><LAPNUMBER>0</LAPNUMBER><LAPPOSITION>0</LAPPOSITION>"
        "<LAPTIME>00:01:30:00</LAPTIME><LAPSPEED>0</LAPSPEED><SPLITS/></LAP></LAPS></PLAYER>"}},

      {"qualifying: a player without result has empty elements; a running last lap is written",
       [](RaceStats& race) {
         race.setRaceInfo("BL1", 0, 0, 0, 20);
         PlayerStats& timed = addPlayer(race, 1, "A");
         timed.bestLap = RaceTime{0, 1, 30, 0};
         timed.firstLap = 1;
         addLap(timed, RaceTime{0, 1, 30, 0}, 1);
         addSplit(addLap(timed, kRunning), RaceTime{0, 0, 31, 0}, 0, 50);
         setResult(timed, kUnplacedPosition);
         addPlayer(race, 2, "B", 1);
       },
       {"<PLAYER><NAME>A</NAME><UNAME/><STARTORDER>1</STARTORDER><LFSID>1</LFSID><CARNAME></CARNAME>"
        "<TOTALTIME>00:00:00:00:00</TOTALTIME><OVERALLPOS>1</OVERALLPOS><BESTLAP>00:01:30:00</BESTLAP>"
        "<BESTSPEED>0</BESTSPEED><PLLAPCOUNT>2</PLLAPCOUNT><PITCOUNT>0</PITCOUNT><PENALTYFLAGS>0</"
        "PENALTYFLAGS>"
        "<PLAYERFLAGS>0</PLAYERFLAGS><LAPS><LAP><LAPNUMBER>1</LAPNUMBER><LAPPOSITION>1</LAPPOSITION>"
        "<LAPTIME>00:01:30:00</LAPTIME><LAPSPEED>0</LAPSPEED><SPLITS/></LAP><LAP><LAPNUMBER>2</LAPNUMBER>"
        "<LAPPOSITION>0</LAPPOSITION><LAPTIME>00:00:00:00</LAPTIME><LAPSPEED>0</LAPSPEED><SPLITS><SPLIT>"
        "<SPLITPOSITION>0</SPLITPOSITION><SPLITTIME>00:00:31:00</SPLITTIME><SPLITSPEED>50</SPLITSPEED>"
        "</SPLIT></SPLITS></LAP></LAPS></PLAYER>",
        "<PLAYER><NAME>B</NAME><UNAME/><STARTORDER>2</STARTORDER><LFSID>2</LFSID><CARNAME></CARNAME>"
        "<TOTALTIME/><OVERALLPOS/><BESTLAP>00:00:00:00</BESTLAP><BESTSPEED>0</BESTSPEED>"
        "<PLLAPCOUNT>0</PLLAPCOUNT><PITCOUNT/><PENALTYFLAGS/><PLAYERFLAGS>0</PLAYERFLAGS><LAPS/></PLAYER>"}},

      {"race: results first, then unfinished players by laps, then splits of the last lap, then list order",
       [](RaceStats& race) {
         race.setRaceInfo("BL1", 3, 0, 0, 0);
         addSplit(addLap(addPlayer(race, 11, "U1"), kRunning));
         setResult(addPlayer(race, 12, "R2"), 2, RaceTime{0, 5, 0, 0});
         LapRecord& u2 = addLap(addPlayer(race, 13, "U2"), kRunning);
         addSplit(u2);
         addSplit(u2);
         setResult(addPlayer(race, 14, "R1"), 1, RaceTime{0, 4, 59, 0});
         PlayerStats& u3 = addPlayer(race, 15, "U3");
         u3.bestLap = RaceTime{0, 1, 0, 0};
         addLap(u3, RaceTime{0, 1, 0, 0}, 2);
         addLap(u3, kRunning);
         LapRecord& u4 = addLap(addPlayer(race, 16, "U4"), kRunning);
         addSplit(u4);
         addSplit(u4);
       },
       {"<PLAYER><NAME>R1</NAME><UNAME/><STARTORDER>1</STARTORDER><LFSID>14</LFSID><CARNAME></CARNAME>"
        "<TOTALTIME>00:00:04:59:00</TOTALTIME><OVERALLPOS>1</OVERALLPOS><BESTLAP>00:00:00:00</BESTLAP>"
        "<BESTSPEED>0</BESTSPEED><PLLAPCOUNT>0</PLLAPCOUNT><PITCOUNT>0</PITCOUNT><PENALTYFLAGS>0</"
        "PENALTYFLAGS>"
        "<PLAYERFLAGS>0</PLAYERFLAGS><LAPS/></PLAYER>",
        "<PLAYER><NAME>R2</NAME><UNAME/><STARTORDER>1</STARTORDER><LFSID>12</LFSID><CARNAME></CARNAME>"
        "<TOTALTIME>00:00:05:00:00</TOTALTIME><OVERALLPOS>2</OVERALLPOS><BESTLAP>00:00:00:00</BESTLAP>"
        "<BESTSPEED>0</BESTSPEED><PLLAPCOUNT>0</PLLAPCOUNT><PITCOUNT>0</PITCOUNT><PENALTYFLAGS>0</"
        "PENALTYFLAGS>"
        "<PLAYERFLAGS>0</PLAYERFLAGS><LAPS/></PLAYER>",
        "<PLAYER><NAME>U3</NAME><UNAME/><STARTORDER>1</STARTORDER><LFSID>15</LFSID><CARNAME></CARNAME>"
        "<TOTALTIME/><OVERALLPOS>3</OVERALLPOS><BESTLAP>00:01:00:00</BESTLAP><BESTSPEED>0</BESTSPEED>"
        "<PLLAPCOUNT>2</PLLAPCOUNT><PITCOUNT/><PENALTYFLAGS/><PLAYERFLAGS>0</PLAYERFLAGS><LAPS><LAP>"
        "<LAPNUMBER>0</LAPNUMBER><LAPPOSITION>2</LAPPOSITION><LAPTIME>00:01:00:00</LAPTIME>"
        "<LAPSPEED>0</LAPSPEED><SPLITS/></LAP><LAP><LAPNUMBER>1</LAPNUMBER><LAPPOSITION>0</LAPPOSITION>"
        "<LAPTIME>00:00:00:00</LAPTIME><LAPSPEED>0</LAPSPEED><SPLITS/></LAP></LAPS></PLAYER>",
        "<PLAYER><NAME>U2</NAME><UNAME/><STARTORDER>1</STARTORDER><LFSID>13</LFSID><CARNAME></CARNAME>"
        "<TOTALTIME/><OVERALLPOS>4</OVERALLPOS><BESTLAP>00:00:00:00</BESTLAP><BESTSPEED>0</BESTSPEED>"
        "<PLLAPCOUNT>1</PLLAPCOUNT><PITCOUNT/><PENALTYFLAGS/><PLAYERFLAGS>0</PLAYERFLAGS><LAPS><LAP>"
        "<LAPNUMBER>0</LAPNUMBER><LAPPOSITION>0</LAPPOSITION><LAPTIME>00:00:00:00</LAPTIME>"
        "<LAPSPEED>0</LAPSPEED><SPLITS>" +
            kZeroSplit + kZeroSplit + "</SPLITS></LAP></LAPS></PLAYER>",
        "<PLAYER><NAME>U4</NAME><UNAME/><STARTORDER>1</STARTORDER><LFSID>16</LFSID><CARNAME></CARNAME>"
        "<TOTALTIME/><OVERALLPOS>5</OVERALLPOS><BESTLAP>00:00:00:00</BESTLAP><BESTSPEED>0</BESTSPEED>"
        "<PLLAPCOUNT>1</PLLAPCOUNT><PITCOUNT/><PENALTYFLAGS/><PLAYERFLAGS>0</PLAYERFLAGS><LAPS><LAP>"
        "<LAPNUMBER>0</LAPNUMBER><LAPPOSITION>0</LAPPOSITION><LAPTIME>00:00:00:00</LAPTIME>"
        "<LAPSPEED>0</LAPSPEED><SPLITS>" +
            kZeroSplit + kZeroSplit + "</SPLITS></LAP></LAPS></PLAYER>",
        "<PLAYER><NAME>U1</NAME><UNAME/><STARTORDER>1</STARTORDER><LFSID>11</LFSID><CARNAME></CARNAME>"
        "<TOTALTIME/><OVERALLPOS>6</OVERALLPOS><BESTLAP>00:00:00:00</BESTLAP><BESTSPEED>0</BESTSPEED>"
        "<PLLAPCOUNT>1</PLLAPCOUNT><PITCOUNT/><PENALTYFLAGS/><PLAYERFLAGS>0</PLAYERFLAGS><LAPS><LAP>"
        "<LAPNUMBER>0</LAPNUMBER><LAPPOSITION>0</LAPPOSITION><LAPTIME>00:00:00:00</LAPTIME>"
        "<LAPSPEED>0</LAPSPEED><SPLITS>" +
            kZeroSplit + "</SPLITS></LAP></LAPS></PLAYER>"}},

      {"race: the finishing lap shows the result position; a running lap after the finish is left out",
       [](RaceStats& race) {
         race.setRaceInfo("BL1", 2, 0, 0, 0);
         PlayerStats& running = addPlayer(race, 1, "F");
         running.firstLap = 1;
         running.bestLap = RaceTime{0, 0, 59, 0};
         running.bestSpeed = 130;
         addLap(running, RaceTime{0, 1, 0, 50}, 2, 80);
         addSplit(addLap(running, RaceTime{0, 0, 59, 0}, 1, 81), RaceTime{0, 0, 30, 0}, 1, 120);
         addSplit(addLap(running, kRunning), RaceTime{0, 0, 29, 0}, 1);
         setResult(running, 2, RaceTime{0, 2, 0, 0}).pitStops = 1;
         PlayerStats& winner = addPlayer(race, 2, "W", 1);
         winner.firstLap = 1;
         winner.bestLap = RaceTime{0, 0, 58, 0};
         addLap(winner, RaceTime{0, 1, 0, 0}, 1);
         addLap(winner, RaceTime{0, 0, 58, 0}, 2);
         setResult(winner, 1, RaceTime{0, 1, 58, 0});
       },
       {"<PLAYER><NAME>W</NAME><UNAME/><STARTORDER>2</STARTORDER><LFSID>2</LFSID><CARNAME></CARNAME>"
        "<TOTALTIME>00:00:01:58:00</TOTALTIME><OVERALLPOS>1</OVERALLPOS><BESTLAP>00:00:58:00</BESTLAP>"
        "<BESTSPEED>0</BESTSPEED><PLLAPCOUNT>2</PLLAPCOUNT><PITCOUNT>0</PITCOUNT><PENALTYFLAGS>0</"
        "PENALTYFLAGS>"
        "<PLAYERFLAGS>0</PLAYERFLAGS><LAPS><LAP><LAPNUMBER>1</LAPNUMBER><LAPPOSITION>1</LAPPOSITION>"
        "<LAPTIME>00:01:00:00</LAPTIME><LAPSPEED>0</LAPSPEED><SPLITS/></LAP><LAP><LAPNUMBER>2</LAPNUMBER>"
        "<LAPPOSITION>1</LAPPOSITION><LAPTIME>00:00:58:00</LAPTIME><LAPSPEED>0</LAPSPEED><SPLITS/></LAP>"
        "</LAPS></PLAYER>",
        "<PLAYER><NAME>F</NAME><UNAME/><STARTORDER>1</STARTORDER><LFSID>1</LFSID><CARNAME></CARNAME>"
        "<TOTALTIME>00:00:02:00:00</TOTALTIME><OVERALLPOS>2</OVERALLPOS><BESTLAP>00:00:59:00</BESTLAP>"
        "<BESTSPEED>130</BESTSPEED><PLLAPCOUNT>2</PLLAPCOUNT><PITCOUNT>1</PITCOUNT>"
        "<PENALTYFLAGS>0</PENALTYFLAGS><PLAYERFLAGS>0</PLAYERFLAGS><LAPS><LAP><LAPNUMBER>1</LAPNUMBER>"
        "<LAPPOSITION>2</LAPPOSITION><LAPTIME>00:01:00:50</LAPTIME><LAPSPEED>80</LAPSPEED><SPLITS/></LAP>"
        "<LAP><LAPNUMBER>2</LAPNUMBER><LAPPOSITION>1</LAPPOSITION><LAPTIME>00:00:59:00</LAPTIME>"
        "<LAPSPEED>81</LAPSPEED><SPLITS><SPLIT><SPLITPOSITION>1</SPLITPOSITION>"
        "<SPLITTIME>00:00:30:00</SPLITTIME><SPLITSPEED>120</SPLITSPEED></SPLIT></SPLITS></LAP></LAPS>"
        "</PLAYER>"}},

      {"race: a lap closed without a time, a rejoined player and one who left",
       [](RaceStats& race) {
         race.setRaceInfo("BL1", 0, 0, 0, 0);
         PlayerStats& pitted = addPlayer(race, 4, "P", kRejoinedStartOrder);
         pitted.bestLap = RaceTime{0, 1, 1, 0};
         addSplit(addLap(pitted, RaceTime{0, kClosedLapMinutes, 12, 34}, 3), RaceTime{0, 0, 40, 0}, 3, 90);
         addLap(pitted, RaceTime{0, 1, 1, 0}, 2, 95);
         PlayerStats& left = addPlayer(race, 5, "L");
         race.resetPlayer(left);
       },
       {"<PLAYER><NAME>P</NAME><UNAME/><STARTORDER>Rejoined</STARTORDER><LFSID>4</LFSID><CARNAME></CARNAME>"
        "<TOTALTIME/><OVERALLPOS>1</OVERALLPOS><BESTLAP>00:01:01:00</BESTLAP><BESTSPEED>0</BESTSPEED>"
        "<PLLAPCOUNT>2</PLLAPCOUNT><PITCOUNT/><PENALTYFLAGS/><PLAYERFLAGS>0</PLAYERFLAGS><LAPS><LAP>"
        "<LAPNUMBER>0</LAPNUMBER><LAPPOSITION>3</LAPPOSITION><LAPTIME>00:00:12:34</LAPTIME>"
        "<LAPSPEED>0</LAPSPEED><SPLITS><SPLIT><SPLITPOSITION>3</SPLITPOSITION><SPLITTIME>00:00:40:00"
        "</SPLITTIME><SPLITSPEED>90</SPLITSPEED></SPLIT></SPLITS></LAP><LAP><LAPNUMBER>1</LAPNUMBER>"
        "<LAPPOSITION>2</LAPPOSITION><LAPTIME>00:01:01:00</LAPTIME><LAPSPEED>95</LAPSPEED><SPLITS/></LAP>"
        "</LAPS></PLAYER>",
        "<PLAYER><NAME>L</NAME><UNAME/><STARTORDER>1</STARTORDER><LFSID>-1</LFSID><CARNAME></CARNAME>"
        "<TOTALTIME/><OVERALLPOS>2</OVERALLPOS><BESTLAP>00:00:00:00</BESTLAP><BESTSPEED>0</BESTSPEED>"
        "<PLLAPCOUNT>0</PLLAPCOUNT><PITCOUNT/><PENALTYFLAGS/><PLAYERFLAGS>0</PLAYERFLAGS><LAPS/></PLAYER>"}},

      {"race: names with markup characters are escaped",
       [](RaceStats& race) {
         PlayerStats& player = addPlayer(race, 9, "<b>Tom</b> & \"J\"");
         player.setUserName("a>b");
         player.setCarName("R&D 'GT'");
       },
       {"<PLAYER><NAME>&lt;b&gt;Tom&lt;/b&gt; &amp; "
        "\"J\"</NAME><UNAME>a&gt;b</UNAME><STARTORDER>1</STARTORDER>"
        "<LFSID>9</LFSID><CARNAME>R&amp;D 'GT'</CARNAME><TOTALTIME/><OVERALLPOS>1</OVERALLPOS>"
        "<BESTLAP>00:00:00:00</BESTLAP><BESTSPEED>0</BESTSPEED><PLLAPCOUNT>0</PLLAPCOUNT><PITCOUNT/>"
        "<PENALTYFLAGS/><PLAYERFLAGS>0</PLAYERFLAGS><LAPS/></PLAYER>"}},
  };
  for (const DocumentCase& c : cases) {
    SCOPED_TRACE(c.what);
    RaceStats race;
    c.build(race);
    EXPECT_EQ(playerElements(checkedDocument(race)), c.players);
  }
}

TEST(StatsDocument, ParserReadsBackNamesWithMarkup) {
  RaceStats race;
  race.setRaceInfo("BL1", 0, 0, 0, 0);
  race.info->setHost("Tom & Jerry's <server>");
  race.info->setVersion("0.6\"U\"");
  PlayerStats& player = addPlayer(race, 9, "<b>Tom</b> & \"J\" \xe9");
  player.setUserName("a>b");
  player.setCarName("R&D");
  const std::string document = checkedDocument(race);
  EXPECT_EQ(xpathString(document, "/TRBKSTATS/HOST"), "Tom & Jerry's <server>");
  EXPECT_EQ(xpathString(document, "/TRBKSTATS/LFSVERSION"), "0.6\"U\"");
  EXPECT_EQ(xpathString(document, "//PLAYER[1]/NAME"), "<b>Tom</b> & \"J\" \xe9");
  EXPECT_EQ(xpathString(document, "//PLAYER[1]/UNAME"), "a>b");
  EXPECT_EQ(xpathString(document, "//PLAYER[1]/CARNAME"), "R&D");
}

TEST(StatsDocument, ModelIsRestoredExceptClosedLapMarks) {
  RaceStats race;
  race.setRaceInfo("BL1", 0, 0, 0, 0);
  PlayerStats& pitted = addPlayer(race, 4, "P");
  addSplit(addLap(pitted, RaceTime{0, kClosedLapMinutes, 12, 34}));
  addSplit(addLap(pitted, RaceTime{0, 1, 0, 0}));
  PlayerStats& left = addPlayer(race, 5, "L");
  race.resetPlayer(left);
  PlayerStats& finished = addPlayer(race, 6, "F");
  setResult(finished, 1);

  checkedDocument(race);
  EXPECT_EQ(pitted.id, 4);
  EXPECT_EQ(left.id, -1);
  EXPECT_EQ(finished.id, 6);
  EXPECT_EQ(finished.result->position, 1);
  EXPECT_EQ(pitted.laps[0].time, (RaceTime{0, 0, 12, 34}));
  EXPECT_EQ(race.findPlayer(4), &pitted);
}

TEST(StatsDocument, QualifyingPositionsAreWorkedOutAfreshForEachDocument) {
  RaceStats race;
  race.setRaceInfo("KY1", 0, 0, 0, 15);
  const RaceTime best[] = {{0, 1, 30, 0}, {0, 1, 29, 50}, {0, 1, 30, 0}};
  for (std::uint8_t i = 0; i < 3; ++i) {
    PlayerStats& player = addPlayer(race, i, "q");
    player.bestLap = best[i];
    setResult(player, kUnplacedPosition);
  }
  const std::string first = checkedDocument(race);
  for (const PlayerStats& player : race.players) EXPECT_EQ(player.result->position, kUnplacedPosition);
  EXPECT_EQ(checkedDocument(race), first);
  EXPECT_EQ(xpathString(first, "//PLAYER[1]/OVERALLPOS"), "2");
  EXPECT_EQ(xpathString(first, "//PLAYER[2]/OVERALLPOS"), "1");
  EXPECT_EQ(xpathString(first, "//PLAYER[3]/OVERALLPOS"), "3");
}

TEST(StatsDocument, ResultPositionsWithGapsOrDuplicatesLoseNoPlayer) {
  {
    SCOPED_TRACE("a gap: positions 3 and 1 for two players");
    RaceStats race;
    race.setRaceInfo("BL1", 2, 0, 0, 0);
    setResult(addPlayer(race, 1, "third"), 3);
    setResult(addPlayer(race, 2, "first"), 1);
    const std::string document = checkedDocument(race);
    EXPECT_EQ(xpathString(document, "//PLAYER[1]/NAME"), "first");
    EXPECT_EQ(xpathString(document, "//PLAYER[1]/OVERALLPOS"), "1");
    EXPECT_EQ(xpathString(document, "//PLAYER[2]/NAME"), "third");
    EXPECT_EQ(xpathString(document, "//PLAYER[2]/OVERALLPOS"), "3");
  }
  {
    SCOPED_TRACE("a duplicate: two players at position 1 and one unfinished");
    RaceStats race;
    race.setRaceInfo("BL1", 2, 0, 0, 0);
    setResult(addPlayer(race, 1, "A"), 1);
    setResult(addPlayer(race, 2, "B"), 1);
    addPlayer(race, 3, "C");
    const std::string document = checkedDocument(race);
    EXPECT_EQ(xpathString(document, "//PLAYER[1]/NAME"), "A");
    EXPECT_EQ(xpathString(document, "//PLAYER[2]/NAME"), "C");
    EXPECT_EQ(xpathString(document, "//PLAYER[2]/OVERALLPOS"), "2");
    EXPECT_EQ(xpathString(document, "//PLAYER[3]/NAME"), "B");
    EXPECT_EQ(xpathString(document, "//PLAYER[3]/OVERALLPOS"), "1");
    EXPECT_EQ(race.findPlayer(3)->id, 3);
  }
}

TEST(StatsDocumentParts, SplitCountLooksAtTheFirstThreeLapsOfTheFirstSevenPlayers) {
  struct Case {
    const char* what;
    std::vector<std::vector<std::size_t>> splitsPerLap;  // per player, per lap
    std::size_t expected;
  };
  const Case cases[] = {
      {"no laps", {{}, {}}, 0},
      {"largest lap count wins", {{1, 3}, {2}}, 3},
      {"fourth lap is not looked at", {{1, 1, 1, 5}}, 1},
      {"eighth player is not looked at", {{}, {}, {}, {}, {}, {}, {}, {3}}, 0},
      {"seventh player is", {{}, {}, {}, {}, {}, {}, {2}}, 2},
  };
  for (const Case& c : cases) {
    RaceStats race;
    for (const auto& laps : c.splitsPerLap) {
      PlayerStats& player = addPlayer(race, 1, "p");
      for (std::size_t splits : laps) {
        LapRecord& lap = addLap(player, RaceTime{0, 1, 0, 0});
        for (std::size_t s = 0; s < splits; ++s) addSplit(lap);
      }
    }
    EXPECT_EQ(splitCount(race.players), c.expected) << c.what;
  }
}

TEST(StatsDocumentParts, LapCountLeavesOutOnlyAFinishedPlayersRunningLap) {
  struct Case {
    const char* what;
    RaceTime lastLap;
    bool hasResult;
    bool qualifying;
    std::size_t expected;
  };
  const Case cases[] = {
      {"running, result, race", kRunning, true, false, 1},
      {"running, result, qualifying", kRunning, true, true, 2},
      {"running, no result", kRunning, false, false, 2},
      {"timed, result", RaceTime{0, 1, 0, 0}, true, false, 2},
      {"closed without a time, result", RaceTime{0, kClosedLapMinutes, 0, 0}, true, false, 2},
  };
  for (const Case& c : cases) {
    PlayerStats player;
    addLap(player, RaceTime{0, 1, 0, 0});
    addLap(player, c.lastLap);
    if (c.hasResult) setResult(player, 1);
    EXPECT_EQ(lapCount(player, c.qualifying), c.expected) << c.what;
  }
  PlayerStats noLaps;
  setResult(noLaps, 1);
  EXPECT_EQ(lapCount(noLaps, false), 0u);
}

TEST(StatsDocumentParts, PlayerAtPositionSkipsPickedPlayersAndChangesNone) {
  RaceStats race;
  addPlayer(race, 0, "A");
  addPlayer(race, 1, "B");
  setResult(addPlayer(race, 2, "R"), 1);
  PickedPlayers picked;
  auto pick = [&](unsigned position) {
    PlayerStats* player = playerAtPosition(race.players, position, picked);
    if (player) picked.push_back(player);
    return player ? player->name : std::string("none");
  };
  EXPECT_EQ(pick(1), "R");
  EXPECT_EQ(pick(1), "R");  // a result holder is found by its position
  EXPECT_EQ(pick(2), "A");
  EXPECT_EQ(pick(3), "B");
  EXPECT_EQ(pick(4), "none");
  // Nothing in the model marks a pick: every id is as it was.
  EXPECT_EQ(race.findPlayer(0)->name, "A");
  EXPECT_EQ(race.findPlayer(1)->name, "B");
  EXPECT_EQ(playerAtPosition(race.players, 2, {})->name, "A");
}

TEST(StatsDocumentParts, QualifyingPositionsSkipPlayersWithoutResult) {
  RaceStats race;
  PlayerStats& slow = addPlayer(race, 0, "slow");
  slow.bestLap = RaceTime{0, 2, 0, 0};
  setResult(slow, kUnplacedPosition);
  PlayerStats& none = addPlayer(race, 1, "none");
  none.bestLap = RaceTime{0, 0, 1, 0};
  PlayerStats& fast = addPlayer(race, 2, "fast");
  fast.bestLap = RaceTime{0, 1, 59, 99};
  setResult(fast, kUnplacedPosition);
  assignQualifyingPositions(race.players);
  EXPECT_EQ(slow.result->position, 2);
  EXPECT_FALSE(none.result.has_value());
  EXPECT_EQ(fast.result->position, 1);
  restoreAfterBuild(race.players, true);
  EXPECT_EQ(slow.result->position, kUnplacedPosition);
  EXPECT_EQ(fast.result->position, kUnplacedPosition);
}

TEST(StatsDocumentParts, TimeTexts) {
  EXPECT_EQ(formatRaceTime(RaceTime{}), "00:00:00:00");
  EXPECT_EQ(formatRaceTime(RaceTime{1, 2, 3, 4}), "01:02:03:04");
  EXPECT_EQ(formatRaceTime(RaceTime{100, 254, 59, 255}), "100:254:59:255");
  ResultRecord result;
  result.totalTime = RaceTime{0, 12, 5, 9};
  EXPECT_EQ(formatTotalTime(result), "00:00:12:05:09");
  result.totalTimeLead = 65535;
  EXPECT_EQ(formatTotalTime(result), "65535:00:12:05:09");
}

}  // namespace
