// How the simulator's packets change the race held by the read socket:
// joins and rejoins, car samples, splits, laps, results, pits, leaves, race
// state, host and version.
#include "support/tracker_fixture.h"

#include <gmock/gmock.h>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const RaceTime kSplit1 = raceTime(0, 0, 31, 50);
const RaceTime kLap1 = raceTime(0, 1, 2, 3);

TEST_F(TrackerTest, AJoiningPlayerIsRecordedWithTheFieldsOfTheirPacket) {
  startSession(5, 0);
  Joining ann{12, "Ann", "ann_online", "FZR", 0x0208, 4};
  feed(nplPacket(ann, 98));
  EXPECT_THAT(replies(), ElementsAre(requestReply("ACK", 98)));
  ASSERT_EQ(race().players.size(), 1u);
  const PlayerStats& record = race().players.front();
  EXPECT_EQ(record.id, 12);
  EXPECT_EQ(record.name, "Ann");
  EXPECT_EQ(record.userName, "ann_online");
  EXPECT_EQ(record.carName, "FZR");
  EXPECT_EQ(record.flags, 0x0208);
  EXPECT_EQ(record.startOrder, 4);

  // The same id again: only the car changes.
  Joining again{12, "Other", "other_user", "XRG", 0x0001, 9};
  feed(nplPacket(again, 99));
  ASSERT_EQ(race().players.size(), 1u);
  EXPECT_EQ(record.name, "Ann");
  EXPECT_EQ(record.userName, "ann_online");
  EXPECT_EQ(record.carName, "XRG");
  EXPECT_EQ(record.flags, 0x0208);
  EXPECT_EQ(record.startOrder, 4);
}

TEST_F(TrackerTest, AJoiningPlayersTextsAreCutToTheirRecordFields) {
  startSession(5, 0);
  const std::string longName(31, 'n');
  const std::string longCar(31, 'c');
  feed(nplPacket(Joining{3, longName, std::string(23, 'u'), longCar, 0, 0}, 1));
  ASSERT_EQ(race().players.size(), 1u);
  EXPECT_EQ(race().players.front().name, std::string(23, 'n'));
  EXPECT_EQ(race().players.front().carName, longCar);
  EXPECT_EQ(race().players.front().userName, std::string(23, 'u'));

  // The same long name under a new id is the same driver.
  feed(pllPacket(3, 2));
  feed(nplPacket(Joining{8, longName, "u", "XRT", 0, 0}, 3));
  ASSERT_EQ(race().players.size(), 1u);
  EXPECT_EQ(race().players.front().id, 8);
}

TEST_F(TrackerTest, ARejoiningPlayerStartsAfreshInARaceButKeepsQualifyingLaps) {
  struct Case {
    const char* session;
    std::uint8_t laps;
    std::uint8_t qualifyMinutes;
    std::size_t lapsKept;
    std::uint8_t startOrder;
  };
  const Case cases[] = {
      {"race", 5, 0, 0, 255},
      {"practice", 0, 0, 0, 255},
      {"qualifying", 0, 20, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.session);
    tracker = std::make_unique<lfsReadSocket>(handler);
    ASSERT_TRUE(tracker->OpenServerLink("127.0.0.1", simulatorPort));
    startSession(c.laps, c.qualifyMinutes);
    join(3, "Ann", 2);
    feed(splitPacket(3, kSplit1, 4));
    feed(lapPacket(3, kLap1, 5));
    feed(pllPacket(3, 6));
    ASSERT_EQ(race().players.front().id, -1);

    feed(nplPacket(Joining{9, "Ann", "ann2", "RB4", 0x10, 6}, 7));
    EXPECT_THAT(replies(), ::testing::Contains(requestReply("ACK", 7)));
    ASSERT_EQ(race().players.size(), 1u);
    const PlayerStats& record = race().players.front();
    EXPECT_EQ(record.id, 9);
    EXPECT_EQ(record.laps.size(), c.lapsKept);
    EXPECT_EQ(record.startOrder, c.startOrder);
    EXPECT_EQ(record.carName, "RB4");
    EXPECT_EQ(record.userName, "ann2");
    EXPECT_EQ(record.flags, 0x10);
  }
}

