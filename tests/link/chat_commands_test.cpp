// Chat commands from the game: exact matching, saving without ending the
// race, deleting, and the deactivated mode that answers nothing but
// "!activate" and upload outcomes.
#include "support/tracker_fixture.h"

#include "config/shared_state.h"
#include "support/xml_check.h"

#include <gmock/gmock.h>

#include <filesystem>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kNotSaved = echoReply("^1race stats were not saved");
const std::string kSaved = echoReply("^2race stats were saved!");
const std::string kDeleted = echoReply("^2race stats were deleted!");
const std::string kDeactivated = echoReply("^3program deactivated. Reactivate with !activate.");
const std::string kReactivated = echoReply("^3 Tarnbeck was reactivated!");

// A race on BL1 over 5 laps with one player who has set a split.
class ChatCommandTest : public TrackerTest {
 protected:
  void SetUp() override {
    TrackerTest::SetUp();
    startSession(5, 0);
    join(3, "Ann");
    feed(splitPacket(3, raceTime(0, 0, 31, 0), 4));
    replies();
  }

  void expectRaceKept() {
    ASSERT_EQ(race().players.size(), 1u);
    EXPECT_EQ(race().players.front().laps.size(), 1u);
    EXPECT_TRUE(race().info.has_value());
  }
};

