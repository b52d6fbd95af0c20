// The binary InSim adapter without a socket: the simulator's packets come from
// the stand-in's own encoder (written apart from the program's decoder), the
// adapter's packets are read back through the stand-in's description of them.
// What is checked is what the adapter keeps across packets: the handshake,
// who may command, which connection drives a car, the start order, results of
// players who left, and where game texts go.
#include "config/settings.h"
#include "config/shared_state.h"
#include "insim9_replies.h"
#include "insim9_world.h"
#include "link/insim9_link.h"
#include "script_tokens.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

class RecordingTransport : public InSim9Transport {
 public:
  void sendPacket(const std::uint8_t* data, std::size_t size) override {
    sent.push_back(describeInsim9Reply(data, size).text);
  }
  void report(std::string_view text) override { reports.emplace_back(text); }

  std::vector<std::string> sent;
  std::vector<std::string> reports;
};

// The simulator's packets of one script line, as the stand-in plays them.
std::vector<Packet9> packetsOf(Insim9World& world, const std::string& line) {
  ScriptTokens tokens;
  std::string error;
  EXPECT_TRUE(splitScriptLine(line, tokens, error)) << line << ": " << error;
  std::vector<Packet9> packets;
  EXPECT_TRUE(world.build(tokens, packets, error)) << line << ": " << error;
  return packets;
}

void play(Insim9World& world, InSim9Link& link, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    for (const Packet9& packet : packetsOf(world, line)) link.onPacket(packet.data(), packet.size());
  }
}

class InSim9LinkTest : public ::testing::Test {
 protected:
  InSim9LinkTest() {
    Settings settings;
    settings.outputpath = output.withSeparator();
    replaceSettings(settings);
  }
  ~InSim9LinkTest() override { replaceSettings(Settings()); }

  void play(const std::vector<std::string>& lines) { ::play(world, link, lines); }
  void feed(const Packet9& packet) { link.onPacket(packet.data(), packet.size()); }

  // What the adapter sent since the last call.
  std::vector<std::string> sent() {
    std::vector<std::string> lines;
    lines.swap(transport.sent);
    return lines;
  }
  const PlayerStats* playerNamed(std::string_view name) const {
    for (const PlayerStats& player : link.stats().players) {
      if (player.name == name) return &player;
    }
    return nullptr;
  }

  ScratchFolder output;
  Insim9World world;
  RecordingTransport transport;
  InSim9Link link{transport};
};

// The sub-type of an IS_TINY the simulator sends, by its number in the protocol.
Packet9 tinyPacket(std::uint8_t subType) { return {1, 3, 0, subType}; }

TEST_F(InSim9LinkTest, TheHandshakeIntroducesTheProgramAndAsksForTheStateOnceLinked) {
  link.start("secret");
  std::vector<std::string> isi = sent();
  ASSERT_EQ(isi.size(), 1u);
  EXPECT_EQ(isi[0].rfind("ISI reqi=1 udpport=0 ", 0), 0u) << isi[0];
  EXPECT_NE(isi[0].find("insimver=9"), std::string::npos) << isi[0];
  EXPECT_NE(isi[0].find("admin=\"secret\""), std::string::npos) << isi[0];
  EXPECT_FALSE(link.linked());

  play({"VER"});
  EXPECT_TRUE(link.linked());
  const std::vector<std::string> requests = sent();
  const std::vector<std::string> kinds = {"NCN", "NPL", "RST", "SST", "ISM", "REO"};
  ASSERT_EQ(requests.size(), kinds.size());
  std::vector<std::string> requestIds;
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    EXPECT_EQ(requests[i].rfind("TINY " + kinds[i] + " reqi=", 0), 0u) << requests[i];
    requestIds.push_back(requests[i].substr(requests[i].find("reqi=")));
    EXPECT_NE(requestIds.back(), "reqi=0") << "an answer needs a request id: " << requests[i];
  }
  std::sort(requestIds.begin(), requestIds.end());
  EXPECT_EQ(std::unique(requestIds.begin(), requestIds.end()), requestIds.end()) << "request ids repeat";
  EXPECT_TRUE(transport.reports.empty());
}

TEST_F(InSim9LinkTest, AnotherInSimVersionIsReportedOnce) {
  play({"VER insimver=8", "VER insimver=8"});
  ASSERT_EQ(transport.reports.size(), 1u);
  EXPECT_NE(transport.reports[0].find("version 8"), std::string::npos) << transport.reports[0];
  EXPECT_TRUE(link.linked());
}

