// The read socket's handling of each datagram: acknowledgements and traffic
// per packet, the handshake, race ends, upload announcements, the sender
// check, and the last save when the socket is destroyed.
#include "support/tracker_fixture.h"

#include "config/settings.h"
#include "config/shared_state.h"
#include "support/heap_counter.h"
#include "support/xml_check.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kNotSaved = echoReply("^1race stats were not saved");
const std::string kSaved = echoReply("^2race stats were saved!");

struct PacketCase {
  const char* name;
  std::string datagram;
  std::vector<std::string> replies;
  bool traffic;
};

TEST_F(TrackerTest, EveryPacketIsAcknowledgedAndCountedAsTheTableSays) {
  const PacketCase cases[] = {
      {"REN", renPacket(0x1234), {kNotSaved, requestReply("ACK", 0x1234)}, true},
      {"CLR", clrPacket(257), {requestReply("ACK", 257)}, true},
      {"RTP", rtpPacket(), {}, true},
      {"VTA 1", vtaPacket(1), {}, false},
      {"SP", splitPacket(5, raceTime(0, 0, 31, 0), 0xFFFF), {requestReply("ACK", 65535)}, true},
      {"SP with any third character",
       splitPacket(5, raceTime(0, 0, 31, 0), 12, 'z'),
       {requestReply("ACK", 12)},
       true},
      {"RST", rstPacket(5, 0, "BL1", 18), {requestReply("ACK", 18)}, true},
      {"VER", verPacket("0.5Z"), {}, false},
      {"STA", staPacket(0, 0, 5, "BL1"), {}, false},
      {"ISM", ismPacket("host"), {}, false},
      {"CNL", cnlPacket(54), {requestReply("ACK", 54)}, true},
      {"NCN", ncnPacket(58), {requestReply("ACK", 58)}, true},
      {"PLP", plpPacket(5, 59), {requestReply("ACK", 59)}, true},
      {"PLL", pllPacket(5, 60), {requestReply("ACK", 60)}, true},
      {"REO", reoPacket(62), {requestReply("ACK", 62)}, true},
      {"CPR", cprPacket(86), {requestReply("ACK", 86)}, true},
      {"LAP", lapPacket(5, raceTime(0, 1, 2, 3), 90), {requestReply("ACK", 90)}, true},
      {"NPL", nplPacket(Joining{5, "Ann", "ann", "XRT", 0, 0}, 98), {requestReply("ACK", 98)}, true},
      {"RES", resPacket(Finishing{}, 106), {requestReply("ACK", 106)}, true},
      {"MSO", msoPacket("hello"), {}, false},
      {"MCI", mciPacket(500, 0, 3, {}), {}, false},
      {"unknown ID", PacketBytes("XYZ", 8).ack(3), {}, false},
      {"12 bytes not starting with SP", PacketBytes("SQ1", 12).ack(3), {}, false},
      {"NPL one byte short", nplPacket(Joining{}, 98).substr(0, 99), {}, false},
      {"empty", std::string(), {}, false},
  };
  for (const PacketCase& c : cases) {
    SCOPED_TRACE(c.name);
    linkUp();
    tracker->idleRounds = 9;
    feed(c.datagram);
    EXPECT_EQ(replies(), c.replies);
    EXPECT_EQ(tracker->idleRounds, c.traffic ? 0 : 9);
  }
}

TEST_F(TrackerTest, CarInformationAndAcknowledgedOnlyPacketsAllocateNothingOnceLinked) {
  startSession(5, 0);
  join(3, "Ann");
  join(7, "Bob", 1);
  feed(splitPacket(3, raceTime(0, 0, 31, 0), 4));
  const std::string steady[] = {
      mciPacket(500, 10, 2, {Car{3, 1, 300, 100}, Car{7, 1, 200, 90}}),
      mciPacket(500, 10, 2, {Car{3, 1, 310, 120}, Car{7, 1, 210, 95}}),
      clrPacket(5),
      ncnPacket(6),
      cnlPacket(7),
      reoPacket(8),
      cprPacket(9),
      rtpPacket(),
      msoPacket("nice pass"),
      vtaPacket(1),
  };
  feed(steady[0]);
  replies();
  const std::uint64_t before = heapCounts().allocations;
  for (int round = 0; round < 20; ++round) {
    for (const std::string& datagram : steady) feed(datagram);
  }
  EXPECT_EQ(heapCounts().allocations - before, 0u);
  EXPECT_EQ(player(3)->bestSpeed, 120);
  EXPECT_EQ(replies().size(), 20u * 5);
}

