// Race model rules: player lookup and lifecycle, laps and splits, race info and
// the running-order table.
#include "race/race_model.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void fillRow(RaceStats& stats, std::size_t row, std::uint8_t id, std::uint16_t lap, std::uint16_t node) {
  stats.positions[row] = PositionEntry{id, node, lap};
}

RaceStats qualifyingStats() {
  RaceStats stats;
  stats.setRaceInfo("BL1", 0, 0, 0, 20);
  return stats;
}

TEST(RaceModelSession, QualifyingAndLappedRace) {
  struct Case {
    bool hasInfo;
    std::uint8_t laps;
    std::uint8_t qualifyMinutes;
    bool qualifying;
    bool lapped;
  };
  const Case cases[] = {
      {false, 0, 0, false, false}, {true, 0, 0, false, false}, {true, 5, 0, false, true},
      {true, 0, 10, true, false},  {true, 5, 10, true, false},
  };
  for (const Case& c : cases) {
    RaceStats stats;
    if (c.hasInfo) stats.setRaceInfo("BL1", c.laps, 0, 0, c.qualifyMinutes);
    EXPECT_EQ(stats.isQualifying(), c.qualifying) << int(c.laps) << "/" << int(c.qualifyMinutes);
    EXPECT_EQ(stats.isLappedRace(), c.lapped) << int(c.laps) << "/" << int(c.qualifyMinutes);
  }
}

TEST(RaceModelPlayers, FirstPlayerEmptiesTheRunningOrderOutsideQualifyingOnly) {
  RaceStats race;
  fillRow(race, 0, 9, 3, 100);
  fillRow(race, 29, 8, 2, 50);
  race.addPlayer(1, "first");
  for (const PositionEntry& row : race.positions) {
    EXPECT_EQ(row.playerId, 0);
    EXPECT_EQ(row.lap, 0);
  }

  fillRow(race, 0, 9, 3, 100);
  race.addPlayer(2, "second");  // not the first player: the table stays
  EXPECT_EQ(race.positions[0].lap, 3);

  RaceStats qualifying = qualifyingStats();
  fillRow(qualifying, 0, 9, 3, 100);
  qualifying.addPlayer(1, "first");
  EXPECT_EQ(qualifying.positions[0].playerId, 9);
  EXPECT_EQ(qualifying.positions[0].lap, 3);
}

TEST(RaceModelPlayers, NewRecordsStartEmptyAndAreAppended) {
  RaceStats stats;
  PlayerStats& first = stats.addPlayer(5, "Alice");
  PlayerStats& second = stats.addPlayer(6, "Bob");
  for (int i = 0; i < 50; ++i) stats.addPlayer(static_cast<std::uint8_t>(100 + i), "other");
  // Records do not move when others are appended.
  EXPECT_EQ(first.name, "Alice");
  EXPECT_EQ(second.id, 6);
  EXPECT_EQ(&stats.players.front(), &first);
  EXPECT_EQ(first.bestSpeed, 0);
  EXPECT_EQ(first.firstLap, 0);
  EXPECT_TRUE(first.bestLap.isZero());
  EXPECT_TRUE(first.laps.empty());
  EXPECT_FALSE(first.result.has_value());
}

TEST(RaceModelPlayers, TextsAreCutToTheirFieldWidthMinusOne) {
  RaceStats stats;
  PlayerStats& player = stats.addPlayer(1, std::string(40, 'n'));
  EXPECT_EQ(player.name, std::string(23, 'n'));
  player.setUserName(std::string(30, 'u'));
  player.setCarName(std::string(32, 'c'));
  EXPECT_EQ(player.userName, std::string(23, 'u'));
  EXPECT_EQ(player.carName, std::string(31, 'c'));
  player.setCarName(std::string_view("XF\0GTI", 6));
  EXPECT_EQ(player.carName, "XF");

  stats.setRaceInfo("TOOLONG", 1, 0, 0, 0);
  EXPECT_EQ(stats.info->track, "TOOLO");
  stats.info->setHost(std::string(40, 'h'));
  stats.info->setVersion("0.6U12345");
  EXPECT_EQ(stats.info->host, std::string(31, 'h'));
  EXPECT_EQ(stats.info->version, "0.6U123");
}

TEST(RaceModelPlayers, LookupByIdSkipsLeftPlayersButLookupByNameFindsThem) {
  RaceStats stats;
  PlayerStats& left = stats.addPlayer(3, "Racer");
  stats.resetPlayer(left);
  PlayerStats& other = stats.addPlayer(4, "racer");

  EXPECT_EQ(stats.findPlayer(3), nullptr);
  EXPECT_EQ(stats.findPlayer(255), nullptr);  // -1 never matches a player id
  EXPECT_EQ(stats.findPlayer(4), &other);
  EXPECT_EQ(stats.findPlayerByName("Racer"), &left);  // rejoin lookup, case-sensitive
  EXPECT_EQ(stats.findPlayerByName("racer"), &other);
  EXPECT_EQ(stats.findPlayerByName("RACER"), nullptr);
  EXPECT_EQ(stats.findPlayerByName("Race"), nullptr);
  EXPECT_EQ(stats.findLeftPlayerByName("Racer"), &left);
  EXPECT_EQ(stats.findLeftPlayerByName("racer"), nullptr) << "its player is still in the race";
}

