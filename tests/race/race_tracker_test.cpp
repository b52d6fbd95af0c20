// The race tracker on its own, without a socket: what it asks of its output
// (game texts, state requests, car information, saves) for each decision.
#include "race/race_tracker.h"

#include "config/shared_state.h"
#include "race/game_texts.h"

#include <gmock/gmock.h>

#include <string>
#include <vector>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Every request of the tracker as one line, in order.
class RecordingOutput : public RaceTrackerOutput {
 public:
  std::vector<std::string> calls;
  bool saveSucceeds = true;
  std::size_t playersAtLastSave = 0;

  void sendGameText(std::string_view text) override { calls.push_back("text " + std::string(text)); }
  void requestRaceState() override { calls.push_back("state"); }
  void requestHostName() override { calls.push_back("host"); }
  void setCarInformation(bool on) override { calls.push_back(on ? "cars on" : "cars off"); }
  bool saveRace(std::list<PlayerStats>& players, const std::optional<RaceInfo>&) override {
    calls.push_back("save");
    playersAtLastSave = players.size();
    return saveSucceeds;
  }
  std::vector<std::string> take() { return std::exchange(calls, {}); }
};

const std::string kSaved = "text " + std::string(kStatsSavedText);
const std::string kNotSaved = "text " + std::string(kStatsNotSavedText);

RaceTime seconds(std::uint8_t value) { return RaceTime{0, 0, value, 0}; }

class RaceTrackerTest : public ::testing::Test {
 protected:
  void SetUp() override { takeUploadOutcome(); }

  void startRace(std::uint8_t laps) { tracker.raceStarts(RaceSetup{"BL1", laps, 0, 0, 0}); }
  void join(std::uint8_t id, std::string_view name) {
    PlayerJoin join;
    join.playerId = id;
    join.playerName = name;
    join.carName = "XFG";
    tracker.playerJoins(join);
  }
  const PlayerStats& player(std::string_view name) {
    for (const PlayerStats& p : tracker.stats().players)
      if (p.name == name) return p;
    throw std::runtime_error("no player " + std::string(name));
  }

  RecordingOutput output;
  RaceTracker tracker{output};
};