TEST_F(TrackerTest, TheFirstDatagramAsksForCarInformationBeforeItIsHandled) {
  struct Case {
    const char* name;
    std::string datagram;
    std::vector<std::string> replies;
  };
  const Case cases[] = {
      {"RTP", rtpPacket(), {requestReply("NLI", 350)}},
      {"unrecognised", PacketBytes("XYZ", 8), {requestReply("NLI", 350)}},
      {"VTA 1", vtaPacket(1), {requestReply("NLI", 350)}},
      // Taken only once linked: acknowledged, but nobody joins.
      {"NPL",
       nplPacket(Joining{5, "Ann", "ann", "XRT", 0, 0}, 9),
       {requestReply("NLI", 350), requestReply("ACK", 9)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tracker = std::make_unique<lfsReadSocket>(handler);
    ASSERT_TRUE(tracker->OpenServerLink("127.0.0.1", simulatorPort));
    EXPECT_EQ(tracker->linkState(), LinkState::New);
    tracker->idleRounds = 7;
    feed(c.datagram);
    EXPECT_EQ(replies(), c.replies);
    EXPECT_EQ(tracker->linkState(), LinkState::RequestsDue);
    EXPECT_EQ(tracker->idleRounds, 0);
    EXPECT_THAT(race().players, IsEmpty());
    feed(c.datagram);  // once only
    const std::vector<std::string> second = replies();
    EXPECT_EQ(std::count(second.begin(), second.end(), requestReply("NLI", 350)), 0);
  }
}

TEST_F(TrackerTest, TheFirstCarInformationSendsTheHandshakeRequestsInOrder) {
  feed(rtpPacket());
  replies();
  feed(mciPacket(500, 0, 3, {}));
  EXPECT_THAT(replies(), ElementsAre(requestReply("NPL", 0), requestReply("NPL", 1), requestReply("NPL", 2),
                                     requestReply("SST", 0), requestReply("ISM", 0), requestReply("VER", 0)));
  EXPECT_EQ(tracker->linkState(), LinkState::Linked);

  feed(mciPacket(500, 0, 3, {}));
  EXPECT_THAT(replies(), IsEmpty());

  // Linked: the answers to the requests are taken.
  feed(nplPacket(Joining{4, "Ann", "ann", "XRT", 0, 1}, 7));
  EXPECT_THAT(replies(), ElementsAre(requestReply("ACK", 7)));
  ASSERT_NE(player(4), nullptr);
  EXPECT_EQ(player(4)->name, "Ann");
}

TEST_F(TrackerTest, AnEmptyGridStillAsksForStateHostAndVersion) {
  feed(rtpPacket());
  replies();
  feed(mciPacket(500, 0, 0, {}));
  EXPECT_THAT(replies(), ElementsAre(requestReply("SST", 0), requestReply("ISM", 0), requestReply("VER", 0)));
}

// A race of two players, one split each, on BL1 over 5 laps.
class RaceEndTest : public TrackerTest {
 protected:
  void SetUp() override {
    TrackerTest::SetUp();
    startSession(5, 0);
    join(3, "Ann");
    join(7, "Bob", 1);
    feed(splitPacket(3, raceTime(0, 0, 31, 0), 4));
    feed(splitPacket(7, raceTime(0, 0, 32, 0), 5));
    replies();
  }

  void expectRaceCleared() {
    EXPECT_THAT(race().players, IsEmpty());
    EXPECT_FALSE(race().info.has_value());
    EXPECT_EQ(tracker->linkState(), LinkState::RequestsDue);
  }
};

TEST_F(RaceEndTest, TheEndOfARaceSavesItReportsItThenAcknowledges) {
  tracker->idleRounds = 5;
  feed(renPacket(77));
  EXPECT_THAT(replies(), ElementsAre(kSaved, requestReply("ACK", 77)));
  expectRaceCleared();
  EXPECT_EQ(tracker->idleRounds, 0);

  const std::vector<std::string> saved = savedFiles();
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(std::filesystem::path(saved[0]).filename(), "stats_race5.xml");
  const std::string document = readFileBytes(saved[0]);
  ASSERT_TRUE(isWellFormedXml(document));
  EXPECT_EQ(xpathString(document, "/TRBKSTATS/TRACK/TRACKNAME"), "BL1");
  EXPECT_EQ(xpathString(document, "/TRBKSTATS/TRACK/PLAYERCOUNT"), "2");
  EXPECT_EQ(xpathString(document, "count(/TRBKSTATS/PLAYERS/PLAYER[NAME='Ann'])"), "1");
  EXPECT_EQ(xpathString(document, "/TRBKSTATS/PLAYERS/PLAYER[NAME='Bob']/LAPS/LAP/SPLITS/SPLIT/SPLITTIME"),
            "00:00:32:00");

  // The next car information takes the players still on track over.
  feed(mciPacket(500, 0, 2, {}));
  EXPECT_THAT(replies(), ElementsAre(requestReply("NPL", 0), requestReply("NPL", 1), requestReply("SST", 0),
                                     requestReply("ISM", 0), requestReply("VER", 0)));
}

TEST_F(TrackerTest, TheEndOfARaceWithoutPlayersReportsNothingSaved) {
  startSession(5, 0);
  feed(renPacket(8));
  EXPECT_THAT(replies(), ElementsAre(kNotSaved, requestReply("ACK", 8)));
  EXPECT_EQ(tracker->linkState(), LinkState::RequestsDue);
  EXPECT_FALSE(race().info.has_value());
  EXPECT_THAT(savedFiles(), IsEmpty());
  EXPECT_TRUE(std::filesystem::is_empty(output.path()));
}

TEST_F(TrackerTest, ARaceWithoutSplitsIsNotSavedButClearedAllTheSame) {
  startSession(5, 0);
  join(3, "Ann");
  feed(renPacket(8));
  EXPECT_THAT(replies(), ElementsAre(kNotSaved, requestReply("ACK", 8)));
  EXPECT_THAT(race().players, IsEmpty());
  EXPECT_THAT(savedFiles(), IsEmpty());
}

TEST_F(RaceEndTest, AFailedSaveIsReportedAndTheRaceClearedAllTheSame) {
  Settings settings;
  settings.outputpath = output.withSeparator();
  settings.outputname = "";  // names the folder itself: no file can be made
  replaceSettings(settings);
  feed(renPacket(8));
  EXPECT_THAT(replies(), ElementsAre(kNotSaved, requestReply("ACK", 8)));
  expectRaceCleared();
  EXPECT_THAT(savedFiles(), IsEmpty());
}

TEST_F(RaceEndTest, AVoteOfTwoOrMoreEndsTheRaceWithoutAcknowledgement) {
  for (std::int32_t action : {1, 0, -1, -300}) {
    SCOPED_TRACE(action);
    feed(vtaPacket(action));
    EXPECT_THAT(replies(), IsEmpty());
    EXPECT_EQ(race().players.size(), 2u);
    EXPECT_EQ(tracker->linkState(), LinkState::Linked);
  }
  EXPECT_THAT(savedFiles(), IsEmpty());

  tracker->idleRounds = 5;
  feed(vtaPacket(2));
  EXPECT_THAT(replies(), ElementsAre(kSaved));
  expectRaceCleared();
  EXPECT_EQ(tracker->idleRounds, 5);
  EXPECT_EQ(savedFiles().size(), 1u);
}

TEST_F(RaceEndTest, ALargerVoteActionEndsTheRaceToo) {
  feed(vtaPacket(3));
  EXPECT_THAT(replies(), ElementsAre(kSaved));
  expectRaceCleared();
}

TEST_F(TrackerTest, AnUploadOutcomeIsAnnouncedAtTheNextDatagramThenCleared) {
  struct Case {
    std::uint8_t outcome;
    const char* text;
  };
  const Case cases[] = {
      {1, "^2race Stats were uploaded sucessfully!"},
      {2, "^1uploading race Stats failed!"},
      {9, "^1uploading race Stats failed!"},
  };
  linkUp();
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.outcome));
    recordUploadOutcome(c.outcome);
    feed(clrPacket(4));
    EXPECT_THAT(replies(), ElementsAre(echoReply(c.text), requestReply("GTH", 0), requestReply("ACK", 4)));
    EXPECT_EQ(takeUploadOutcome(), 0);
    feed(rtpPacket());
    EXPECT_THAT(replies(), IsEmpty());
  }
}