TEST(RaceModelPlayers, FirstMatchInListOrderWins) {
  RaceStats stats;
  PlayerStats& first = stats.addPlayer(7, "Twin");
  stats.addPlayer(7, "Twin");
  EXPECT_EQ(stats.findPlayer(7), &first);
  EXPECT_EQ(stats.findPlayerByName("Twin"), &first);
}

TEST(RaceModelPlayers, ResetDropsLapsAndResultButKeepsTheRest) {
  RaceStats stats;
  PlayerStats& player = stats.addPlayer(3, "Racer");
  player.setUserName("user");
  player.setCarName("FXR");
  player.startOrder = 4;
  player.flags = 9;
  player.bestSpeed = 120;
  player.firstLap = 2;
  player.bestLap = RaceTime{0, 1, 2, 3};
  stats.openSplit(player);
  player.result = ResultRecord{};

  stats.resetPlayer(player);
  EXPECT_EQ(player.id, -1);
  EXPECT_TRUE(player.laps.empty());
  EXPECT_FALSE(player.result.has_value());
  EXPECT_EQ(player.name, "Racer");
  EXPECT_EQ(player.userName, "user");
  EXPECT_EQ(player.carName, "FXR");
  EXPECT_EQ(player.startOrder, 4);
  EXPECT_EQ(player.flags, 9);
  EXPECT_EQ(player.bestSpeed, 120);
  EXPECT_EQ(player.firstLap, 2);
  EXPECT_EQ(player.bestLap, (RaceTime{0, 1, 2, 3}));
}

TEST(RaceModelPlayers, RemoveUnlinksOnlyThatPlayer) {
  RaceStats stats;
  stats.addPlayer(1, "a");
  PlayerStats& middle = stats.addPlayer(2, "b");
  stats.addPlayer(3, "c");
  stats.removePlayer(middle);
  ASSERT_EQ(stats.players.size(), 2u);
  EXPECT_EQ(stats.players.front().name, "a");
  EXPECT_EQ(stats.players.back().name, "c");
}

TEST(RaceModelPlayers, ClearKeepsTheRunningOrderAndFinishedCount) {
  RaceStats stats;
  stats.setRaceInfo("BL1", 3, 0, 0, 0);
  stats.addPlayer(1, "a");
  stats.addPlayer(2, "b");
  fillRow(stats, 0, 1, 2, 40);
  stats.finishedCount = 2;

  stats.clear();
  EXPECT_TRUE(stats.players.empty());
  EXPECT_FALSE(stats.info.has_value());
  EXPECT_EQ(stats.finishedCount, 2);
  EXPECT_EQ(stats.positions[0].playerId, 1);
  EXPECT_EQ(stats.positions[0].lap, 2);
  EXPECT_EQ(stats.positions[0].node, 40);
}

TEST(RaceModelLaps, OpenSplitOpensALapOnlyWhenTheNewestHasNoRunningLap) {
  RaceStats stats;
  PlayerStats& player = stats.addPlayer(1, "a");

  stats.openSplit(player);  // no lap yet
  ASSERT_EQ(player.laps.size(), 1u);
  SplitRecord& second = stats.openSplit(player);  // running lap: same lap
  EXPECT_EQ(player.laps.size(), 1u);
  EXPECT_EQ(player.laps[0].splits.size(), 2u);
  EXPECT_EQ(second.speed, 0);

  player.laps.back().time = RaceTime{0, 1, 0, 0};  // lap completed
  stats.openSplit(player);
  ASSERT_EQ(player.laps.size(), 2u);
  EXPECT_EQ(player.laps[1].splits.size(), 1u);

  stats.closeLap(player);  // closed without a time: the next split starts a lap
  stats.openSplit(player);
  EXPECT_EQ(player.laps.size(), 3u);
}

TEST(RaceModelLaps, CloseLapMarksOnlyARunningLapWithSplits) {
  RaceStats stats;
  PlayerStats& player = stats.addPlayer(1, "a");

  stats.closeLap(player);  // no lap: nothing
  EXPECT_TRUE(player.laps.empty());

  stats.openLap(player);
  stats.closeLap(player);  // no split: unchanged
  EXPECT_TRUE(player.laps.back().time.isZero());

  stats.openSplit(player);
  stats.closeLap(player);
  EXPECT_EQ(player.laps.back().time, (RaceTime{0, kClosedLapMinutes, 0, 0}));

  stats.openSplit(player);
  player.laps.back().time = RaceTime{0, 1, 5, 0};
  stats.closeLap(player);  // a timed lap keeps its time
  EXPECT_EQ(player.laps.back().time, (RaceTime{0, 1, 5, 0}));
}