TEST_F(RaceTrackerTest, RaceEndSavesTellsClearsAndAsksForTheStateAgain) {
  struct Case {
    const char* name;
    bool withPlayer;
    bool saveSucceeds;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"saved", true, true, {"save", kSaved, "state"}},
      {"save failed", true, false, {"save", kNotSaved, "state"}},
      {"nobody raced", false, true, {kNotSaved, "state"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    output.saveSucceeds = c.saveSucceeds;
    startRace(3);
    if (c.withPlayer) join(3, "Ann");
    tracker.raceEnds();
    EXPECT_EQ(output.take(), c.calls);
    EXPECT_TRUE(tracker.stats().players.empty());
    EXPECT_FALSE(tracker.stats().info.has_value());
  }
}

TEST_F(RaceTrackerTest, VoteActionsOfTwoOrMoreEndTheRace) {
  for (std::int32_t action = -1; action <= 4; ++action) {
    SCOPED_TRACE(action);
    join(3, "Ann");
    tracker.voteAction(action);
    const bool ends = action >= 2;
    EXPECT_EQ(output.take().empty(), !ends);
    EXPECT_EQ(tracker.stats().players.empty(), ends);
    tracker.chatLine(kDeleteCommand);
    output.take();
  }
}

TEST_F(RaceTrackerTest, SaveCommandKeepsTheRaceAndAFailedSaveIsTold) {
  join(3, "Ann");
  output.saveSucceeds = false;
  tracker.chatLine(kSaveCommand);
  EXPECT_THAT(output.take(), ElementsAre("save", kNotSaved));
  output.saveSucceeds = true;
  tracker.chatLine(kSaveCommand);
  EXPECT_THAT(output.take(), ElementsAre("save", kSaved));
  EXPECT_EQ(tracker.stats().players.size(), 1u);
}

TEST_F(RaceTrackerTest, DeactivatedTrackerHearsOnlyActivate) {
  join(3, "Ann");
  tracker.chatLine(kDeactivateCommand);
  EXPECT_THAT(output.take(), ElementsAre("text " + std::string(kDeactivatedText), "cars off"));
  EXPECT_TRUE(tracker.deactivated());
  EXPECT_TRUE(tracker.stats().players.empty());

  tracker.chatLine(kSaveCommand);
  tracker.chatLine(kDeleteCommand);
  tracker.chatLine(kDeactivateCommand);
  EXPECT_THAT(output.take(), IsEmpty());

  tracker.chatLine(kActivateCommand);
  EXPECT_THAT(output.take(), ElementsAre("text " + std::string(kReactivatedText), "cars on"));
  EXPECT_FALSE(tracker.deactivated());
}

TEST_F(RaceTrackerTest, StateGivesTheSetupOnlyToARaceWithPlayersAndNoSetup) {
  const RaceSetup setup{"SO1", 5, 1, 2, 0};
  tracker.raceState(0, setup);
  EXPECT_FALSE(tracker.stats().info.has_value()) << "no players yet";
  join(3, "Ann");
  tracker.raceState(1, setup);
  ASSERT_TRUE(tracker.stats().info.has_value());
  EXPECT_EQ(tracker.stats().info->track, "SO1");
  EXPECT_EQ(tracker.stats().finishedCount, 1);
  EXPECT_THAT(output.take(), ElementsAre("host"));
  tracker.raceState(2, RaceSetup{"BL1", 9, 0, 0, 0});
  EXPECT_EQ(tracker.stats().info->track, "SO1") << "a setup once taken stays";
  EXPECT_EQ(tracker.stats().finishedCount, 2);
  EXPECT_THAT(output.take(), IsEmpty());
}

TEST_F(RaceTrackerTest, LinkEndWritesARaceWithPlayersWithoutTellingTheGame) {
  tracker.linkEnds();
  EXPECT_THAT(output.take(), IsEmpty());
  join(3, "Ann");
  join(4, "Bob");
  tracker.linkEnds();
  EXPECT_THAT(output.take(), ElementsAre("save"));
  EXPECT_EQ(output.playersAtLastSave, 2u);
  EXPECT_TRUE(tracker.stats().players.empty());
}

TEST_F(RaceTrackerTest, UploadOutcomeIsToldOnceThenNothing) {
  struct Case {
    std::uint8_t outcome;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {UploadSucceeded, {"text " + std::string(kUploadSucceededText)}},
      {UploadFailed, {"text " + std::string(kUploadFailedText)}},
  };
  for (const Case& c : cases) {
    recordUploadOutcome(c.outcome);
    EXPECT_TRUE(tracker.announceUploadOutcome());
    EXPECT_EQ(output.take(), c.calls);
    EXPECT_FALSE(tracker.announceUploadOutcome());
    EXPECT_THAT(output.take(), IsEmpty());
  }
}

TEST_F(RaceTrackerTest, LappedRaceFreezesAFinishedPlayerButQualifyingDoesNot) {
  startRace(2);
  join(3, "Ann");
  tracker.split(3, seconds(30));
  tracker.lap(3, seconds(60));
  RaceResult result;
  result.playerId = 3;
  result.bestLap = seconds(60);
  tracker.result(result);
  tracker.split(3, seconds(29));
  tracker.lap(3, seconds(58));
  EXPECT_EQ(player("Ann").laps.size(), 1u) << "nothing after the result counts";
  EXPECT_EQ(player("Ann").bestLap, seconds(60));

  tracker.chatLine(kDeleteCommand);
  tracker.raceStarts(RaceSetup{"BL1", 0, 0, 0, 10});
  join(3, "Ann");
  tracker.split(3, seconds(30));
  tracker.lap(3, seconds(60));
  tracker.result(result);
  tracker.split(3, seconds(29));
  EXPECT_EQ(player("Ann").laps.size(), 2u) << "qualifying goes on after a result";
}

TEST_F(RaceTrackerTest, RejoinByNameStartsTheRaceAfreshButKeepsQualifyingLaps) {
  struct Case {
    const char* name;
    std::uint8_t qualifyMinutes;
    std::size_t lapsAfterRejoin;
    std::uint8_t startOrder;
  };
  const Case cases[] = {{"race", 0, 0, kRejoinedStartOrder}, {"qualifying", 10, 1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tracker.chatLine(kDeleteCommand);
    tracker.raceStarts(
        RaceSetup{"BL1", static_cast<std::uint8_t>(c.qualifyMinutes ? 0 : 5), 0, 0, c.qualifyMinutes});
    join(3, "Ann");
    tracker.split(3, seconds(30));
    tracker.playerLeaves(3);
    join(9, "Ann");
    ASSERT_EQ(tracker.stats().players.size(), 1u);
    EXPECT_EQ(player("Ann").id, 9);
    EXPECT_EQ(player("Ann").laps.size(), c.lapsAfterRejoin);
    EXPECT_EQ(player("Ann").startOrder, c.startOrder);
  }
}

TEST_F(RaceTrackerTest, AResultByNameGoesOnlyToARecordWhosePlayerHasLeft) {
  startRace(3);
  join(3, "Ann");
  join(4, "Bob");
  tracker.playerLeaves(3);
  RaceResult result;
  result.totalTime = RaceTime{0, 3, 1, 50};
  result.position = 1;
  tracker.resultOfPlayerWhoLeft("Bob", result);
  EXPECT_FALSE(player("Bob").result.has_value()) << "Bob is still in the race";
  tracker.resultOfPlayerWhoLeft("Ann", result);
  ASSERT_TRUE(player("Ann").result.has_value());
  EXPECT_EQ(player("Ann").result->position, 2);
  EXPECT_EQ(player("Ann").result->totalTime, (RaceTime{0, 3, 1, 50}));
}

TEST_F(RaceTrackerTest, ADriverChangeGivesTheCarItsNewUserName) {
  join(3, "Ann");
  tracker.driverChanges(3, "carol");
  EXPECT_EQ(player("Ann").userName, "carol");
  tracker.driverChanges(9, "nobody");  // no such player: nothing happens
  EXPECT_EQ(tracker.stats().players.size(), 1u);
}

TEST_F(RaceTrackerTest, ANameTakesOverOnlyARecordWhosePlayerHasLeft) {
  struct Event {
    enum Kind { Join, Split, Leave } kind;
    std::uint8_t id;
  };
  struct Case {
    const char* name;
    std::vector<Event> events;
    // Ids of the records named "Ann", in list order, and their lap counts.
    std::vector<std::int16_t> ids;
    std::vector<std::size_t> laps;
  };
  const Case cases[] = {
      {"two drivers of one name race side by side",
       {{Event::Join, 3}, {Event::Split, 3}, {Event::Join, 9}, {Event::Split, 9}, {Event::Split, 3}},
       {3, 9},
       {1, 1}},
      {"a real rejoin takes the record over",
       {{Event::Join, 3}, {Event::Split, 3}, {Event::Leave, 3}, {Event::Join, 9}},
       {9},
       {0}},
      {"of two alike, the one who left comes back",
       {{Event::Join, 3},
        {Event::Join, 9},
        {Event::Split, 3},
        {Event::Split, 9},
        {Event::Leave, 9},
        {Event::Join, 12}},
       {3, 12},
       {1, 0}},
      {"both left: the first record is taken, then the second",
       {{Event::Join, 3},
        {Event::Join, 9},
        {Event::Leave, 3},
        {Event::Leave, 9},
        {Event::Join, 20},
        {Event::Join, 21}},
       {20, 21},
       {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tracker.chatLine(kDeleteCommand);
    startRace(5);
    for (const Event& event : c.events) {
      if (event.kind == Event::Join) join(event.id, "Ann");
      if (event.kind == Event::Split) tracker.split(event.id, seconds(30));
      if (event.kind == Event::Leave) tracker.playerLeaves(event.id);
    }
    std::vector<std::int16_t> ids;
    std::vector<std::size_t> laps;
    for (const PlayerStats& record : tracker.stats().players) {
      ids.push_back(record.id);
      laps.push_back(record.laps.size());
    }
    EXPECT_EQ(ids, c.ids);
    EXPECT_EQ(laps, c.laps);
  }
}

}  // namespace