TEST_F(TrackerTest, TheAnnouncementComesBeforeTheFirstDatagramIsHandled) {
  recordUploadOutcome(UploadSucceeded);
  feed(rtpPacket());
  EXPECT_THAT(replies(), ElementsAre(echoReply("^2race Stats were uploaded sucessfully!"),
                                     requestReply("GTH", 0), requestReply("NLI", 350)));
}

// Everything a sender could do to the race; none of it may happen when the
// sender is not the simulator.
void feedHostileDatagrams(const std::function<void(const std::string&)>& send) {
  send(nplPacket(Joining{9, "Mallory", "m", "XRT", 0, 0}, 1));
  send(msoPacket("!delete"));
  send(msoPacket("!deactivate"));
  send(msoPacket("!save"));
  send(renPacket(2));
  send(vtaPacket(2));
  send(pllPacket(3, 3));
  send(rtpPacket());
}

TEST_F(TrackerTest, DatagramsFromAnotherAddressAreIgnoredEntirely) {
  startSession(5, 0);
  join(3, "Ann");
  feed(splitPacket(3, raceTime(0, 0, 31, 0), 4));
  replies();
  tracker->idleRounds = 4;
  recordUploadOutcome(UploadFailed);

  const Ipv4Address foreign = dottedAddress("127.0.0.2");
  feedHostileDatagrams([&](const std::string& bytes) { feedFrom(foreign, bytes); });
  // The simulator's address with a sender address that is not IPv4.
  feedHostileDatagrams([&](const std::string& bytes) { feedFrom(loopbackAddress(), bytes, 8); });

  EXPECT_THAT(replies(), IsEmpty());
  ASSERT_EQ(race().players.size(), 1u);
  EXPECT_EQ(race().players.front().id, 3);
  EXPECT_EQ(race().players.front().laps.size(), 1u);
  EXPECT_FALSE(tracker->deactivated());
  EXPECT_EQ(tracker->linkState(), LinkState::Linked);
  EXPECT_EQ(tracker->idleRounds, 4);
  EXPECT_THAT(savedFiles(), IsEmpty());
  // Still waiting for the simulator's next datagram.
  EXPECT_EQ(takeUploadOutcome(), UploadFailed);
}