TEST_F(TrackerTest, CarSamplesGiveSpeedsFirstLapAndRunningOrder) {
  startSession(5, 0);
  join(3, "Ann");
  join(7, "Bob", 1);
  // Bob's entry ends the list with a zero lap byte: Ann's after it is not read.
  feed(mciPacket(500, 10, 2, {Car{7, 0, 100, 0}, Car{3, 1, 200, 90}}));
  EXPECT_EQ(player(3)->bestSpeed, 0);
  EXPECT_EQ(player(3)->firstLap, 0);

  // Lap 259 sits in 11 bits: the top three in the node word.
  feed(mciPacket(500, 10, 2, {Car{7, 259, 100, 0}, Car{3, 1, 200, 90}, Car{42, 1, 300, 500}}));
  EXPECT_EQ(player(7)->firstLap, 0) << "standing still does not start the first lap";
  EXPECT_EQ(player(3)->firstLap, 1);
  EXPECT_EQ(player(3)->bestSpeed, 90);
  EXPECT_EQ(race().positionOf(3), 2);
  EXPECT_EQ(race().positionOf(7), 1);
  EXPECT_EQ(race().positionOf(42), 255) << "unknown players get no row";

  feed(mciPacket(500, 10, 2, {Car{7, 259, 120, 140}, Car{3, 2, 250, 60}}));
  EXPECT_EQ(player(7)->firstLap, 259);
  EXPECT_EQ(player(7)->bestSpeed, 140);
  EXPECT_EQ(player(3)->bestSpeed, 90) << "only a higher speed counts";
  EXPECT_EQ(player(3)->firstLap, 1);
  EXPECT_THAT(replies(), IsEmpty());
}

TEST_F(TrackerTest, SplitsTakeRunningPositionsAndTheNextSamplesSpeed) {
  startSession(5, 0);
  join(3, "Ann");
  join(7, "Bob", 1);
  feed(mciPacket(500, 10, 2, {Car{3, 1, 300, 100}, Car{7, 1, 200, 100}}));
  feed(splitPacket(7, kSplit1, 4));
  EXPECT_THAT(replies(), ElementsAre(requestReply("ACK", 4)));
  ASSERT_EQ(player(7)->laps.size(), 1u);
  ASSERT_EQ(player(7)->laps[0].splits.size(), 1u);
  const SplitRecord& split = player(7)->laps[0].splits[0];
  EXPECT_EQ(split.time, kSplit1);
  EXPECT_EQ(split.position, 2);
  EXPECT_EQ(split.speed, 0);

  feed(mciPacket(500, 10, 2, {Car{7, 1, 210, 123}}));
  EXPECT_EQ(player(7)->laps[0].splits[0].speed, 123);
  feed(mciPacket(500, 10, 2, {Car{7, 1, 220, 150}}));
  EXPECT_EQ(player(7)->laps[0].splits[0].speed, 123) << "filled once only";
}

TEST_F(TrackerTest, LapsTakeTimePositionAndBestLapInARace) {
  startSession(5, 0);
  join(3, "Ann");
  join(7, "Bob", 1);
  feed(mciPacket(500, 10, 2, {Car{3, 2, 20, 100}, Car{7, 1, 400, 100}}));
  feed(lapPacket(3, raceTime(0, 1, 5, 0), 8));
  EXPECT_THAT(replies(), ElementsAre(requestReply("ACK", 8)));
  ASSERT_EQ(player(3)->laps.size(), 1u) << "a lap is opened for a player without one";
  EXPECT_EQ(player(3)->laps[0].time, raceTime(0, 1, 5, 0));
  EXPECT_EQ(player(3)->laps[0].speed, 1) << "the next sample supplies the speed";
  EXPECT_EQ(player(3)->laps[0].position, 1);
  EXPECT_EQ(player(3)->bestLap, raceTime(0, 1, 5, 0));

  feed(mciPacket(500, 10, 2, {Car{3, 2, 30, 133}}));
  EXPECT_EQ(player(3)->laps[0].speed, 133);

  struct Step {
    RaceTime lapTime;
    RaceTime bestLap;
  };
  const Step steps[] = {
      {raceTime(0, 1, 6, 0), raceTime(0, 1, 5, 0)},    // slower: best stays
      {raceTime(0, 1, 4, 99), raceTime(0, 1, 4, 99)},  // faster: new best
  };
  std::size_t laps = 1;
  std::uint16_t ack = 9;  // each packet its own: the same bytes again would be a repeat
  for (const Step& step : steps) {
    feed(splitPacket(3, kSplit1, ack++));  // the split after a completed lap opens the next
    feed(lapPacket(3, step.lapTime, ack++));
    ++laps;
    ASSERT_EQ(player(3)->laps.size(), laps);
    EXPECT_EQ(player(3)->laps.back().time, step.lapTime);
    EXPECT_EQ(player(3)->bestLap, step.bestLap);
  }
}

