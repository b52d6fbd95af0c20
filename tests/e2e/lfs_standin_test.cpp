// The stand-in's race scripts: each packet line lands at the byte offsets the
// simulator uses, faults are named with their line, and the tracker's
// replies read back as the scripts expect them.
#include "insim9_replies.h"
#include "insim9_world.h"
#include "race_script.h"
#include "script_tokens.h"
#include "simulator_packets.h"
#include "tracker_replies.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes packetOf(const std::string& line) {
  std::vector<ScriptStep> steps;
  std::string error;
  EXPECT_TRUE(parseRaceScript(line, steps, error)) << error;
  if (steps.size() != 1 || steps[0].kind != ScriptStep::Send) return {};
  return steps[0].packet;
}

std::uint16_t u16At(const Bytes& bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

std::string textAt(const Bytes& bytes, std::size_t offset, std::size_t width) {
  const char* start = reinterpret_cast<const char*>(bytes.data() + offset);
  return std::string(start, strnlen(start, width));
}

Bytes raceTime(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds, std::uint8_t hundredths) {
  return {hours, minutes, seconds, hundredths};
}

Bytes slice(const Bytes& bytes, std::size_t offset, std::size_t length) {
  return Bytes(bytes.begin() + static_cast<long>(offset), bytes.begin() + static_cast<long>(offset + length));
}

TEST(StandInPacketsTest, NplFillsTheJoinLayout) {
  Bytes npl = packetOf("NPL id=3 user=alice name=\"Alice ^1B\" car=XFG flags=513 start=2 ack=7");
  ASSERT_EQ(npl.size(), 100u);
  EXPECT_EQ(textAt(npl, 0, 4), "NPL");
  EXPECT_EQ(textAt(npl, 4, 24), "alice");
  EXPECT_EQ(textAt(npl, 28, 32), "Alice ^1B");
  EXPECT_EQ(textAt(npl, 60, 32), "XFG");
  EXPECT_EQ(u16At(npl, 92), 513);
  EXPECT_EQ(npl[95], 3);
  EXPECT_EQ(npl[96], 2);
  EXPECT_EQ(u16At(npl, 98), 7);
}

TEST(StandInPacketsTest, TimedPacketsPutTheirTimesWhereTheSimulatorDoes) {
  Bytes split = packetOf("SP id=4 split=2 time=0:31.05 ack=9");
  ASSERT_EQ(split.size(), 12u);
  EXPECT_EQ(slice(split, 0, 4), (Bytes{'S', 'P', '2', 0}));
  EXPECT_EQ(slice(split, 4, 4), raceTime(0, 0, 31, 5));
  EXPECT_EQ(split[9], 4);
  EXPECT_EQ(u16At(split, 10), 9);

  Bytes lap = packetOf("LAP id=5 time=1:02.03 ack=300");
  ASSERT_EQ(lap.size(), 92u);
  EXPECT_EQ(slice(lap, 84, 4), raceTime(0, 1, 2, 3));
  EXPECT_EQ(lap[89], 5);
  EXPECT_EQ(u16At(lap, 90), 300);

  Bytes result = packetOf("RES id=6 total=1:02:03.04 best=1:01.50 lead=2 penalty=4 pits=1 pos=0 ack=11");
  ASSERT_EQ(result.size(), 108u);
  EXPECT_EQ(u16At(result, 84), 2);
  EXPECT_EQ(result[92], 4);
  EXPECT_EQ(result[93], 1);
  EXPECT_EQ(result[95], 6);
  EXPECT_EQ(slice(result, 96, 4), raceTime(1, 2, 3, 4));
  EXPECT_EQ(slice(result, 100, 4), raceTime(0, 1, 1, 50));
  EXPECT_EQ(result[104], 0);
  EXPECT_EQ(u16At(result, 106), 11);
}

TEST(StandInPacketsTest, RaceStateLayouts) {
  Bytes start = packetOf("RST laps=5 qual=0 track=BL1 weather=2 wind=1 ack=3");
  ASSERT_EQ(start.size(), 20u);
  EXPECT_EQ(start[4], 5);
  EXPECT_EQ(start[5], 0);
  EXPECT_EQ(textAt(start, 8, 6), "BL1");
  EXPECT_EQ(start[14], 2);
  EXPECT_EQ(start[15], 1);
  EXPECT_EQ(u16At(start, 18), 3);

  Bytes state = packetOf("STA finished=2 qual=20 laps=0 track=AS5R weather=3 wind=2");
  ASSERT_EQ(state.size(), 28u);
  EXPECT_EQ(state[14], 2);
  EXPECT_EQ(state[16], 20);
  EXPECT_EQ(state[17], 0);
  EXPECT_EQ(textAt(state, 20, 6), "AS5R");
  EXPECT_EQ(state[26], 3);
  EXPECT_EQ(state[27], 2);
}

struct AckCase {
  const char* line;
  std::size_t length;
  std::size_t ackAt;
};

void PrintTo(const AckCase& ackCase, std::ostream* out) { *out << ackCase.line; }

class AckWordTest : public testing::TestWithParam<AckCase> {};

TEST_P(AckWordTest, SitsInTheLastTwoBytes) {
  Bytes packet = packetOf(GetParam().line);
  ASSERT_EQ(packet.size(), GetParam().length);
  EXPECT_EQ(u16At(packet, GetParam().ackAt), 0x1234);
  EXPECT_EQ(simulatorAckWord(packet), std::optional<std::uint16_t>(0x1234)) << "what a resend waits for";
}

TEST(StandInPacketsTest, OnlyPacketsWithAnAckWordAwaitAnAck) {
  const struct {
    const char* line;
    std::optional<std::uint16_t> ack;
  } cases[] = {
      {"SP id=1 split=3 time=0:21.00 ack=9", 9},
      {"LAP id=1 time=1:00.00 ack=10", 10},
      {"NPL id=1 name=\"A\" ack=11", 11},
      {"RES id=1 ack=12", 12},
      {"RST laps=3 track=BL1 ack=0", 0},
      {"RTP", std::nullopt},
      {"VTA action=2", std::nullopt},
      {"MSO \"!save\"", std::nullopt},
      {"MCI nodes=600 players=1", std::nullopt},
      {"STA laps=3", std::nullopt},
      {"ISM host=\"h\"", std::nullopt},
      {"VER version=\"0.6B\"", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(simulatorAckWord(packetOf(c.line)), c.ack);
  }
}

INSTANTIATE_TEST_SUITE_P(Packets, AckWordTest,
                         testing::Values(AckCase{"REN ack=0x1234", 8, 6}, AckCase{"CLR ack=0x1234", 8, 6},
                                         AckCase{"CNL ack=0x1234", 56, 54}, AckCase{"NCN ack=0x1234", 60, 58},
                                         AckCase{"PLP id=1 ack=0x1234", 60, 58},
                                         AckCase{"PLL id=1 ack=0x1234", 60, 58},
                                         AckCase{"REO ack=0x1234", 64, 62},
                                         AckCase{"CPR ack=0x1234", 88, 86}));

TEST(StandInPacketsTest, ChatHostVersionAndVote) {
  Bytes chat = packetOf("MSO \"!save\"");
  ASSERT_EQ(chat.size(), 132u);
  EXPECT_EQ(textAt(chat, 4, 128), "!save");
  EXPECT_EQ(chat[9], 0) << "the text ends with its NUL";

  Bytes host = packetOf("ISM host=\"My Server\"");
  ASSERT_EQ(host.size(), 40u);
  EXPECT_EQ(textAt(host, 8, 32), "My Server");

  Bytes version = packetOf("VER version=0.6B");
  ASSERT_EQ(version.size(), 20u);
  EXPECT_EQ(textAt(version, 4, 8), "0.6B");

  Bytes vote = packetOf("VTA action=-2");
  ASSERT_EQ(vote.size(), 8u);
  EXPECT_EQ(slice(vote, 4, 4), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST(StandInPacketsTest, CarEntriesCarryElevenBitLapsAndNodes) {
  Bytes cars = packetOf(
      "MCI nodes=600 finish=20 players=2 car(id=3 lap=259 node=5 speed=9000) car(id=4 lap=1 node=8191)");
  ASSERT_EQ(cars.size(), 204u);
  EXPECT_EQ(u16At(cars, 4), 600);
  EXPECT_EQ(u16At(cars, 6), 20);
  EXPECT_EQ(cars[8], 2);
  EXPECT_EQ(u16At(cars, 12), 0x2005);
  EXPECT_EQ(cars[14], 0x03);
  EXPECT_EQ(cars[15], 3);
  EXPECT_EQ(u16At(cars, 28), 9000);
  EXPECT_EQ(u16At(cars, 36), 8191);
  EXPECT_EQ(cars[38], 1);
  EXPECT_EQ(cars[39], 4);
  EXPECT_EQ(cars[12 + 2 * 24 + 2], 0) << "the list ends with an entry whose lap byte is 0";
}

TEST(StandInScriptTest, PausesExpectationsAndComments) {
  std::vector<ScriptStep> steps;
  std::string error;
  ASSERT_TRUE(
      parseRaceScript("# a race\n\nwait 250ms\nwait 1.5s\r\n"
                      "RTP   # traffic only\n"
                      "expect MST \"/echo ^2race stats were saved!\" within=20s poke=500ms\n"
                      "expect ACK 7\n",
                      steps, error))
      << error;
  ASSERT_EQ(steps.size(), 5u);
  EXPECT_EQ(steps[0].kind, ScriptStep::Wait);
  EXPECT_EQ(steps[0].duration.count(), 250);
  EXPECT_EQ(steps[1].duration.count(), 1500);
  EXPECT_EQ(steps[2].kind, ScriptStep::Send);
  EXPECT_EQ(steps[2].source, "RTP");
  EXPECT_EQ(steps[2].line, 5);
  EXPECT_EQ(steps[3].kind, ScriptStep::Expect);
  EXPECT_EQ(steps[3].expected, "MST \"/echo ^2race stats were saved!\"");
  EXPECT_EQ(steps[3].duration.count(), 20000);
  EXPECT_EQ(steps[3].poke.count(), 500);
  EXPECT_EQ(steps[4].expected, "ACK 7");
  EXPECT_EQ(steps[4].duration.count(), 10000);
  EXPECT_EQ(steps[4].poke.count(), 0);
}

struct FaultCase {
  const char* script;
  const char* message;
};

void PrintTo(const FaultCase& faultCase, std::ostream* out) { *out << faultCase.script; }

class ScriptFaultTest : public testing::TestWithParam<FaultCase> {};

TEST_P(ScriptFaultTest, NamesTheLineAndTheFault) {
  std::vector<ScriptStep> steps;
  std::string error;
  EXPECT_FALSE(parseRaceScript(GetParam().script, steps, error));
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ScriptFaultTest,
    testing::Values(
        FaultCase{"RTP\nNPL id=1 colour=red", "line 2: NPL has no field 'colour'"},
        FaultCase{"SP id=256", "line 1: bad value '256' for id"},
        FaultCase{"LAP time=1:02.3", "bad value '1:02.3' for time"},
        FaultCase{"LAP time=1:60:02:03:04", "bad value"},
        FaultCase{"RST track=TOOLONG1", "track holds at most 6 characters"},
        FaultCase{"MSO \"!save", "unterminated quoted text"}, FaultCase{"MCI car(id=1 lap=1", "not closed"},
        FaultCase{"MCI car(id=1 gear=3)", "car(...) has no field 'gear'"},
        FaultCase{"MCI car(id=1) car(id=2) car(id=3) car(id=4) car(id=5) car(id=6) car(id=7) "
                  "car(id=8) car(id=9)",
                  "at most 8 cars"},
        FaultCase{"LAP car(id=1)", "LAP takes no car(...) group"},
        FaultCase{"XYZ id=1", "unknown command 'XYZ'"}, FaultCase{"wait", "wait needs one duration"},
        FaultCase{"wait 5 minutes", "wait needs one duration"}, FaultCase{"expect", "expect needs a reply"},
        FaultCase{"expect within=2s ACK 7", "expect needs a reply before its options"},
        FaultCase{"expect ACK 7 within=soon", "bad duration 'soon'"},
        FaultCase{"NPL 7", "unexpected value '7'"}));

TEST(StandInRepliesTest, RequestsChatAndIsiReadAsScriptsExpectThem) {
  const std::uint8_t ack[] = {'A', 'C', 'K', 0, 7, 0, 0, 0};
  EXPECT_EQ(describeReply(ack, sizeof ack), "ACK 7");
  const std::uint8_t nli[] = {'N', 'L', 'I', 0, 0x5E, 0x01, 0, 0};
  EXPECT_EQ(describeReply(nli, sizeof nli), "NLI 350");

  std::uint8_t mst[68] = {'M', 'S', 'T', 0};
  std::strcpy(reinterpret_cast<char*>(mst + 4), "/echo say \"hi\" \\o/");
  EXPECT_EQ(describeReply(mst, sizeof mst), "MST \"/echo say \\\"hi\\\" \\\\o/\"");

  std::uint8_t isi[24] = {'I', 'S', 'I', 0, 0xA2, 0x8B, 0x23, 1};
  std::strcpy(reinterpret_cast<char*>(isi + 8), "secret");
  EXPECT_EQ(describeReply(isi, sizeof isi), "ISI port=35746 flags=0x23 byte7=1 password=\"secret\"");
  EXPECT_EQ(isiClientPort(isi, sizeof isi), std::optional<std::uint16_t>(35746));
  EXPECT_EQ(isiClientPort(ack, sizeof ack), std::nullopt);

  const std::uint8_t odd[] = {'A', 'C', 'K', 0, 1, 0, 0};
  EXPECT_EQ(describeReply(odd, sizeof odd), "unknown 7-byte datagram: 41 43 4b 00 01 00 00");
}

// Binary InSim (version 9): the same script lines as the simulator's packets.
namespace insim9_lines {

std::uint32_t u32At(const Bytes& bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
                                    static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

// Builds each line in turn in one world; the packets of the last line.
std::vector<Bytes> packetsOf(Insim9World& world, const std::string& line) {
  ScriptTokens tokens;
  std::string error;
  EXPECT_TRUE(splitScriptLine(line, tokens, error)) << error;
  std::vector<Packet9> packets;
  EXPECT_TRUE(world.build(tokens, packets, error)) << line << ": " << error;
  return packets;
}

Bytes onlyPacketOf(Insim9World& world, const std::string& line) {
  std::vector<Bytes> packets = packetsOf(world, line);
  EXPECT_EQ(packets.size(), 1u) << line;
  return packets.empty() ? Bytes() : packets[0];
}

// Size byte, type and length agree, as on the wire.
void expectHeader(const Bytes& packet, std::uint8_t type, std::size_t length) {
  ASSERT_EQ(packet.size(), length);
  EXPECT_EQ(packet[0] * 4u, length);
  EXPECT_EQ(packet[1], type);
}

TEST(StandInInsim9Test, AJoinIsANewConnectionAndAPlayer) {
  Insim9World world;
  std::vector<Bytes> join =
      packetsOf(world, "NPL id=3 user=alice name=\"Alice ^1B\" car=XFG flags=513 start=2 ack=7");
  ASSERT_EQ(join.size(), 2u);
  const Bytes& ncn = join[0];
  expectHeader(ncn, 18, 56);
  EXPECT_EQ(ncn[3], 3) << "the connection id follows the player id";
  EXPECT_EQ(textAt(ncn, 4, 24), "alice");
  EXPECT_EQ(textAt(ncn, 28, 24), "Alice ^1B");
  EXPECT_EQ(ncn[52], 0) << "not an admin";
  EXPECT_EQ(ncn[53], 2) << "the host and this one";
  EXPECT_EQ(ncn[54], 4) << "remote";
  const Bytes& npl = join[1];
  expectHeader(npl, 21, 76);
  EXPECT_EQ(npl[3], 3);
  EXPECT_EQ(npl[4], 3);
  EXPECT_EQ(u16At(npl, 6), 513);
  EXPECT_EQ(textAt(npl, 8, 24), "Alice ^1B");
  EXPECT_EQ(textAt(npl, 40, 4), "XFG");
  EXPECT_EQ(npl[73], 1) << "players in the race: not a join request";

  // A second player on a named connection that is known: no second NCN.
  packetsOf(world, "NCN ucid=9 user=host name=Host admin=1");
  std::vector<Bytes> second = packetsOf(world, "NPL id=4 ucid=9 name=Bo car=FBM");
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0][4], 9);
  EXPECT_EQ(second[0][73], 2);

  const Bytes admin = packetsOf(world, "NPL id=5 ucid=0 admin=1 user=me name=Me")[0];
  EXPECT_EQ(admin[3], 0);
  EXPECT_EQ(admin[52], 1);
  EXPECT_EQ(admin[54], 0) << "the host is local";

  const Bytes longName = packetsOf(world, "NPL id=6 name=\"" + std::string(30, 'n') + "\"")[1];
  EXPECT_EQ(textAt(longName, 8, 24), std::string(23, 'n')) << "cut to the field with its NUL";
}

TEST(StandInInsim9Test, TimesGoOutInMilliseconds) {
  Insim9World world;
  packetsOf(world, "NPL id=1 user=alice name=Alice car=XFG flags=9");
  const Bytes split = onlyPacketOf(world, "SP id=1 split=2 time=0:21.50 ack=10");
  expectHeader(split, 25, 16);
  EXPECT_EQ(split[3], 1);
  EXPECT_EQ(u32At(split, 4), 21500u);
  EXPECT_EQ(u32At(split, 8), 21500u) << "elapsed since the start";
  EXPECT_EQ(split[12], 2);

  const Bytes first = onlyPacketOf(world, "LAP id=1 time=1:05.20 ack=16");
  expectHeader(first, 24, 20);
  EXPECT_EQ(u32At(first, 4), 65200u);
  EXPECT_EQ(u32At(first, 8), 65200u);
  EXPECT_EQ(u16At(first, 12), 1);
  EXPECT_EQ(u16At(first, 14), 9) << "the player's flags";
  const Bytes second = onlyPacketOf(world, "LAP id=1 time=1:04.40");
  EXPECT_EQ(u32At(second, 8), 129600u);
  EXPECT_EQ(u16At(second, 12), 2);
  EXPECT_EQ(u32At(onlyPacketOf(world, "SP id=1 split=1 time=0:21.00"), 8), 150600u);

  const Bytes result = onlyPacketOf(world, "RES id=1 total=1:02:03.04 best=1:04.40 pos=0 pits=1 ack=37");
  expectHeader(result, 35, 84);
  EXPECT_EQ(result[3], 1);
  EXPECT_EQ(textAt(result, 4, 24), "alice");
  EXPECT_EQ(textAt(result, 28, 24), "Alice");
  EXPECT_EQ(textAt(result, 60, 4), "XFG");
  EXPECT_EQ(u32At(result, 64), 3723040u);
  EXPECT_EQ(u32At(result, 68), 64400u);
  EXPECT_EQ(result[73], 1);
  EXPECT_EQ(result[74], 2) << "confirmed";
  EXPECT_EQ(u16At(result, 76), 2);
  EXPECT_EQ(result[80], 0);
  EXPECT_EQ(result[81], 1);

  // A new race start begins the times again.
  packetsOf(world, "RST laps=3 track=BL1");
  EXPECT_EQ(u32At(onlyPacketOf(world, "LAP id=1 time=1:00.00"), 8), 60000u);
}

TEST(StandInInsim9Test, RaceStateHostAndVersion) {
  Insim9World world;
  packetsOf(world, "NPL id=1 name=A");
  const Bytes start = onlyPacketOf(
      world, "RST laps=3 qual=0 track=BL1 weather=1 wind=2 ack=1 nodes=600 finish=20 split1=200");
  expectHeader(start, 17, 28);
  EXPECT_EQ(start[4], 3);
  EXPECT_EQ(start[6], 1) << "players in the race";
  EXPECT_EQ(textAt(start, 8, 6), "BL1");
  EXPECT_EQ(start[14], 1);
  EXPECT_EQ(start[15], 2);
  EXPECT_EQ(u16At(start, 18), 600);
  EXPECT_EQ(u16At(start, 20), 20);
  EXPECT_EQ(u16At(start, 22), 200);
  EXPECT_EQ(u16At(start, 24), 0xFFFF) << "no second split";

  const Bytes state = onlyPacketOf(world, "STA finished=2 qual=20 laps=0 track=AS5R weather=3 wind=1");
  expectHeader(state, 5, 28);
  EXPECT_EQ(u32At(state, 4), 0x3F800000u) << "replay speed 1.0";
  EXPECT_EQ(state[12], 1);
  EXPECT_EQ(state[13], 2);
  EXPECT_EQ(state[14], 2);
  EXPECT_EQ(state[15], 2) << "qualifying";
  EXPECT_EQ(state[16], 20);
  EXPECT_EQ(textAt(state, 20, 6), "AS5R");
  EXPECT_EQ(state[26], 3);
  EXPECT_EQ(state[27], 1);

  const Bytes host = onlyPacketOf(world, "ISM host=\"My Server\"");
  expectHeader(host, 10, 40);
  EXPECT_EQ(host[4], 1);
  EXPECT_EQ(textAt(host, 8, 32), "My Server");
  EXPECT_EQ(onlyPacketOf(world, "ISM \"Their Server\" guest=1")[4], 0);

  const Bytes defaultVersion = world.version(5);
  expectHeader(defaultVersion, 2, 20);
  EXPECT_EQ(defaultVersion[2], 5);
  EXPECT_EQ(textAt(defaultVersion, 4, 8), "0.7F");
  EXPECT_EQ(textAt(defaultVersion, 12, 6), "S3");
  EXPECT_EQ(defaultVersion[18], 9);
  const Bytes older = onlyPacketOf(world, "VER version=0.6B insimver=8");
  EXPECT_EQ(textAt(older, 4, 8), "0.6B");
  EXPECT_EQ(older[18], 8);
}

TEST(StandInInsim9Test, SmallEventsAndLeaving) {
  struct Case {
    const char* line;
    Bytes bytes;
  };
  const Case cases[] = {
      {"REN ack=42", {1, 3, 0, 11}},
      {"CLR ack=3", {1, 3, 0, 12}},
      {"VTA action=2", {2, 4, 0, 3, 2, 0, 0, 0}},
      {"VTA action=-2", {2, 4, 0, 3, 0xFE, 0xFF, 0xFF, 0xFF}},
      {"RTP", {2, 4, 0, 6, 0, 0, 0, 0}},
      {"PLP id=7 ack=1", {1, 22, 0, 7}},
      {"PLL id=8 ack=1", {1, 23, 0, 8}},
      {"CNL ucid=4 reason=2", {2, 19, 0, 4, 2, 1, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Insim9World world;
    EXPECT_EQ(onlyPacketOf(world, c.line), c.bytes);
  }
}

TEST(StandInInsim9Test, ChatCarriesTheSendersNameBeforeTextStart) {
  Insim9World world;
  packetsOf(world, "NPL id=2 ucid=5 name=Bob");
  const Bytes chat = onlyPacketOf(world, "MSO \"!save\" ucid=5");
  const std::string line = "Bob ^7: ^8!save";
  expectHeader(chat, 11, 8 + (line.size() + 4) / 4 * 4);
  EXPECT_EQ(chat[4], 5);
  EXPECT_EQ(chat[6], 1) << "typed by a user";
  EXPECT_EQ(textAt(chat, 8, 128), line);
  EXPECT_EQ(textAt(chat, 8 + chat[7], 128), "!save");

  const Bytes system = onlyPacketOf(world, "MSO \"Bob joined\" usertype=0");
  EXPECT_EQ(system[7], 0);
  EXPECT_EQ(textAt(system, 8, 128), "Bob joined");

  const Bytes longest = onlyPacketOf(world, "MSO \"" + std::string(128, 'x') + "\"");
  expectHeader(longest, 11, 136);
  EXPECT_EQ(longest[135], 0) << "the text ends inside the packet";
}

TEST(StandInInsim9Test, CarLinesBecomePacketsOfAtMostSixteenCars) {
  std::string line = "MCI nodes=600 finish=20 players=20";
  for (int id = 1; id <= 20; ++id) {
    line += " car(id=" + std::to_string(id) + " lap=259 node=" + std::to_string(100 + id) +
            " speed=" + std::to_string(9000 + id) + ")";
  }
  Insim9World world;
  const std::vector<Bytes> packets = packetsOf(world, line);
  ASSERT_EQ(packets.size(), 2u);
  expectHeader(packets[0], 38, 4 + 16 * 28);
  expectHeader(packets[1], 38, 4 + 4 * 28);
  EXPECT_EQ(packets[0][3], 16);
  EXPECT_EQ(packets[1][3], 4);
  for (int car = 0; car < 20; ++car) {
    SCOPED_TRACE(car);
    const Bytes& packet = packets[car / 16];
    const std::size_t at = 4 + 28 * static_cast<std::size_t>(car % 16);
    EXPECT_EQ(u16At(packet, at), 101 + car);
    EXPECT_EQ(u16At(packet, at + 2), 259);
    EXPECT_EQ(packet[at + 4], car + 1);
    EXPECT_EQ(packet[at + 5], car + 1) << "position in the line's order";
    EXPECT_EQ(packet[at + 6], car == 0 ? 64 : car == 19 ? 128 : 0) << "first and last of the set";
    EXPECT_EQ(u16At(packet, at + 20), 9001 + car) << "speed in the old packets' unit";
  }
  expectHeader(onlyPacketOf(world, "MCI nodes=600 finish=20 players=3"), 38, 4);
}

TEST(StandInInsim9Test, RequestsAreAnsweredFromWhatWasSent) {
  Insim9World world;
  EXPECT_TRUE(world.answer(4, 19).empty()) << "no race start sent yet";
  EXPECT_TRUE(world.answer(5, 7).empty()) << "no state sent yet";
  EXPECT_TRUE(world.answer(2, 14).empty()) << "nobody in the race";
  packetsOf(world, "NPL id=2 name=B start=1");
  packetsOf(world, "NPL id=1 name=A start=0");
  packetsOf(world, "NPL id=3 name=C start=2");
  packetsOf(world, "RST laps=5 track=BL1");

  const std::vector<Packet9> players = world.answer(7, 14);
  ASSERT_EQ(players.size(), 3u);
  for (const Packet9& npl : players) {
    EXPECT_EQ(npl[1], 21);
    EXPECT_EQ(npl[2], 7) << "the request's ReqI";
  }
  EXPECT_EQ(world.answer(7, 13).size(), 3u) << "one NCN per connection";
  const std::vector<Packet9> start = world.answer(4, 19);
  ASSERT_EQ(start.size(), 1u);
  EXPECT_EQ(start[0][2], 4);
  EXPECT_EQ(start[0][4], 5);

  const std::vector<Packet9> order = world.answer(6, 18);
  ASSERT_EQ(order.size(), 1u);
  EXPECT_EQ(Bytes(order[0].begin(), order[0].begin() + 7), (Bytes{11, 36, 6, 3, 1, 2, 3}))
      << "the start= fields give the order";
  packetsOf(world, "REO order=3,1,2");
  const Packet9 sent = world.answer(6, 18).at(0);
  EXPECT_EQ(Bytes(sent.begin() + 3, sent.begin() + 7), (Bytes{3, 3, 1, 2}));

  packetsOf(world, "PLL id=2");
  EXPECT_EQ(world.answer(7, 14).size(), 2u) << "a player who left is no longer listed";
  packetsOf(world, "CLR");
  EXPECT_TRUE(world.answer(7, 14).empty());
  EXPECT_EQ(world.answer(9, 3), (std::vector<Packet9>{{1, 3, 9, 4}})) << "a ping is answered";
  EXPECT_TRUE(world.answer(9, 99).empty());
}

TEST(StandInInsim9Test, LineFaultsNameTheirLine) {
  struct Case {
    const char* script;
    const char* message;
  };
  const Case cases[] = {
      {"RTP\nNPL id=1 colour=red", "line 2: NPL has no field 'colour'"},
      {"SP id=256", "line 1: bad value '256' for id"},
      {"LAP time=1:02.3", "bad value '1:02.3' for time"},
      {"SP id=1 split=x", "bad value 'x' for split"},
      {"MCI car(id=1 gear=3)", "car(...) has no field 'gear'"},
      {"MCI tyre(id=1)", "MCI takes car(...) groups"},
      {"LAP car(id=1)", "LAP takes no car(...) group"},
      {"close now", "close takes nothing"},
      {"NPL 7", "unexpected value '7'"},
      {"REO order=1,300", "bad player id in order"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    std::vector<ScriptStep> steps;
    std::string error;
    EXPECT_FALSE(parseRaceScript(c.script, steps, error, ScriptProtocol::Insim9));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

TEST(StandInInsim9Test, TheOldScriptsLinesPlayAndCloseIsBinaryOnly) {
  // Lines of the sample race, old-only fields and all; more cars than 8.
  const std::string script =
      "RST laps=3 track=BL1 weather=1 wind=0 ack=1\n"
      "expect NLI 350\n"
      "MCI nodes=600 finish=20 players=3\n"
      "NPL id=1 user=alice name=\"Alice\" car=XFG start=0 ack=2\n"
      "ISM host=\"Tarnbeck demo\"\n"
      "MCI car(id=1) car(id=2) car(id=3) car(id=4) car(id=5) car(id=6) car(id=7) car(id=8) car(id=9)\n"
      "RES id=2 total=3:14.70 best=1:04.40 pos=0 pits=0 ack=37\n"
      "close\n"
      "expect MST \"/echo ^2race stats were saved!\"\n";
  std::vector<ScriptStep> steps;
  std::string error;
  ASSERT_TRUE(parseRaceScript(script, steps, error, ScriptProtocol::Insim9)) << error;
  ASSERT_EQ(steps.size(), 9u);
  EXPECT_EQ(steps[0].kind, ScriptStep::Send);
  EXPECT_EQ(steps[0].tokens.command, "RST");
  EXPECT_TRUE(steps[0].packet.empty()) << "binary packets are built as the line is played";
  EXPECT_EQ(steps[7].kind, ScriptStep::Close);
  EXPECT_EQ(steps[8].expected, "MST \"/echo ^2race stats were saved!\"");

  EXPECT_FALSE(parseRaceScript("close\n", steps, error));
  EXPECT_NE(error.find("unknown command 'close'"), std::string::npos) << error;
}

TEST(StandInInsim9Test, RepliesReadInTheirOwnAndTheOldWords) {
  struct Case {
    const char* name;
    Bytes bytes;
    const char* text;
    std::vector<std::string> names;
    std::vector<std::string> oldNames;
  };
  Bytes isi(44, 0);
  isi[0] = 11, isi[1] = 1, isi[2] = 1, isi[6] = 32, isi[8] = 9, isi[10] = 0x5E, isi[11] = 1;
  std::memcpy(&isi[12], "pw", 2);
  std::memcpy(&isi[28], "Tarnbeck", 8);
  Bytes mtc = {4, 14, 0, 0, 255, 0, 0, 0, 'h', 'i', ' ', '"', 'x', '"', 0, 0};
  Bytes msl(132, 0);
  msl[0] = 33, msl[1] = 40;
  std::memcpy(&msl[4], "^2saved", 7);
  const Case cases[] = {
      {"ISI",
       isi,
       "ISI reqi=1 udpport=0 flags=0x0020 insimver=9 prefix=0 interval=350 admin=\"pw\" iname=\"Tarnbeck\"",
       {},
       {"NLI 350", "VER 0"}},
      {"TINY request", {1, 3, 2, 13}, "TINY NCN reqi=2", {"TINY 13", "TINY NCN"}, {}},
      {"TINY with an old word", {1, 3, 5, 7}, "TINY SST reqi=5", {"TINY 7", "TINY SST"}, {"SST 0"}},
      {"keep-alive", {1, 3, 0, 0}, "TINY NONE reqi=0", {"TINY 0", "TINY NONE"}, {}},
      {"unnamed TINY", {1, 3, 0, 77}, "TINY 77 reqi=0", {"TINY 77"}, {}},
      {"SMALL NLI", {2, 4, 0, 7, 0x5E, 1, 0, 0}, "SMALL NLI 350", {"SMALL 7 350"}, {"NLI 350"}},
      {"MTC", mtc, "MTC ucid=255 \"hi \\\"x\\\"\"", {"MTC \"hi \\\"x\\\"\""}, {"MST \"/echo hi \\\"x\\\"\""}},
      {"MSL", msl, "MSL \"^2saved\"", {}, {"MST \"/echo ^2saved\""}},
      {"broken", {2, 3, 0, 0}, "unknown 4-byte packet: 02 03 00 00", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Insim9Reply reply = describeInsim9Reply(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(reply.text, c.text);
    std::vector<std::string> names = {c.text};
    names.insert(names.end(), c.names.begin(), c.names.end());
    EXPECT_EQ(reply.names, names);
    EXPECT_EQ(reply.oldNames, c.oldNames);
  }
}

}  // namespace insim9_lines

}  // namespace