TEST_F(ChatCommandTest, ACommandMatchesOnlyTheWholeLineInItsExactCase) {
  struct Case {
    std::string line;
    std::vector<std::string> replies;
  };
  const Case cases[] = {
      {"!Save", {}},
      {"!SAVE", {}},
      {"!save ", {}},
      {" !save", {}},
      {"Ann : !save", {}},
      {"!sav", {}},
      {"!saves", {}},
      {"!Delete", {}},
      {"!delete now", {}},
      {"^7Ann: !delete", {}},
      {"!deactivate!", {}},
      {"!DEACTIVATE", {}},
      {"!activate", {}},  // already active
      {"", {}},
      {std::string(128, '!'), {}},  // fills the field without a NUL
      // What follows the line's NUL is not part of the line.
      {std::string("!save\0!delete", 13), {kSaved}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("line: " + c.line);
    tracker->idleRounds = 3;
    feed(msoPacket(c.line));
    EXPECT_EQ(replies(), c.replies);
    EXPECT_EQ(tracker->idleRounds, 3) << "chat is not traffic";
    expectRaceKept();
    EXPECT_FALSE(tracker->deactivated());
  }
}

TEST_F(ChatCommandTest, SaveWritesTheRaceAndKeepsItSoItsEndWritesItAgain) {
  feed(msoPacket("!save"));
  EXPECT_THAT(replies(), ElementsAre(kSaved));
  expectRaceKept();
  std::vector<std::string> saved = savedFiles();
  ASSERT_EQ(saved.size(), 1u);
  const std::string first = readFileBytes(saved[0]);
  ASSERT_TRUE(isWellFormedXml(first));
  EXPECT_EQ(xpathString(first, "/TRBKSTATS/PLAYERS/PLAYER/NAME"), "Ann");
  std::filesystem::remove(saved[0]);

  feed(splitPacket(3, raceTime(0, 0, 29, 0), 5));
  feed(renPacket(6));
  EXPECT_THAT(replies(), ElementsAre(requestReply("ACK", 5), kSaved, requestReply("ACK", 6)));
  saved = savedFiles();
  ASSERT_EQ(saved.size(), 1u) << "a second file";
  const std::string second = readFileBytes(saved[0]);
  ASSERT_TRUE(isWellFormedXml(second));
  EXPECT_EQ(xpathString(second, "count(/TRBKSTATS/PLAYERS/PLAYER/LAPS/LAP/SPLITS/SPLIT)"), "2");
  EXPECT_THAT(race().players, IsEmpty());
}

TEST_F(TrackerTest, SaveWithoutPlayersSavesNothing) {
  startSession(5, 0);
  feed(msoPacket("!save"));
  EXPECT_THAT(replies(), ElementsAre(kNotSaved));
  EXPECT_THAT(savedFiles(), IsEmpty());
  EXPECT_TRUE(race().info.has_value()) << "the race stays";
}

TEST_F(ChatCommandTest, DeleteDiscardsTheRaceWithoutWritingIt) {
  feed(msoPacket("!delete"));
  EXPECT_THAT(replies(), ElementsAre(kDeleted));
  EXPECT_THAT(race().players, IsEmpty());
  EXPECT_FALSE(race().info.has_value());
  EXPECT_EQ(tracker->linkState(), LinkState::Linked);
  EXPECT_THAT(savedFiles(), IsEmpty());
}

TEST_F(ChatCommandTest, DeactivatedTrackingAnswersNothingButActivate) {
  feed(msoPacket("!deactivate"));
  EXPECT_THAT(replies(), ElementsAre(kDeactivated, requestReply("NLI", 0)));
  EXPECT_TRUE(tracker->deactivated());
  EXPECT_THAT(race().players, IsEmpty()) << "discarded";
  EXPECT_THAT(savedFiles(), IsEmpty()) << "without writing it";
  const LinkState linkState = tracker->linkState();

  tracker->idleRounds = 4;
  const std::string ignored[] = {
      renPacket(1),
      lapPacket(3, raceTime(0, 1, 0, 0), 2),
      nplPacket(Joining{5, "Bob", "bob", "XRT", 0, 0}, 3),
      rstPacket(5, 0, "BL1", 4),
      splitPacket(5, raceTime(0, 0, 31, 0), 5),
      clrPacket(6),
      rtpPacket(),
      vtaPacket(2),
      mciPacket(500, 0, 4, {Car{5, 1, 100, 50}}),
      staPacket(1, 0, 5, "BL1"),
      msoPacket("!save"),
      msoPacket("!delete"),
      msoPacket("!deactivate"),
      msoPacket("!Activate"),
      msoPacket("!activate "),
      PacketBytes("!activate", 12),  // the text without being a chat packet
  };
  for (const std::string& datagram : ignored) feed(datagram);
  EXPECT_THAT(replies(), IsEmpty());
  EXPECT_THAT(race().players, IsEmpty());
  EXPECT_FALSE(race().info.has_value());
  EXPECT_EQ(tracker->idleRounds, 4);
  EXPECT_EQ(tracker->linkState(), linkState);
  EXPECT_THAT(savedFiles(), IsEmpty());

  // Upload outcomes are still told.
  recordUploadOutcome(UploadSucceeded);
  feed(renPacket(7));
  EXPECT_THAT(replies(),
              ElementsAre(echoReply("^2race Stats were uploaded sucessfully!"), requestReply("GTH", 0)));
  EXPECT_EQ(takeUploadOutcome(), UploadNone);

  feed(msoPacket("!activate"));
  EXPECT_THAT(replies(), ElementsAre(kReactivated, requestReply("NLI", 350)));
  EXPECT_FALSE(tracker->deactivated());
  EXPECT_EQ(tracker->linkState(), linkState);

  // Tracking again, from an empty race.
  feed(nplPacket(Joining{5, "Bob", "bob", "XRT", 0, 0}, 8));
  EXPECT_THAT(replies(), ElementsAre(requestReply("ACK", 8)));
  ASSERT_EQ(race().players.size(), 1u);
  EXPECT_EQ(race().players.front().name, "Bob");
}

TEST_F(TrackerTest, DeactivationBeforeTheLinkLeavesTheHandshakeWhereItWas) {
  feed(msoPacket("!deactivate"));  // the first datagram: NLI 350 first
  EXPECT_THAT(replies(), ElementsAre(requestReply("NLI", 350), kDeactivated, requestReply("NLI", 0)));
  feed(mciPacket(500, 0, 2, {}));
  EXPECT_THAT(replies(), IsEmpty());
  EXPECT_EQ(tracker->linkState(), LinkState::RequestsDue);

  feed(msoPacket("!activate"));
  EXPECT_THAT(replies(), ElementsAre(kReactivated, requestReply("NLI", 350)));
  feed(mciPacket(500, 0, 1, {}));
  EXPECT_THAT(replies(), ElementsAre(requestReply("NPL", 0), requestReply("SST", 0), requestReply("ISM", 0),
                                     requestReply("VER", 0)));
}

}  // namespace