TEST_F(TrackerTest, InQualifyingSplitsHaveNoPositionAndLapsTakeTheirsFromResults) {
  startSession(0, 20);
  join(3, "Ann");
  join(7, "Bob", 1);
  const auto rowsBefore = race().positions;
  feed(mciPacket(500, 10, 2, {Car{3, 1, 300, 100}, Car{7, 1, 200, 100}}));
  EXPECT_EQ(race().positions[0].lap, rowsBefore[0].lap) << "no running order in qualifying";
  EXPECT_EQ(race().positionOf(3), 255);

  feed(splitPacket(3, kSplit1, 4));
  feed(lapPacket(3, raceTime(0, 1, 30, 0), 5));
  ASSERT_EQ(player(3)->laps.size(), 1u);
  EXPECT_EQ(player(3)->laps[0].splits[0].position, 0);
  EXPECT_EQ(player(3)->laps[0].position, 0);
  EXPECT_EQ(player(3)->bestLap, RaceTime{}) << "qualifying best laps come from results";

  Finishing first{3, raceTime(0, 1, 30, 0), raceTime(0, 1, 30, 0), 1, 0, 0, 0};
  feed(resPacket(first, 6));
  EXPECT_THAT(replies(), ::testing::Contains(requestReply("ACK", 6)));
  ASSERT_TRUE(player(3)->result.has_value());
  EXPECT_EQ(player(3)->result->position, 255);
  EXPECT_EQ(player(3)->laps.back().position, 2);
  EXPECT_EQ(player(3)->bestLap, raceTime(0, 1, 30, 0));

  // An improvement: the lap position and best lap follow, the result stays.
  feed(splitPacket(3, kSplit1, 7));
  feed(lapPacket(3, raceTime(0, 1, 29, 0), 8));
  Finishing better{3, raceTime(0, 3, 0, 0), raceTime(0, 1, 29, 0), 0, 0, 0, 0};
  feed(resPacket(better, 9));
  ASSERT_EQ(player(3)->laps.size(), 2u);
  EXPECT_EQ(player(3)->laps.back().position, 1);
  EXPECT_EQ(player(3)->bestLap, raceTime(0, 1, 29, 0));
  EXPECT_EQ(player(3)->result->totalTime, raceTime(0, 1, 30, 0));

  // A result for a qualifier without laps opens one to carry the position.
  Finishing bob{7, raceTime(0, 2, 0, 0), raceTime(0, 1, 40, 0), 2, 0, 0, 0};
  feed(resPacket(bob, 10));
  ASSERT_EQ(player(7)->laps.size(), 1u);
  EXPECT_EQ(player(7)->laps[0].position, 3);
}

TEST_F(TrackerTest, AResultFreezesAPlayerOfALappedRaceExceptForAPendingLapSpeed) {
  startSession(3, 0);
  join(3, "Ann");
  feed(mciPacket(500, 10, 1, {Car{3, 3, 400, 100}}));
  feed(splitPacket(3, kSplit1, 4));
  feed(mciPacket(500, 10, 1, {Car{3, 3, 420, 110}}));
  feed(lapPacket(3, kLap1, 5));
  Finishing done{3, raceTime(0, 3, 10, 0), raceTime(0, 1, 1, 0), 0, 1, 1, 4};
  feed(resPacket(done, 6));
  EXPECT_THAT(replies(), ElementsAre(requestReply("ACK", 4), requestReply("ACK", 5), requestReply("ACK", 6)));

  ASSERT_TRUE(player(3)->result.has_value());
  const ResultRecord& result = *player(3)->result;
  EXPECT_EQ(result.totalTime, raceTime(0, 3, 10, 0));
  EXPECT_EQ(result.totalTimeLead, 1);
  EXPECT_EQ(result.pitStops, 1);
  EXPECT_EQ(result.penaltyFlags, 4);
  EXPECT_EQ(result.position, 1);
  EXPECT_EQ(player(3)->bestLap, raceTime(0, 1, 1, 0));

  // The pending lap speed is still filled; nothing else changes.
  feed(mciPacket(500, 10, 1, {Car{3, 4, 30, 250}}));
  const PlayerStats& ann = *player(3);
  EXPECT_EQ(ann.laps.back().speed, 250);
  EXPECT_EQ(ann.bestSpeed, 110);
  EXPECT_EQ(race().positions[0].lap, 4) << "the running order still moves";
  EXPECT_EQ(race().positions[0].node, 30);

  feed(splitPacket(3, kSplit1, 7));
  feed(lapPacket(3, raceTime(0, 0, 59, 0), 8));
  Finishing later{3, raceTime(0, 9, 0, 0), raceTime(0, 0, 50, 0), 5, 0, 0, 0};
  feed(resPacket(later, 9));
  feed(mciPacket(500, 10, 1, {Car{3, 4, 60, 300}}));
  EXPECT_THAT(replies(), ElementsAre(requestReply("ACK", 7), requestReply("ACK", 8), requestReply("ACK", 9)));
  EXPECT_EQ(ann.laps.size(), 1u);
  EXPECT_EQ(ann.laps.back().time, kLap1);
  EXPECT_EQ(ann.laps.back().splits.size(), 1u);
  EXPECT_EQ(ann.laps.back().speed, 250);
  EXPECT_EQ(ann.bestSpeed, 110);
  EXPECT_EQ(ann.bestLap, raceTime(0, 1, 1, 0));
  EXPECT_EQ(ann.result->totalTime, raceTime(0, 3, 10, 0));
  EXPECT_EQ(ann.result->position, 1);
}

