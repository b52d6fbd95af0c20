// Datagrams the simulator sends again because our ACK was lost: every packet
// kind with an ack word, repeated at once and after later packets, is
// acknowledged each time and changes the race once; new ack words and ack
// word 0 are always taken; the memory holds the last 64.
#include "support/tracker_fixture.h"

#include <gmock/gmock.h>

#include <sstream>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string timeText(const RaceTime& time) {
  std::ostringstream out;
  out << int(time.hours) << ':' << int(time.minutes) << ':' << int(time.seconds) << '.'
      << int(time.hundredths);
  return out.str();
}

// Everything the race model holds, as text, so two states compare at a glance.
std::string modelText(const RaceStats& race) {
  std::ostringstream out;
  if (race.info) {
    out << "info " << race.info->track << ' ' << int(race.info->laps) << ' ' << int(race.info->qualifyMinutes)
        << ' ' << int(race.info->weather) << ' ' << int(race.info->wind) << " host=" << race.info->host
        << " version=" << race.info->version << '\n';
  }
  out << "finished " << int(race.finishedCount) << '\n';
  for (const PlayerStats& player : race.players) {
    out << "player " << player.id << ' ' << player.name << ' ' << player.userName << ' ' << player.carName
        << " start=" << int(player.startOrder) << " flags=" << player.flags << " speed=" << player.bestSpeed
        << " first=" << player.firstLap << " best=" << timeText(player.bestLap) << '\n';
    if (player.result) {
      out << "  result " << timeText(player.result->totalTime) << ' ' << int(player.result->position) << ' '
          << int(player.result->pitStops) << '\n';
    }
    for (const LapRecord& lap : player.laps) {
      out << "  lap " << timeText(lap.time) << ' ' << lap.speed << ' ' << int(lap.position) << '\n';
      for (const SplitRecord& split : lap.splits) {
        out << "    split " << timeText(split.time) << ' ' << split.speed << ' ' << int(split.position)
            << '\n';
      }
    }
  }
  for (const PositionEntry& row : race.positions) {
    if (row.lap != 0) out << "row " << int(row.playerId) << ' ' << row.lap << ' ' << row.node << '\n';
  }
  return out.str();
}

const RaceTime kSplit = raceTime(0, 0, 31, 20);
const RaceTime kLap = raceTime(0, 1, 4, 50);

struct RepeatCase {
  const char* name;
  std::uint8_t laps;
  std::uint8_t qualifyMinutes;
  std::string datagram;
  std::uint16_t ack;
  // Packets with new ack words after which a repeat would count again.
  std::vector<std::string> later;
  // Whether the first arrival changes the race (the rest are acknowledged only).
  bool changesRace;
};

class RepeatedDatagramTest : public TrackerTest {
 protected:
  // A session with Ann (3) and Bob (7), each with a split in lap 1.
  void startRace(std::uint8_t laps, std::uint8_t qualifyMinutes) {
    tracker = std::make_unique<lfsReadSocket>(handler);
    ASSERT_TRUE(tracker->OpenServerLink("127.0.0.1", simulatorPort));
    startSession(laps, qualifyMinutes);
    join(3, "Ann");
    join(7, "Bob", 1);
    feed(mciPacket(500, 10, 2, {Car{3, 1, 200, 9000}, Car{7, 1, 190, 8900}}));
    feed(splitPacket(3, kSplit, 4));
    feed(splitPacket(7, kSplit, 5));
    feed(mciPacket(500, 10, 2, {Car{3, 1, 210, 9100}, Car{7, 1, 200, 9050}}));
    replies();
    savedFiles();
  }
};