TEST_F(InSim9LinkTest, KeepAlivesAreAnsweredAndTheHostEndsTheLink) {
  struct Case {
    const char* name;
    std::uint8_t subType;
    std::vector<std::string> answer;
    bool ends;
  };
  const Case cases[] = {
      {"keep-alive (TINY_NONE)", 0, {"TINY NONE reqi=0"}, false},
      {"close (TINY_CLOSE)", 2, {}, true},
      {"multiplayer end (TINY_MPE)", 9, {}, true},
      {"players cleared (TINY_CLR)", 12, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingTransport transport;
    InSim9Link fresh(transport);
    const Packet9 packet = tinyPacket(c.subType);
    fresh.onPacket(packet.data(), packet.size());
    EXPECT_EQ(transport.sent, c.answer);
    EXPECT_EQ(fresh.ended(), c.ends);
  }
}

TEST_F(InSim9LinkTest, OnlyTheHostAndAdminsCommand) {
  struct Case {
    const char* name;
    std::vector<std::string> lines;  // the last one is the chat line
    bool obeyed;
    const char* report;  // part of the one report, or null for none
  };
  const Case cases[] = {
      {"the host's own connection", {"MSO ucid=0 !deactivate"}, true, nullptr},
      {"an admin", {"NCN ucid=3 user=ann name=Ann admin=1", "MSO ucid=3 !deactivate"}, true, nullptr},
      {"a guest", {"NCN ucid=4 user=bob name=Bob", "MSO ucid=4 !deactivate"}, false, "!deactivate from bob"},
      {"a connection never announced", {"MSO ucid=7 !deactivate"}, false, "from an unknown connection"},
      {"an admin's connection id, now a guest's",
       {"NCN ucid=3 user=ann name=Ann admin=1", "CNL ucid=3", "NCN ucid=3 user=bob name=Bob",
        "MSO ucid=3 !deactivate"},
       false,
       "from bob"},
      {"a system message with the command's text", {"MSO ucid=0 usertype=0 !deactivate"}, false, nullptr},
      {"a guest's ordinary line", {"NCN ucid=4 user=bob name=Bob", "MSO ucid=4 \"nice race\""}, false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Insim9World world;
    RecordingTransport transport;
    InSim9Link fresh(transport);
    ::play(world, fresh, c.lines);
    EXPECT_EQ(fresh.deactivated(), c.obeyed);
    if (c.report == nullptr) {
      EXPECT_TRUE(transport.reports.empty()) << transport.reports[0];
    } else {
      ASSERT_EQ(transport.reports.size(), 1u);
      EXPECT_NE(transport.reports[0].find(c.report), std::string::npos) << transport.reports[0];
    }
  }
}

TEST_F(InSim9LinkTest, ASwitchedOffProgramStillLearnsWhoMaySwitchItOn) {
  play({"MSO ucid=0 !deactivate"});
  ASSERT_TRUE(link.deactivated());
  // The admin connects only after the program was switched off.
  play({"NCN ucid=5 user=ann name=Ann admin=1", "RST laps=3 track=BL1", "NPL id=1 user=al name=Al car=XFG",
        "MSO ucid=5 !activate"});
  EXPECT_FALSE(link.deactivated());
  EXPECT_TRUE(link.stats().players.empty()) << "players who joined while switched off are not tracked";
}

TEST_F(InSim9LinkTest, GameTextsGoToEveryoneOnAHostAndToTheLocalScreenOnAGuest) {
  const std::string text = "\"^3program deactivated. Reactivate with !activate.\"";
  struct Case {
    const char* ism;
    std::string expected;
  };
  const Case cases[] = {
      {"ISM host=\"Demo\"", "MTC ucid=255 " + text},
      {"ISM guest=1 host=\"Demo\"", "MSL " + text},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ism);
    Insim9World world;
    RecordingTransport transport;
    InSim9Link fresh(transport);
    ::play(world, fresh, {c.ism, "MSO ucid=0 !deactivate"});
    // Then car information is switched off.
    ASSERT_FALSE(transport.sent.empty());
    EXPECT_EQ(transport.sent[0], c.expected);
  }
}

TEST_F(InSim9LinkTest, ATakeOverGivesTheCarTheNewConnectionsUserName) {
  play({"RST laps=3 track=BL1", "NCN ucid=1 user=alice name=Alice", "NCN ucid=2 user=bert name=Bert",
        "NPL id=4 ucid=1 name=Alice car=XFG"});
  const PlayerStats* car = playerNamed("Alice");
  ASSERT_NE(car, nullptr);
  EXPECT_EQ(car->userName, "alice");

  // IS_TOC: player 4 passes from connection 1 to connection 2.
  feed({2, 31, 0, 4, 1, 2, 0, 0});
  EXPECT_EQ(car->userName, "bert");
  EXPECT_EQ(car->id, 4);
}

TEST_F(InSim9LinkTest, TheStartOrderReachesPlayersWhetherItComesBeforeOrAfterTheirJoin) {
  // The order first: a join finds its place in it.
  play({"RST laps=3 track=BL1", "REO order=7,5", "NPL id=5 user=eve name=Eve car=XFG",
        "NPL id=7 user=gus name=Gus car=XRG"});
  ASSERT_NE(playerNamed("Eve"), nullptr);
  ASSERT_NE(playerNamed("Gus"), nullptr);
  EXPECT_EQ(playerNamed("Gus")->startOrder, 0);
  EXPECT_EQ(playerNamed("Eve")->startOrder, 1);

  // A later order moves the players already in.
  play({"REO order=5,7"});
  EXPECT_EQ(playerNamed("Eve")->startOrder, 0);
  EXPECT_EQ(playerNamed("Gus")->startOrder, 1);
}

TEST_F(InSim9LinkTest, AResultWithoutAPlayerIdFindsTheRecordOfThePlayerWhoLeft) {
  play({"RST laps=1 track=BL1", "NPL id=3 user=carol name=Carol car=FBM", "LAP id=3 time=1:05.20"});
  // The simulator's result for Carol, sent after she left: her id is gone (0).
  std::vector<Packet9> result = packetsOf(world, "RES id=3 total=1:05.20 best=1:05.20 pos=2 pits=1");
  ASSERT_EQ(result.size(), 1u);
  result[0][3] = 0;
  play({"PLL id=3"});
  const PlayerStats* carol = playerNamed("Carol");
  ASSERT_NE(carol, nullptr);
  ASSERT_EQ(carol->id, -1);

  feed(result[0]);
  ASSERT_TRUE(carol->result.has_value());
  EXPECT_EQ(carol->result->position, 3) << "the wire counts places from 0";
  EXPECT_EQ(carol->result->pitStops, 1);
}

}  // namespace