TEST(RaceModelInfo, SetRaceInfoOverwritesAndEmptiesTheHostButKeepsTheVersion) {
  RaceStats stats;
  stats.setRaceInfo("BL1", 5, 1, 2, 0);
  ASSERT_TRUE(stats.info.has_value());
  EXPECT_EQ(stats.info->host, "");
  EXPECT_EQ(stats.info->version, "");
  stats.info->setHost("host");
  stats.info->setVersion("0.6U");

  stats.setRaceInfo("AS3", 0, 3, 4, 15);
  EXPECT_EQ(stats.info->track, "AS3");
  EXPECT_EQ(stats.info->laps, 0);
  EXPECT_EQ(stats.info->weather, 3);
  EXPECT_EQ(stats.info->wind, 4);
  EXPECT_EQ(stats.info->qualifyMinutes, 15);
  EXPECT_EQ(stats.info->host, "");
  EXPECT_EQ(stats.info->version, "0.6U");
}

TEST(RaceModelRunningOrder, PositionsByLapThenNodeThenLowerId) {
  RaceStats stats;
  fillRow(stats, 0, 3, 2, 100);
  fillRow(stats, 1, 5, 2, 100);
  fillRow(stats, 2, 1, 3, 10);
  EXPECT_EQ(stats.positionOf(1), 1);
  EXPECT_EQ(stats.positionOf(3), 2);
  EXPECT_EQ(stats.positionOf(5), 3);
  EXPECT_EQ(stats.positionOf(7), kNoPosition);

  fillRow(stats, 3, 9, 2, 101);
  EXPECT_EQ(stats.positionOf(9), 2);
  EXPECT_EQ(stats.positionOf(5), 4);
}

TEST(RaceModelRunningOrder, RowsAfterTheFirstEmptyRowDoNotCount) {
  RaceStats stats;
  fillRow(stats, 0, 3, 2, 100);
  fillRow(stats, 2, 4, 9, 100);  // row 1 is empty
  EXPECT_EQ(stats.positionOf(3), 1);
  EXPECT_EQ(stats.positionOf(4), kNoPosition);
}

TEST(RaceModelRunningOrder, UpdateUnwrapsNodesUpToTheFinishLine) {
  struct Case {
    const char* what;
    PositionEntry before;  // row 0; lap 0 means empty
    std::uint16_t lap;
    std::uint16_t node;
    PositionEntry after;
  };
  // Track of 500 nodes, finish line at node 20.
  const Case cases[] = {
      {"new car before the finish line", {0, 0, 0}, 1, 300, {7, 300, 1}},
      {"new car just past the finish node is unwrapped", {0, 0, 0}, 1, 20, {7, 520, 0}},
      {"higher lap beyond nodeCount keeps the stored lap", {7, 499, 3}, 4, 5, {7, 505, 3}},
      {"higher lap back below nodeCount takes the lap", {7, 505, 3}, 4, 21, {7, 21, 4}},
      {"lower lap is always taken", {7, 505, 3}, 2, 10, {7, 510, 2}},
      {"same lap is always taken", {7, 300, 3}, 3, 0, {7, 500, 3}},
  };
  for (const Case& c : cases) {
    RaceStats stats;
    stats.positions[0] = c.before;
    stats.updatePosition(7, c.lap, c.node, 500, 20);
    EXPECT_EQ(stats.positions[0].playerId, c.after.playerId) << c.what;
    EXPECT_EQ(stats.positions[0].node, c.after.node) << c.what;
    EXPECT_EQ(stats.positions[0].lap, c.after.lap) << c.what;
  }
}

TEST(RaceModelRunningOrder, UnwrappedNodeIsSixteenBit) {
  RaceStats stats;
  stats.updatePosition(1, 1, 0x8000, 0x9000, 0x8000);
  EXPECT_EQ(stats.positions[0].node, static_cast<std::uint16_t>(0x8000 + 0x9000));
}

TEST(RaceModelRunningOrder, EachCarKeepsItsRowAndAFullTableDropsNewCars) {
  RaceStats stats;
  for (std::uint8_t id = 1; id <= kPositionRows; ++id) stats.updatePosition(id, 1, 100, 500, 20);
  stats.updatePosition(2, 1, 200, 500, 20);
  EXPECT_EQ(stats.positions[1].playerId, 2);
  EXPECT_EQ(stats.positions[1].node, 200);
  EXPECT_EQ(stats.positionOf(2), 1);

  stats.updatePosition(200, 5, 400, 500, 20);  // 31st car: no row left
  EXPECT_EQ(stats.positionOf(200), kNoPosition);
  for (const PositionEntry& row : stats.positions) EXPECT_NE(row.playerId, 200);
}

}  // namespace