TEST_F(RepeatedDatagramTest, ARepeatIsAcknowledgedAgainAndChangesNothing) {
  const std::vector<std::string> nextLap = {
      mciPacket(500, 10, 2, {Car{3, 2, 30, 8000}, Car{7, 2, 20, 7900}}),
      splitPacket(3, kSplit, 201),
      splitPacket(7, kSplit, 202),
      mciPacket(500, 10, 2, {Car{3, 2, 230, 9300}, Car{7, 2, 220, 9200}}),
  };
  const RepeatCase cases[] = {
      {"NPL", 5, 0, nplPacket(Joining{12, "Cid", "cid", "FZ5", 0, 2}, 100), 100, {pllPacket(12, 201)}, true},
      {"LAP", 5, 0, lapPacket(3, kLap, 101), 101, nextLap, true},
      {"SP", 5, 0, splitPacket(3, kSplit, 102), 102, nextLap, true},
      {"RES",
       0,
       10,
       resPacket(Finishing{3, raceTime(0, 1, 4, 50), raceTime(0, 1, 4, 50), 0}, 103),
       103,
       {lapPacket(3, kLap, 201), splitPacket(3, kSplit, 202)},
       true},
      {"RST", 5, 0, rstPacket(3, 0, "SO1", 104), 104, {ismPacket("league host")}, true},
      {"PLP", 0, 0, plpPacket(3, 105), 105, nextLap, true},
      {"PLL", 5, 0, pllPacket(7, 106), 106, {nplPacket(Joining{7, "Dan", "dan", "XRT", 0, 2}, 201)}, true},
      {"REN",
       5,
       0,
       renPacket(107),
       107,
       {rstPacket(4, 0, "AS1", 201), mciPacket(500, 10, 1, {}),
        nplPacket(Joining{9, "Eve", "eve", "RB4", 0, 0}, 202), splitPacket(9, kSplit, 203)},
       true},
      {"CLR", 5, 0, clrPacket(108), 108, nextLap, false},
      {"NCN", 5, 0, ncnPacket(109), 109, nextLap, false},
      {"CNL", 5, 0, cnlPacket(110), 110, nextLap, false},
      {"REO", 5, 0, reoPacket(111), 111, nextLap, false},
      {"CPR", 5, 0, cprPacket(112), 112, nextLap, false},
  };
  for (const RepeatCase& c : cases) {
    SCOPED_TRACE(c.name);
    startRace(c.laps, c.qualifyMinutes);
    const std::string before = modelText(race());
    feed(c.datagram);
    EXPECT_THAT(replies(), ::testing::Contains(requestReply("ACK", c.ack)));
    const std::string once = modelText(race());
    EXPECT_EQ(once != before, c.changesRace) << once;
    const std::size_t filesOnce = savedFiles().size();

    tracker->idleRounds = 4;
    feed(c.datagram);
    EXPECT_THAT(replies(), ElementsAre(requestReply("ACK", c.ack)));
    EXPECT_EQ(modelText(race()), once);
    EXPECT_EQ(tracker->idleRounds, 0) << "a repeat is traffic all the same";

    for (const std::string& datagram : c.later) feed(datagram);
    replies();
    const std::string afterLater = modelText(race());
    feed(c.datagram);
    EXPECT_THAT(replies(), ElementsAre(requestReply("ACK", c.ack)));
    EXPECT_EQ(modelText(race()), afterLater);
    EXPECT_EQ(filesOnce, c.name == std::string("REN") ? 1u : 0u);
    EXPECT_THAT(savedFiles(), IsEmpty()) << "a repeated race end saves nothing";
  }
}

TEST_F(RepeatedDatagramTest, NewAckWordsAndAckWordZeroAreAlwaysTaken) {
  struct Case {
    const char* name;
    std::vector<std::string> datagrams;
    std::size_t splits;  // Ann's splits in lap 1 afterwards, one from the race set-up
  };
  const Case cases[] = {
      {"the same split under three ack words",
       {splitPacket(3, kSplit, 300), splitPacket(3, kSplit, 301), splitPacket(3, kSplit, 302)},
       4},
      {"ack word 0 names no packet to repeat", {splitPacket(3, kSplit, 0), splitPacket(3, kSplit, 0)}, 3},
      {"one ack word, other bytes", {splitPacket(3, kSplit, 300), splitPacket(3, kLap, 300)}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    startRace(5, 0);
    for (const std::string& datagram : c.datagrams) feed(datagram);
    EXPECT_EQ(replies().size(), c.datagrams.size());
    ASSERT_EQ(player(3)->laps.size(), 1u);
    EXPECT_EQ(player(3)->laps[0].splits.size(), c.splits);
  }
}

TEST_F(RepeatedDatagramTest, TheLast64AcknowledgedDatagramsAreRemembered) {
  struct Case {
    std::uint16_t between;  // other acknowledged datagrams before the repeat
    bool repeatCounts;
  };
  const Case cases[] = {{63, false}, {64, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.between);
    startRace(5, 0);
    feed(splitPacket(3, kSplit, 400));
    for (std::uint16_t i = 0; i < c.between; ++i) feed(clrPacket(static_cast<std::uint16_t>(500 + i)));
    feed(splitPacket(3, kSplit, 400));
    EXPECT_EQ(replies().size(), c.between + 2u);
    EXPECT_EQ(player(3)->laps[0].splits.size(), c.repeatCounts ? 3u : 2u);
  }
}

}  // namespace