TEST_F(TrackerTest, ANewSocketIgnoresAForeignFirstDatagram) {
  recordUploadOutcome(UploadSucceeded);
  feedFrom(dottedAddress("127.0.0.2"), rtpPacket());
  feedFrom(loopbackAddress(), rtpPacket(), 0);
  EXPECT_THAT(replies(), IsEmpty());
  EXPECT_EQ(tracker->linkState(), LinkState::New);
  EXPECT_EQ(takeUploadOutcome(), UploadSucceeded);
}

TEST_F(TrackerTest, TheSimulatorIsWhereTheServerAddressLeads) {
  struct Case {
    const char* name;
    std::optional<std::string> serverIp;  // none: the link is never opened
    const char* sender;
    bool taken;
  };
  const Case cases[] = {
      {"not opened, loopback", std::nullopt, "127.0.0.1", true},
      {"not opened, other loopback", std::nullopt, "127.0.0.2", true},
      {"empty address, loopback", std::string(""), "127.0.0.1", true},
      {"empty address, other loopback", std::string(""), "127.0.0.2", true},
      {"0.0.0.0, other loopback", std::string("0.0.0.0"), "127.0.0.2", true},
      {"127.0.0.2, from it", std::string("127.0.0.2"), "127.0.0.2", true},
      {"127.0.0.2, from 127.0.0.1", std::string("127.0.0.2"), "127.0.0.1", false},
      {"127.0.0.1, from 127.0.0.2", std::string("127.0.0.1"), "127.0.0.2", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tracker = std::make_unique<lfsReadSocket>(handler);
    // Whether a connect to the wildcard address succeeds differs by platform;
    // only the sender rule is looked at here.
    if (c.serverIp) tracker->OpenServerLink(*c.serverIp, simulatorPort);
    feedFrom(dottedAddress(c.sender), rtpPacket());
    EXPECT_EQ(tracker->linkState(), c.taken ? LinkState::RequestsDue : LinkState::New);
  }
}

// Whether a receiver sees the peer's datagrams coming from this address.
// Under Wine a socket bound to 127.0.0.2 is seen sending from 127.0.0.1.
bool sendsFrom(PlainPeer& peer, Ipv4Address address) {
  SocketHandler probeHandler;
  std::uint16_t port = 0;
  std::unique_ptr<RecordingSocket> probe = bindOnFreePort<RecordingSocket>(probeHandler, port);
  if (!probe || !peer.connect(loopbackAddress(), port) || !peer.send("probe")) return false;
  probeHandler.Add(probe.get());
  if (!selectUntil(probeHandler, [&] { return !probe->received.empty(); })) return false;
  return probe->received.front().sender.address == address;
}

TEST_F(TrackerTest, OnlyTheSimulatorsDatagramsAreTakenFromTheBoundPort) {
  std::uint16_t trackerPort = 0;
  tracker = bindOnFreePort<lfsReadSocket>(handler, trackerPort);
  ASSERT_NE(tracker, nullptr);
  ASSERT_TRUE(tracker->OpenServerLink("127.0.0.1", simulatorPort));
  handler.Add(tracker.get());
  linkUp();
  join(3, "Ann");

  PlainPeer foreign;
  if (foreign.bindFree(dottedAddress("127.0.0.2")) == 0 || !sendsFrom(foreign, dottedAddress("127.0.0.2"))) {
    GTEST_SKIP() << "no socket here sends from 127.0.0.2";
  }
  ASSERT_TRUE(foreign.connect(loopbackAddress(), trackerPort));
  PlainPeer local;
  ASSERT_NE(local.bindFree(loopbackAddress()), 0);
  ASSERT_TRUE(local.connect(loopbackAddress(), trackerPort));

  ASSERT_TRUE(foreign.send(msoPacket("!delete")));
  ASSERT_TRUE(foreign.send(renPacket(5)));
  ASSERT_TRUE(foreign.send(rtpPacket()));
  // Sent last, so once it counts as traffic the foreign datagrams were read.
  tracker->idleRounds = 6;
  ASSERT_TRUE(local.send(clrPacket(11)));
  ASSERT_TRUE(selectUntil(handler, [&] { return tracker->idleRounds == 0; }));

  EXPECT_THAT(replies(), ElementsAre(requestReply("ACK", 11)));
  ASSERT_NE(player(3), nullptr);
  EXPECT_EQ(tracker->linkState(), LinkState::Linked);
}

TEST_F(RaceEndTest, DestroyingTheSocketWritesTheRaceOneLastTimeSilently) {
  tracker.reset();
  const std::vector<std::string> saved = savedFiles();
  ASSERT_EQ(saved.size(), 1u);
  const std::string document = readFileBytes(saved[0]);
  ASSERT_TRUE(isWellFormedXml(document));
  EXPECT_EQ(xpathString(document, "/TRBKSTATS/TRACK/PLAYERCOUNT"), "2");
  std::string stray;
  EXPECT_FALSE(simulator.receive(stray)) << "nothing is told to the game";
}

TEST_F(TrackerTest, DestroyingASocketWithoutPlayersWritesNothing) {
  startSession(5, 0);
  tracker.reset();
  EXPECT_THAT(savedFiles(), IsEmpty());
  EXPECT_TRUE(std::filesystem::is_empty(output.path()));
}

TEST_F(TrackerTest, TheHandlerThatOwnsTheSocketWritesTheRaceWhenItEnds) {
  {
    SocketHandler owner;
    std::uint16_t port = 0;
    std::unique_ptr<lfsReadSocket> created = bindOnFreePort<lfsReadSocket>(owner, port);
    ASSERT_NE(created, nullptr);
    created->SetDeleteByHandler(true);
    lfsReadSocket* owned = created.release();
    owner.Add(owned);
    const SocketAddress simulatorAddress{loopbackAddress(), simulatorPort};
    auto send = [&](const std::string& bytes) {
      owned->OnDatagram(bytes.data(), static_cast<int>(bytes.size()), simulatorAddress, kSocketAddressLength);
    };
    send(rtpPacket());
    send(mciPacket(500, 0, 0, {}));
    send(nplPacket(Joining{3, "Ann", "ann", "XRT", 0, 0}, 1));
    send(splitPacket(3, raceTime(0, 0, 31, 0), 2));
    selectOnce(owner, 0, 0);
  }
  EXPECT_EQ(savedFiles().size(), 1u);
}

}  // namespace