TEST_F(TrackerTest, OutsideALappedRaceAResultDoesNotFreezeThePlayer) {
  startSession(0, 0);  // practice
  join(3, "Ann");
  feed(resPacket(Finishing{3, raceTime(0, 3, 0, 0), raceTime(0, 1, 0, 0), 0, 0, 0, 0}, 4));
  feed(splitPacket(3, kSplit1, 5));
  feed(mciPacket(500, 10, 1, {Car{3, 2, 30, 77}}));
  EXPECT_EQ(player(3)->laps.size(), 1u);
  EXPECT_EQ(player(3)->bestSpeed, 77);
}

TEST_F(TrackerTest, APlayerWhoPitsInALappedRaceIsOutUntilSomeoneHasFinished) {
  struct Case {
    const char* name;
    std::uint8_t finishedCount;  // from an STA packet before the pit stop
    bool lapsKept;
  };
  const Case cases[] = {{"nobody finished", 0, false}, {"someone finished", 1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tracker = std::make_unique<lfsReadSocket>(handler);
    ASSERT_TRUE(tracker->OpenServerLink("127.0.0.1", simulatorPort));
    startSession(5, 0);
    join(3, "Ann");
    feed(splitPacket(3, kSplit1, 4));
    feed(staPacket(c.finishedCount, 0, 5, "BL1"));
    EXPECT_EQ(race().finishedCount, c.finishedCount);
    feed(plpPacket(3, 5));
    EXPECT_THAT(replies(), ElementsAre(requestReply("ACK", 4), requestReply("ACK", 5)));
    const PlayerStats* ann = playerNamed("Ann");
    ASSERT_NE(ann, nullptr);
    EXPECT_EQ(ann->laps.size(), c.lapsKept ? 1u : 0u);
    EXPECT_EQ(ann->id, c.lapsKept ? 3 : -1);
  }
}

TEST_F(TrackerTest, APitStopOutsideALappedRaceClosesTheRunningLap) {
  startSession(0, 0);
  join(3, "Ann");
  feed(splitPacket(3, kSplit1, 4));
  feed(plpPacket(3, 5));
  ASSERT_EQ(player(3)->laps.size(), 1u);
  EXPECT_EQ(player(3)->laps[0].time.minutes, 0xFE);
  feed(splitPacket(3, kSplit1, 6));
  EXPECT_EQ(player(3)->laps.size(), 2u) << "the next split starts a new lap";
}

TEST_F(TrackerTest, APlayerWhoLeavesKeepsTheRecordButNoLongerMatches) {
  startSession(5, 0);
  join(3, "Ann");
  feed(splitPacket(3, kSplit1, 4));
  feed(pllPacket(3, 5));
  feed(splitPacket(3, kSplit1, 6));
  feed(mciPacket(500, 10, 1, {Car{3, 1, 30, 99}}));
  EXPECT_THAT(replies(), ElementsAre(requestReply("ACK", 4), requestReply("ACK", 5), requestReply("ACK", 6)));
  ASSERT_EQ(race().players.size(), 1u);
  const PlayerStats& ann = race().players.front();
  EXPECT_EQ(ann.id, -1);
  EXPECT_EQ(ann.laps.size(), 1u);
  EXPECT_EQ(ann.laps[0].splits.size(), 1u);
  EXPECT_EQ(ann.bestSpeed, 0);
}

TEST_F(TrackerTest, PacketsForUnknownPlayersAreAcknowledgedAndChangeNothing) {
  startSession(5, 0);
  join(3, "Ann");
  const std::string packets[] = {
      splitPacket(9, kSplit1, 1),
      lapPacket(9, kLap1, 2),
      resPacket(Finishing{9, {}, {}, 0, 0, 0, 0}, 3),
      plpPacket(9, 4),
      pllPacket(9, 5),
  };
  for (const std::string& packet : packets) feed(packet);
  feed(mciPacket(500, 10, 1, {Car{9, 1, 30, 99}}));
  EXPECT_THAT(replies(), ElementsAre(requestReply("ACK", 1), requestReply("ACK", 2), requestReply("ACK", 3),
                                     requestReply("ACK", 4), requestReply("ACK", 5)));
  ASSERT_EQ(race().players.size(), 1u);
  EXPECT_EQ(player(3)->laps.size(), 0u);
  EXPECT_FALSE(player(3)->result.has_value());
  EXPECT_EQ(race().positionOf(9), 255);
}

TEST_F(TrackerTest, RaceStartDescribesTheSession) {
  linkUp();
  feed(rstPacket(12, 0, "AS3R", 18, 2, 1));
  ASSERT_TRUE(race().info.has_value());
  EXPECT_EQ(race().info->track, "AS3R");
  EXPECT_EQ(race().info->laps, 12);
  EXPECT_EQ(race().info->qualifyMinutes, 0);
  EXPECT_EQ(race().info->weather, 2);
  EXPECT_EQ(race().info->wind, 1);

  feed(ismPacket("Sunday League"));
  feed(verPacket("0.5Z28"));
  EXPECT_EQ(race().info->host, "Sunday League");
  EXPECT_EQ(race().info->version, "0.5Z28");

  feed(rstPacket(0, 15, "FE1", 19));
  EXPECT_EQ(race().info->qualifyMinutes, 15);
  EXPECT_EQ(race().info->track, "FE1");
  EXPECT_EQ(race().info->host, "") << "a new session waits for its host";
  EXPECT_EQ(race().info->version, "0.5Z28");
  EXPECT_THAT(replies(), ElementsAre(requestReply("ACK", 18), requestReply("ACK", 19)));
}

TEST_F(TrackerTest, HostAndVersionWithoutARaceAreDropped) {
  linkUp();
  feed(ismPacket("Sunday League"));
  feed(verPacket("0.5Z28"));
  EXPECT_FALSE(race().info.has_value());
  EXPECT_THAT(replies(), IsEmpty());
}

TEST_F(TrackerTest, StateDescribesARaceThatHasPlayersButNoRaceInfo) {
  linkUp();
  feed(staPacket(0, 0, 7, "KY2", 1, 2));
  EXPECT_FALSE(race().info.has_value()) << "no players yet";
  EXPECT_THAT(replies(), IsEmpty());

  join(3, "Ann");
  feed(staPacket(2, 0, 7, "KY2", 1, 2));
  EXPECT_THAT(replies(), ElementsAre(requestReply("ISM", 0)));
  ASSERT_TRUE(race().info.has_value());
  EXPECT_EQ(race().info->track, "KY2");
  EXPECT_EQ(race().info->laps, 7);
  EXPECT_EQ(race().info->weather, 1);
  EXPECT_EQ(race().info->wind, 2);
  EXPECT_EQ(race().finishedCount, 2);

  // With race info present only the finished count is taken.
  feed(staPacket(0, 30, 0, "SO1"));
  EXPECT_THAT(replies(), IsEmpty());
  EXPECT_EQ(race().info->track, "KY2");
  EXPECT_EQ(race().finishedCount, 0);
}

TEST_F(TrackerTest, StateIsTakenOnlyOnceLinked) {
  feed(rtpPacket());  // link state 2
  replies();
  feed(staPacket(3, 0, 7, "KY2"));
  EXPECT_EQ(race().finishedCount, 0);
  EXPECT_THAT(replies(), IsEmpty());
}

}  // namespace
